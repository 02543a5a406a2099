// circles.cpp - mill_circle, mill_circle_surface and mill_circle_helix.
#include "circles.h"

#include <cmath>
#include <cstdio>

#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

// Neighbouring rings overlap by this much, so no ridge is left between them.
constexpr double kRingOverlap = 0.02;

// Two half circles, there and back to the start at (xo - r, yo).
void full_circle(double xo, double yo, double r) {
  if (params.arc_format == 'r') {
    write_arc_r(xo + r, yo, r, params.feedrate_cut);
    write_arc_r(xo - r, yo, r, params.feedrate_cut);
  } else {
    write_arc_ij(xo + r, yo, xo, yo, params.feedrate_cut);
    write_arc_ij(xo - r, yo, xo, yo, params.feedrate_cut);
  }
}

// A ring smaller than this is left out: its arc would print as one of no radius, and the
// tool standing there clears it all the same.
constexpr double kSmallestRing = 0.0001;

// One whole circle of tool-centre radius v about (xo, yo), from its point on the -X side.
void ring(double xo, double yo, double v) {
  write_xy(xo - v, yo, params.feedrate_cut);
  if (v >= kSmallestRing) write_arc_ij(writer.last_x, writer.last_y, xo, yo, params.feedrate_cut);
}

// The rings stop once inside half the tool radius; the innermost one, at q, has cleared out to
// q - R. What is left inside it goes with a move when the tool reaches across it from one side,
// else with one more ring, a ring step further in, which always reaches the centre.
void clear_centre(double xo, double yo, double outer, double q, double step) {
  double R = params.tool_radius;
  if (q == 0) {
    ring(xo, yo, outer);  // a disc so small that no ring was cut: one at the outside
  } else if (q - R <= R / 2) {
    if (q > R) write_xy(xo - (q - R), yo, params.feedrate_cut);
  } else if (q - step >= kSmallestRing) {
    ring(xo, yo, q - step);
  } else {
    write_xy(xo, yo, params.feedrate_cut);
  }
}

}  // namespace

void mill_circle(double xo, double yo, double r, double sd, double ed) {
  if (!depth_ok("mill_circle", "depth_cut", params.depth_cut, sd, ed)) return;
  write_text("; Mill circle: xo=%.4f yo=%.4f r=%.4f sd=%.4f ed=%.4f\n", xo, yo, r, sd, ed);
  double dc = params.depth_cut;
  approach(xo - r, yo, sd + params.off_contact);
  double c = sd;
  // The tool stays down between passes and plunges straight to the next depth.
  while (c - dc > ed) {
    c -= dc;
    write_z(c, params.feedrate_plunge);
    full_circle(xo, yo, r);
  }
  write_z(ed, params.feedrate_plunge);
  full_circle(xo, yo, r);
  retract();
}

void mill_circle_surface(double xo, double yo, double rho, double sd, double ed) {
  const char* command = "mill_circle_surface";
  double dc = params.depth_cut;
  double R = params.tool_radius;
  double outer = rho - R;                     // tool-centre radius of the outermost ring
  double step = params.mill_bit - kRingOverlap;
  double innermost = R / 2;                   // rings stop at or inside this radius
  if (!step_ok(command, "depth_cut", dc) ||
      !step_ok(command, "the ring step (mill_bit - 0.02)", step))
    return;
  long long levels = depth_passes(sd, ed, dc);
  if (!count_ok(command, "depth passes", levels) ||
      !count_ok(command, "rings", levels * count_down(outer, step, innermost)))
    return;
  write_text("; Mill circular surface: xo=%.4f yo=%.4f r=%.4f sd=%.4f ed=%.4f\n", xo, yo, rho, sd,
             ed);
  if (outer <= 0) {
    write_text("; error - tool diam too big for circle\n");
    retract();
    return;
  }
  approach(xo - outer, yo, sd + params.off_contact);
  double c = sd;
  do {
    write_xy(xo - outer, yo, params.feedrate_cut);
    c -= dc;
    if (c < ed) c = ed;
    write_z(c, params.feedrate_plunge);
    double q = 0;  // radius of the last ring cut
    for (double v = outer; v > innermost; v -= step) {
      q = v;
      ring(xo, yo, v);
    }
    clear_centre(xo, yo, outer, q, step);
  } while (c > ed);
  retract();
}

void mill_circle_helix(double xo, double yo, double d, double sd, double ed) {
  const char* command = "mill_circle_helix";
  double half = params.depth_cut / 2;  // each half-turn descends half a depth_cut
  if (!step_ok(command, "depth_cut", params.depth_cut) ||
      !count_ok(command, "half-turns", depth_passes(sd, ed, half)))
    return;
  write_text("; Mill circle: xo=%.4f yo=%.4f diam=%.4f ds=%.4f de=%.4f\n", xo, yo, d, sd, ed);
  retract();
  double R = params.tool_radius;
  bool climb = params.climb == 'y';
  double g;
  if (params.mill_mode == 'o') {
    g = d / 2 + R;
    set_arc_word(climb ? "g2" : "g3");
  } else if (params.mill_mode == 'i') {
    g = d / 2 - R;
    set_arc_word(climb ? "g3" : "g2");
  } else {
    g = d / 2;
    set_arc_word("g3");
  }
  double h = std::fabs(g);
  write_xy(xo + g, yo, params.feedrate_max);
  write_z(sd + params.off_contact, params.feedrate_max);
  write_z(sd, params.feedrate_plunge);
  double c = sd;
  while (c - half > ed) {
    g = -g;
    c -= half;
    write_arc_rz(xo + g, yo, c, h, params.feedrate_cut);
  }
  if (c > ed) {
    g = -g;
    write_arc_rz(xo + g, yo, ed, h, params.feedrate_cut);
  }
  retract();
}
