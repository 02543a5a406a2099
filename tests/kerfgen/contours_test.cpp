// contours_test.cpp - the arc and angle geometry against its reference figures, and the limits
// of the path file reader, in-process.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "geometry.h"
#include "operations/paths.h"
#include "params.h"
#include "writer.h"
#include "written.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class Geometry : public ::testing::Test {
 protected:
  void SetUp() override { load_defaults(); }
};

TEST_F(Geometry, DirectionsAndTheirDifferences) {
  EXPECT_DOUBLE_EQ(segment_direction(1, 1, 2, 2), kPi / 4);
  EXPECT_DOUBLE_EQ(segment_direction(0, 0, 0, -3), -kPi / 2);
  // Straight along -X is +pi, even when the rise is a negative zero.
  EXPECT_EQ(segment_direction(0, 0, -1, 0), kPi);
  EXPECT_EQ(segment_direction(0, 0, -1, -0.0), kPi);

  EXPECT_NEAR(direction_difference(3, -3), -6 + 2 * kPi, 1e-15);
  EXPECT_NEAR(direction_difference(3, -3), 0.2832, 0.0001);
  EXPECT_NEAR(direction_difference(-3, 3), 6 - 2 * kPi, 1e-15);
  // A turn right round is left as it is, either way.
  EXPECT_EQ(direction_difference(0, kPi), kPi);
  EXPECT_EQ(direction_difference(0, -kPi), -kPi);
  EXPECT_EQ(direction_difference(kPi / 2, kPi / 2), 0);
}

TEST_F(Geometry, DirectionLetterFollowsTheTurnAndClimbWhenStraight) {
  EXPECT_EQ(direction_letter(-0.1), 'c');
  EXPECT_EQ(direction_letter(0.1), 'w');
  EXPECT_EQ(direction_letter(0), 'c');
  params.climb = 'n';
  EXPECT_EQ(direction_letter(0), 'w');
  EXPECT_EQ(direction_letter(-kPi), 'c');
}

TEST_F(Geometry, ArcCentreOfAHalfCircleAndWithinTheSnap) {
  for (char letter : {'c', 'w'}) {
    Point centre{9, 9};
    EXPECT_TRUE(arc_centre(0, 0, 2, 0, 1, letter, &centre));
    EXPECT_DOUBLE_EQ(centre.x, 1);
    EXPECT_DOUBLE_EQ(centre.y, 0);
    centre = Point{9, 9};
    EXPECT_TRUE(arc_centre(0, 0, 2, 0, 0.9999996, letter, &centre));
    EXPECT_DOUBLE_EQ(centre.x, 1);
    EXPECT_DOUBLE_EQ(centre.y, 0);
  }
}

TEST_F(Geometry, ArcCentreLiesLeftOfTheChordForWAndRightForC) {
  Point centre{};
  EXPECT_TRUE(arc_centre(0, 0, 2, 0, std::sqrt(2.0), 'w', &centre));
  EXPECT_NEAR(centre.x, 1, 1e-12);
  EXPECT_NEAR(centre.y, 1, 1e-12);
  EXPECT_TRUE(arc_centre(0, 0, 2, 0, std::sqrt(2.0), 'c', &centre));
  EXPECT_NEAR(centre.x, 1, 1e-12);
  EXPECT_NEAR(centre.y, -1, 1e-12);
  // Along a diagonal chord too: from (1, 1) up to (1, 3) counter-clockwise the centre is at -X.
  EXPECT_TRUE(arc_centre(1, 1, 1, 3, std::sqrt(2.0), 'w', &centre));
  EXPECT_NEAR(centre.x, 0, 1e-12);
  EXPECT_NEAR(centre.y, 2, 1e-12);
}

TEST_F(Geometry, ArcCentreBeyondTheSnapFailsAndKeepsTheCentre) {
  Point centre{7, 8};
  CaptureStdout();
  EXPECT_FALSE(arc_centre(0, 0, 2, 0, 0.999999, 'w', &centre));
  EXPECT_EQ(GetCapturedStdout(), "Error: Move distance is larger than arc diameter.\n");
  EXPECT_EQ(centre.x, 7);
  EXPECT_EQ(centre.y, 8);
}

