// cylinders.cpp - mill_cylinder: rough and finishing revolutions from the outside in.
#include "cylinders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "geometry.h"
#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

// A rough remainder narrower than this is not worth a revolution of its own.
constexpr double kNarrowestCut = 0.000001;

// An arc's feed rises with its radius over the radius its cutting edge runs on, so the edge
// moves through the stock at F; a tool as wide as the arc has no such edge and goes at the
// positioning feed.
double arc_feed(double r, double F) {
  double feed = r > params.tool_radius ? F * r / (r - params.tool_radius) : params.feedrate_max;
  return std::min(feed, params.feedrate_max);
}

// Every arc runs from where the tool stands to (x, 0), about the point halfway between on the
// X axis: half a revolution, less the step it moves inwards.
void arc_to(double x, double feed, char letter) {
  double from_x = writer.last_x, from_y = writer.last_y;
  double r = std::fabs(from_x - x) / 2;
  Point centre;
  arc_centre(from_x, from_y, x, 0, r, letter, &centre);  // only for its message
  set_arc_word(letter == 'c' ? "g2" : "g3");
  if (params.arc_format == 'r')
    write_arc_r(x, 0, r, feed);
  else
    write_arc_ij(x, 0, (from_x + x) / 2, 0, feed);
}

// A clockwise cut to (x, 0) at the feed its radius asks for; returns that feed.
double cut_to(double x, double F) {
  double feed = arc_feed(std::fabs(writer.last_x - x) / 2, F);
  arc_to(x, feed, 'c');
  return feed;
}

}  // namespace

void mill_cylinder(double S, double E, double first_depth, double depth) {
  const char* command = "mill_cylinder";
  double R = params.tool_radius, rough_step = params.cut_rough, finish_step = params.cut_finish;
  int finishes = params.numfinishcuts;
  int repetitions = std::max(params.repetitions, 0);
  double A = S / 2 + R + rough_step;  // the approach: clear of the stock by cut_rough
  double T = (S - E) / 2 + rough_step - finishes * finish_step;  // radial travel of the roughing
  if (!step_ok(command, "cut_rough", rough_step)) return;
  long full = count_down(T, rough_step, rough_step, true);
  double rem = T;
  for (long k = 0; k < full; ++k) rem -= rough_step;
  bool narrow = rem >= kNarrowestCut;
  long rough = full + (narrow ? 1 : 0);
  if (!count_ok(command, "cuts", static_cast<long long>(rough) + std::max(finishes, 0) + repetitions))
    return;

  write_text("; mill_cylinder %f %f %f %f %f %f\n", S, E, rough_step, finish_step, first_depth,
             depth);
  std::printf("\n\nThere are %d rough cuts %.6f wide.\n", static_cast<int>(full), rough_step);
  if (narrow) std::printf("The last rough cut is %.6f wide.\n", rem);
  std::printf("There are %d finish cuts %.6f wide.\n", finishes, finish_step);
  std::printf("Depth = %.6f, finish diameter = %.6f.\n", depth, E);
  std::printf("Stock diameter = %.6f.\n", S);

  retract();
  write_xy(-A, 0, params.feedrate_max);
  write_z(depth, params.feedrate_plunge);
  double neg = -A;  // where each revolution starts and ends, on the negative X axis
  double feed = 0;  // of the last arc

  write_text(";\n;  Rough Cuts\n");
  for (long j = 0; j < rough; ++j) {
    double step = narrow && j == rough - 1 ? rem : rough_step;
    double x = -neg - step;
    cut_to(x, params.feedrate_rough);
    neg = -x;
    feed = cut_to(neg, params.feedrate_rough);
  }
  write_text(";\n;  Finish Cuts\n");
  for (int k = 0; k < finishes; ++k) {
    double x = -neg - finish_step;
    cut_to(x, params.feedrate_finish);
    neg = -x;
    feed = cut_to(neg, params.feedrate_finish);
  }
  if (repetitions != 0) {
    write_text(";\n;  %d repetitions of last finishing pass\n", repetitions);
    for (int k = 0; k < repetitions; ++k) {
      cut_to(-neg, params.feedrate_finish);
      feed = cut_to(neg, params.feedrate_finish);
    }
  }

  write_text(";\n;  Arc out and return to start.\n");
  std::printf("Location.x %lf, Location.y %lf, NegX %lf, RadiusNeg %lf, StartX  %lf",
              writer.last_x, writer.last_y, -A, std::fabs(writer.last_x + A) / 2, A);
  // NOTE: when the tool already stands at -A (no cut before it, or none that went inside the
  // approach) the writer leaves this arc of no radius out.
  arc_to(-A, feed, 'w');
  write_text(";\n");
  retract();
  write_text(";\n");
}
