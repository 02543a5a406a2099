// following_test.cpp - what the reading follows as a controller does (distances, planes, units,
// origins), and every kind of word it cannot follow reported, each once with its lines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gcode_summary.h"
#include "recording_sink.h"

namespace {

struct Point {
  double x, y, z;
};

struct FollowCase {
  const char* name;
  std::vector<std::string> lines;
  std::vector<std::pair<std::size_t, Point>> vertices;  // index into the sink's vertices
  std::size_t count;                                    // the sink's vertices in all
  Point position;                                       // interp.x, y, z at the end
};

// Worked out by hand. The tool stands at a known origin before the first line.
const FollowCase kFollowCases[] = {
    {"G91 holds for its whole line, whatever the order, until G90",
     {"G1 X1 Y1", "X1 G91", "X1 Y-2", "G90 X5"}, {{1, {2, 1, 0}}, {2, {3, -1, 0}}, {3, {5, -1, 0}}}, 4, {5, -1, 0}},
    {"G18 arcs turn from Z towards X with I and K, the helix along Y",
     {"G18 G2 X2 Z0 I1 K0 Y1"}, {{15, {1, 0.5, -1}}, {31, {2, 1, 0}}}, 32, {2, 1, 0}},
    {"G19 arcs turn from Y towards Z with J and K, the helix along X",
     {"G19 G2 Y2 Z0 J1 K0"}, {{15, {0, 1, 1}}, {31, {0, 2, 0}}}, 32, {0, 2, 0}},
    {"millimetres in a file of millimetres are drawn as written, inches converted",
     {"G21 G1 X25.4", "G20 X2", "G71 Y1"}, {{0, {25.4, 0, 0}}, {1, {50.8, 0, 0}}, {2, {50.8, 1, 0}}}, 3, {50.8, 1, 0}},
    {"a file that moves before naming a unit is in inches, the controller's own",
     {"G1 X1", "G21 X50.8", "G70 Y1"}, {{1, {2, 0, 0}}, {2, {2, 1, 0}}}, 3, {2, 1, 0}},
    {"G92 names the tool's place and moves no tool: the path goes on where the program began",
     {"G1 X1 Y1", "G92 X0 Y0", "G1 X1", "g92", "G1 Z-1", "G92.1", "G1 X0"},
     {{1, {2, 1, 0}}, {2, {2, 1, -1}}, {3, {0, 1, -1}}}, 4, {0, 1, -1}},
    {"G99 puts the origin at the place given, in the present coordinates",
     {"G1 X3 Y3", "G99 x1.0000 y2.0000 z0.0000 a0.0000", "G1 X0 Y0"}, {{1, {1, 2, 0}}}, 2, {0, 0, 0}},
    {"a G2 with only its centre is a whole circle",
     {"G91.1", "G2 I1 J0"}, {{15, {2, 0, 0}}, {31, {0, 0, 0}}}, 32, {0, 0, 0}},
    {"codes that take no axis words leave the line's move in place",
     {"G20 G0 X1 Y1", "G40 G94 G1 X2", "G54 G1 X3", "G17 G90 G21 X25.4"},
     {{0, {1, 1, 0}}, {1, {2, 1, 0}}, {2, {3, 1, 0}}, {3, {1, 1, 0}}}, 4, {1, 1, 0}},
    {"a G70 or G71 with a Q word is a lathe cycle: it moves nothing and leaves the unit",
     {"G21 G1 X1", "G70 Q100 X15 Z3.041 D1", "G1 X2"}, {{1, {2, 0, 0}}}, 2, {2, 0, 0}},
    {"a canned cycle's line and its modal run draw nothing, up to G80 or a motion word",
     {"G1 Z1", "G81 X1 Y1 Z-1 R0.1", "X2", "G80", "X3", "G81 X4 Z-1 R0.1", "G0 X5"},
     {{0, {0, 0, 1}}, {1, {5, 0, 1}}}, 2, {5, 0, 1}},
};

TEST(Following, DistancesPlanesUnitsAndOrigins) {
  for (const FollowCase& c : kFollowCases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink;
    run_lines(c.lines, sink);
    ASSERT_EQ(sink.vertices.size(), c.count);
    for (const auto& v : c.vertices) {
      SCOPED_TRACE(v.first);
      EXPECT_NEAR(sink.vertices[v.first].x, v.second.x, 1e-5);
      EXPECT_NEAR(sink.vertices[v.first].y, v.second.y, 1e-5);
      EXPECT_NEAR(sink.vertices[v.first].z, v.second.z, 1e-5);
    }
    EXPECT_NEAR(interp.x, c.position.x, 1e-12);
    EXPECT_NEAR(interp.y, c.position.y, 1e-12);
    EXPECT_NEAR(interp.z, c.position.z, 1e-12);
  }
}

// Relative moves and origins add up: past any machine, the word is left out, never an
// infinite place.
TEST(Following, PlacesPastAnyMachineAreRefused) {
  RecordingSink sink;
  const std::string big = "900000000000000000000000000000";  // 9e29, within the largest number a word may hold
  std::string out = run_lines({"G91 G1 X" + big, "X" + big, "G90 G92 X0", "G92 X-" + big}, sink);
  EXPECT_EQ(out, "Error: Number too large in line 2 - X word ignored\n"
                 "Error: Number too large in line 4 - X word ignored\n");
  EXPECT_EQ(interp.x, 0.0);
  EXPECT_EQ(interp.origin[0], 9e29);
  ASSERT_EQ(sink.vertices.size(), 2u);
  EXPECT_EQ(sink.vertices[1].x, 9e29f);
}

// F is in the unit in force: 10 inches a minute over an inch, then 10 mm a minute over 2 mm.
TEST(Following, CuttingTimeAtTheFeedOfTheUnitInForce) {
  RecordingSink sink;
  run_lines({"G20 G1 X1 F10", "G21 X27.4"}, sink);
  EXPECT_EQ(interp.file_units, Units::Inch);
  EXPECT_STREQ(unit_name(interp.file_units), "inch");
  EXPECT_NEAR(interp.job.feed_length, 1 + 2 / 25.4, 1e-12);
  EXPECT_NEAR(interp.job.minutes, 0.1 + 0.2, 1e-12);
  run_lines({"G21 G1 X1"}, sink);
  EXPECT_STREQ(unit_name(interp.file_units), "mm");
}

// With no centre mode named, an arc that also fits as offsets is told once, with what the
// offsets would draw: a 2 mm hole that the place reading draws about (1, 0) with radius 9.
TEST(Following, CentreReadingToldOnceWhenBothFit) {
  RecordingSink sink;
  std::string out = run_lines({"G1 X10 Y0", "G3 I1 J0", "G3 I1 J0", "G1 X20"}, sink);
  EXPECT_EQ(out, "Arc in line 2 read with I, J and K as the centre's place (no G90.1 or G91.1 in the "
                 "program); read as offsets from the start (G91.1) it would turn about X 11.0000 "
                 "Y 0.0000 with radius 1.0000\n");
  EXPECT_EQ(interp.job.centre_note_line, 2);
  EXPECT_NEAR(interp.radius, 9, 1e-12);
  // Named, nothing is told.
  out = run_lines({"G90.1", "G1 X10 Y0", "G3 I1 J0"}, sink);
  EXPECT_EQ(out, "");
  EXPECT_EQ(interp.job.centre_note_line, 0);
}

// A sink that takes the canonical calls whole: each with its line, the arc with its centre,
// plane and sweep, in the coordinates the program began in; chords are the sink's business, so
// none reach vertex() here.
class CallSink : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override { ++vertices; }
  void end_path() override {}
  void move(const PathMove& m) override { moves.push_back(m); }
  void arc(const PathArc& a) override { arcs.push_back(a); }
  void stop(long line) override { stops.push_back(line); }
  void comment(long line, const char* text) override { comments.push_back(std::to_string(line) + text); }
  void tool(long line, double diameter) override { tools.push_back({line, diameter}); }
  void origin(long line, double x, double y, double z) override { origins.push_back({line, {x, y, z}}); }
  int vertices = 0;
  std::vector<PathMove> moves;
  std::vector<PathArc> arcs;
  std::vector<long> stops;
  std::vector<std::string> comments;
  std::vector<std::pair<long, double>> tools;
  std::vector<std::pair<long, Point>> origins;
};

