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
  bool cut(const std::string& script, const Stock& stock) {
    std::ofstream(folder_ / "job.txt") << script;
    std::string command = std::string("cd '") + folder_.string() + "' && timeout 20 '" KERFGEN_PROGRAM
                          "' job.txt job.nc </dev/null >/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    release_part(part_);
    SimOptions options{};
    options.stock_given = true;
    options.stock = stock;
    options.cell = kCell;
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

}  // namespace
