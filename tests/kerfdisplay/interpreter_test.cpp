// interpreter_test.cpp - the G-code interpreter through a recording sink: words, modes, arcs,
// messages and the bounding box.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "recording_sink.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kTolerance = 1e-5f;

void expect_point(const Vertex& v, double x, double y, double z) {
  EXPECT_NEAR(v.x, x, kTolerance);
  EXPECT_NEAR(v.y, y, kTolerance);
  EXPECT_NEAR(v.z, z, kTolerance);
}

// All points at `radius` from the centre, each turned by the same step from the one before.
void expect_arc(const std::vector<Vertex>& points, double cx, double cy, double radius,
                double x0, double y0, double sweep, const Colour& colour) {
  ASSERT_EQ(points.size(), 32u);
  double start = std::atan2(y0 - cy, x0 - cx);
  for (int k = 1; k <= 32; ++k) {
    const Vertex& v = points[static_cast<std::size_t>(k - 1)];
    SCOPED_TRACE(k);
    EXPECT_TRUE(same_colour(v.colour, colour));
    double theta = start + k * sweep / 32;
    EXPECT_NEAR(v.x, cx + radius * std::cos(theta), kTolerance);
    EXPECT_NEAR(v.y, cy + radius * std::sin(theta), kTolerance);
  }
}

TEST(Words, FeedLineWithCommentAndRecordedOnlyValues) {
  RecordingSink sink;
  std::string out = run_lines({"G1 X1 Y2 Z-0.1 F5 S1200 ; cut X9"}, sink);
  EXPECT_EQ(out, "");
  ASSERT_EQ(sink.vertices.size(), 1u);
  expect_point(sink.vertices[0], 1, 2, -0.1);
  EXPECT_TRUE(same_colour(sink.vertices[0].colour, kFeedColour));
  EXPECT_EQ(interp.feed, 5.0);
  EXPECT_EQ(interp.spindle, 1200.0);
  EXPECT_EQ(interp.move, MoveKind::Linear);
}

TEST(Words, CodesCompareWholeAndOnlyAsListed) {
  RecordingSink sink;
  std::string out = run_lines({"G000 G1.0 M6 G q7 E1 L"}, sink);
  EXPECT_EQ(out,
            "Unrecognized Code - G000\nUnrecognized Code - G1.0\nUnrecognized Code - M6\n"
            "Unrecognized Code - G\nUnrecognized Code - q7\nUnrecognized Code - E1\n"
            "Unrecognized Code - L\n");
  EXPECT_EQ(interp.move, MoveKind::None);
  EXPECT_TRUE(sink.vertices.empty());

  out = run_lines({"g70 G18 g91 G91.1 M0 m01 M3 m05 T1 A1 b2 C3 K4 P5 N10 o7"}, sink);
  EXPECT_EQ(out, "");
  EXPECT_EQ(interp.units, Units::Inch);
  EXPECT_EQ(interp.plane, 2);
  EXPECT_EQ(interp.distance_mode, Mode::Incremental);
  EXPECT_EQ(interp.centre_mode, Mode::Incremental);
  run_lines({"G71 g19 G90 g90.1"}, sink);
  EXPECT_EQ(interp.units, Units::Millimetre);
  EXPECT_EQ(interp.plane, 3);
  EXPECT_EQ(interp.distance_mode, Mode::Absolute);
  EXPECT_EQ(interp.centre_mode, Mode::Absolute);
}

TEST(Words, MotionWordsAreModalAndG91AddsToThePosition) {
  RecordingSink sink;
  // Before the first motion word the position moves without drawing.
  run_lines({"X5 Y5", "G91", "G1 X1", "G1 X1", "Y3", "g0 x2", "G04 P2 X7"}, sink);
  ASSERT_EQ(sink.vertices.size(), 4u);
  expect_point(sink.vertices[0], 6, 5, 0);
  expect_point(sink.vertices[1], 7, 5, 0);  // two G1 X1 lines under G91 are two moves
  expect_point(sink.vertices[2], 7, 8, 0);
  expect_point(sink.vertices[3], 9, 8, 0);  // rapid moves look like feeds
  EXPECT_TRUE(same_colour(sink.vertices[3].colour, kFeedColour));
  EXPECT_EQ(interp.x, 16.0);  // the dwell line moved the position and drew nothing
}

