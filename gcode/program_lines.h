// program_lines.h - a program's lines as Kerfsend sends them, read with a bound so that no
// input can overrun a buffer: Kerfsend's download, its resume and the viewer's word on a resume
// read them alike.
#pragma once

#include <cstdio>

// The longest program line or typed command, without its line end. A longer one is refused
// whole: a G-code line cut short is a different line.
constexpr int kLineMax = 1024;

// A line of at most kLineMax characters; it may hold NUL bytes, so its length counts.
struct Line {
  char text[kLineMax + 2];
  int length;
  bool newline;  // ended by '\n' (not by the end of input)
};

// Reads the rest of a line whose first character c was read already (EOF: an empty line),
// up to and including its '\n'; the '\n' and a '\r' before it are removed. Returns false when
// the line is longer than kLineMax; it is then read to its end all the same.
bool read_line(std::FILE* in, int c, Line& line);

// Comment (";") and pause (":") lines of a program never reach the controller; every other
// line does, an empty one as a lone line end.
bool is_sent(const Line& line);
