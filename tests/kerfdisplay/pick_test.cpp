// pick_test.cpp - what the pick stands on, without a window: the file line of each path vertex
// (arcs, lines that draw nothing, many runs), the index of the file's lines against Kerfsend's
// own reading from the start, and the path's segments found near the mouse.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "gcode_interpreter.h"
#include "gcode_reader.h"
#include "gcode_resume.h"
#include "job_place.h"
#include "line_index.h"
#include "pick.h"
#include "vertex_lines.h"

namespace fs = std::filesystem;

namespace {

// The vertices' lines as the sink hands the moves over: the line of each vertex, one a vertex.
class LineOfEachVertex : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override { lines.push_back(line_); }
  void end_path() override {}
  void move(const PathMove& m) override {
    line_ = m.line;
    PathSink::move(m);
  }
  void arc(const PathArc& a) override {
    line_ = a.line;
    PathSink::arc(a);
  }
  std::vector<long> lines;

 private:
  long line_ = 0;
};

class NoVertices : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override {}
  void end_path() override {}
};

std::string temporary(const std::string& text) {
  std::string name = (fs::temp_directory_path() / "kerfdisplay-pick-XXXXXX").string();
  int fd = mkstemp(name.data());
  EXPECT_GE(fd, 0);
  close(fd);
  std::ofstream(name, std::ios::binary) << text;
  return name;
}

TEST(VertexLines, RunsOfArcsMovesAndLinesThatDrawNothing) {
  VertexLines lines;
  EXPECT_EQ(lines.run_of(0).count, 0);
  lines.add(0);                                 // the assumed start
  for (int k = 0; k < 32; ++k) lines.add(3);    // an arc in line 3 (lines 1 and 2 draw nothing)
  lines.add(4);
  lines.add(900);                               // past comments
  for (int k = 0; k < 32; ++k) lines.add(901);  // the open run
  EXPECT_EQ(lines.vertices(), 67);
  auto is = [&](long vertex, long line, long first, long count) {
    const VertexLines::Run r = lines.run_of(vertex);
    EXPECT_EQ(r.line, line) << vertex;
    EXPECT_EQ(r.first, first) << vertex;
    EXPECT_EQ(r.count, count) << vertex;
  };
  is(0, 0, 0, 1);
  is(1, 3, 1, 32);
  is(32, 3, 1, 32);
  is(33, 4, 33, 1);
  is(34, 900, 34, 1);
  is(35, 901, 35, 32);
  is(66, 901, 35, 32);
  EXPECT_EQ(lines.run_of(67).count, 0);
  EXPECT_EQ(lines.run_of(-1).count, 0);
}

// Many runs (marks every 64 of them), big steps of line and long runs: every vertex's line as
// the sink was told it, in a few bytes a run.
TEST(VertexLines, EveryVertexOfManyRuns) {
  VertexLines lines;
  std::vector<long> expected;
  long line = 0;
  unsigned seed = 5;
  for (int run = 0; run < 20000; ++run) {
    seed = seed * 1103515245u + 12345u;
    line += run == 0 ? 0 : 1 + (seed >> 8) % 3 * ((seed >> 4) % 7 == 0 ? 100000 : 1);
    const long count = (seed >> 12) % 5 == 0 ? 32 : (seed >> 12) % 5 == 1 ? 300 : 1;
    for (long k = 0; k < count; ++k) {
      lines.add(line);
      expected.push_back(line);
    }
  }
  for (long v = 0; v < static_cast<long>(expected.size()); ++v) {
    const VertexLines::Run r = lines.run_of(v);
    ASSERT_EQ(r.line, expected[static_cast<std::size_t>(v)]) << v;
    ASSERT_TRUE(r.first <= v && v < r.first + r.count) << v;
  }
  EXPECT_LT(lines.bytes(), 20000u * 8);
}

// Through the reading: PlaceSink notes each vertex's line as the moves and arcs name it, with
// its places kept or not, for a program of every kind of line.
TEST(VertexLines, OfAReadingAreTheMovesOwnLines) {
  const std::string name = temporary(
      "; comment\ng90.1\ng1 x1 y1 f5\n(nothing)\ng2 x1 y1 i0.5 j0.5\nm5\ng92 x0\ng1 x2\ng81 x1 y1 z-1 r1\nx2\ng80\n"
      "g3 x3 y0 r1\n:pause\ng0 z1\nm30\ng1 x9\n");
  for (bool places : {false, true}) {
    LineOfEachVertex truth;
    interp_reset();
    ASSERT_TRUE(read_gcode_quietly(name.c_str(), truth));
    NoVertices none;
    PlaceSink sink(none);
    sink.keep_places(places);
    ASSERT_TRUE(read_gcode_quietly(name.c_str(), sink));
    ASSERT_EQ(sink.lines().vertices(), static_cast<long>(truth.lines.size()));
    EXPECT_EQ(truth.lines.front(), 0);  // the assumed start
    for (std::size_t v = 0; v < truth.lines.size(); ++v)
      EXPECT_EQ(sink.lines().run_of(static_cast<long>(v)).line, truth.lines[v]) << v;
    EXPECT_EQ(sink.kept(), true);
    if (places) {
      EXPECT_EQ(sink.after(8).vertices, 1 + 1 + 32 + 1);
    }
  }
  fs::remove(name);
}