TEST(Words, EndWordStopsTheLineAtOnce) {
  for (const char* end : {"M02", "M2", "m02", "m2", "M30", "m30"}) {
    RecordingSink sink;
    std::string line = std::string("G1 X1 ") + end + " Y5 G20";
    interp_reset();
    testing::internal::CaptureStdout();
    bool ended = interpret_line(line.c_str(), sink);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ended) << end;
    EXPECT_EQ(out, "End of g-code file.\n") << end;
    EXPECT_TRUE(sink.vertices.empty()) << end;
    EXPECT_EQ(interp.x, 0.0) << end;
    EXPECT_EQ(interp.box.x_max, 0.0) << end;
  }
  RecordingSink sink;
  interp_reset();
  testing::internal::CaptureStdout();
  EXPECT_FALSE(interpret_line("M20 M300 m3", sink));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Unrecognized Code - M20\nUnrecognized Code - M300\n");
}

TEST(Tokenizer, WordBoundaries) {
  WordTable t;
  EXPECT_EQ(tokenize("X1Y2 X 1\tz-.5:F+3,g91.1", t), nullptr);
  ASSERT_EQ(t.count, 6);
  EXPECT_STREQ(t.words[0].text, "X1");
  EXPECT_STREQ(t.words[1].text, "Y2");
  EXPECT_STREQ(t.words[2].text, "X");  // the space ends the word; the digit is skipped
  EXPECT_STREQ(t.words[3].text, "z-.5");
  EXPECT_STREQ(t.words[4].text, "F+3");
  EXPECT_STREQ(t.words[5].text, "g91.1");

  // Comments: between parentheses anywhere, an unclosed one to the end, and after ";".
  EXPECT_EQ(tokenize("X1 (Y2 (Z3) X4 ;Z3\nX5", t), nullptr);
  ASSERT_EQ(t.count, 2);
  EXPECT_STREQ(t.words[1].text, "X4");
  EXPECT_EQ(tokenize("X1 (move Y2", t), nullptr);
  EXPECT_EQ(t.count, 1);
  EXPECT_EQ(tokenize("X1\nY2", t), nullptr);
  EXPECT_EQ(t.count, 1);
}

TEST(Tokenizer, LongWordsKeepTheirWholeValue) {
  WordTable t;
  tokenize("x+12.345678 G0100000000", t);
  ASSERT_EQ(t.count, 2);
  EXPECT_STREQ(t.words[0].text, "x+12.3456");  // nine characters in the table
  EXPECT_EQ(t.words[0].length, 11);
  RecordingSink sink;
  std::string out = run_lines({"G1 x+12.345678 y-123456.78901 M0100000000"}, sink);
  EXPECT_EQ(out, "Unrecognized Code - M0100000000\n");
  EXPECT_EQ(interp.x, 12.345678);
  EXPECT_EQ(interp.y, -123456.78901);
}

TEST(Tokenizer, LineWithMoreWordsThanTheTableLosesNone) {
  std::string line = "G1";
  for (int k = 0; k < 31; ++k) line += " F1";  // 32 words fill the table
  WordTable t;
  std::string longer = line + " X5 Y6";
  const char* rest = tokenize(longer.c_str(), t);
  EXPECT_EQ(t.count, kMaxWords);
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(std::strncmp(rest, "X5", 2), 0);

  RecordingSink sink;
  run_lines({line + " X5 Y6 M30 X9"}, sink);
  EXPECT_TRUE(sink.vertices.empty());  // the end word, word 35, still stops the line
  run_lines({line + " X5 Y6"}, sink);
  ASSERT_EQ(sink.vertices.size(), 1u);
  expect_point(sink.vertices[0], 5, 6, 0);
}

