// resume.h - taking up a program again at a given line: where the tool must be, the modes in
// force, and the moves that bring it there.
#pragma once

#include <cstdio>

#include "settings.h"

// What the lines sent so far leave behind, read through the G-code interpreter.
struct ReEntry {
  bool moved;          // some line moved the tool: there is a position to return to
  bool z_moved;        // some move changed Z (a lathe program never does)
  double x, y, z;      // the position where the next line begins
  double safe_z;       // the highest Z reached (a Kerfgen program's safe height)
  double feed;         // the F word in force, 0 when none came
  double fastest_feed; // the highest F of any feed move
  double plunge_feed;  // the F of the last feed move down in Z, 0 when none
  long origin_line;    // the last line that set an origin (g92 or G99), or 0
  bool origin_g99;     // that line's word was G99
  long relative_line;  // the line whose g91 is in force, or 0
  long arc_line;       // the line whose g2 or g3 is the motion mode in force, or 0
  int centre_mode;     // 0: never set, 1: g90.1, 2: g91.1
  int units;           // 0: never set, 1: g70 (inch), 2: g71 (millimetre)
  double shift[3];     // what the g92 lines so far have moved the origin by
  long relies_on_arc;  // set by find_reentry: the line it stops at moves without its own
                       // motion word while an arc mode is in force
};

// Starts a reading from the program's start.
void track_reset(ReEntry& at);

// Reads one line that goes to the controller (number: its file line). g92 sets the origin where
// the tool stands (or the given axes to their values), as the controller does.
void track_line(const char* text, long number, ReEntry& at);

// Runs the lines of file before line `from` (1 for the first) through track_line, as the
// controller would have received them: comment (";") and pause (":") lines are not sent, so
// they do not count; the reading goes on past an end word, as the download does. The file is
// read from where it stands.
ReEntry find_reentry(std::FILE* file, long from);

// True when a line holds a program stop (m0, m00, m1, m01), where Kerfgen's tool changes stand.
bool holds_stop(const char* text);

// True when a typed command may move the machine: it holds a G word or an axis word.
bool command_moves(const char* text);

// The re-entry lines, as Kerfsend composes its own commands: the distance, centre and unit
// modes in force; with moves, up to the safe height and over the position at the fastest feed, and down
// to its Z at the last plunge feed (the last feed when none); last, the feed in force alone
// when the controller would otherwise keep another one for the lines that give none. Returns
// how many.
constexpr int kReEntryLines = 7;
int reentry_lines(const ReEntry& at, bool moves, char (&lines)[kReEntryLines][128]);

// Where a program first leaves the travel of an axis.
struct TravelFault {
  long line;       // the file line, 0 when none leaves it
  int axis;        // 0, 1, 2 for X, Y, Z
  bool lowest;     // the lowest place was passed, not the highest
  double limit;    // the limit passed
  double past;     // by how much
  long g99_line;   // a G99 line: its origin cannot be followed, the check ends there (0: none)
};

// Reads the program from its start through the interpreter and checks every move from line
// `from` on, arcs along their curve, against the travel limits; g92 shifts are followed. The
// file is read from where it stands.
TravelFault check_travel(std::FILE* file, long from, const Travel (&travel)[3]);
