// traced_test.cpp - the lathe profiles and stencil apertures that Kerfgen's programs cut, traced
// from the G-code its command loop writes and held against the script's own dimensions over
// sweeps of sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "interpreter.h"
#include "params.h"
#include "reader.h"
#include "writer.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

constexpr double kEps = 2e-5;            // the program writes five decimals
constexpr double kGroovingTool = 0.125;  // width of lathe_pulley2's second tool

struct Move {
  double x, y, z;
  bool grooving;     // the grooving tool is in (lathe_pulley2)
  std::string line;  // for failure messages
};

struct Traced {
  std::vector<Move> moves;           // every motion line, with the position it ends at
  std::vector<std::string> changes;  // the tool-change comments, in order
};

// Runs the script through the command loop, from the defaults, and traces what it writes.
Traced trace(std::string text) {
  load_defaults();
  char* buffer = nullptr;
  std::size_t size = 0;
  writer.out = open_memstream(&buffer, &size);
  text += '\n';
  script = Script{fmemopen(text.data(), text.size(), "r"), false, false, 0, 0};
  CaptureStdout();
  run_script();
  GetCapturedStdout();
  std::fclose(script.in);
  std::fclose(writer.out);
  std::istringstream out(std::string(buffer, size));
  std::free(buffer);
  Traced t;
  Move at{0, 0, 0, false, ""};
  for (std::string line; std::getline(out, line);) {
    if (line.rfind("; Change lathe bit", 0) == 0) {
      t.changes.push_back(line);
      at.grooving = line.find("turning tool") == std::string::npos;
    }
    if (line.find(" g1 ") == std::string::npos) continue;
    for (char axis : {'x', 'y', 'z'}) {
      std::size_t k = line.find(std::string(" ") + axis);
      if (k != std::string::npos)
        (axis == 'x' ? at.x : axis == 'y' ? at.y : at.z) = std::atof(line.c_str() + k + 2);
    }
    at.line = line;
    t.moves.push_back(at);
  }
  return t;
}