// Lines the machine never moves on draw nothing and print nothing: pauses, tape marks, comments.
TEST(PhantomMoves, PauseTapeAndCommentLinesAreNotMoves) {
  RecordingSink sink;
  std::string out = run_lines({"G1 X3 Y1 F9", ": Align X Axis - Move piece left on x until it touches",
                               "%", "(Fix part X0)", ":Fix part", "G1 X1 (not Y5) Y2"}, sink);
  EXPECT_EQ(out, "");
  ASSERT_EQ(sink.vertices.size(), 2u);
  expect_point(sink.vertices[1], 1, 2, 0);
  EXPECT_EQ(interp.feed, 9.0);
  EXPECT_EQ(interp.job.pauses, 2);
  EXPECT_EQ(interp.job.lines, 6);
}

TEST(PhantomMoves, LineWithoutCoordinatesMovesNothing) {
  RecordingSink sink;
  // A half circle, then lines that hold no X, Y or Z: still a half circle, not a whole one.
  std::string out = run_lines({"G90.1 G2 X2 Y0 I1 J0", "M5", "F10", "G17", "m01", " ", "I3 J3"}, sink);
  EXPECT_EQ(out, "");
  expect_arc(sink.vertices, 1, 0, 1, 0, 0, -kPi, kClockwiseColour);
  EXPECT_EQ(interp.x, 2.0);
  EXPECT_EQ(interp.job.moves, 1);
  sink.vertices.clear();
  run_lines({"G1 X1", "M5", "Z0"}, sink);  // Z0 is a word: a (zero-length) move
  EXPECT_EQ(sink.vertices.size(), 2u);
}

TEST(PhantomMoves, CoordinatesOfAnUnknownGCodeOrAnOriginAreItsArgumentsNotAMove) {
  RecordingSink sink;
  // Kerfgen's backlash and new-origin lines, and an origin set by g92 with axes: the G99
  // puts the origin at (2, 2, 2), so the tool at X1 stands at X-1; g92 x0 names that X 0.
  std::string out =
      run_lines({"G1 X1", "n4 g46x5", "n5 G99 x2.0000 y2.0000 z2.0000 a0.0000", "g92 x0"}, sink);
  EXPECT_EQ(out, "Unrecognized Code - g46\n");
  EXPECT_EQ(sink.vertices.size(), 1u) << "only the move to X1";
  EXPECT_EQ(interp.x, 0.0);
  EXPECT_EQ(interp.y, -2.0);
  EXPECT_EQ(interp.origin[0], 1.0);
  EXPECT_EQ(interp.origin[1], 2.0);
  EXPECT_EQ(interp.job.moves, 1);
  EXPECT_EQ(interp.box.x_max, 1.0);
}

TEST(PhantomMoves, FullCircleIsTheSamePointNotTheSameAngle) {
  RecordingSink sink;
  // From Y-0 to Y0 left of the centre: the angles are -pi and pi, the points the same.
  run_lines({"G1 X0 Y-0", "G90.1 G2 X0 Y0 I1 J0"}, sink);
  sink.vertices.erase(sink.vertices.begin());
  expect_arc(sink.vertices, 1, 0, 1, 0, 0, -2 * kPi, kClockwiseColour);
  expect_point(sink.vertices[15], 2, 0, 0);
}

TEST(PhantomMoves, NumbersPastAnyMachineLeaveTheirWordOut) {
  RecordingSink sink;
  std::string huge = "1" + std::string(400, '0');
  std::string out = run_lines({"G1 X1 Y1", "G1 X" + huge + " Y2", "Xinf Y-nan Z-INFINITY",
                               "Y1" + std::string(31, '0'), "G2 X3 Y2 R" + huge, "F" + huge}, sink);
  EXPECT_EQ(out,
            "Error: Number too large in line 2 - X word ignored\n"
            "Error: Number too large in line 3 - X word ignored\n"
            "Error: Number too large in line 3 - Y word ignored\n"
            "Error: Number too large in line 3 - Z word ignored\n"
            "Error: Number too large in line 4 - Y word ignored\n"
            "Error: Number too large in line 5 - R word ignored\n"
            "Error: Center distance discrepancy\nCheck center x,y,z values and ijk_mode\n"
            "Error: Number too large in line 6 - F word ignored\n");
  ASSERT_EQ(sink.vertices.size(), 2u + 32u);  // lines 3 and 4 kept no coordinate: no move
  expect_point(sink.vertices[1], 1, 2, 0);
  for (const Vertex& v : sink.vertices) EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y));
  const BoundingBox& b = interp.box;
  for (double edge : {b.x_min, b.x_max, b.y_min, b.y_max, b.z_min, b.z_max})
    EXPECT_TRUE(std::isfinite(edge));
  EXPECT_TRUE(std::isfinite(interp.radius));
  EXPECT_EQ(interp.feed, 0.0);
  // A number that merely follows a letter is still its own word: X1 then I, N, F, which have
  // no number (told once).
  out = run_lines({"G1 X1inf"}, sink);
  EXPECT_EQ(out, "i without a number in line 1 - word ignored\n");
  EXPECT_EQ(interp.x, 1.0);
}

