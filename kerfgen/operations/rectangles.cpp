// rectangles.cpp - mill_square, mill_box, mill_surface, mill_surface_square, mill_round_box.
#include "rectangles.h"

#include <cstdio>

#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

// How far a corner relief move reaches out in X and in Y, as a share of the tool radius: the
// round tool cuts into each square corner, so that a square-cornered part fits the pocket.
// 1 - 1/sqrt(2): out along the diagonal by sqrt(2) - 1, its edge just reaches the corner, and
// each wall beside it is notched no deeper than it must be.
constexpr double kRelief = 0.293;

// The tool-centre outline of a cleared rectangle and the spacing of its zig-zag rows.
struct Surface {
  double x0, x1, y0, y1;
  double step;  // row spacing: the tool diameter less the overlap
};

Surface surface_of(double xc, double yc, double xl, double yl) {
  double R = params.tool_radius;
  return {xc - xl / 2 + R, xc + xl / 2 - R, yc - yl / 2 + R, yc + yl / 2 - R,
          params.mill_bit - params.surface_overlap};
}

// Zig-zag rows of one level: strictly below the outline's top on every level but the last,
// which also cuts a row lying exactly on it.
long surface_rows(const Surface& s, bool last) {
  return count_up(s.y0 + s.step, s.step, s.y1, last);
}

bool square_guard(const char* command, double sd, double ed) {
  return depth_ok(command, "depth_cut", params.depth_cut, sd, ed);
}

bool surface_guard(const char* command, double xc, double yc, double xl, double yl, double sd,
                   double ed) {
  Surface s = surface_of(xc, yc, xl, yl);
  if (!step_ok(command, "depth_cut", params.depth_cut) ||
      !step_ok(command, "the row step (mill_bit - 0.025)", s.step))
    return false;
  long long levels = depth_passes(sd, ed, params.depth_cut);
  if (!count_ok(command, "depth passes", levels)) return false;
  long long rows = (levels - 1) * surface_rows(s, false) + surface_rows(s, true);
  return count_ok(command, "rows", rows);
}

// The plunge of every level but the last: the tool does not lift between levels.
// Returns false once the next step would reach the end depth.
bool next_level(double& c, double ed) {
  if (!(c - params.depth_cut > ed)) return false;
  c -= params.depth_cut;
  write_z(c, params.feedrate_plunge);
  return true;
}

void square_level(double x0, double y0, double x1, double y1) {
  double f = params.feedrate_cut;
  write_xy(x0, y0, f);
  if (params.mill_dir == 'c') {
    write_xy(x0, y1, f);
    write_xy(x1, y1, f);
    write_xy(x1, y0, f);
  } else {
    write_xy(x1, y0, f);
    write_xy(x1, y1, f);
    write_xy(x0, y1, f);
  }
  write_xy(x0, y0, f);
}

void cut_square(double xc, double yc, double xl, double yl, double sd, double ed) {
  write_text("; Mill square: xc=%.4f yc=%.4f xl=%.4f yl=%.4f ds=%.4f de=%.4f\n", xc, yc, xl, yl,
             sd, ed);
  double x0 = xc - xl / 2, x1 = xc + xl / 2, y0 = yc - yl / 2, y1 = yc + yl / 2;
  approach(x0, y0, sd + params.off_contact);
  double c = sd;
  while (next_level(c, ed)) square_level(x0, y0, x1, y1);
  write_z(ed, params.feedrate_plunge);
  square_level(x0, y0, x1, y1);
  retract();
}

// A corner of the outline, with the relief move out and back when asked for.
void corner(double x, double y, double out_x, double out_y, bool relief) {
  double f = params.feedrate_cut;
  write_xy(x, y, f);
  if (!relief) return;
  double e = kRelief * params.tool_radius;
  write_xy(x + out_x * e, y + out_y * e, f);
  write_xy(x, y, f);
}

// One level of a cleared rectangle, from (x0, y0): the outline, the rows, the top row.
void surface_level(const Surface& s, bool relief, bool last) {
  double f = params.feedrate_cut;
  double k = params.surface_overlap;
  corner(s.x0, s.y1, -1, 1, relief);
  corner(s.x1, s.y1, 1, 1, relief);
  corner(s.x1, s.y0, 1, -1, relief);
  corner(s.x0, s.y0, -1, -1, relief);
  double y = s.y0 + s.step;
  write_xy(s.x0, y, f);
  bool at_left = true;
  // Rows stop the overlap short of the outline, which has already cut the edge.
  for (; last ? y <= s.y1 : y < s.y1; y += s.step) {
    write_xy(at_left ? s.x0 + k : s.x1 - k, y, f);
    write_xy(at_left ? s.x1 - k : s.x0 + k, y, f);
    at_left = !at_left;
  }
  double top = s.y1 - params.tool_radius + k;
  write_xy(at_left ? s.x0 + k : s.x1 - k, top, f);
  write_xy(at_left ? s.x1 - k : s.x0 + k, top, f);
  if (!last) write_xy(s.x0, s.y0, f);
}