TEST(Sink, CanonicalCallsCarryTheirLineAndWhatTheyDo) {
  CallSink sink;
  interp_reset();
  interp.placed = true;
  const char* lines[] = {"; Tool diameter set to 0.250000", "G0 X1 Y1", "G92 X0 Y0", "G1 Z-1 F4",
                         "G18 G91.1 G3 X2 Z-1 I1 K0 F8", "m01"};
  for (const char* line : lines) interpret_line(line, sink);
  EXPECT_EQ(sink.vertices, 0);
  ASSERT_EQ(sink.moves.size(), 2u);
  EXPECT_EQ(sink.moves[0].line, 2);
  EXPECT_EQ(sink.moves[0].kind, MoveKind::Rapid);
  EXPECT_EQ(sink.moves[1].line, 4);
  EXPECT_EQ(sink.moves[1].kind, MoveKind::Linear);
  EXPECT_EQ(sink.moves[1].x, 1.0);  // X0 after G92 X0 is where the program began at X1
  EXPECT_EQ(sink.moves[1].z, -1.0);
  EXPECT_EQ(sink.moves[1].feed, 4.0);
  ASSERT_EQ(sink.arcs.size(), 1u);
  const PathArc& a = sink.arcs[0];
  EXPECT_EQ(a.line, 5);
  EXPECT_FALSE(a.clockwise);
  EXPECT_EQ(a.plane, 2);
  // From program X0 Z-1 (X1 where it began) about Z-1 X1 (X2): a counter-clockwise half turn.
  EXPECT_EQ(a.x, 3.0);
  EXPECT_EQ(a.centre_a, -1.0);
  EXPECT_EQ(a.centre_b, 2.0);
  EXPECT_EQ(a.radius, 1.0);
  EXPECT_NEAR(a.sweep, 3.14159265358979, 1e-12);
  EXPECT_EQ(a.feed, 8.0);
  EXPECT_EQ(sink.stops, std::vector<long>{6});
  EXPECT_EQ(sink.comments, std::vector<std::string>{"1; Tool diameter set to 0.250000"});
  ASSERT_EQ(sink.tools.size(), 1u);
  EXPECT_EQ(sink.tools[0].second, 0.25);
  ASSERT_EQ(sink.origins.size(), 1u);
  EXPECT_EQ(sink.origins[0].first, 3);
  EXPECT_EQ(sink.origins[0].second.x, 0.0);
}

}  // namespace
