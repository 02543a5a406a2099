// threads.cpp - mill_thread: radial cuts, each a helix of whole turns between an arc in and out.
#include "threads.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "guard.h"
#include "params.h"
#include "setup.h"
#include "writer.h"

namespace {

// A span a hair over a whole number of pitches is that number of turns: 0.3 / 0.1 comes out
// as 3.0000000000000004 and must not become a fourth turn above the thread.
constexpr double kTurnTolerance = 1e-9;

void helix_to(double x, double z, double i, double r, double feed) {
  if (params.arc_format == 'r')
    write_arc_rz(x, 0, z, r, feed);
  else
    write_arc_ijz(x, 0, z, i, 0, feed);
}

}  // namespace

void mill_thread(double D, double d, double tpu, double start_z, double end_z) {
  const char* command = "mill_thread";
  if (!step_ok(command, "threads per unit length", tpu)) return;
  double p = 1 / tpu;
  long turns = count_of(std::ceil(std::fabs(end_z - start_z) / p - kTurnTolerance));
  double R = params.tool_radius;
  bool outside = params.mill_mode == 'o', inside = params.mill_mode == 'i';
  double T = outside ? D / 2 - d / 2 : D / 2 - R;  // radial depth of the thread
  Cuts cuts{};
  if ((outside || inside) && !cuts_ok(command, "thread cuts", T, cuts)) return;
  // Every cut runs the whole helix, so the turns are counted over all cuts.
  if (!count_ok(command, "helix turns", std::max<long long>(turns, 1LL * cuts.count() * turns)))
    return;

  write_text("; mill_thread %f %f %f %f %f\n", D, d, tpu, start_z, end_z);
  std::printf("There are %ld threads, %f diameter, %f\" pitch.\n", turns, D, p);
  if (!outside && !inside) {
    write_text("; Error - unassigned variables. Check script parameters\n");
    return;
  }
  // Hand, side and climb together decide the turning sense and whether the helix climbs from
  // the end Z or descends from the top; the tool leads in and out a little beyond the helix.
  double top = end_z + static_cast<double>(turns) * p;
  double lead = outside ? p / 2 : p / 4;
  bool ccw = inside == (params.climb == 'y');
  bool rising = ccw == (params.thread_hand == 'r');
  double helix_start = rising ? end_z : top;
  double half = rising ? p / 2 : -p / 2;
  double lead_in = rising ? -lead : lead;
  set_arc_word(ccw ? "g3" : "g2");

  std::printf("\n\nThere are %ld thread cuts %.6f wide.\n", cuts.whole, params.cut_rough);
  if (cuts.narrow) std::printf("The last thread cut is %.6f wide.\n", cuts.rest);
  long n = cuts.count();
  double approach_x = outside ? D / 2 + params.cut_rough + R : 0;
  for (long j = 1; j <= n; ++j) {
    retract();
    write_xy(approach_x, 0, params.feedrate_max);
    write_z(helix_start + lead_in, params.feedrate_max);
    if (j == n)
      write_text(";\n;  Mill thread, Last cut %f\" wide\n", cuts.rest);
    else
      write_text(";  Mill thread, Cut# %ld  %f\" wide\n", j, params.cut_rough);
    double depth = std::min(static_cast<double>(j) * params.cut_rough, T);
    double r = outside ? D / 2 - depth + R : depth;  // tool-centre radius of this cut
    // The feed is scaled for the cutter's edge on the work: outside it runs slower than the
    // centre, inside faster.
    double F;
    if (outside) {
      F = r > R ? params.feedrate_rough * r / (r - R) : params.feedrate_max;
      F = std::min(F, params.feedrate_max);
    } else {
      F = params.feedrate_rough * r / (r + R);
    }
    write_text(";\n;  Arc in (minimal tool wear).\n");
    double z = helix_start;
    helix_to(-r, z, (approach_x - r) / 2, (approach_x + r) / 2, F);
    for (long t = 0; t < turns; ++t) {
      z = z + half;
      helix_to(r, z, 0, r, F);
      z = z + half;
      helix_to(-r, z, 0, r, F);
    }
    write_text(";\n;  Arc out and return to start.\n");
    z = z - lead_in;
    if (outside)
      helix_to(approach_x, z, (approach_x - r) / 2, (approach_x + r) / 2, F);
    else
      helix_to(0, z, -r / 2, r / 2, F);
  }
  retract();
  write_text(";\n");
}
