// writer.cpp - the six motion line formats in their compact and verbose layouts.
#include "writer.h"

#include <cstdarg>
#include <cstring>

#include "params.h"

Writer writer;

namespace {

bool verbose() { return params.verbose == 'y'; }

void remember(double x, double y) {
  writer.last_x = x;
  writer.last_y = y;
}

// NOTE: every "%10s" of the verbose layout gets an empty text: ten blanks keep the X, Y, Z,
// R/I and F columns aligned between the different kinds of line.
const char kBlank[] = "";

}  // namespace

void writer_reset() {
  writer.line = 0;
  writer.last_x = 0;
  writer.last_y = 0;
  set_arc_word("g3");
}

void set_arc_word(const char* word) {
  std::snprintf(writer.arc_word, sizeof writer.arc_word, "%s", word);
}

int next_line() { return writer.line++; }

void write_xy(double x, double y, double feed) {
  if (verbose())
    write_text("n%-4d g1 x%-+9.6f y%-+9.6f %10s %10s f%-9.6f\n", next_line(), x, y, kBlank, kBlank,
               feed);
  else
    write_text("n%d g1 x%.5f y%.5f f%.5f\n", next_line(), x, y, feed);
  remember(x, y);
}

void write_z(double z, double feed) {
  if (verbose())
    write_text("n%-4d g1 %10s %10s z%-+9.6f %10s f%.6f\n", next_line(), kBlank, kBlank, z, kBlank,
               feed);
  else
    write_text("n%d g1 z%.5f f%.5f\n", next_line(), z, feed);
}

void write_arc_r(double x, double y, double r, double feed) {
  if (verbose())
    write_text("n%-4d %s x%-+9.6f y%-+9.6f r%-9.6f %10s f%-9.6f\n", next_line(), writer.arc_word, x,
               y, r, kBlank, feed);
  else
    write_text("n%d %s x%.5f y%.5f r%.5f f%.5f\n", next_line(), writer.arc_word, x, y, r, feed);
  remember(x, y);
}

void write_arc_rz(double x, double y, double z, double r, double feed) {
  if (verbose())
    write_text("n%-4d %s x%-+9.6f y%-+9.6f z%-+9.6f r%-9.6f %10s f%-9.6f\n", next_line(),
               writer.arc_word, x, y, z, r, kBlank, feed);
  else
    write_text("n%d %s x%.5f y%.5f z%.5f r%.5f f%.5f\n", next_line(), writer.arc_word, x, y, z, r,
               feed);
  remember(x, y);
}

void write_arc_ij(double x, double y, double i, double j, double feed) {
  if (verbose())
    write_text("n%-4d %s x%-+9.6f y%-+9.6f i%-+9.6f j%-+9.6f f%-9.6f\n", next_line(),
               writer.arc_word, x, y, i, j, feed);
  else
    write_text("n%d %s x%.5f y%.5f i%.5f j%.5f f%.5f\n", next_line(), writer.arc_word, x, y, i, j,
               feed);
  remember(x, y);
}

void write_arc_ijz(double x, double y, double z, double i, double j, double feed) {
  if (verbose())
    write_text("n%-4d %s x%-+9.6f y%-+9.6f z%-+9.6f i%-+9.6f j%-+9.6f f%-9.6f\n", next_line(),
               writer.arc_word, x, y, z, i, j, feed);
  else
    write_text("n%d %s x%.5f y%.5f z%.5f i%.5f j%.5f f%.5f\n", next_line(), writer.arc_word, x, y,
               z, i, j, feed);
  remember(x, y);
}

void write_stop() { write_text(";\nn%-4d m01\n", next_line()); }

void write_end() { write_text(";\nn%-4d m30\n", next_line()); }

void write_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(writer.out, format, args);
  va_end(args);
}