TEST(Numbers, SameAsTheCLibrary) {
  const char* samples[] = {"1",     "-0",    "+.5",   "-.",     ".",       "+",     "-",
                           "1.2.3", "1-2",   "--1",   "007",    "0.1",     "1.5e",  "",
                           "123456789012345678901234567890",     "0.000000000000000000000000001",
                           "9007199254740993",  "1.7976931348623157", "0.30000000000000004"};
  for (const char* s : samples) {
    double expected = std::atof(s);
    double got = word_value(s, static_cast<int>(std::strlen(s)));
    EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << '"' << s << "\" " << got;
  }
  std::mt19937 random(617);
  const char alphabet[] = "0123456789012345678901234567890123456789.+-";
  for (int n = 0; n < 200000; ++n) {
    char s[32];
    int length = static_cast<int>(random() % 24) + 1;
    for (int k = 0; k < length; ++k) s[k] = alphabet[random() % (sizeof alphabet - 1)];
    s[length] = '\0';
    double expected = std::atof(s);
    double got = word_value(s, length);
    ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << '"' << s << "\" " << got;
  }
  // Only the word's own characters count, whatever follows in the line.
  EXPECT_EQ(word_value("12e5", 2), 12.0);
  std::string huge(400, '9');
  EXPECT_EQ(word_value(huge.c_str(), 400), HUGE_VAL);  // the interpreter refuses it
  EXPECT_EQ(word_value("-inf", 4), -HUGE_VAL);
  EXPECT_TRUE(std::isnan(word_value("nan", 3)));
}

TEST(Arcs, CentreFromIJInBothCentreModes) {
  RecordingSink sink;
  // Absolute: centre (0, 1), three quarters of a circle clockwise to (1, 1).
  run_lines({"G90.1 G2 X1 Y1 I0 J1"}, sink);
  expect_arc(sink.vertices, 0, 1, 1, 0, 0, -1.5 * kPi, kClockwiseColour);
  expect_point(sink.vertices[15], -std::sqrt(0.5), 1 + std::sqrt(0.5), 0);
  expect_point(sink.vertices[31], 1, 1, 0);
  EXPECT_EQ(interp.x, 1.0);
  EXPECT_EQ(interp.radius, 1.0);

  // Incremental: centre (1 + 1, 0), a clockwise half circle over the top.
  sink.vertices.clear();
  run_lines({"G91.1 G1 X1 Y0", "G2 X3 Y0 I1 J0"}, sink);
  sink.vertices.erase(sink.vertices.begin());
  expect_arc(sink.vertices, 2, 0, 1, 1, 0, -kPi, kClockwiseColour);
  expect_point(sink.vertices[15], 2, 1, 0);

  // No centre mode set counts as absolute: centre (1, 0) is 2 from the end, 0 from the start;
  // the reading as offsets, which fits, is told.
  sink.vertices.clear();
  std::string out = run_lines({"G1 X1 Y0", "G2 X3 Y0 I1 J0 Z-0.32"}, sink);
  EXPECT_EQ(out, "Arc in line 2 read with I, J and K as the centre's place (no G90.1 or G91.1 in the "
                 "program); read as offsets from the start (G91.1) it would turn about X 2.0000 "
                 "Y 0.0000 with radius 1.0000\n"
                 "Error: Center distance discrepancy\nCheck center x,y,z values and ijk_mode\n");
  ASSERT_EQ(sink.vertices.size(), 33u);
  for (std::size_t k = 1; k <= 32; ++k)  // radius 0: all on the centre, Z still descends
    expect_point(sink.vertices[k], 1, 0, -0.01 * static_cast<double>(k));
  EXPECT_EQ(interp.x, 3.0);  // the position still ends at the programmed end
}