// Calls `inside` for points along every move (the first move's start is unknown), and fails
// on a move that goes nowhere.
template <class Inside>
void each_point(const Traced& t, const std::string& what, Inside inside) {
  for (std::size_t k = 1; k < t.moves.size(); ++k) {
    const Move &a = t.moves[k - 1], &b = t.moves[k];
    double length = std::hypot(b.x - a.x, b.y - a.y);
    EXPECT_GT(length + std::fabs(b.z - a.z), 1e-6) << what << ": a move of no length, " << b.line;
    int steps = std::max(20, static_cast<int>(length / 0.001));
    for (int s = 0; s <= steps; ++s) {
      double u = static_cast<double>(s) / steps;
      double x = a.x + u * (b.x - a.x), y = a.y + u * (b.y - a.y);
      if (!inside(x, y, b)) {
        ADD_FAILURE() << what << ": (" << x << ", " << y << ") beyond the part, on the way to "
                      << b.line;
        return;
      }
    }
  }
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

// lathe_pulley: the V p4 wide at X p1 on the surface Y p2, p5 deep and p6 wide at its floor,
// and the shoulder p7 wide and p8 deep beside it.
TEST(LathePulley, PassesStayInsideTheVAndTheShoulderAndNoneHasNoLength) {
  for (double lc : {0.007, 0.02, 0.0625})
    for (double p2 : {0.0, 0.5})
      for (double p3 : {0.0, 0.05})
        for (double p5 : {0.02, 0.05, 0.2})
          for (double p6 : {0.0, 0.1, 0.2})
            for (double p7 : {0.0, 0.02, 0.05, 0.25})
              for (double p8 : {0.08, 0.5}) {
                double p1 = 1, p4 = 0.3, w = (p4 - p6) / 2;
                std::string args = "1 " + number(p2) + " " + number(p3) + " 0.3 " + number(p5) +
                                   " " + number(p6) + " " + number(p7) + " " + number(p8);
                Traced t = trace("lathe_cut " + number(lc) + "\nlathe_pulley " + args);
                double deepest_v = p2, deepest_shoulder = p2;
                each_point(t, "lathe_pulley " + args + " lathe_cut " + number(lc),
                           [&](double x, double y, const Move&) {
                             double d = y - p2;
                             // NOTE: the approach skims 0.003 off the surface before the first
                             // pass.
                             if (d <= 0.003 + kEps) return true;
                             bool in_v = d <= p5 + kEps && x >= p1 + w * d / p5 - kEps &&
                                         x <= p1 + p4 - w * d / p5 + kEps;
                             bool in_shoulder = p7 > 0 && d <= p8 + kEps && x >= p1 + p4 - kEps &&
                                                x <= p1 + p4 + p7 + kEps;
                             if (in_v && !in_shoulder) deepest_v = std::max(deepest_v, y);
                             if (in_shoulder && x > p1 + p4 + kEps)
                               deepest_shoulder = std::max(deepest_shoulder, y);
                             return in_v || in_shoulder;
                           });
                EXPECT_NEAR(deepest_v, p2 + p5, kEps) << args;
                if (p7 > 0) {
                  EXPECT_NEAR(deepest_shoulder, p2 + p8, kEps) << args;
                }
              }
}

// lathe_angle: the chamfer runs from the face at x, y2 deep, back to the surface y1 at
// x + (y2 - y1)/tan(angle); the work lies on that side of the face, air on the other.
TEST(LatheAngle, TheChamferIsTheSameWhereverTheFaceIs) {
  for (double angle : {30.0, 45.0, 60.0, 90.0, 135.0, -45.0})
    for (double y1 : {0.0, 0.52})
      for (double x : {-1.0, 0.0, 0.5, 1.0, 2.75}) {
        double y2 = y1 + 0.1, length = 0.1 / std::tan(angle * std::atan(1.0) / 45);
        std::string what =
            "lathe_angle " + number(x) + " " + number(y1) + " " + number(y2) + " " + number(angle);
        Traced t = trace("lathe_cut 0.025\n" + what);
        Traced at_zero = trace("lathe_cut 0.025\nlathe_angle 0 " + number(y1) + " " + number(y2) +
                               " " + number(angle));
        ASSERT_EQ(t.moves.size(), at_zero.moves.size()) << what;
        for (std::size_t k = 0; k < t.moves.size(); ++k) {
          EXPECT_NEAR(t.moves[k].x - x, at_zero.moves[k].x, kEps)
              << what << ": " << t.moves[k].line;
          EXPECT_NEAR(t.moves[k].y, at_zero.moves[k].y, kEps) << what << ": " << t.moves[k].line;
        }
        // The last pass cuts the chamfer itself, from its start on the surface to the face.
        std::size_t n = t.moves.size();
        ASSERT_GE(n, 3u);
        EXPECT_NEAR(t.moves[n - 3].x, x + length, kEps) << what;
        EXPECT_NEAR(t.moves[n - 2].x, x, kEps) << what;
        EXPECT_NEAR(t.moves[n - 2].y, y2, kEps) << what;
        each_point(t, what, [&](double px, double py, const Move&) {
          double along = (px - x) / length;  // 0 at the face, 1 at the chamfer's start
          return py <= y1 + kEps || along <= kEps / std::fabs(length) ||
                 (along <= 1 + kEps && py <= y2 - (y2 - y1) * along + kEps);
        });
      }
}

// The lathe example's chamfer, worked out by hand: its face is at X 0, so the chamfer starts
// at X 0.1 as it always did.
TEST(LatheAngle, TheShaftExampleKeepsItsChamfer) {
  std::ifstream file(EXAMPLES_DIR "/shaft.txt");
  std::stringstream text;
  text << file.rdbuf();
  Traced t = trace(text.str());
  ASSERT_GE(t.moves.size(), 13u);
  const char* expected[] = {"g1 x0.00000 y0.52000 f15.00000", "g1 x0.10000 y0.52000 f4.00000",
                            "g1 x0.00000 y0.54500 f4.00000",  "g1 x0.00000 y0.52000 f15.00000",
                            "g1 x0.10000 y0.52000 f4.00000",  "g1 x0.00000 y0.57000 f4.00000",
                            "g1 x0.00000 y0.52000 f15.00000", "g1 x0.10000 y0.52000 f4.00000",
                            "g1 x0.00000 y0.59500 f4.00000",  "g1 x0.00000 y0.52000 f15.00000",
                            "g1 x0.10000 y0.52000 f4.00000",  "g1 x0.00000 y0.62000 f4.00000",
                            "g1 x0.00000 y0.52000 f4.00000"};
  std::size_t first = t.moves.size() - 13;
  for (std::size_t k = 0; k < 13; ++k) {
    const std::string& line = t.moves[first + k].line;
    EXPECT_EQ(line.substr(line.find(' ') + 1), expected[k]);
  }
}

// lathe_pulley2, in the section's own offsets: the stock's surface at Y 0 and its free end at
// X 0; each section's step from its origin x0 to x0 - 2 q5 - q6, h deep, with its groove q5 in
// from either end, q6 wide at the top, q7 deep, its walls leaning in by tan(q8/2) per unit of
// depth. The grooving tool is held by its -X corner and reaches kGroovingTool along +X.
TEST(LathePulley2, EachSectionStaysInItsStepAndGrooveAndTheStepsAreTurned) {
  for (double lc : {0.007, 0.03})
    for (double q4 : {0.5, 0.9})
      for (double q10 : {0.0, 0.75, 0.9})
        for (double q5 : {0.1, 0.25})
          for (double q6 : {0.5, 0.75})
            for (double q8 : {60.0, 90.0})
              for (double gap : {-1.0, 0.0, 0.3}) {
                double q3 = 1, q7 = 0.125, width = 2 * q5 + q6;
                double q9 = gap < 0 ? 0 : width + gap;  // B at the free end, next to A, or apart
                bool with_a = q9 > 0 && q10 > 0;
                double slope = std::tan(q8 / 2 * std::atan(1.0) / 45);
                struct Section {
                  double x0, h;
                };
                std::vector<Section> sections{{-q9, (q3 - q4) / 2}};
                if (with_a) sections.push_back({0, (q3 - q10) / 2});
                std::string what = "lathe_pulley2 0.5 0.25 1 " + number(q4) + " " + number(q5) +
                                   " " + number(q6) + " 0.125 " + number(q8) + " " + number(q9) +
                                   " " + number(q10);
                Traced t = trace("lathe_cut " + number(lc) + "\n" + what);
                for (Move& m : t.moves) m.x -= 0.5, m.y -= 0.25;
                auto in_part = [&](double x, double y, bool* in_groove) {
                  *in_groove = false;
                  if (y <= kEps || x >= -kEps) return true;
                  bool in = false;
                  for (const Section& s : sections) {
                    double d = y - s.h, near = s.x0 - q5 - d * slope,
                           far = s.x0 - q5 - q6 + d * slope;
                    if (d >= -kEps && d <= q7 + kEps && x >= far - kEps && x <= near + kEps)
                      in = *in_groove = true;
                    if (y <= s.h + kEps && x <= s.x0 + kEps && x >= s.x0 - width - kEps) in = true;
                  }
                  return in;
                };
                each_point(t, what + " lathe_cut " + number(lc),
                           [&](double x, double y, const Move& m) {
                             bool in_groove = false;
                             for (double edge : {0.0, kGroovingTool / 2, kGroovingTool}) {
                               if (!in_part(x + edge, y, &in_groove)) return false;
                               if (!m.grooving) break;  // the turning tool cuts with its tip
                             }
                             return true;
                           });
                // Every move of the grooving tool ends in a groove or out of the stock: the steps
                // are turned with the turning tool.
                for (const Move& m : t.moves) {
                  bool in_groove = false;
                  in_part(m.x, m.y, &in_groove);
                  bool outside = m.y <= kEps || m.x >= -kEps;
                  if (m.grooving) {
                    EXPECT_TRUE(in_groove || outside) << what << ": " << m.line;
                  }
                }
                std::vector<std::string> stops{
                    "; Change lathe bit to: 0.125000 - press c to continue"};
                if (with_a) {
                  stops.push_back("; Change lathe bit back to: turning tool - press c to continue");
                  stops.push_back(stops.front());
                }
                EXPECT_EQ(t.changes, stops) << what;
              }
}

// Each slot cut at depth, as (centre along the row, centre across it, length) in millimetres
// from the package centre, the row told by its side; every slot runs straight across its row.
struct Slot {
  int side;  // 0 top, 1 right, 2 bottom, 3 left
  double along, across, length;
  bool operator<(const Slot& o) const { return side != o.side ? side < o.side : along < o.along; }
};

std::vector<Slot> slots_cut(const Traced& t, double cx, double cy, double depth) {
  std::vector<Slot> slots;
  for (std::size_t k = 1; k < t.moves.size(); ++k) {
    const Move &a = t.moves[k - 1], &b = t.moves[k];
    if (std::fabs(b.z - depth) > kEps || (a.x == b.x && a.y == b.y)) continue;
    double ax = (a.x - cx) * 25.4, ay = (a.y - cy) * 25.4, bx = (b.x - cx) * 25.4,
           by = (b.y - cy) * 25.4;
    bool vertical = std::fabs(ax - bx) < 1e-3;
    EXPECT_TRUE(vertical || std::fabs(ay - by) < 1e-3)
        << "a slot not straight across its row: " << b.line;
    double mx = (ax + bx) / 2, my = (ay + by) / 2;
    int side = vertical ? (my > 0 ? 0 : 2) : (mx > 0 ? 1 : 3);
    slots.push_back({side, vertical ? mx : my, vertical ? std::fabs(my) : std::fabs(mx),
                     std::hypot(bx - ax, by - ay)});
  }
  std::sort(slots.begin(), slots.end());
  return slots;
}

// The pad table of each package: pads in rows centred on the package, every pad 1.2 mm long.
TEST(Stencils, EveryApertureLiesOnItsPadAndIsAsLongAsThePad) {
  struct Package {
    const char* command;
    int sides, pads;
    double pitch, centre;
  };
  for (const Package& p :
       {Package{"mill_QFP176", 4, 44, 0.5, 12.75}, Package{"mill_TSSOP54", 2, 27, 0.8, 5.6}}) {
    Traced t = trace(std::string(p.command) + " 1 2 -0.006");
    std::vector<Slot> expected;
    for (int side = 0; side < 4; side += 4 / p.sides)
      for (int i = 0; i < p.pads; ++i)
        expected.push_back({side, (i - (p.pads - 1) / 2.0) * p.pitch, p.centre, 1.2});
    std::sort(expected.begin(), expected.end());
    std::vector<Slot> cut = slots_cut(t, 1, 2, -0.006);
    ASSERT_EQ(cut.size(), expected.size()) << p.command;
    for (std::size_t k = 0; k < cut.size(); ++k) {
      EXPECT_EQ(cut[k].side, expected[k].side) << p.command << " slot " << k;
      EXPECT_NEAR(cut[k].along, expected[k].along, 1e-3) << p.command << " side " << cut[k].side;
      EXPECT_NEAR(cut[k].across, expected[k].across, 1e-3) << p.command << " side " << cut[k].side;
      EXPECT_NEAR(cut[k].length, expected[k].length, 1e-3) << p.command << " side " << cut[k].side;
    }
  }
}

}  // namespace
