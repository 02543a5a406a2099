// drilling.cpp - drill_hole, mill_hole, peck_drill and drill_array.
#include "drilling.h"

#include <cmath>

#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

constexpr double kStepTolerance = 1e-6;  // of a step

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

namespace {

// Holes along one side from `from`: the far edge is drilled when the steps reach it, to within a
// millionth of a step, so that a rounding in w / step never drops the last hole.
// NOTE: a step lost in the size of the start would drill one place over and over; it counts as
// endless, as a loop stepping there would be.
long hole_count(double from, double w, double step) {
  long count = count_of(std::floor(w / step + kStepTolerance) + 1);
  return count > 1 && from + step == from ? kMaxCount + 1 : count;
}

}  // namespace

void drill_array(double x, double y, double w, double h, double dx, double dy, double sd,
                 double ed) {
  const char* command = "drill_array";
  if (!step_ok(command, "x_step", dx) || !step_ok(command, "y_step", dy)) return;
  long columns = hole_count(x, w, dx);
  long rows = hole_count(y, h, dy);
  if (!count_ok(command, "holes", static_cast<long long>(columns) * rows)) return;
  write_text("; Drill Array starting at (%f,%f)\n", x, y);
  write_text("; Width = %f  Height = %f  x incremented by %f y incremented by %f\n", w, h, dx, dy);
  write_text("; Start depth = %f  End depth = %f\n;\n", sd, ed);
  // Each hole from the corner by whole steps, so no rounding adds up along a row.
  for (long i = 0; i < columns; ++i)
    for (long j = 0; j < rows; ++j)
      drill_hole(x + static_cast<double>(i) * dx, y + static_cast<double>(j) * dy, sd, ed);
}
