// lathe.cpp - lathe_diameter, lathe_slope, lathe_angle, lathe_radius, lathe_pulley and
// lathe_pulley2.
#include "lathe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "guard.h"
#include "params.h"
#include "writer.h"

namespace {

// lathe_pulley's approach runs this far into the stock (a larger Y is deeper), a skim off its
// surface before the first pass.
constexpr double kPulleyClear = 0.003;
// Each shoulder pass of lathe_pulley stops this much further short of the shoulder's face.
constexpr double kShoulderStep = 0.01;
// lathe_pulley2 starts section A's passes this far beyond the free end at X 0, and above the
// stock.
constexpr double kSectionClear = 0.025;
// ... and backs off this far out of the stock between its stages.
constexpr double kBackOff = 0.1;

// The depth s of a lathe_pulley pass is short of its bound by more than a rounding (a
// millionth of the step).
bool short_of(double s, double bound, double step) { return bound - s > step * 1e-6; }

// Every lathe loop steps its cross position by lathe_cut from `from` while it is below `to`
// (or not above it, when inclusive).
bool passes_ok(const char* command, double from, double to, bool inclusive = false) {
  return step_ok(command, "lathe_cut", params.lathe_cut) &&
         count_ok(command, "passes", count_up(from, params.lathe_cut, to, inclusive));
}

// A move that would leave the tool where it stands (to a millionth) is left out: a pass of no
// length.
void pass_xy(double x, double y, double feed) {
  if (std::fabs(x - writer.last_x) < 1e-6 && std::fabs(y - writer.last_y) < 1e-6) return;
  write_xy(x, y, feed);
}

// One lathe_pulley2 command: its offsets and groove, and the two wall accumulators.
struct Pulley2 {
  double q1, q2;  // every position is an offset from (q1, q2)
  double q5, q6, q7;
  double inset;   // how far each wall leans in over the groove's depth: q7 tan(q8 / 2)
  double t;       // how far each wall comes in per cross step
  double a1, a2;  // how far the passes have come in from the near and the far wall so far
};

void move(const Pulley2& p, double x, double y, double feed) {
  write_xy(p.q1 + x, p.q2 + y, feed);
}

void change_tool() {
  write_text("; Change lathe bit to: %f - press c to continue\n", params.lathe_tool2);
  write_stop();
}

// The step of a second section is turned, like the first, with the turning tool.
void change_tool_back() {
  write_text("; Change lathe bit back to: turning tool - press c to continue\n");
  write_stop();
}

// The groove of the section whose X origin is x0 and whose step is h deep, cut in
// alternating directions, the passes following each wall in by t per cross step. Its corners
// at the top are p1x (the near one, where the tool's width b is allowed for) and p4x.
void cut_groove(Pulley2& p, double x0, double h, double first_feed) {
  double lc = params.lathe_cut, b = params.lathe_tool2;
  double p1x = x0 - p.q5, p4x = x0 - p.q5 - p.q6;
  double c = h;
  // Each groove follows its own walls: a second section's groove, carried on from where the
  // first left off, would start its passes past its far wall.
  p.a1 = p.t;
  p.a2 = p.t;
  move(p, p1x - p.a1 - b, c, first_feed);
  c += lc;
  p.a1 += p.t;
  p.a2 += p.t;
  while (h + p.q7 > c) {
    move(p, p1x - p.a1 - b, c, params.feedrate_plunge);
    p.a1 += p.t;
    move(p, p4x + p.a2, c, params.feedrate_lathe);
    p.a2 += p.t;
    c += lc;
    if (!(h + p.q7 > c)) break;
    move(p, p4x + p.a2, c, params.feedrate_plunge);
    p.a2 += p.t;
    move(p, p1x - p.a1 - b, c, params.feedrate_lathe);
    p.a1 += p.t;
    c += lc;
  }
}

// Back to the top of the groove, then one finishing cut down the near wall, across the
// bottom and up the far wall.
void finish_groove(const Pulley2& p, double x0, double h, double feed) {
  double b = params.lathe_tool2, ff = params.feedrate_finish;
  double p1x = x0 - p.q5, p4x = x0 - p.q5 - p.q6;  // the groove's corners at the top
  double p2x = x0 - p.q5 - p.inset, p3x = x0 - p.q5 - p.q6 + p.inset;  // ... and at the bottom
  move(p, p1x - p.a1 - b, h, feed);
  move(p, p1x - b, h, ff);
  move(p, p2x - b, h + p.q7, ff);
  move(p, p3x, h + p.q7, ff);
  move(p, p4x, h, ff);
}

// Section A: the step turned at X origin 0, h deep, from beyond the free end, each pass cut
// and then returning one lathe_cut shallower; its groove follows the tool change.
void section_a(Pulley2& p, double h) {
  double lc = params.lathe_cut;
  double x0 = 0, start = x0 + kSectionClear, end = x0 - 2 * p.q5 - p.q6;
  move(p, start, 0, params.feedrate_max);
  for (double c = -kSectionClear; h > c; c += lc) {
    move(p, start, c, params.feedrate_plunge);
    move(p, end + lc, c, params.feedrate_lathe);
    move(p, end + lc, c - lc, params.feedrate_lathe);
    move(p, start, c - lc, params.feedrate_max);
  }
  move(p, start, h, params.feedrate_plunge);
  move(p, end, h, params.feedrate_finish);
  move(p, end, -lc, params.feedrate_finish);
  // NOTE: out of the stock, not into it: from the far end's top a way down to Y 0.1 beyond
  // the free end would run below a step less than 0.1 deep.
  move(p, start, -kBackOff, params.feedrate_max);
  change_tool();
  cut_groove(p, x0, h, params.feedrate_finish);
  finish_groove(p, x0, h, params.feedrate_max);
  move(p, x0 - p.q5 - p.q6, -kBackOff, params.feedrate_max);
  change_tool_back();
}

// Section B: the step from X origin -q9 to its far end, turned there and back, each way one
// lathe_cut deeper and never beyond h; its groove follows the tool change.
void section_b(Pulley2& p, double q9, double h) {
  double lc = params.lathe_cut, b = params.lathe_tool2;
  // The step's ends are walls of the work (section A's step or the stock), not air: the
  // passes stop at them.
  double x0 = -q9, start = x0, end = x0 - 2 * p.q5 - p.q6;
  move(p, start, 0, params.feedrate_max);
  double c = -kSectionClear;
  while (h > c) {
    c = std::min(c + lc, h);
    move(p, start, c, params.feedrate_plunge);
    move(p, end, c, params.feedrate_lathe);
    c = std::min(c + lc, h);
    pass_xy(p.q1 + end, p.q2 + c, params.feedrate_plunge);
    move(p, start, c, params.feedrate_lathe);
  }
  move(p, start, -kBackOff, params.feedrate_max);
  change_tool();
  // Over the groove out of the stock, then straight in: a slant from the step's end would
  // take the grooving tool's width past it.
  move(p, x0 - p.q5 - p.t - b, -kBackOff, params.feedrate_max);
  cut_groove(p, x0, h, params.feedrate_lathe);
  finish_groove(p, x0, h, params.feedrate_lathe);
  move(p, x0 - p.q5 - p.q6, -kBackOff, params.feedrate_max);
  move(p, kSectionClear, -kBackOff, params.feedrate_max);
}

// lathe_diameter and lathe_slope: the same passes, either parallel to X at each cross position
// (a diameter) or all running out to (x1, y1) (a taper).
void turn(const char* command, double x1, double y1, double x2, double y2, bool taper) {
  double lc = params.lathe_cut;
  if (!passes_ok(command, y1 + lc, y2)) return;
  // NOTE: the labels do not follow the values, which stand in reading order: x1 y1 x2 y2.
  write_text("; Lathe %s: xs=%.4f xe=%.4f ys=%.4f ye=%.4f\n", taper ? "slope" : "diameter", x1, y1,
             x2, y2);
  write_xy(x2, y1, params.feedrate_max);
  for (double c = y1 + lc; c < y2; c += lc) {
    write_xy(x2, c, taper ? params.feedrate_lathe : params.feedrate_cut);
    write_xy(x1, taper ? y1 : c, params.feedrate_lathe);
    write_xy(x2, taper ? y1 : c, params.feedrate_max);
  }
  write_xy(x2, y2, params.feedrate_lathe);
  write_xy(x1, taper ? y1 : y2, params.feedrate_lathe);
  if (!taper) write_xy(x1, y1, params.feedrate_max);  // a taper leaves the tool at its end
}

}  // namespace