TEST(Arcs, DiscrepancyLimitIsTwoTenThousandths) {
  RecordingSink sink;
  std::string out = run_lines({"G2 X2.00019 Y0 I1 J0"}, sink);  // distances 1 and 1.00019
  EXPECT_EQ(out, "");
  EXPECT_NEAR(interp.radius, 1.000095, 1e-12);
  out = run_lines({"G2 X2.00021 Y0 I1 J0"}, sink);
  EXPECT_EQ(out, "Error: Center distance discrepancy\nCheck center x,y,z values and ijk_mode\n");
}

TEST(Arcs, EqualAnglesMakeAFullCircle) {
  RecordingSink sink;
  run_lines({"G3 X0 Y0 I1 J0 Z1"}, sink);
  expect_arc(sink.vertices, 1, 0, 1, 0, 0, 2 * kPi, kCounterColour);
  expect_point(sink.vertices[15], 2, 0, 0.5);
  expect_point(sink.vertices[31], 0, 0, 1);
  EXPECT_NEAR(interp.box.x_max, 2, 1e-12);  // arc points extend the box
  EXPECT_NEAR(interp.box.y_min, -1, 1e-3);

  sink.vertices.clear();
  run_lines({"G2 X0 Y0 I1 J0"}, sink);
  expect_arc(sink.vertices, 1, 0, 1, 0, 0, -2 * kPi, kClockwiseColour);
}

TEST(Arcs, RadiusArcTakesTheShorterSide) {
  RecordingSink sink;
  run_lines({"G2 X1 Y1 R1"}, sink);
  EXPECT_NEAR(interp.centre_x, 1, 1e-12);
  EXPECT_NEAR(interp.centre_y, 0, 1e-12);
  expect_arc(sink.vertices, 1, 0, 1, 0, 0, -kPi / 2, kClockwiseColour);

  sink.vertices.clear();
  run_lines({"G3 X1 Y1 R1"}, sink);
  EXPECT_NEAR(interp.centre_x, 0, 1e-12);
  EXPECT_NEAR(interp.centre_y, 1, 1e-12);
  expect_arc(sink.vertices, 0, 1, 1, 0, 0, kPi / 2, kCounterColour);

  // A negative R asks for the other, longer arc: the centre on the other side of the chord.
  sink.vertices.clear();
  std::string out = run_lines({"G3 X1 Y1 R-1", "G2 X2 Y2 R-1", "G2 X3 Y3 R-1"}, sink);
  EXPECT_EQ(out, "Negative R in line 1 - drawn as the arc of more than half a circle\n");
  std::vector<Vertex> first(sink.vertices.begin(), sink.vertices.begin() + 32);
  expect_arc(first, 1, 0, 1, 0, 0, 3 * kPi / 2, kCounterColour);
  std::vector<Vertex> second(sink.vertices.begin() + 32, sink.vertices.begin() + 64);
  expect_arc(second, 1, 2, 1, 1, 1, -3 * kPi / 2, kClockwiseColour);
  EXPECT_EQ(interp.job.warnings, 0);
}

TEST(Arcs, RadiusArcOnTheDiameterAndPastIt) {
  RecordingSink sink;
  std::string out = run_lines({"G2 X2 Y0 R1"}, sink);
  EXPECT_EQ(out, "");
  EXPECT_EQ(interp.centre_x, 1.0);
  // A chord longer than the diameter by less than a ten-thousandth is taken as the diameter:
  // the half circle of radius 0.140625 that a writer rounds to r0.14062.
  out = run_lines({"G1 X-0.15625 Y0", "G2 X0.125 Y0 R0.14062"}, sink);
  EXPECT_EQ(out, "");
  EXPECT_NEAR(interp.centre_x, -0.015625, 1e-12);
  EXPECT_NEAR(interp.centre_y, 0, 1e-12);
  out = run_lines({"G2 X2.0001 Y0 R1"}, sink);
  EXPECT_EQ(out, "Error: Move distance is larger than arc diameter.\n");

  sink.vertices.clear();
  out = run_lines({"G2 X1 Y1 R1", "G2 X4 Y1 R1"}, sink);
  EXPECT_EQ(out, "Error: Move distance is larger than arc diameter.\n");
  ASSERT_EQ(sink.vertices.size(), 64u);  // still drawn, about the centre kept from before
  EXPECT_EQ(interp.centre_x, 1.0);
  EXPECT_EQ(interp.x, 4.0);
}

