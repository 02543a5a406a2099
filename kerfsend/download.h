// download.h - sending a G-code program line by line, with its pauses and the pause menu.
#pragma once

#include <cstdio>

#include "text.h"

enum class Outcome {
  Done,    // everything was done
  Failed,  // it could not be done, or not all of it; the run goes on
  Exit,    // the operator ended the run: the process ends with status 1
};

// Waits for a key and returns it; the end of standard input counts as 'e', so that a
// program never runs on past an operator stop with nobody there.
int operator_key();

// Discards the keys typed until the keyboard has been quiet for a moment: keys that a wait
// ended on were typed for nothing the operator can see, and none may start the next command.
void drop_keys();

// The file line the next download begins with (-rN, or rN at the prompt); 1: the start.
// A download that opens its file takes it and sets it back to 1; one whose file cannot be
// opened, or that finds no port to send to, leaves it for the next.
extern long resume_from;
constexpr long kResumeJournal = 0;   // -r alone: the first line the journal has not confirmed
constexpr long kResumeRefused = -1;  // a resume line that could not be read: nothing is sent

// -w, or w at the prompt: the next download starts the viewer, Kerfdisplay, following it by its
// journal. Taken and set back as resume_from is.
extern bool follow_next;

// Takes the resume line from its text: a whole number from 1 up, or nothing for the line the
// journal gives. Anything else is reported, and the next download sends nothing.
bool choose_resume(const char* text);

// What a first reading of the program finds.
struct Survey {
  long lines;      // lines in the file
  long to_send;    // lines to send from the resume line on
  long too_long;   // the first line to send that is longer than kLineMax, or 0
  long bad_line;   // the first line holding a byte that is not G-code text, or 0
  int bad_byte;    // that byte
};

// The first byte of a line that is not G-code text, or -1: a control character other than a
// tab in any line (a carriage return alone ends no line here), and in a line that is sent also
// anything past '~'.
int bad_byte(const Line& line);

// Reads the program through once from its start and leaves it at its start again; false for
// a file that cannot be read twice (a pipe).
bool survey(std::FILE* file, long from, Survey& found);

// Sends a program file to the controller: comment lines (";") are skipped, pause lines
// (":") stop for the operator, a key press pauses before the next line. Each line's echo is
// checked; a line left unanswered or echoed wrong stops the download at the pause menu.
// From a resume line, the re-entry moves are shown and sent once the operator agrees.
Outcome download(const char* name);
