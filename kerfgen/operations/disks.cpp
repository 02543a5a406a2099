// disks.cpp - drill_encoder_disk and disk_array.
#include "disks.h"

#include <cmath>

#include "circles.h"
#include "drilling.h"
#include "guard.h"
#include "params.h"
#include "writer.h"

namespace {

constexpr double kRimMargin = 0.2;        // the hole circle lies this far inside the rim
constexpr double kHoleDepthOffset = 0.04;  // taken off the second depth for the holes
constexpr double kEndClearance = 0.02;     // the closing Z move stops this far above depth_a
constexpr double kClosingFeed = 5.0;
constexpr double kFirstHoleAngle = 180;    // degrees: the first hole lies on the negative X side

constexpr double kSheetLength = 9.0;  // along X
constexpr double kSheetWidth = 4.0;   // along Y
constexpr double kSheetThickness = 0.5;
constexpr double kCutThrough = 0.005;  // added to the thickness, so the disks come free

}  // namespace

void drill_encoder_disk(double d, int n, double a, double b) {
  const char* command = "drill_encoder_disk";
  if (!count_given_ok(command, "holes", n)) return;
  write_text("; Drill encoder disk - \n");
  if (std::fabs(a - b) > params.depth_cut) {
    write_text("; depth of cut > cut of each depth\n");
    return;
  }
  double m = d / 2 - kRimMargin;
  double angle = kFirstHoleAngle;  // degrees
  for (int k = 1; k <= n; ++k) {
    write_text("; tooth %d\n", k);
    double rad = angle / kDegreesPerRadian;
    // NOTE: down into the work, below the second depth; its magnitude would end every hole
    // above the top of the disk.
    drill_hole(m * std::cos(rad), m * std::sin(rad), 0, b - kHoleDepthOffset);
    // NOTE: the step is divided out only here, once there is a hole: no holes, no division.
    angle += 360.0 / n;
  }
  write_z(a + kEndClearance, params.feedrate_cut);
  write_xy(0, 0, kClosingFeed);
}

namespace {

// Disks along one side of the sheet: as many as have the tool's path round them on it, one
// pitch apart from the first, whose path starts at the sheet's edge. 0 when not even one does.
long disks_along(double side, double r, double p) {
  if (!(2 * r <= side)) return 0;
  return count_of(std::floor((side - 2 * r) / p + 1e-6) + 1);
}

}  // namespace

// The sheet lies from Z 0 down: each disk is cut through it, to its thickness and a little
// more, in depth_cut passes, and only as many disks as the sheet holds are cut.
void disk_array(double d) {
  const char* command = "disk_array";
  double tool = params.mill_bit;
  double r = (d + tool) / 2;  // tool-centre radius: the disk's radius plus the tool's
  double p = 2 * r + tool;    // pitch in X and Y: one tool width between neighbouring cuts
  double depth = -(kSheetThickness + kCutThrough);
  if (!step_ok(command, "disk_diameter", d) || !step_ok(command, "mill_bit", tool) ||
      !depth_ok(command, "depth_cut", params.depth_cut, 0, depth))
    return;
  long rows = disks_along(kSheetLength, r, p), columns = disks_along(kSheetWidth, r, p);
  if (rows == 0 || columns == 0) {
    write_text("; error - %s: a %.4f disk with the tool's path round it, %.4f across, does not fit "
               "the %.0f x %.0f sheet\n", command, d, 2 * r + tool, kSheetLength, kSheetWidth);
    return;
  }
  if (!count_ok(command, "disks", static_cast<long long>(rows) * columns)) return;
  // The script's record of the command, written only once the job is sure to run, so that a
  // refused job leaves its one error comment and nothing else.
  write_text("; Mill array of %.4f in disks\n", d);
  write_text("; Lexan disk array circle cutting script\n");
  write_text("; Tool diam=%.4f disk diam=%.4f lexan thickness=%.4f\n", tool, r, kSheetThickness);
  for (long i = 0; i < rows; ++i) {
    write_text("; Row %ld\n", i + 1);
    for (long j = 0; j < columns; ++j)
      mill_circle(r + static_cast<double>(i) * p, r + static_cast<double>(j) * p, r, 0, depth);
  }
}