TEST_F(Geometry, CentreCheckInBothCentreModes) {
  CaptureStdout();
  EXPECT_DOUBLE_EQ(centre_check(1, 0, -1, 0, 0, 1), 1);   // ij_mode i: centre at (0, 0)
  EXPECT_EQ(centre_check(1, 0, -1, 0.001, 0, 1), 0);
  params.ij_mode = 'a';
  EXPECT_DOUBLE_EQ(centre_check(1, 0, 0, 0, 0, 1), 1);    // the same arc, centre absolute
  EXPECT_EQ(centre_check(1, 0, -1, 0, 0, 1), 0);          // the relative words read as absolute
  // Within the tolerance the mean of the two distances is taken.
  EXPECT_NEAR(centre_check(2, 0, 0, 0, 0, 2.0001), 2.00005, 1e-12);
  EXPECT_EQ(GetCapturedStdout(),
            "Error: Center distance discrepancy.\nCheck center x,y values and ij_mode.\n"
            "Error: Center distance discrepancy.\nCheck center x,y values and ij_mode.\n");
}

TEST_F(Geometry, Slope) {
  EXPECT_DOUBLE_EQ(slope(0, 0, 2, 1), 0.5);
  EXPECT_DOUBLE_EQ(slope(1, 1, -1, 3), -1);
  EXPECT_EQ(slope(1, 0, 1, 5), 0);
}

TEST_F(Geometry, PeriodReductionAndItsConsoleLines) {
  CaptureStdout();
  double reduced = period_reduction(7, 2 * kPi);
  EXPECT_EQ(GetCapturedStdout(),
            "\nquotient >= 0\nquotient = 1.114085\ninteger = 1\nmodulo = 0.716815\n");
  EXPECT_EQ(reduced, 7 - 2 * kPi);
  CaptureStdout();
  reduced = period_reduction(-1, 2 * kPi);
  EXPECT_EQ(GetCapturedStdout(),
            "\nquotient < 0\nquotient = -0.159155\ninteger = 0\nmodulo = -1.000000\n");
  EXPECT_EQ(reduced, 1);
  CaptureStdout();
  reduced = period_reduction(4 * kPi + 1, 2 * kPi);
  GetCapturedStdout();
  EXPECT_NEAR(reduced, 1, 1e-12);
}

TEST_F(Geometry, PeriodReductionOfAHugeValueReturnsAtOnce) {
  CaptureStdout();
  double reduced = period_reduction(1e300, 1);
  std::string lines = GetCapturedStdout();
  EXPECT_EQ(reduced, 0);
  EXPECT_NE(lines.find("integer = 2147483647\n"), std::string::npos) << lines;
}

// mill_path in-process on a path file held in memory.
class PathFile : public Written {
 protected:
  std::string run(std::string path_text) {
    std::FILE* path = fmemopen(path_text.data(), path_text.size(), "r");
    CaptureStdout();
    mill_path(0, -0.1, "p.txt", path);
    GetCapturedStdout();
    std::fclose(path);
    return text();
  }
  // A path of `legs` legs running out along X and back.
  static std::string zigzag(int legs) {
    std::string text = "0 0";
    for (int i = 0; i < legs; ++i) text += i % 2 == 0 ? " 1 0" : " 0 0";
    return text;
  }
};

TEST_F(PathFile, AThousandLegsAreCutAndOneMoreIsRefused) {
  std::string out = run(zigzag(kMaxPathLegs));
  EXPECT_EQ(out.find("error"), std::string::npos);
  EXPECT_EQ(writer.line, 3 + 1 + kMaxPathLegs + 1);  // approach, plunge, legs, retract

  writer.line = 0;
  out = run(zigzag(kMaxPathLegs + 1));
  EXPECT_NE(out.find("; error - mill_path: path file \"p.txt\" holds more than 1000 legs\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(writer.line, 0);
}

TEST_F(PathFile, ANumberLongerThanAWordIsNotTakenForItsBeginning) {
  std::string digits = "1" + std::string(300, '0');
  std::string out = run("0 0 " + digits + " 1");
  EXPECT_NE(out.find("entry 2: unexpected word \"1" + std::string(254, '0') + "\""),
            std::string::npos)
      << out;
  EXPECT_EQ(writer.line, 0);
}

TEST_F(PathFile, JunkBetweenTheFirstPointAndTheFirstLegIsSkipped) {
  std::string out = run("0 0 ,;# 2 0");
  EXPECT_EQ(out.find("error"), std::string::npos) << out;
  EXPECT_NE(out.find("g1 x2.00000 y0.00000 f5.00000"), std::string::npos) << out;
}

}  // namespace
