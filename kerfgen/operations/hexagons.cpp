// hexagons.cpp - mill_hex: closed hexagons of tool-centre points, shrinking pass by pass.
#include "hexagons.h"

#include <cmath>
#include <cstdio>

#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

// A tool-centre vertex, turned clockwise from one corner to the next.
struct Vertex {
  double x, y;
};

void turn(Vertex& v) {
  const double theta = -60 / kDegreesPerRadian;
  double x = v.x * std::cos(theta) - v.y * std::sin(theta);
  double y = v.x * std::sin(theta) + v.y * std::cos(theta);
  v = Vertex{x, y};
}

// Six moves round the hexagon from the corner after `v`, ending on `v` again (up to rounding).
void hexagon(Vertex& v, double feed) {
  for (int k = 0; k < 6; ++k) {
    turn(v);
    write_xy(v.x, v.y, feed);
  }
}

}  // namespace

void mill_hex(double stock_diameter, double F, double first_depth, double depth) {
  const char* command = "mill_hex";
  const double root3 = std::sqrt(3.0);
  double D = params.mill_bit, R = params.tool_radius;
  double Rf = F / root3;  // vertex radius of the finished hexagon
  double Rs = stock_diameter / 2;
  // A hexagon of vertex radius V cuts in to V sqrt 3 / 2 less the tool radius, at the middle of
  // each flat. The first pass takes cut_rough off the stock's radius there; the tool starts one
  // cut_rough further out. The last hexagon keeps D / sqrt 3 from each finished corner, so that
  // the tool's edge lies on the flats.
  double first = 2 * (Rs - params.cut_rough + R) / root3;
  double V0 = first + params.cut_rough;
  double last = Rf + D / root3;
  double T = V0 - last - params.numfinishcuts * params.cut_finish;
  Cuts cuts{};
  if (!finishing_ok(command) || !cuts_ok(command, "rough cuts", T, cuts)) return;
  write_text("; mill_hex %f %f %f %f %f %f\n", stock_diameter, F, params.cut_rough,
             params.cut_finish, first_depth, depth);
  std::printf("\nFinal Radius = %.6f.\n", Rf);
  std::printf("\nStock Radius = %.6f.\n", Rs);
  std::printf("\nAcross Points = %.6f.\n", 2 * F / root3);
  std::printf("\n\nThere are %ld rough cuts %.6f wide.\n", cuts.whole, params.cut_rough);
  if (cuts.narrow) std::printf("The last rough cut is %.6f wide.\n", cuts.rest);

  retract();
  write_xy(V0, 0, params.feedrate_max);
  write_z(depth, params.feedrate_plunge);
  double V = V0;
  Vertex v{V0, 0};  // the last corner reached: repetitions with no pass before go round this one
  write_text(";\n;  Rough Cuts\n");
  long n = cuts.count();
  for (long j = 1; j <= n; ++j) {
    write_text(";  Rough Cut # %ld\n", j);
    V -= cuts.narrow && j == n ? cuts.rest : params.cut_rough;
    v = Vertex{V, 0};
    hexagon(v, params.feedrate_rough);
  }
  write_text(";\n;  Finish Cuts\n");
  for (int k = 1; k <= params.numfinishcuts; ++k) {
    write_text(";  Finishing Cut # %d\n", k);
    V -= params.cut_finish;
    v = Vertex{V, 0};
    hexagon(v, params.feedrate_finish);
  }
  write_text(";\n;  Final Passes\n");
  for (int m = 1; m <= params.repetitions; ++m) {
    write_text(";  Finishing Repetition # %d\n", m);
    hexagon(v, params.feedrate_finish);
  }
  write_text(";\n;  Return to start.\n");
  write_text(";\n");
  write_xy(V0, 0, params.feedrate_max);
  retract();
  write_text(";\n");
}
