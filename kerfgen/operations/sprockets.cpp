// sprockets.cpp - mill_sprocket: tooth outlines in three passes of straight moves.
#include "sprockets.h"

#include <cmath>
#include <cstdio>

#include "guard.h"
#include "params.h"
#include "writer.h"

namespace {

// Allowance left on the outline by the first pass; the second leaves cut_finish, the last 0.
constexpr double kFirstAllowance = 0.006;
constexpr double kFinishAllowance = 0.001;  // also the cut_finish the sprocket leaves set

struct Point {
  double x, y;
};

Point turned(Point p, double theta) {
  return Point{p.x * std::cos(theta) - p.y * std::sin(theta),
               p.x * std::sin(theta) + p.y * std::cos(theta)};
}

// The angle of root between two teeth whose flanks lie h either side of their radii, when the
// tool centre runs the root at radius rr: the pitch less what each flank's corner takes of it.
// Not above 0 (or not a number) when the flanks meet before the root circle does.
double root_gap(double rr, double h, double theta) {
  if (!(rr > h)) return 0;
  return std::fabs(theta) - 2 * std::atan2(h, std::sqrt(rr * rr - h * h));
}

}  // namespace

void mill_sprocket(double od, double hole, int N, double W, double H, double start_z,
                   double end_z) {
  const char* command = "mill_sprocket";
  if (!step_ok(command, "the number of teeth", N) || !count_ok(command, "teeth", N)) return;
  double R = params.tool_radius;
  double Ro = od / 2 + R;  // tool centre at the tips
  double Ri = Ro - H;      // ... and along the roots
  double theta = -(360.0 / N) / kDegreesPerRadian;  // clockwise, one tooth at a time
  auto half_width = [&](double A) { return W / 2 + R + A; };
  const double allowances[] = {kFirstAllowance, kFinishAllowance, 0};
  for (double A : allowances)
    if (!(root_gap(Ri + A, half_width(A), theta) > 0)) {
      write_text("; error - %s: the teeth leave no root between them\n", command);
      return;
    }
  write_text("; mill_sprocket %f %f %d %f %f %f %f\n", od, hole, N, W, H, start_z, end_z);
  if (std::fabs(start_z - end_z) > params.depth_cut) {
    write_text("; depth of cut > cut of each depth\n");
    return;
  }
  if (params.mill_bit > hole) {
    write_text("; tool diameter > center hole diameter\n");
    return;
  }
  params.cut_rough = 0.005;
  params.cut_finish = kFinishAllowance;

  // NOTE: the sprocket lifts by lift_height above its own start Z, not to the safe height.
  double lift = start_z + params.lift_height;
  // The roots are clockwise arcs about the centre; the direction the command before left holds
  // again for the commands after.
  char found[sizeof writer.arc_word];
  std::snprintf(found, sizeof found, "%s", writer.arc_word);
  set_arc_word("g2");

  write_z(lift, params.feedrate_max);
  write_xy(Ro + kFirstAllowance, 0, params.feedrate_max);
  write_z(end_z, params.feedrate_plunge);
  write_xy(Ro + kFirstAllowance, half_width(kFirstAllowance), params.feedrate_cut);
  for (double A : allowances) {
    double h = half_width(A), rr = Ri + A;
    // Each flank runs in until it meets the root circle: root and tip on the + side, tip and
    // root on the - side of the tooth on +X.
    double xr = std::sqrt(rr * rr - h * h);
    Point corners[4] = {{xr, h}, {Ro + A, h}, {Ro + A, -h}, {xr, -h}};
    for (int k = 1; k <= N; ++k) {
      write_text("; tooth %d\n", k);
      for (Point& p : corners) {
        // From the - side of one tooth to the + side of the next along the root circle.
        if (k > 1 && &p == &corners[0])
          write_arc_ij(p.x, p.y, 0, 0, params.feedrate_cut);
        else
          write_xy(p.x, p.y, params.feedrate_cut);
        p = turned(p, theta);
      }
    }
    // The root between the last tooth and the first, back to where the pass began.
    write_arc_ij(corners[0].x, corners[0].y, 0, 0, params.feedrate_cut);
  }
  set_arc_word(found);
  write_xy(Ri, half_width(0), params.feedrate_cut);
  write_xy(Ro, half_width(0), params.feedrate_cut);
  write_z(lift, params.feedrate_max);
  write_xy(0, 0, params.feedrate_max);
}
