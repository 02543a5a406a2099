// summary_test.cpp - the job summary of a hand-worked program: counts, extents along the arcs,
// feed length, cutting time from the F words, and the printed block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "recording_sink.h"
#include "gcode_summary.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

using Summary = FileTest;

// Worked by hand: a feed of 1 at F10, from the assumed start (so not counted); a clockwise half circle of radius 1 about (2, 0) over
// the top, length pi at F10; a plunge of 0.5 at F5; a counter-clockwise full circle that sinks
// 0.5 (a helix of length sqrt((2 pi)^2 + 0.5^2)) at F5; a rapid move back of sqrt(9 + 4).
const char kProgram[] =
    "g90.1\n"
    "G1 X1 Y0 Z0 F10\n"
    "G2 X3 Y0 I2 J0\n"
    "m01\n"
    ": Check the part\n"
    "G1 Z-0.5 F5\n"
    "G3 X3 Y0 I2 J0 Z-1 (helix)\n"
    "G0 X0 Y0 Z1\n"
    "M0\n"
    "M30\n"
    "G1 X99\n";

TEST_F(Summary, HandWorkedProgram) {
  write(kProgram);
  testing::internal::CaptureStdout();
  JobSummary s{};
  ASSERT_TRUE(summarise_file(name_.c_str(), s));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // read quietly
  EXPECT_EQ(s.lines, 10);  // the line after the end word is not read
  EXPECT_EQ(s.moves, 5);
  EXPECT_EQ(s.stops, 2);
  EXPECT_EQ(s.pauses, 1);
  double helix = std::sqrt(4 * kPi * kPi + 0.25);
  EXPECT_NEAR(s.feed_length, kPi + 0.5 + helix, 1e-9);
  EXPECT_NEAR(s.rapid_length, std::sqrt(13.0), 1e-12);
  EXPECT_NEAR(s.minutes, kPi / 10 + 0.5 / 5 + helix / 5, 1e-9);
  EXPECT_EQ(s.untimed_length, 0.0);
  // The curve's own extremes, which no drawn point need reach, and the moves' ends; the origin
  // only because the last move returns there.
  EXPECT_NEAR(s.extents.x_min, 0, 1e-12);
  EXPECT_NEAR(s.extents.x_max, 3, 1e-12);
  EXPECT_NEAR(s.extents.y_min, -1, 1e-12);
  EXPECT_NEAR(s.extents.y_max, 1, 1e-12);
  EXPECT_NEAR(s.extents.z_min, -1, 1e-12);
  EXPECT_NEAR(s.extents.z_max, 1, 1e-12);

  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  print_summary(out, s);
  std::fclose(out);
  EXPECT_STREQ(text,
               "\nJob summary\n"
               "  Lines read:      10\n"
               "  Moves:           5\n"
               "  X from 0.0000 to 3.0000\n"
               "  Y from -1.0000 to 1.0000\n"
               "  Z from -1.0000 to 1.0000\n"
               "  Feed length:     9.9446\n"
               "  Rapid length:    3.6056 (not timed)\n"
               "  Cutting time:    0:01:40 (h:mm:ss at the F words)\n"  // 106.49 s
               "  Operator stops:  2 (m00, m01)\n"
               "  Operator pauses: 1 (\":\" lines)\n");
  std::free(text);
}

TEST_F(Summary, ExtentsAreTheMovesNotTheOriginBox) {
  // Positioning before the first motion word is no move, so the origin is outside the extents;
  // then a feed of 1, a clockwise quarter from the top of a circle about (5, 5) to its right
  // (length pi / 2), and a feed of 1 at F 0, which cannot be timed.
  write("X4 Y6 Z2\nG1 F2\nX5 Y6\ng90.1 G2 X6 Y5 I5 J5\nG1 X7 F0\n");
  JobSummary s{};
  ASSERT_TRUE(summarise_file(name_.c_str(), s));
  EXPECT_EQ(s.moves, 3);
  EXPECT_EQ(s.extents.x_min, 4.0);
  EXPECT_EQ(s.extents.x_max, 7.0);
  EXPECT_NEAR(s.extents.y_min, 5, 1e-12);
  EXPECT_NEAR(s.extents.y_max, 6, 1e-12);
  EXPECT_EQ(s.extents.z_min, 2.0);
  EXPECT_EQ(s.extents.z_max, 2.0);
  EXPECT_NEAR(s.feed_length, 1 + kPi / 2 + 1, 1e-9);
  EXPECT_NEAR(s.minutes, (1 + kPi / 2) / 2, 1e-9);
  EXPECT_NEAR(s.untimed_length, 1, 1e-12);
}

