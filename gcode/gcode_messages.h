// gcode_messages.h - where the interpreter and the reader talk to the operator, and the reading
// progress line that their messages must not run into.
#pragma once

#include <cstdio>

// Standard output unless a caller reads a file quietly (nullptr), as the job summary does.
extern std::FILE* message_stream;

// printf to message_stream; a progress line on the screen is cleared first.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Shows "Reading NN%" on one line of a terminal, overwritten by the next call.
void show_progress(int percent);

// Clears the progress line, if one is shown.
void end_progress();

// Told the share of the file read, as the terminal's progress line is, whatever the output is;
// nullptr for none. The window shows it in its title while the file is read.
extern void (*progress_listener)(int percent);

// The modal warning box without an owner window, given as a console message: its title and
// text, one line each, through say(), and reading goes on.
void warning_box(const char* title, const char* text);
