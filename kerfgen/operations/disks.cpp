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

// NOTE: the end depth lies above the start depth, so every disk is one circle at Z 0.505.
void disk_array(double d) {
  const char* command = "disk_array";
  double tool = params.mill_bit;
  double r = (d + tool) / 2;  // tool-centre radius: the disk's radius plus the tool's
  double p = 2 * r + tool;    // pitch in X and Y: one tool width between neighbouring cuts
  double whole = std::trunc(p);
  // The whole part divides the sheet into rows and columns; the circles step by depth_cut.
  if (!step_ok(command, "the whole part of the pitch", whole) ||
      !step_ok(command, "depth_cut", params.depth_cut))
    return;
  // The script's record of the command, written only once the job is sure to run, so that a
  // refused job leaves its one error comment and nothing else.
  write_text("; Mill array of %.4f in disks\n", d);
  write_text("; Lexan disk array circle cutting script\n");
  write_text("; Tool diam=%.4f disk diam=%.4f lexan thickness=%.4f\n", tool, r, kSheetThickness);
  // Whole-number division by the whole part, not the pitch: a pitch of 1.5 fits 9 rows.
  int rows = static_cast<int>(kSheetLength / whole);
  int columns = static_cast<int>(kSheetWidth / whole);
  for (int i = 0; i < rows; ++i) {
    write_text("; Row %d\n", i + 1);
    for (int j = 0; j < columns; ++j)
      mill_circle(r + i * p, r + j * p, r, 0, kSheetThickness + kCutThrough);
  }
}
