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

struct Point {
  double x, y;
};

Point turned(Point p, double theta) {
  return Point{p.x * std::cos(theta) - p.y * std::sin(theta),
               p.x * std::sin(theta) + p.y * std::cos(theta)};
}

}  // namespace

void mill_sprocket(double od, double hole, int N, double W, double H, double start_z,
                   double end_z) {
  const char* command = "mill_sprocket";
  if (!step_ok(command, "the number of teeth", N) || !count_ok(command, "teeth", N)) return;
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
  params.cut_finish = 0.001;

  double R = params.tool_radius;
  double Ro = od / 2 + R;  // tool centre at the tips
  double Ri = Ro - H;      // ... and at the roots
  double theta = -(360.0 / N) / kDegreesPerRadian;  // clockwise, one tooth at a time
  auto half_width = [&](double A) { return W / 2 + R + A; };
  // NOTE: the sprocket lifts by lift_height above its own start Z, not to the safe height.
  double lift = start_z + params.lift_height;

  write_z(lift, params.feedrate_max);
  write_xy(Ro + kFirstAllowance, 0, params.feedrate_max);
  write_z(end_z, params.feedrate_plunge);
  write_xy(Ro + kFirstAllowance, half_width(kFirstAllowance), params.feedrate_cut);
  const double allowances[] = {kFirstAllowance, params.cut_finish, 0};
  for (double A : allowances) {
    double h = half_width(A);
    // Root and tip on the + side, tip and root on the - side of the tooth on +X.
    Point corners[4] = {{Ri + A, h}, {Ro + A, h}, {Ro + A, -h}, {Ri + A, -h}};
    for (int k = 1; k <= N; ++k) {
      write_text("; tooth %d\n", k);
      for (Point& p : corners) {
        write_xy(p.x, p.y, params.feedrate_cut);
        p = turned(p, theta);
      }
    }
  }
  write_xy(Ri, half_width(0), params.feedrate_cut);
  write_xy(Ro, half_width(0), params.feedrate_cut);
  write_z(lift, params.feedrate_max);
  write_xy(0, 0, params.feedrate_max);
}