// A program of 30,000 lines (so that the index has places), with arcs in runs, relative moves,
// an origin, words not followed and comment lines: the index's text of each line is the file's,
// and its verdict on a resume at any line, read from its nearest place, is the verdict of a
// reading from the start, as Kerfsend makes it.
TEST(LineIndex, VerdictFromAPlaceIsTheOneFromTheStart) {
  std::string program = "; generated\ng90\ng91.1\ng1 z0.1 f11\n";
  char line[128];
  for (int k = 4; k < 30000; ++k) {
    if (k % 997 == 0) {
      program += "; a comment\n";
    } else if (k == 12000) {
      program += "g92 x0 y0\n";
    } else if (k == 20000) {
      program += "g81 x1 y1 z-0.1 r0.1\n";
    } else if (k == 20001) {
      program += "g80\n";
    } else if (k % 50 == 0) {
      program += k % 100 == 0 ? "g91\n" : "g90\n";
    } else {
      const double a = k * 0.01;
      switch (k % 4) {
        case 0: std::snprintf(line, sizeof line, "g1 x%.4f y%.4f z-0.05 f%d\n", std::cos(a), std::sin(a), 3 + k % 5); break;
        case 1: std::snprintf(line, sizeof line, "g2 x%.4f y%.4f i0.1 j0\n", std::cos(a), std::sin(a)); break;
        case 2: std::snprintf(line, sizeof line, "x%.4f y%.4f i0 j0.1\n", std::cos(a), std::sin(a)); break;  // the arc goes on
        default: std::snprintf(line, sizeof line, "g0 z0.1\n"); break;
      }
      program += line;
    }
  }
  const std::string name = temporary(program);
  interp_reset();
  interp.x = 42;  // the viewer's own reading: left as it is
  LineIndex index;
  index.start(name.c_str());
  for (int k = 0; k < 2 && !index.step(10000); ++k) {
  }
  EXPECT_EQ(interp.x, 42);
  std::vector<std::string> lines;
  {
    std::ifstream in(name);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
  }
  for (long from : {2L, 3L, 5L, 6L, 7L, 8192L, 8193L, 8194L, 11999L, 12001L, 12002L, 16385L, 19999L, 20002L, 20003L,
                    20004L, 24577L, 29998L, 29999L}) {
    SCOPED_TRACE(from);
    std::string text;
    ASSERT_TRUE(index.text(from, text));
    EXPECT_EQ(text, lines[static_cast<std::size_t>(from - 1)]);
    for (long confirmed : {-1L, from - 1, 29000L}) {
      ResumeVerdict indexed{};
      ASSERT_TRUE(index.judge(from, confirmed, indexed));
      EXPECT_EQ(interp.x, 42);
      std::FILE* file = std::fopen(name.c_str(), "rb");
      const Interp kept = interp;
      const ResumeVerdict fresh = judge_resume(file, reading_start(), from, confirmed);
      interp = kept;
      std::fclose(file);
      EXPECT_EQ(indexed.refusal, fresh.refusal);
      EXPECT_EQ(indexed.ahead.continues_line, fresh.ahead.continues_line);
      EXPECT_EQ(indexed.ahead.run_line, fresh.ahead.run_line);
      EXPECT_EQ(indexed.ahead.first_line, fresh.ahead.first_line);
      EXPECT_EQ(indexed.at.x, fresh.at.x);
      EXPECT_EQ(indexed.at.y, fresh.at.y);
      EXPECT_EQ(indexed.at.z, fresh.at.z);
      EXPECT_EQ(indexed.at.safe_z, fresh.at.safe_z);
      EXPECT_EQ(indexed.at.feed, fresh.at.feed);
      EXPECT_EQ(indexed.at.fastest_feed, fresh.at.fastest_feed);
      EXPECT_EQ(indexed.at.plunge_feed, fresh.at.plunge_feed);
      EXPECT_EQ(indexed.at.arc_line, fresh.at.arc_line);
      EXPECT_EQ(indexed.at.origin_line, fresh.at.origin_line);
      EXPECT_EQ(indexed.at.distance_mode, fresh.at.distance_mode);
      EXPECT_EQ(indexed.unfollowed.first_line, fresh.unfollowed.first_line);
      EXPECT_EQ(indexed.origin_line, fresh.origin_line);
    }
  }
  // What the two readings said of some of them, as Kerfsend says it.
  ResumeVerdict v{};
  ASSERT_TRUE(index.judge(7, -1, v));
  EXPECT_EQ(resume_refusal_text(v, "job.nc"),
            "Line 7 of job.nc continues the arc of line 6 without a motion word of its own - cannot resume there");
  ASSERT_TRUE(index.judge(20004, 20100, v));
  EXPECT_EQ(v.refusal, ResumeRefusal::None);
  EXPECT_EQ(resume_unfollowed_text(v, "job.nc"),
            "Line 20001 of job.nc holds G81, which the reading does not follow: where the tool stands before line "
            "20004, and the modes in force there, are not known for sure");
  EXPECT_EQ(resume_origin_note(v.at), "Line 12001 sets an origin with g92: it must still hold on the controller");
  ASSERT_TRUE(index.judge(11997, 12500, v));
  EXPECT_EQ(resume_origin_text(v, "job.nc"),
            "Line 12001 of job.nc sets an origin, and its journal shows line 12500 confirmed: the controller holds "
            "that origin already, while the re-entry to line 11997 is reckoned before it");
  std::string text;
  EXPECT_FALSE(index.text(30001, text));
  fs::remove(name);
}

