// resume.h - taking up a program again at a given line: where the tool must be, the modes in
// force, and the moves that bring it there.
#pragma once

#include <cstdio>

#include "gcode_interpreter.h"
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
  long arc_line;       // the first line of the arc run (g2 or g3) whose motion is in force, or 0
  // The modes in force, as the reading holds them: 0 where the program set none (the
  // controller's own default then holds: absolute, absolute centres, inches).
  int distance_mode;   // 1: g90, 2: g91
  int centre_mode;     // 1: g90.1, 2: g91.1
  int units;           // 1: g70 (inch), 2: g71 (millimetre)
};

// What the lines from a place on hold for one who takes the program up there.
struct Ahead {
  bool read;            // the lines could be read
  long first_line;      // the first line sent from there, 0 at the end of the program
  bool sets_origin;     // that line sets an origin (g92, G99)
  // The first line from there that moves, when it moves without a motion word of its own while
  // an arc or a canned cycle is the motion in force: after moves of Kerfsend's own it would be
  // cut as a straight line. 0 when none.
  long continues_line;
  long run_line;        // the line that began that arc run or cycle
  bool cycle;           // the run is a canned cycle's
};

// Starts a reading from the program's start.
void track_reset(ReEntry& at);

// Reads one line that goes to the controller (number: its file line). g92 sets the origin where
// the tool stands (or the given axes to their values), as the controller does.
void track_line(const char* text, long number, ReEntry& at);

// Runs the lines of file before line `from` (1 for the first) through track_line, as the
// controller would have received them: comment (";") and pause (":") lines are not sent, so
// they do not count; the reading goes on past an end word, as the download does. The file is
// read from where it stands. The lines from `from` on are looked at into *ahead.
ReEntry find_reentry(std::FILE* file, long from, Ahead* ahead = nullptr);

// Looks at the lines of file from line `from` on, the file read from its start, on the state
// the lines sent so far left in the reading (which is left as it was); at.arc_line names the
// arc run in force.
Ahead look_ahead(std::FILE* file, long from, const ReEntry& at);

// The first kind of word the reading does not follow met before file line `before`, or
// nullptr: up to there the reading is the machine's.
const Unfollowed* unfollowed_before(long before);

// The first line sent from `from` up to `to` that sets an origin (g92, G99), or 0; file read
// from its start.
long origin_line_between(std::FILE* file, long from, long to);

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
