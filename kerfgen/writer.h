// writer.h - the G-code line writers: every line of Kerfgen's output goes through here.
#pragma once

#include <cstdio>

// Program-wide writer state, reset with the parameter defaults.
struct Writer {
  std::FILE* out;
  int line;         // number of the next numbered line; the first is n0
  double last_x;    // X and Y of the last line that carried them, as passed (not as printed)
  double last_y;
  char arc_word[3];  // "g2" or "g3": the motion word of every arc line
  // The program has said g91.1, and not g90.1 since: a controller reads I and J from the arc's
  // start. Until it says so, it reads them as the centre itself.
  bool centres_relative;
};

extern Writer writer;

void writer_reset();

// Sets the arc word; the direction stays for later commands until set again.
void set_arc_word(const char* word);

// Motion lines: one numbered feed move each, compact or column-aligned as `verbose` says.
void write_xy(double x, double y, double feed);
void write_z(double z, double feed);
// Arcs from the last position written. The centre arcs take the arc's true centre (cx, cy) and
// write it as the program has declared: as it stands, or from the arc's start after g91.1.
// An arc that ends where it starts with no radius is no move at all (a controller might read a
// whole circle into it): it is left out, and a helical one becomes its Z move.
void write_arc_r(double x, double y, double r, double feed);
void write_arc_rz(double x, double y, double z, double r, double feed);
void write_arc_ij(double x, double y, double cx, double cy, double feed);
void write_arc_ijz(double x, double y, double z, double cx, double cy, double feed);

// A modal line ("g90\n", "g91.1\n", ...), written as it stands; the centre modes also set how
// every later centre is written.
void write_modal(const char* line);

// The operator stop (";\nn%-4d m01\n") and the program end (";\nn%-4d m30\n").
void write_stop();
void write_end();

// Comments and other lines written as they stand.
void write_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Takes the number for a numbered line that a caller writes itself.
int next_line();

// A command is written whole or not at all. Between these two calls every line is held back;
// command_end writes them, unless a number among them was not finite (a value that overflowed
// in the command's arithmetic): then it drops them, puts the line number, the last position and
// the arc word back as they were at command_begin, and writes one error comment naming the
// command instead. A controller must never see inf or nan in a coordinate or a feed.
void command_begin();
// True when the command's lines were written.
bool command_end(const char* command);