// Segments at known pixels of a plain projection (one unit a pixel, the eye's depth the w).
PickView flat_view(double mouse_x, double mouse_y) {
  PickView v{};
  v.m[0] = v.m[5] = 1;
  v.m[11] = -1;  // w = 10 - z
  v.m[15] = 10;
  v.pixels_x = v.pixels_y = 10;  // ndc times 10: a unit of x is a pixel at w 10
  v.mouse_x = mouse_x;
  v.mouse_y = mouse_y;
  return v;
}

// The drawn path of one line that stands for the path's own segments between its ends: the
// pick looks at those, and names the nearest; of two passes over one another, the one nearer
// the eye first; nothing farther than the reach.
TEST(PathHits, NearestOfThePathsOwnSegmentsNearerTheEyeFirst) {
  // Vertices 0 to 4 along y = 0 at z 0 (w 10), a pass below them (5 to 7) at z -1 (w 11), and
  // one far off.
  const std::vector<std::vector<float>> v = {{0, 0, 0},   {10, 0, 0},   {20, 0.2f, 0}, {30, 0, 0},    {40, 0, 0},
                                             {0, 0, -1},  {22, 0, -1},  {44, 0, -1},   {0, 50, 0},    {40, 50, 0}};
  auto segment = [&](long a, long b, const SegmentVisit& visit) { visit(a, b, v[static_cast<std::size_t>(a)].data(), v[static_cast<std::size_t>(b)].data()); };
  SegmentSource drawn = [&](long, long, const SegmentVisit& visit) {
    segment(0, 4, visit);  // the drawn line for vertices 0 to 4
    segment(5, 7, visit);
    segment(8, 9, visit);
  };
  SegmentSource whole = [&](long first, long last, const SegmentVisit& visit) {
    for (long k = first; k < last; ++k) segment(k, k + 1, visit);
  };
  // At x 22, 0.15 over y 0: vertex 3's segment (20, 0.2)-(30, 0) passes 0.01 off, at w 10; the
  // pass below (vertex 7's segment, 20 to 40 pixels) 0.15 off, at w 11: as near, to a quarter of
  // a pixel, so the one nearer the eye first. The rest lie farther than a pixel beyond them.
  std::vector<PathHit> hits = path_hits(flat_view(22, 0.15), drawn, whole);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].vertex, 3);
  EXPECT_NEAR(hits[0].pixels, 0.01, 0.01);
  EXPECT_EQ(hits[1].vertex, 7);
  EXPECT_GT(hits[1].depth, hits[0].depth);
  // A quarter of a pixel nearer the mouse comes first, whatever the depth.
  hits = path_hits(flat_view(22, -0.4), drawn, whole);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].vertex, 7);
  EXPECT_EQ(hits[1].vertex, 3);
  // Within reach of the far line only; out of reach of all.
  hits = path_hits(flat_view(20 * 10.0 / 10, 50 - 4), drawn, whole);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].vertex, 9);
  EXPECT_TRUE(path_hits(flat_view(20, 30), drawn, whole).empty());
}

}  // namespace
