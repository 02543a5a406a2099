// resume.h - taking up a program again at a given line: where the tool must be, and the
// moves that bring it there.
#pragma once

#include <cstdio>

// What the lines before the resume line leave behind.
struct ReEntry {
  bool moved;       // some line before it was interpreted: there is a position to return to
  double x, y, z;   // the position before the resume line
  double safe_z;    // the highest Z reached before it (a Kerfgen program's safe height)
  double feed;      // the feed of the last move, 0 when no F word came
  long origin_line; // the last line before it that set a new origin with G99, or 0
};

// Runs the lines of file before line `from` (1 for the first) through the G-code
// interpreter, as the controller would have received them: comment (";") and pause (":")
// lines are not sent, so they do not count. g92 sets the origin where the tool stands (or
// the given axes to their values). The file is read from where it stands.
ReEntry find_reentry(std::FILE* file, long from);

// The three re-entry lines, as Kerfsend composes its own commands: up to the safe height,
// over the position, down to its Z, each at the last feed.
constexpr int kReEntryLines = 3;
void reentry_lines(const ReEntry& at, char (&lines)[kReEntryLines][128]);