// A plate at X 100: the jump there from the assumed start at the origin is no part of the
// extents, the length or the time.
TEST_F(Summary, AssumedStartIsNotAMove) {
  write("G1 X100 Y2 Z1 F10\nZ-0.1\nX104\n");
  JobSummary s{};
  ASSERT_TRUE(summarise_file(name_.c_str(), s));
  EXPECT_EQ(s.moves, 3);
  EXPECT_EQ(s.extents.x_min, 100.0);
  EXPECT_EQ(s.extents.x_max, 104.0);
  EXPECT_EQ(s.extents.y_min, 2.0);
  EXPECT_NEAR(s.extents.z_min, -0.1, 1e-12);
  EXPECT_EQ(s.extents.z_max, 1.0);
  EXPECT_NEAR(s.feed_length, 1.1 + 4, 1e-12);
  EXPECT_NEAR(s.minutes, 5.1 / 10, 1e-12);
}

// Kerfgen's error comments are counted (any case, but only those it writes: "; error"); every
// arc whose centre does not fit its ends, or whose chord is longer than its diameter, is
// counted and the first ten are listed by line.
TEST_F(Summary, RefusedCommandsAndArcWarnings) {
  std::string program =
      "; error - mill_circle: depth_cut must be greater than 0\n"  // line 1
      "; Error - unassigned variables. Check script parameters\n"
      ";error without its blank is a comment of the script's own\n"
      "g90.1 G1 X1 Y0 F5\n"
      "G2 X-1 Y0 I0 J0\n"                                      // a half circle: fine
      "G2 X0 Y1 I0 J0.5\n"                                     // line 6: off centre
      "G3 X0 Y-1 R0.5\n";                                      // line 7: chord 2, diameter 1
  for (int k = 0; k < 5; ++k) program += "G2 X0 Y1 I0 J0.3\nG2 X0 Y-1 I0 J0.3\n";  // 8 to 17
  write(program);
  JobSummary s{};
  ASSERT_TRUE(summarise_file(name_.c_str(), s));
  EXPECT_EQ(s.refused, 2);
  EXPECT_EQ(s.warnings, 12);
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  print_summary(out, s);
  std::fclose(out);
  std::string printed = text;
  std::free(text);
  std::string tail = printed.substr(printed.find("  Refused"));
  EXPECT_EQ(tail,
            "  Refused commands: 2 (see '; error' lines)\n"
            "  Arc warnings:    12 (arcs a controller may not cut as drawn)\n"
            "    line 6: centre distance discrepancy\n"
            "    line 7: move distance larger than the arc diameter\n"
            "    line 8: centre distance discrepancy\n"
            "    line 9: centre distance discrepancy\n"
            "    line 10: centre distance discrepancy\n"
            "    line 11: centre distance discrepancy\n"
            "    line 12: centre distance discrepancy\n"
            "    line 13: centre distance discrepancy\n"
            "    line 14: centre distance discrepancy\n"
            "    line 15: centre distance discrepancy\n"
            "    and 2 more\n");
}

// Every kind not followed, on one line in the order first met, each with its count of lines and
// its first line; a millimetre file says its unit, in the summary and in the window's title.
TEST_F(Summary, NotFollowedKindsAndTheUnit) {
  write("G21 G90\n#1 = 5\nG0 X#1 Y0\nG81 X10 Y0 Z-2 R1 F100\nX20\nG80\nG1 X[#1*2]\nG0 X0\n");
  JobSummary s{};
  ASSERT_TRUE(summarise_file(name_.c_str(), s));
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  print_summary(out, s);
  std::fclose(out);
  std::string printed = text;
  std::free(text);
  EXPECT_NE(printed.find("  Moves:           2\n  Unit:            mm (lengths as the file writes them)\n"),
            std::string::npos) << printed;
  EXPECT_EQ(printed.substr(printed.find("  Not followed")),
            "  Not followed: # parameters on 3 lines, first line 2; G81 on 2 lines, first line 4; "
            "[ expressions on 1 line, first line 7\n");
  EXPECT_EQ(summary_title(s), " - in mm - not followed: # parameters, G81, [ expressions");
  write("G1 X1\n");
  ASSERT_TRUE(summarise_file(name_.c_str(), s));
  EXPECT_EQ(summary_title(s), "");
}

TEST_F(Summary, EmptyAndMissingFiles) {
  write("");
  JobSummary s{};
  ASSERT_TRUE(summarise_file(name_.c_str(), s));
  EXPECT_EQ(s.lines, 0);
  EXPECT_EQ(s.moves, 0);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(summarise_file((folder_ / "none.nc").c_str(), s));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  print_summary(out, JobSummary{});
  std::fclose(out);
  EXPECT_EQ(std::string(text).find("X from"), std::string::npos);  // no moves, no extents
  std::free(text);
}

}  // namespace