TEST(Arcs, LastOfRAndIJDecides) {
  RecordingSink sink;
  run_lines({"G2 X2 Y0 I5 J5 R1"}, sink);  // R last: centre from the radius
  EXPECT_EQ(interp.centre_x, 1.0);
  EXPECT_EQ(interp.centre_y, 0.0);
  std::string out = run_lines({"G2 X2 Y0 R1 I1 J0"}, sink);  // I, J last: their centre
  EXPECT_EQ(out, "");
  EXPECT_EQ(interp.radius, 1.0);
  // K clears the flag and there is no I or J: the centre kept from the start, the origin,
  // is 0 from the start and 2 from the end.
  out = run_lines({"G2 X2 Y0 R1 K0"}, sink);
  EXPECT_EQ(out, "Error: Center distance discrepancy\nCheck center x,y,z values and ijk_mode\n");
  EXPECT_EQ(interp.centre_x, 0.0);
  EXPECT_EQ(interp.radius, 0.0);
  // Here the centre kept from the half circle before, (1, 0), would fit; K still takes I and J.
  out = run_lines({"G90.1 G2 X2 Y0 I1 J0", "G2 X0 Y0 R1 K0"}, sink);
  EXPECT_EQ(out, "Error: Center distance discrepancy\nCheck center x,y,z values and ijk_mode\n");
  EXPECT_EQ(interp.centre_x, 0.0);
}

TEST(Arcs, NoCentreWordsKeepsTheLastCentre) {
  RecordingSink sink;
  std::string out = run_lines({"G90.1 G2 X1 Y1 I0 J1", "X0 Y2"}, sink);
  EXPECT_EQ(out, "");
  EXPECT_EQ(interp.centre_x, 0.0);
  EXPECT_EQ(interp.centre_y, 1.0);
  ASSERT_EQ(sink.vertices.size(), 64u);
  std::vector<Vertex> second(sink.vertices.begin() + 32, sink.vertices.end());
  expect_arc(second, 0, 1, 1, 1, 1, -1.5 * kPi, kClockwiseColour);
}

TEST(BoundingBox, StartsAtZeroAndFollowsEveryLineEnd) {
  RecordingSink sink;
  run_lines({"X3 Y4 Z5", "G1 X1 Y2 Z1"}, sink);
  EXPECT_EQ(interp.box.x_min, 0.0);
  EXPECT_EQ(interp.box.y_min, 0.0);
  EXPECT_EQ(interp.box.z_min, 0.0);
  EXPECT_EQ(interp.box.x_max, 3.0);  // a line end that drew nothing counts too
  EXPECT_EQ(interp.box.y_max, 4.0);
  EXPECT_EQ(interp.box.z_max, 5.0);
  run_lines({"G1 X-1 Y-2 Z-3"}, sink);
  EXPECT_EQ(interp.box.x_min, -1.0);
  EXPECT_EQ(interp.box.z_min, -3.0);
  EXPECT_EQ(interp.box.x_max, 0.0);
}

}  // namespace

