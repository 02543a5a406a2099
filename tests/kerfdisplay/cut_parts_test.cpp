// cut_parts_test.cpp - the parts Kerfgen's milling operations cut, as the simulation leaves them:
// each script's dimensions against the height of every cell, over sizes where a fault would
// depend on the size.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "recording_sink.h"
#include "simulation.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kCell = 0.005;

class CutParts : public FileTest {
 protected:
  void TearDown() override {
    release_part(part_);
    FileTest::TearDown();
  }
  // Kerfgen's program for the script, simulated over the stock at kCell; false, with what was
  // said, when it could not be.
  bool cut(const std::string& script, const Stock& stock, double cell = kCell) {
    std::ofstream(folder_ / "job.txt") << script;
    std::string command = std::string("cd '") + folder_.string() + "' && timeout 20 '" KERFGEN_PROGRAM
                          "' job.txt job.nc </dev/null >/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    release_part(part_);
    SimOptions options{};
    options.stock_given = true;
    options.stock = stock;
    options.cell = cell;
    testing::internal::CaptureStdout();
    bool ok = simulate_file(name_.c_str(), options, part_, false);
    said_ = testing::internal::GetCapturedStdout();
    return ok;
  }
  // Counts the cells whose centre `inside` puts in the cut and that are not at `depth`, and
  // those it puts outside that are cut at all; the first of each is kept for the message.
  template <typename Inside>
  void count(Inside inside, double depth, int& uncut, int& overcut) {
    uncut = overcut = 0;
    for (int j = 0; j < part_.ny; ++j)
      for (int i = 0; i < part_.nx; ++i) {
        double x = part_.stock.x_min + (i + 0.5) * part_.dx, y = part_.stock.y_min + (j + 0.5) * part_.dy;
        float h = part_.height[static_cast<std::size_t>(j) * static_cast<std::size_t>(part_.nx) +
                               static_cast<std::size_t>(i)];
        int side = inside(x, y);  // 1 cut to the depth, -1 untouched, 0 either (the cells on an edge)
        if (side > 0 && h != float(depth) && uncut++ == 0) first_ = at(x, y, h);
        if (side < 0 && h != float(part_.stock.z_max) && overcut++ == 0) first_ = at(x, y, h);
      }
  }
  float height(double x, double y) const {
    int i = static_cast<int>((x - part_.stock.x_min) / part_.dx);
    int j = static_cast<int>((y - part_.stock.y_min) / part_.dy);
    return part_.height[static_cast<std::size_t>(j) * static_cast<std::size_t>(part_.nx) +
                        static_cast<std::size_t>(i)];
  }
  static std::string at(double x, double y, float h) {
    char text[80];
    std::snprintf(text, sizeof text, "first at (%.4f, %.4f), height %.4f", x, y, double(h));
    return text;
  }

  Part part_{};
  std::string said_, first_;
};

// The disc cleared to its radius at every radius and with every bit: no island in the middle, no
// ring left standing, no wall cut away. The arcs are drawn as 32 chords, which cut short of the
// circle by r (1 - cos(pi/32)).
TEST_F(CutParts, CircleSurfaceClearsTheWholeDisc) {
  for (double bit : {0.125, 0.25, 0.5})
    for (int k = 0; k <= 65; ++k) {
      double rho = 0.1 + 0.02 * k;
      if (rho <= bit / 2) continue;  // refused: no wider than the tool
      char script[160];
      std::snprintf(script, sizeof script, "mill_bit %g\ndepth_cut 0.1\nmill_circle_surface 0 0 %g 0 -0.2\n",
                    bit, rho);
      double side = rho + 0.05;
      ASSERT_TRUE(cut(script, {-side, -side, -0.3, side, side, 0})) << said_;
      double chords = (rho - bit / 2) * (1 - std::cos(kPi / 32)) + kCell;
      int uncut, overcut;
      count(
          [&](double x, double y) {
            double r = std::hypot(x, y);
            return r < rho - chords ? 1 : r > rho + kCell ? -1 : 0;
          },
          -0.2, uncut, overcut);
      EXPECT_EQ(uncut, 0) << "bit " << bit << " radius " << rho << ": " << first_;
      EXPECT_EQ(overcut, 0) << "bit " << bit << " radius " << rho << ": " << first_;
    }
}