void cut_surface(bool relief, double xc, double yc, double xl, double yl, double sd, double ed) {
  write_text("; Mill surface: xc=%.4f yc=%.4f xl=%.4f yl=%.4f sd=%.4f ed=%.4f\n", xc, yc, xl, yl,
             sd, ed);
  Surface s = surface_of(xc, yc, xl, yl);
  // With relief the approach goes straight to the start depth.
  approach(s.x0, s.y0, relief ? sd : sd + params.off_contact);
  double c = sd;
  while (next_level(c, ed)) surface_level(s, relief, false);
  write_xy(s.x0, s.y0, params.feedrate_cut);
  write_z(ed, params.feedrate_plunge);
  surface_level(s, relief, true);
  retract();
}

// One level of the rounded outline, counter-clockwise from (x0 + u, y0); the corner arcs are
// counter-clockwise quarters ("g3"), with their centres as absolute I and J.
void round_level(double x0, double y0, double x1, double y1, double u) {
  double f = params.feedrate_cut;
  write_xy(x1 - u, y0, f);
  write_arc_ij(x1, y0 + u, x1 - u, y0 + u, f);
  write_xy(x1, y1 - u, f);
  write_arc_ij(x1 - u, y1, x1 - u, y1 - u, f);
  write_xy(x0 + u, y1, f);
  write_arc_ij(x0, y1 - u, x0 + u, y1 - u, f);
  write_xy(x0, y0 + u, f);
  write_arc_ij(x0 + u, y0, x0 + u, y0 + u, f);
}

}  // namespace

void mill_square(double xc, double yc, double xl, double yl, double sd, double ed) {
  if (!square_guard("mill_square", sd, ed)) return;
  cut_square(xc, yc, xl, yl, sd, ed);
}

void mill_box(char mode, double xc, double yc, double xl, double yl, double sd, double ed) {
  const char* command = "mill_box";
  if (mode == 'c' ? !surface_guard(command, xc, yc, xl, yl, sd, ed) : !square_guard(command, sd, ed))
    return;
  write_text("; Mill box: '%c' xc=%.4f yc=%.4f xl=%.4f yl=%.4f ds=%.4f de=%.4f\n", mode, xc, yc,
             xl, yl, sd, ed);
  double D = params.mill_bit;
  if (mode == 'o')
    cut_square(xc, yc, xl + D, yl + D, sd, ed);
  else if (mode == 'i')
    cut_square(xc, yc, xl - D, yl - D, sd, ed);
  else
    cut_surface(false, xc, yc, xl, yl, sd, ed);
  retract();
}

void mill_surface(double xc, double yc, double xl, double yl, double sd, double ed) {
  if (!surface_guard("mill_surface", xc, yc, xl, yl, sd, ed)) return;
  cut_surface(false, xc, yc, xl, yl, sd, ed);
}

void mill_surface_square(double xc, double yc, double xl, double yl, double sd, double ed) {
  if (!surface_guard("mill_surface_square", xc, yc, xl, yl, sd, ed)) return;
  cut_surface(true, xc, yc, xl, yl, sd, ed);
}

void mill_round_box(double xc, double yc, double xl, double yl, double r, double sd, double ed) {
  const char* command = "mill_round_box";
  bool inside = params.mill_mode == 'i';
  if (inside ? !surface_guard(command, xc, yc, xl, yl, sd, ed) : !square_guard(command, sd, ed))
    return;
  write_text("; Mill round box: xc=%.4f yc=%.4f xl=%.4f yl=%.4f r=%.4f sd=%.4f ed=%.4f\n", xc, yc,
             xl, yl, r, sd, ed);
  if (inside) {
    cut_surface(false, xc, yc, xl, yl, sd, ed);  // the corner radius plays no part inside
  } else {
    double R = params.tool_radius;
    double x0 = xc - xl / 2 - R, x1 = xc + xl / 2 + R, y0 = yc - yl / 2 - R, y1 = yc + yl / 2 + R;
    double u = r + R;  // the tool centre rounds each corner at this radius
    approach(x0 + u, y0, sd + params.off_contact);
    // Each corner turns counter-clockwise, whatever direction the command before left: a "g2"
    // would draw it as three quarters of a turn through the part. That direction holds again
    // for the commands after.
    char found[sizeof writer.arc_word];
    std::snprintf(found, sizeof found, "%s", writer.arc_word);
    set_arc_word("g3");
    double c = sd;
    while (next_level(c, ed)) round_level(x0, y0, x1, y1, u);
    write_z(ed, params.feedrate_plunge);
    round_level(x0, y0, x1, y1, u);
    set_arc_word(found);
  }
  write_text("; End mill round box\n");
  retract();
}
