// pockets.cpp - mill_pocket: rough and finishing revolutions of a spiral about the origin.
#include "pockets.h"

#include <cmath>
#include <cstdio>

#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

const char* arc_word_for(char direction) { return direction == 'w' ? "g3" : "g2"; }

// The tool on the X axis, and the feed of the last arc it cut.
struct Spiral {
  double x;
  double feed;
};

// Slows the feed on small arcs, where the cutter's outer edge would otherwise run far faster
// than the tool centre: F * r / (r + tool radius).
double scaled_feed(double F, double r) { return F * r / (r + params.tool_radius); }

// A half circle along X from the tool to (x1, 0), centred between the two. NOTE: an arc whose
// end is its start (a pocket no wider than the tool) has no radius, and a feed of 0 that could
// stall a controller; the writer leaves it out.
void arc_to(Spiral& s, double x1) {
  double r = std::fabs(s.x - x1) / 2;
  double centre = (s.x + x1) / 2;
  if (params.arc_format == 'r')
    write_arc_r(x1, 0, r, s.feed);
  else
    write_arc_ij(x1, 0, centre, 0, s.feed);
  s.x = x1;
}

// The same, at F scaled to this arc's own radius.
void cut_to(Spiral& s, double x1, double F) {
  s.feed = scaled_feed(F, std::fabs(s.x - x1) / 2);
  arc_to(s, x1);
}

}  // namespace

void mill_pocket(double diameter, char rough_direction, char finish_direction, double first_depth,
                 double depth) {
  const char* command = "mill_pocket";
  double R = diameter / 2 - params.tool_radius - params.numfinishcuts * params.cut_finish;
  Cuts cuts{};
  if (!finishing_ok(command) || !cuts_ok(command, "rough cuts", R, cuts)) return;
  write_text("; mill_pocket %f '%c' '%c' %f %f\n", diameter, rough_direction, finish_direction,
             first_depth, depth);
  std::printf("\n\n%ld Rough cuts %.6f wide.\n", cuts.whole, params.cut_rough);
  if (cuts.narrow) std::printf("The last rough cut is %.6f wide.\n", cuts.rest);
  std::printf("%d Finish cuts %.6f wide.\n", params.numfinishcuts, params.cut_finish);

  set_arc_word(arc_word_for(rough_direction));
  retract();
  write_xy(0, 0, params.feedrate_max);
  write_z(depth, params.feedrate_plunge);

  // Each revolution: out across the centre to the new radius on +X, then the half circle about
  // the origin back to -X. `back` is the X on the -X side where the revolution ends.
  write_text(";\n;  Rough Cuts\n");
  Spiral s{0, 0};
  double back = 0;
  long n = cuts.count();
  for (long j = 0; j < n; ++j) {
    double step = cuts.narrow && j == n - 1 ? cuts.rest : params.cut_rough;
    double x = -back + step;
    cut_to(s, x, params.feedrate_rough);
    cut_to(s, -x, params.feedrate_rough);
    back = -x;
  }
  if (finish_direction != rough_direction) {
    // Close the rough circle, run through the centre and come back the other way round.
    cut_to(s, -back, params.feedrate_rough);
    write_text(";\n;  Change Direction\n");
    arc_to(s, 0);
    set_arc_word(arc_word_for(finish_direction));
    arc_to(s, back);
  }
  write_text(";\n;  Finish Cuts\n");
  for (int k = 0; k < params.numfinishcuts; ++k) {
    double x = -back + params.cut_finish;
    cut_to(s, x, params.feedrate_finish);
    cut_to(s, -x, params.feedrate_finish);
    back = -x;
  }
  cut_to(s, -back, params.feedrate_finish);
  if (params.repetitions > 0) {
    write_text(";\n;  %d repetitions of last finishing pass\n", params.repetitions);
    for (int m = 0; m < params.repetitions; ++m) {
      arc_to(s, back);
      arc_to(s, -back);
    }
  }
  write_text(";\n;  Arc out and return to start.\n");
  arc_to(s, 0);
  write_text(";\n");
  retract();
  write_text(";\n");
}