// The rounded box after a command that left the arc word at g2 (the helix runs above the work)
// and without one: the box stands whole, the tool's width around it is cut, nothing beyond.
TEST_F(CutParts, RoundBoxCornersAsDrawnWhateverCameBefore) {
  const char* g2_before = "mill_mode o\nclimb y\nmill_circle_helix 1.3 0.9 0.05 0.2 0.1\n";
  for (const char* before : {"", g2_before})
    for (double r : {0.125, 0.25, 0.4}) {
      char script[256];
      std::snprintf(script, sizeof script, "mill_bit 0.25\ndepth_cut 0.1\n%smill_round_box 0 0 2 1 %g 0 -0.2\n",
                    before, r);
      ASSERT_TRUE(cut(script, {-1.4, -0.9, -0.3, 1.4, 0.9, 0})) << said_;
      int uncut, overcut;
      count(
          [&](double x, double y) {
            // How far outside the box with its rounded corners (negative inside).
            double qx = std::fabs(x) - (1 - r), qy = std::fabs(y) - (0.5 - r);
            double out = std::hypot(std::fmax(qx, 0), std::fmax(qy, 0)) + std::fmin(std::fmax(qx, qy), 0) - r;
            return out > kCell && out < 0.25 - kCell ? 1 : out < -kCell || out > 0.25 + kCell ? -1 : 0;
          },
          -0.2, uncut, overcut);
      EXPECT_EQ(uncut, 0) << before << "r " << r << ": " << first_;
      EXPECT_EQ(overcut, 0) << before << "r " << r << ": " << first_;
    }
}

// The corner relief reaches the square corner and notches the walls beside it no deeper than
// 0.293 of the tool radius.
TEST_F(CutParts, SurfaceSquareReliefJustReachesTheCorner) {
  for (double bit : {0.125, 0.25, 0.5}) {
    char script[160];
    std::snprintf(script, sizeof script, "mill_bit %g\nmill_surface_square 0 0 1.5 1 0 -0.1\n", bit);
    ASSERT_TRUE(cut(script, {-1, -0.75, -0.2, 1, 0.75, 0})) << said_;
    double notch = 0.293 * bit / 2 + kCell;
    int uncut, overcut;
    count(
        [&](double x, double y) {
          double out = std::fmax(std::fabs(x) - 0.75, std::fabs(y) - 0.5);
          return out < -kCell ? 1 : out > notch ? -1 : 0;
        },
        -0.1, uncut, overcut);
    EXPECT_EQ(uncut, 0) << "bit " << bit << ": " << first_;
    EXPECT_EQ(overcut, 0) << "bit " << bit << ": " << first_;
  }
}

// Widths and heights of whole numbers of steps, written as a user writes them: the far edge is
// drilled, and nothing a step beyond it.
TEST_F(CutParts, DrillArrayReachesTheFarEdge) {
  for (double step : {0.1, 0.2, 0.3, 0.7})
    for (int n = 1; n <= 6; ++n) {
      char script[200];
      std::snprintf(script, sizeof script, "drill_bit 0.125\ndrill_array -1 0.8 %.10g %.10g %g %g 0 -0.15\n",
                    n * step, n * step, step, step);
      double far = n * step;
      ASSERT_TRUE(cut(script, {-1.2, 0.6, -0.2, -1 + far + step + 0.2, 0.8 + far + step + 0.2, 0})) << said_;
      int missing = 0;
      for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j)
          if (height(-1 + i * step, 0.8 + j * step) != -0.15f) ++missing;
      EXPECT_EQ(missing, 0) << "step " << step << ", " << n << " steps";
      EXPECT_EQ(height(-1 + far + step, 0.8), 0.0f) << "step " << step << ", " << n << " steps";
      EXPECT_EQ(height(-1, 0.8 + far + step), 0.0f) << "step " << step << ", " << n << " steps";
    }
}

