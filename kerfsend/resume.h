// resume.h - taking up a program again at a given line: the moves that bring the tool back, the
// travel check, and what a line or a typed command does. Where the tool must be, the modes in
// force and Kerfsend's rules on a resume are the one reading's (gcode_resume.h), which the
// viewer tells a resume by as well.
#pragma once

#include <cstdio>

#include "gcode_interpreter.h"
#include "gcode_resume.h"
#include "settings.h"

// True when a line holds a program stop (m0, m00, m1, m01), where Kerfgen's tool changes stand.
bool holds_stop(const char* text);

// What a typed command may have done, read word by word through the reading: moved the machine
// (an axis word, a motion word, a code the reading does not know) or set a mode or the feed
// (an F word, a mode, a code the reading does not know).
struct TypedEffect {
  bool moves;
  bool modes;
};
TypedEffect typed_effect(const char* text);

// The re-entry lines, as Kerfsend composes its own commands: the distance, centre and unit
// modes, always, the program's or the controller's defaults; with moves, up to the safe height
// and over the position at the fastest feed, and down to its Z at the last plunge feed (the
// last feed when none), then g91 again for a program in relative moves; last, the feed in
// force alone when the controller would otherwise keep another one for the lines that give
// none. Returns how many.
constexpr int kReEntryLines = 8;
int reentry_lines(const ReEntry& at, bool moves, char (&lines)[kReEntryLines][128]);

// Where a program first leaves the travel of an axis.
struct TravelFault {
  long line;       // the file line, 0 when none leaves it
  int axis;        // 0, 1, 2 for X, Y, Z
  bool lowest;     // the lowest place was passed, not the highest
  double limit;    // the limit passed
  double past;     // by how much
};

// Reads the program from its start through the interpreter and checks every move from line
// `from` on, arcs along their curve, against the travel limits (in inches, whatever the program's
// unit); origins set by g92 and G99 are followed. The file is read from where it stands.
TravelFault check_travel(std::FILE* file, long from, const Travel (&travel)[3]);