void lathe_diameter(double x1, double y1, double x2, double y2) {
  turn("lathe_diameter", x1, y1, x2, y2, false);
}

void lathe_slope(double x1, double y1, double x2, double y2) {
  turn("lathe_slope", x1, y1, x2, y2, true);
}

void lathe_angle(double x, double y1, double y2, double a) {
  double lc = params.lathe_cut;
  if (!passes_ok("lathe_angle", y1 + lc, y2)) return;
  write_text("\n; Lathe angle: xe=%.4f ys=%.4f ye=%.4f a=%.4f\n", x, y1, y2, a);
  write_xy(x, y1, params.feedrate_max);
  // The chamfer starts (y2 - y1) / tan(a) along the work from the face at x, so that it is the
  // same wherever the face lies: toward +X for an angle under 90, toward -X (the mirror, for
  // work that lies the other way) for one over 90 or below 0.
  double xa = x + (y2 - y1) / std::tan(a / kDegreesPerRadian);
  // A chamfer at 90 degrees has no length: its passes run straight down the face.
  for (double c = y1 + lc; c < y2; c += lc) {
    pass_xy(xa, y1, params.feedrate_lathe);
    write_xy(x, c, params.feedrate_lathe);
    write_xy(x, y1, params.feedrate_max);
  }
  pass_xy(xa, y1, params.feedrate_lathe);
  write_xy(x, y2, params.feedrate_lathe);
  write_xy(x, y1, params.feedrate_lathe);
}

