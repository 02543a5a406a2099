// gcode_resume.h - taking a program up again at a file line, as Kerfsend does it and as the
// viewer tells of it: what the lines sent before the line leave behind, read through the one
// reading; what the lines from there on hold; and Kerfsend's rules on it, where it refuses and
// what it asks first, with the words it says them in. One piece of code for both programs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "gcode_interpreter.h"
#include "program_lines.h"

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

// One line through the reading, saying nothing: the reading's messages (an unknown code, an
// arc's centre) are the viewer's, and the controller answers for itself. The line is counted as
// file line `number`.
void quiet_interpret(const char* text, long number);

// True when the word is the code of that letter (in either case) and digits, exactly.
bool is_code(const Word& w, char letter, const char* digits);

// Reads the file from where it stands, its first line being file line `first`, and hands each
// line that is sent, with its file line, to take, until take returns false.
template <typename Take>
void each_sent_line(std::FILE* file, long first, Take take) {
  Line line;
  long number = first - 1;
  for (int c; (c = std::getc(file)) != EOF;) {
    ++number;
    read_line(file, c, line);
    if (is_sent(line) && !take(line, number)) return;
  }
}

// A place in a reading of the program as Kerfsend sends it: what the lines before `line` leave
// behind, and where that line begins in the file. A reading may go on from any place it passed.
struct ReadingPlace {
  long line;            // the file line read next, from 1
  long long offset;     // where it begins, as ftell gives it
  ReEntry at;
  Interp state;         // the reading's state there
};

// Where a stream stands, and a move there, with offsets past 2 GiB on every system.
long long tell_offset(std::FILE* file);
bool seek_offset(std::FILE* file, long long offset);

// The place before the program's first line, in a fresh reading.
ReadingPlace reading_start();

// Runs the lines of file before line `from` (1 for the first) through track_line, as the
// controller would have received them: comment (";") and pause (":") lines are not sent, so
// they do not count; the reading goes on past an end word, as the download does. The file is
// read from where it stands. The lines from `from` on are looked at into *ahead. The reading is
// left with the state before line `from`.
ReEntry find_reentry(std::FILE* file, long from, Ahead* ahead = nullptr);

// The same from a place of an earlier reading of the same file (its line at most `from`): the
// file is read from the place's offset on (from where it stands for the program's start).
ReEntry find_reentry_from(std::FILE* file, const ReadingPlace& place, long from, Ahead* ahead);

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

// Why Kerfsend refuses to resume at a line: none; the first line from there that moves goes on
// with the arc or canned cycle of an earlier line without a motion word of its own; the lines
// before it move but give no feed.
enum class ResumeRefusal { None, ContinuesRun, NoFeed };

// All that Kerfsend finds of a resume at line `from` before it shows the re-entry moves: what
// the lines before leave, what those from there hold, whether it refuses, and, when it does
// not, the two things it asks about first (each goes on only after a 'y').
struct ResumeVerdict {
  long from;
  ReEntry at;
  Ahead ahead;
  ResumeRefusal refusal;
  // Asked first: a line before `from` holds a kind of word the reading does not follow (its
  // `what` is nullptr when none does).
  Unfollowed unfollowed;
  // Asked next: a line from `from` up to the journal's last confirmed one sets an origin, which
  // the controller holds already (0 when none).
  long origin_line;
  long confirmed;  // the journal's last confirmed line, -1 when there is none of this program
};

// Kerfsend's verdict on a resume at `from`, the lines before it read from `place` on (the file
// read as find_reentry_from reads it); `confirmed` is the journal's last confirmed line of this
// program (-1: none). The origin lines from `from` on are found in `origin_lines` (every line
// of the file that sets one, rising) when it is given, else by reading the file again from its
// start. The reading is left with the state before `from`.
ResumeVerdict judge_resume(std::FILE* file, const ReadingPlace& place, long from, long confirmed,
                           const std::vector<long>* origin_lines = nullptr);

// What Kerfsend says of the verdict, without a line end, for the program named `name`:
// its refusal ("Line 4 of job.nc continues the arc of line 2 without a motion word of its own -
// cannot resume there"); its question on what the reading does not follow; its question on an
// origin the journal shows confirmed; and, once it goes on, the line that set the origin in
// force ("Line 2 sets an origin with g92: it must still hold on the controller", empty when no
// line did).
std::string resume_refusal_text(const ResumeVerdict& verdict, const char* name);
std::string resume_unfollowed_text(const ResumeVerdict& verdict, const char* name);
std::string resume_origin_text(const ResumeVerdict& verdict, const char* name);
std::string resume_origin_note(const ReEntry& at);
// Said of a program whose lines before the resume move but never in Z (a lathe program's):
// "job.nc has no Z move before it: no re-entry moves are computed.\nBring the tool to X2.0000
// Y1.0000 by hand".
std::string resume_by_hand_text(const ReEntry& at, const char* name);
