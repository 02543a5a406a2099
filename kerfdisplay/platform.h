// platform.h - what the viewer asks of the operating system beyond the C library and the window.
#pragma once

#include <string>

// The modal warning box without an owner window, given as a console message: its title and
// text on standard output, one line each, and reading goes on.
void warning_box(const char* title, const char* text);

// "Kerfdisplay - " + the name as given, after the working directory and a path separator
// when the name is relative.
std::string window_title(const char* file_name);