void lathe_radius(double x, double y, double r) {
  double lc = params.lathe_cut, e = y - r + lc;
  if (!passes_ok("lathe_radius", e, y, true)) return;
  write_text("; Lathe radius: xs=%.4f ys=%.4f r=%.4f\n", x, y, r);
  write_xy(x, y, params.feedrate_max);
  double xc = x - r;  // X of every arc's centre
  write_xy(xc, e, params.feedrate_max);
  // Each quarter turns from below its centre to the corner's face: counter-clockwise, whatever
  // direction the command before left. That one holds again for the commands after.
  char found[sizeof writer.arc_word];
  std::snprintf(found, sizeof found, "%s", writer.arc_word);
  set_arc_word("g3");
  bool last = false;
  while (e <= y) {
    if (params.arc_format == 'r')
      write_arc_r(x, e + r, r, params.feedrate_cut);
    else
      write_arc_ij(x, e + r, xc, e + r, params.feedrate_cut);
    if (last) break;
    e += lc;
    // NOTE: a step past y is pulled back to it, so the corner itself is always cut, even
    // when the step before landed on it.
    if (e > y) {
      e = y;
      last = true;
    }
    write_xy(x, e, params.feedrate_max);
    write_xy(xc, e, params.feedrate_max);
  }
  set_arc_word(found);
  write_xy(x, y, params.feedrate_max);
}

