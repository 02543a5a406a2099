// lines.cpp - move_line2, mill_line and mill_arc.
#include "lines.h"

#include <cmath>

#include "geometry.h"
#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

// Moves both end points of a line along an axis sideways by the tool radius, to the left or
// right of the direction of travel. Each direction shifts one coordinate only; the other is
// written exactly as given (adding a zero would turn -0 into 0). Diagonals and side c are
// not shifted here.
void offset_along_axis(char side, Point& s, Point& e) {
  if (side != 'l' && side != 'r') return;
  double dx = e.x - s.x, dy = e.y - s.y;
  double r = side == 'l' ? params.tool_radius : -params.tool_radius;
  if (dy == 0 && dx != 0) {
    double d = dx > 0 ? r : -r;
    s.y += d;
    e.y += d;
  } else if (dx == 0 && dy != 0) {
    double d = dy > 0 ? -r : r;
    s.x += d;
    e.x += d;
  }
}

}  // namespace

void move_line2(char side, double xs, double ys, double xe, double ye) {
  write_text("; move line2: toolrad_comp=%c xs=%f ys=%f xe=%f ye=%f\n", side, xs, ys, xe, ye);
  double dx = xe - xs, dy = ye - ys;
  Point s{xs, ys}, e{xe, ye};
  if (dx != 0 && dy != 0 && side != 'c') {
    // Along the line's normal, so the tool edge, not its centre, runs on the line.
    double normal = std::atan2(dy, dx) + (side == 'l' ? kPi / 2 : -kPi / 2);
    double ox = params.tool_radius * std::cos(normal), oy = params.tool_radius * std::sin(normal);
    s = {xs + ox, ys + oy};
    e = {xe + ox, ye + oy};
  } else {
    offset_along_axis(side, s, e);
  }
  write_xy(s.x, s.y, params.feedrate_max);
  write_xy(e.x, e.y, params.feedrate_cut);
}

void mill_line(char side, double xs, double ys, double xe, double ye, double sd, double ed) {
  if (!depth_ok("mill_line", "depth_cut", params.depth_cut, sd, ed)) return;
  write_text("; Mill line: %c xs=%.4f ys=%.4f xe=%.4f ye=%.4f sd=%.4f ed=%.4f\n", side, xs, ys, xe,
             ye, sd, ed);
  bool lift = params.lift == 'y';
  double dc = params.depth_cut;
  double dx = xe - xs, dy = ye - ys;
  if (lift) retract();
  double c = sd;
  if (dx != 0 && dy != 0) {
    // A diagonal is not offset. Every pass cuts from start to end and returns above the work,
    // whatever `lift` says. The approach puts the tool over the start before the first
    // plunge, so the cut never begins from wherever the last command left it.
    write_xy(xs, ys, params.feedrate_max);
    if (lift) write_z(sd + params.off_contact, params.feedrate_max);
    while (c - dc > ed) {
      c -= dc;
      write_z(c, params.feedrate_plunge);
      write_xy(xs, ys, params.feedrate_cut);
      write_xy(xe, ye, params.feedrate_cut);
      retract();
      write_xy(xs, ys, params.feedrate_max);
    }
    write_z(ed, params.feedrate_plunge);
    write_xy(xe, ye, params.feedrate_cut);
  } else {
    // Along an axis the tool stays down and cuts back and forth, one pass per depth.
    Point s{xs, ys}, e{xe, ye};
    offset_along_axis(side, s, e);
    double x[2] = {s.x, e.x}, y[2] = {s.y, e.y};
    int at = 0;  // the end where the tool stands
    write_xy(x[0], y[0], params.feedrate_max);
    if (lift) write_z(sd + params.off_contact, params.feedrate_max);
    while (c - dc > ed) {
      c -= dc;
      write_z(c, params.feedrate_plunge);
      at = 1 - at;
      write_xy(x[at], y[at], params.feedrate_cut);
    }
    write_z(ed, params.feedrate_plunge);
    at = 1 - at;
    write_xy(x[at], y[at], params.feedrate_cut);
  }
  if (lift) retract();
}

void mill_arc(double xs, double ys, double xe, double ye, double xc, double yc, double sd,
              double ed) {
  if (!depth_ok("mill_arc", "depth_cut", params.depth_cut, sd, ed)) return;
  write_text(
      "; Mill arc: xpos %.5f ypos %.5f xe=%.5f ye=%.5f  xc=%.5f yc=%.5f sd=%.5f ed=%.5f\n", xs,
      ys, xe, ye, xc, yc, sd, ed);
  double dc = params.depth_cut;
  approach(xs, ys, sd + params.off_contact);
  double c = sd;
  while (c - dc > ed) {
    c -= dc;
    write_z(c, params.feedrate_plunge);
    write_arc_ij(xe, ye, xc, yc, params.feedrate_cut);
    retract();
    write_xy(xs, ys, params.feedrate_cut);
  }
  write_z(ed, params.feedrate_plunge);
  write_arc_ij(xe, ye, xc, yc, params.feedrate_cut);
  retract();
}