// Between the teeth the root lies on the circle tooth_height inside the outside diameter, all
// across the gap: not shallower in its middle, not deeper anywhere.
TEST_F(CutParts, SprocketRootFollowsTheRootCircle) {
  constexpr double cell = 0.002, root = 1 - 0.15;
  for (int teeth : {5, 8, 12, 16}) {
    char script[160];
    std::snprintf(script, sizeof script, "mill_bit 0.125\nmill_sprocket 2 0.25 %d 0.1 0.15 0 -0.1\n", teeth);
    ASSERT_TRUE(cut(script, {-1.2, -1.2, -0.2, 1.2, 1.2, 0}, cell)) << said_;
    double pitch = 2 * kPi / teeth;
    // The part of the gap clear of both teeth and the tool's width beside them.
    double clear = pitch - 2 * std::asin((0.05 + 0.125) / root);
    int shallow = 0, deep = 0;
    for (int k = 0; k < teeth; ++k)
      for (int s = -4; s <= 4; ++s) {
        double a = -k * pitch - pitch / 2 + s * clear / 10;
        if (height((root + 2 * cell) * std::cos(a), (root + 2 * cell) * std::sin(a)) != -0.1f) ++shallow;
        if (height((root - 2 * cell) * std::cos(a), (root - 2 * cell) * std::sin(a)) != 0.0f) ++deep;
      }
    EXPECT_EQ(shallow, 0) << teeth << " teeth";
    EXPECT_EQ(deep, 0) << teeth << " teeth";
  }
}

// Disks of several sizes cut out of the 9 x 4 sheet: each ring through the sheet below Z 0,
// each disk standing inside its ring, and no cut off the sheet beyond the tool's radius.
TEST_F(CutParts, DiskArrayCutsThroughTheSheetAndStaysOnIt) {
  constexpr double cell = 0.01, R = 0.125;
  for (double d : {0.5, 1.0, 1.7, 3.6}) {
    char script[80];
    std::snprintf(script, sizeof script, "mill_bit 0.25\ndisk_array %g\n", d);
    ASSERT_TRUE(cut(script, {-0.3, -0.3, -0.6, 9.5, 4.5, 0}, cell)) << said_;
    double r = (d + 0.25) / 2, p = 2 * r + 0.25;
    int disks = 0, wrong = 0;
    for (int i = 0; r + i * p + r <= 9; ++i)
      for (int j = 0; r + j * p + r <= 4; ++j, ++disks)
        for (double a = 0; a < 2 * kPi; a += 0.5) {
          double x = r + i * p, y = r + j * p;
          if (height(x + r * std::cos(a), y + r * std::sin(a)) != -0.505f) ++wrong;  // through
          if (height(x + (d / 2 - 2 * cell) * std::cos(a), y + (d / 2 - 2 * cell) * std::sin(a)) != 0.0f)
            ++wrong;  // the disk itself
        }
    int off = 0;
    for (int j = 0; j < part_.ny; ++j)
      for (int i = 0; i < part_.nx; ++i) {
        double x = part_.stock.x_min + (i + 0.5) * cell, y = part_.stock.y_min + (j + 0.5) * cell;
        if ((x > 9 + R + cell || y > 4 + R + cell) && height(x, y) != 0.0f) ++off;
      }
    EXPECT_GT(disks, 0) << d;
    EXPECT_EQ(wrong, 0) << "disk " << d;
    EXPECT_EQ(off, 0) << "disk " << d;
  }
}

}  // namespace