void lathe_pulley(double p1, double p2, double p3, double p4, double p5, double p6, double p7,
                  double p8) {
  const char* command = "lathe_pulley";
  double lc = params.lathe_cut, fl = params.feedrate_lathe, fm = params.feedrate_max;
  if (!step_ok(command, "lathe_cut", lc)) return;
  // Both loops cut at lathe_cut, twice that, ... while the depth stays short of their bound.
  long passes = count_up(lc, lc, p5, false);
  if (p7 > 0) passes += count_up(lc, lc, p8 / 2, false);
  if (!count_ok(command, "passes", passes)) return;
  double w = (p4 - p6) / 2;  // how far each wall leans in over the groove's depth
  double n = lc * w / p5;    // ... per lathe_cut of depth
  // Where the roughing would take the tool, brought inside the V at the depth d below the
  // surface: the passes are laid out from p3 and the wall step n, which alone would run past
  // the walls of a deep or steep groove.
  auto inside = [&](double x, double d) {
    return std::max(p1 + w * d / p5, std::min(x, p1 + p4 - w * d / p5));
  };
  double outside = p1 + 2 * p3 + p4 + p7;
  write_xy(outside, p2, fm);
  write_xy(outside, p2 + kPulleyClear, fl);
  write_xy(inside(p1 + p3 + p4 - n, kPulleyClear), p2 + kPulleyClear, fl);
  // NOTE: every pass is tested at its own depth, so none goes below the groove's floor; the
  // floor itself is cut once, by the two moves after the loop, even when the steps that add
  // up to it fall short of it by a rounding.
  double r = n;
  for (double s = lc; short_of(s, p5, lc); s += lc) {
    pass_xy(inside(p1 + p3 + p4 - r, s), p2 + s, fl);
    r += n;
    pass_xy(inside(p1 + p3 + n, s), p2 + s, fl);
    pass_xy(inside(p1 + p3 + p4 - r, s), p2 + s, fl);
  }
  pass_xy(inside(p1 + p3 + p4 - r, p5), p2 + p5, fl);
  pass_xy(inside(p1 + p3 + n, p5), p2 + p5, fl);
  // The two walls, each cut once along its slope.
  write_xy(p1, p2, fm);
  write_xy(p1 + w, p2 + p5, fl);
  write_xy(p1 + w, p2, fm);
  write_xy(p1 + p4, p2, fm);
  write_xy(p1 + p4 - w, p2 + p5, fl);
  write_xy(p1 + p4 - w, p2, fm);
  if (p7 > 0) {
    // The shoulder is stepped down from the top of the stock in its own passes, as the groove
    // was, between its face at xb and the groove's wall p7 nearer.
    double xb = p1 + p4 + p7, wall = xb - p7;
    // Each pass starts 0.01 further in from the face, clear of the tool's side, but only
    // while the pass keeps half a step of width: from there the face goes straight down, and
    // no pass reaches over the groove's wall.
    auto step_in = [&](double a) {
      return p7 - (a + kShoulderStep) >= kShoulderStep / 2 ? a + kShoulderStep : a;
    };
    write_xy(xb, p2, fl);
    double a = step_in(0);
    for (double s = lc; short_of(s, p8 / 2, lc); s += lc) {
      write_xy(xb - a, p2 + s, fl);
      a = step_in(a);
      write_xy(wall, p2 + s, fl);
      write_xy(xb - a, p2 + s, fl);
    }
    pass_xy(xb - a, p2 + p8, fl);
    pass_xy(wall, p2 + p8, fl);
    // Out of the shoulder straight up its inner edge: the way back along the surface would
    // otherwise cut through the groove's wall.
    pass_xy(wall, p2, fm);
  }
  pass_xy(0, p2, fm);
  pass_xy(p1, p2, fm);
}

void lathe_pulley2(double q1, double q2, double q3, double q4, double q5, double q6, double q7,
                   double q8, double q9, double q10) {
  const char* command = "lathe_pulley2";
  double lc = params.lathe_cut;
  if (!step_ok(command, "lathe_cut", lc)) return;
  bool with_a = q9 > 0 && q10 > 0;
  double ha = (q3 - q10) / 2, hb = (q3 - q4) / 2;  // step depths
  // Cross steps of the turning and of the groove; section B's clamped turning takes no
  // more steps than its unclamped count.
  long passes = count_up(-kSectionClear, lc, hb, false) + count_up(hb + lc, lc, hb + q7, false);
  if (with_a)
    passes += count_up(-kSectionClear, lc, ha, false) + count_up(ha + lc, lc, ha + q7, false);
  if (!count_ok(command, "passes", passes)) return;
  double slope = std::tan(q8 / 2 / kDegreesPerRadian);
  double t = std::fabs(slope) * lc;
  Pulley2 p{q1, q2, q5, q6, q7, q7 * slope, t, t, t};
  if (with_a) section_a(p, ha);
  section_b(p, q9, hb);
}