namespace {

// Every kind the reading does not follow is told once, at its first line, and counted on every
// line that holds it (a canned cycle: and on the lines of its run), a second kind as well as the
// first; a letter without a number keeps its value.
TEST(NotFollowed, EveryKindToldOnceAndCounted) {
  RecordingSink sink;
  std::string out = run_lines({"G1 X1 Y1", "G81 X1 Y1 Z-1 R0.1", "X2", "G80", "#1=2", "G1 X#1",
                               "G54 G1 X3", "G1 X [1+2]", "G1 X 1.5 Y3", "G55", "G81 X3 Z-1 R0", "Y2",
                               "G2 X3 Y1 R-1", "G2 X3 Y3 R-1", "o100 while [#1 lt 3]", "G12 X5", "G12",
                               "G1 X2 @1 ^90", "y Z"}, sink);
  EXPECT_EQ(out,
            "G81 in line 2 not followed - the cycle is not drawn, up to G80 or the next motion word\n"
            "# parameters in line 5 not followed - their values are not known here\n"
            "G54 in line 7 not followed - the moves are drawn as programmed\n"
            "[ expressions in line 8 not followed - their values are not known here\n"
            "letters apart from their numbers in line 9 not followed - the letter is left out\n"
            "G55 in line 10 not followed - the moves are drawn as programmed\n"
            "Negative R in line 13 - drawn as the arc of more than half a circle\n"
            "O-words in line 15 not followed - the lines are read once, in the order written\n"
            "Unrecognized Code - G12\nUnrecognized Code - G12\n"
            "polar words in line 18 not followed - their moves are not drawn\n"
            "y without a number in line 19 - word ignored\n");
  struct Kind {
    const char* what;
    long first_line, lines;
  };
  const Kind kinds[] = {{"G81", 2, 4},           {"# parameters", 5, 3}, {"G54", 7, 1},
                        {"[ expressions", 8, 2}, {"letters apart from their numbers", 9, 1},
                        {"G55", 10, 1},          {"O-words", 15, 1},     {"G12", 16, 2},
                        {"polar words", 18, 1}};
  const JobSummary& job = interp.job;
  ASSERT_EQ(job.unfollowed_kinds, static_cast<int>(std::size(kinds)));
  for (int k = 0; k < job.unfollowed_kinds; ++k) {
    SCOPED_TRACE(kinds[k].what);
    EXPECT_STREQ(job.unfollowed[k].what, kinds[k].what);
    EXPECT_EQ(job.unfollowed[k].first_line, kinds[k].first_line);
    EXPECT_EQ(job.unfollowed[k].lines, kinds[k].lines);
  }
  EXPECT_EQ(interp.cycle_line, 0);  // the G2 of line 13 ended the second cycle's run
  ASSERT_GE(sink.vertices.size(), 3u);
  expect_point(sink.vertices[1], 3, 1, 0);  // no cycle hole is drawn
  expect_point(sink.vertices[2], 3, 3, 0);  // X kept from line 7 through lines 8 and 9
}

TEST(NotFollowed, CycleLineHoldsThroughItsRun) {
  RecordingSink sink;
  run_lines({"G0 Z1", "G83 X1 Y1 Z-1 R0.1 Q0.2", "X2"}, sink);
  EXPECT_EQ(interp.cycle_line, 2);
  run_lines({"G0 Z1", "G83 X1 Y1 Z-1 R0.1 Q0.2", "G0 X2"}, sink);
  EXPECT_EQ(interp.cycle_line, 0);
}

// Travel: the jump from the assumed start, and every move with both ends above Z 0; a move
// that enters or leaves the work, or runs on its top face, cuts.
TEST(Travel, AssumedStartAndMovesInTheAir) {
  struct Case {
    std::vector<std::string> lines;
    bool placed;
    bool travel;  // the last move's colour
  } cases[] = {
      {{"G1 X1 Y1"}, false, true},
      {{"G1 X1 Y1"}, true, false},
      {{"G1 Z0.1", "X5 Y5"}, true, true},
      {{"G1 Z0.1", "G2 X1 Y1 R1 Z0.2"}, true, true},
      {{"G1 Z0.1", "X1 Z0"}, true, false},
      {{"G1 Z0", "X1"}, true, false},
      {{"G1 Z-1", "X1 Z0.1"}, true, false},
      {{"G0 Z-1", "X1"}, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines.back());
    RecordingSink sink;
    run_lines(c.lines, sink, c.placed);
    ASSERT_FALSE(sink.vertices.empty());
    EXPECT_EQ(same_colour(sink.vertices.back().colour, kTravelColour), c.travel);
  }
}

}  // namespace
