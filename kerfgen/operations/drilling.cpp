// drilling.cpp - drill_hole, mill_hole, peck_drill and drill_array.
#include "drilling.h"

#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

// One plunge to the full depth: depth_cut does not apply, the drill clears its own chips.
void plunge_hole(double x, double y, double sd, double ed) {
  approach(x, y, sd + params.off_contact);
  write_z(ed, params.feedrate_plunge);
  retract();
}

}  // namespace

void drill_hole(double x, double y, double sd, double ed) {
  write_text("; Drill hole: xpos %f, ypos %f, depth_start %f, depth_end %f\n", x, y, sd, ed);
  plunge_hole(x, y, sd, ed);
}

void mill_hole(double x, double y, double sd, double ed) {
  write_text("; mill_hole: xpos %f, ypos %f, depth_start %f, depth_end %f\n", x, y, sd, ed);
  plunge_hole(x, y, sd, ed);
}

void peck_drill(char withdraw, double x, double y, double pd, double pu, double sd, double ed) {
  const char* command = "peck_drill";
  if (!step_ok(command, "peck_down", pd) ||
      !count_ok(command, "pecks", depth_passes(sd, ed, pd)))
    return;
  write_text(
      "; peck_drill: withdraw %c, xpos %f, ypos %f, peckdown %f\n; peckup %f, depth_start %f, "
      "depth_end %f\n",
      withdraw, x, y, pd, pu, sd, ed);
  approach(x, y, sd + params.off_contact);
  double c = sd;
  // NOTE: strictly above the end depth, so a last peck that lands on it is not cut twice.
  while (c - pd > ed) {
    c -= pd;
    write_z(c, params.feedrate_plunge);
    write_z(withdraw == 'y' ? sd : c + pu, params.feedrate_max);  // break the chip
    write_z(c + params.off_contact, params.feedrate_max);
  }
  write_z(ed, params.feedrate_plunge);
  retract();
}

void drill_array(double x, double y, double w, double h, double dx, double dy, double sd,
                 double ed) {
  const char* command = "drill_array";
  if (!step_ok(command, "x_step", dx) || !step_ok(command, "y_step", dy)) return;
  long long columns = count_up(x, dx, x + w, true);
  long long rows = count_up(y, dy, y + h, true);
  if (!count_ok(command, "holes", columns * rows)) return;
  write_text("; Drill Array starting at (%f,%f)\n", x, y);
  write_text("; Width = %f  Height = %f  x incremented by %f y incremented by %f\n", w, h, dx, dy);
  write_text("; Start depth = %f  End depth = %f\n;\n", sd, ed);
  // NOTE: with no rows the columns are not stepped through at all: a step too small for the
  // start would otherwise spin for ever without drilling anything.
  if (rows == 0) return;
  // Repeated addition, as counted above: the far edge is drilled when the steps reach it.
  for (double column = x; column <= x + w; column += dx)
    for (double row = y; row <= y + h; row += dy) drill_hole(column, row, sd, ed);
}
