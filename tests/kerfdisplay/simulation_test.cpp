// simulation_test.cpp - the simulated part against cases worked out by hand: Kerfgen's pocket,
// slot, drilled hole and helix read back through the STL file (closed, its volume, depths and
// radii), the sweep between a move's ends, the tool the comments name, and input refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "recording_sink.h"
#include "simulation.h"
#include "turned_part.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Triangle {
  float n[3], v[3][3];
};

using Mesh = std::vector<Triangle>;

Mesh read_stl(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Mesh mesh;
  if (data.size() < 84) return mesh;
  std::uint32_t count;
  std::memcpy(&count, data.data() + 80, 4);
  if (data.size() != 84 + 50 * static_cast<std::size_t>(count)) return mesh;
  mesh.resize(count);
  for (std::uint32_t k = 0; k < count; ++k) std::memcpy(&mesh[k], data.data() + 84 + 50 * k, 48);
  return mesh;
}

// Every edge met as often in one direction as in the other: no gap, no face turned inside out.
bool closed(const Mesh& mesh) {
  using Corner = std::tuple<float, float, float>;
  std::map<std::pair<Corner, Corner>, int> edges;
  for (const Triangle& t : mesh)
    for (int k = 0; k < 3; ++k) {
      const float* a = t.v[k];
      const float* b = t.v[(k + 1) % 3];
      ++edges[{{a[0], a[1], a[2]}, {b[0], b[1], b[2]}}];
      --edges[{{b[0], b[1], b[2]}, {a[0], a[1], a[2]}}];
    }
  for (const auto& e : edges)
    if (e.second != 0) return false;
  return !mesh.empty();
}

double volume(const Mesh& mesh) {
  double sum = 0;
  for (const Triangle& t : mesh) {
    const float *a = t.v[0], *b = t.v[1], *c = t.v[2];
    sum += (a[0] * (double(b[1]) * c[2] - double(b[2]) * c[1]) - a[1] * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
            a[2] * (double(b[0]) * c[1] - double(b[1]) * c[0])) / 6;
  }
  return sum;
}

// The height of the upward face over (x, y), or NAN.
double top_at(const Mesh& mesh, double x, double y) {
  for (const Triangle& t : mesh) {
    if (t.n[2] != 1) continue;
    double s[3];
    for (int k = 0; k < 3; ++k) {
      const float* a = t.v[k];
      const float* b = t.v[(k + 1) % 3];
      s[k] = (b[0] - a[0]) * (y - a[1]) - (b[1] - a[1]) * (x - a[0]);
    }
    if (s[0] >= 0 && s[1] >= 0 && s[2] >= 0) return t.v[0][2];
  }
  return NAN;
}

class Simulation : public FileTest {
 protected:
  void TearDown() override {
    release_part(part_);
    FileTest::TearDown();
  }
  // Kerfgen's G-code for the script, as job.nc.
  void kerfgen(const std::string& script) {
    std::ofstream(folder_ / "job.txt") << script;
    std::string command = std::string("cd '") + folder_.string() + "' && timeout 20 '" KERFGEN_PROGRAM
                          "' job.txt job.nc </dev/null >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }
  // Simulates job.nc; what it printed is in said_.
  bool simulate(SimOptions options = {}) {
    release_part(part_);
    testing::internal::CaptureStdout();
    bool ok = simulate_file(name_.c_str(), options, part_, false);
    said_ = testing::internal::GetCapturedStdout();
    return ok;
  }
  Mesh stl() {
    std::string out = (folder_ / "part.stl").string();
    double triangles = 0;
    EXPECT_TRUE(write_stl(out.c_str(), part_, triangles));
    Mesh mesh = read_stl(out);
    EXPECT_EQ(static_cast<double>(mesh.size()), triangles);
    EXPECT_TRUE(closed(mesh));
    return mesh;
  }
  double height(double x, double y) const {
    int i = static_cast<int>((x - part_.stock.x_min) / part_.dx);
    int j = static_cast<int>((y - part_.stock.y_min) / part_.dy);
    return part_.height[static_cast<std::size_t>(j) * static_cast<std::size_t>(part_.nx) + static_cast<std::size_t>(i)];
  }
  double block() const {
    const Stock& s = part_.stock;
    return (s.x_max - s.x_min) * (s.y_max - s.y_min) * (s.z_max - s.z_min);
  }

  Part part_{};
  std::string said_;
};

TEST_F(Simulation, RoundPocketThroughTheStl) {
  kerfgen("mill_bit 0.25\nmill_pocket 1 c c 0 -0.1\n");
  ASSERT_TRUE(simulate()) << said_;
  Mesh mesh = stl();
  double pocket = kPi * 0.5 * 0.5 * 0.1;
  EXPECT_NEAR(volume(mesh), block() - pocket, 0.01 * pocket);
  // The default stock: the cuts grown by the tool's radius and a tenth of its diameter, from Z 0
  // down past the floor by that tenth; 1,000 cells along its longer side.
  EXPECT_NEAR(part_.stock.x_max, 0.375 + 0.15, 1e-6);
  EXPECT_NEAR(part_.stock.z_min, -0.125, 1e-6);
  EXPECT_EQ(part_.nx, 1000);
  // The floor reaches the middle; the wall stands at radius 0.5 all round, to a cell or two.
  EXPECT_EQ(top_at(mesh, 0, 0), -0.1f);
  for (double a = 0.1; a < 2 * kPi; a += 0.7) {
    EXPECT_EQ(top_at(mesh, (0.5 - 2 * part_.dx) * std::cos(a), (0.5 - 2 * part_.dx) * std::sin(a)), -0.1f) << a;
    EXPECT_EQ(top_at(mesh, (0.5 + 2 * part_.dx) * std::cos(a), (0.5 + 2 * part_.dx) * std::sin(a)), 0.0f) << a;
  }
}

TEST_F(Simulation, SlotDrilledHoleAndHelix) {
  kerfgen("mill_bit 0.25\ndepth_cut 0.1\nmill_line c -1 0 1 0 0 -0.1\n"
          "drill_bit 0.125\ndrill_hole 0 0.5 0 -0.3\n"
          "change mill_bit 0.25\nmill_mode o\nmill_circle_helix 2 0 1 0 -0.2\n");
  ASSERT_TRUE(simulate()) << said_;
  Mesh mesh = stl();
  double cell = part_.dx;
  // The slot is the tool's width, its ends round.
  for (double x : {-1.0, 0.3, 1.0}) {
    EXPECT_EQ(top_at(mesh, x, 0.12), -0.1f) << x;
    EXPECT_EQ(top_at(mesh, x, 0.13), 0.0f) << x;
  }
  EXPECT_EQ(top_at(mesh, -1.12, 0), -0.1f);
  EXPECT_EQ(top_at(mesh, -1.1, 0.1), 0.0f);  // outside the round end, inside its square
  // The hole: the drill's width, to its depth.
  EXPECT_EQ(top_at(mesh, 0, 0.5 + 0.055), -0.3f);
  EXPECT_EQ(top_at(mesh, 0, 0.5 + 0.07), 0.0f);
  // The helix about (2, 0): the tool's centre on radius 0.625, each half-turn 0.05 lower. Over
  // (2, -0.625) the third half-turn is the last: its disc leaves that point 2 asin(0.1) past
  // the quarter, at Z -0.1 - 0.05 (1/2 + 2 asin(0.1) / pi); over (2, 0.625) the fourth.
  double beyond = 0.5 + 2 * std::asin(0.1) / kPi;
  EXPECT_NEAR(top_at(mesh, 2, -0.625), -0.1 - 0.05 * beyond, 2e-3);
  EXPECT_NEAR(top_at(mesh, 2, 0.625), -0.15 - 0.05 * beyond, 2e-3);
  EXPECT_NEAR(top_at(mesh, 2 + 0.625, 0), -0.2, 2e-3);
  EXPECT_EQ(top_at(mesh, 2, 0.5 - 2 * cell), 0.0f);  // the island in the middle stands
  EXPECT_EQ(top_at(mesh, 2, -0.75 - 2 * cell), 0.0f);
  EXPECT_NEAR(part_.stock.z_min, -0.3 - 0.025, 1e-6);
}

// A ramp along X from Z 0 to Z -0.1 over one unit, by a tool of radius 0.2, in one segment: a
// cell (x, y) is cut to where the disc last covers it, x + sqrt(0.04 - y^2) along the ramp.
TEST_F(Simulation, SweepIsExactBetweenTheEnds) {
  write("G1 X0 Y0 Z0\nG1 X1 Z-0.1\n");
  SimOptions options{};
  options.tool = 0.4;
  options.stock_given = true;
  options.stock = {-0.5, -0.5, -0.2, 1.5, 0.5, 0};
  options.cell = 0.01;
  ASSERT_TRUE(simulate(options)) << said_;
  ASSERT_EQ(part_.nx, 200);
  int wrong = 0;
  for (int j = 0; j < part_.ny; ++j)
    for (int i = 0; i < part_.nx; ++i) {
      double x = -0.5 + (i + 0.5) * 0.01, y = -0.5 + (j + 0.5) * 0.01;
      double expected = 0;
      double reach = 0.04 - y * y;
      if (reach >= 0 && x <= 1 + std::sqrt(reach) && (x >= 0 || x * x + y * y <= 0.04))
        expected = -0.1 * std::fmin(1, std::fmax(0, x + std::sqrt(reach)));
      if (std::fabs(part_.height[j * 200 + i] - expected) > 1e-6) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
}

// Level moves and plunges at a few depths, in an order that revisits cut cells from every side:
// each cell ends at the lowest Z of the moves that come within the tool's radius of it.
TEST_F(Simulation, EveryCellAtTheLowestMoveThatReachesIt) {
  struct Move {
    double x0, y0, x1, y1, z;
  };
  std::vector<Move> moves;
  std::string program = "G1 Z0.1\n";
  unsigned seed = 7;
  auto next = [&](double range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % 1000 / 1000.0 * range;
  };
  double x = 0, y = 0;
  for (int k = 0; k < 300; ++k) {
    double z = -0.05 * (1 + static_cast<int>(next(3)));
    double x1 = k % 5 == 0 ? x : next(2), y1 = k % 7 == 0 ? y : next(2);
    program += "G1 X" + std::to_string(x) + " Y" + std::to_string(y) + " Z" + std::to_string(z) + "\n";
    program += "X" + std::to_string(x1) + " Y" + std::to_string(y1) + "\n";
    moves.push_back({x, y, x, y, z});  // the plunge
    moves.push_back({x, y, x1, y1, z});
    x = x1;
    y = y1;
  }
  write(program);
  SimOptions options{};
  options.tool = 0.2;
  options.stock_given = true;
  options.stock = {0, 0, -0.3, 2, 2, 0};
  options.cell = 0.01;
  ASSERT_TRUE(simulate(options)) << said_;
  int wrong = 0;
  for (int j = 0; j < part_.ny; ++j)
    for (int i = 0; i < part_.nx; ++i) {
      double px = (i + 0.5) * 0.01, py = (j + 0.5) * 0.01, expected = 0;
      for (const Move& m : moves) {
        // The nearest point of the move, as the float vertices hold it.
        double ax = float(m.x0), ay = float(m.y0), ex = float(m.x1) - ax, ey = float(m.y1) - ay;
        double t = ex == 0 && ey == 0 ? 0 : ((px - ax) * ex + (py - ay) * ey) / (ex * ex + ey * ey);
        t = std::fmin(1, std::fmax(0, t));
        if (std::hypot(ax + t * ex - px, ay + t * ey - py) <= 0.1) expected = std::fmin(expected, float(m.z));
      }
      if (part_.height[j * part_.nx + i] != float(expected)) ++wrong;
    }
  EXPECT_EQ(wrong, 0);
}

// Sloping moves of every length, from far shorter than the tool to across the stock, climbing
// and sinking, among level moves and plunges: the part with the cells inside each lower end's
// disc lowered at once is the part with every cell worked out alone, to the bit.
TEST_F(Simulation, QuickSlopingMovesCutTheSamePart) {
  std::string program = "G1 Z0.1\n";
  unsigned seed = 3;
  auto next = [&](double range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % 100000 / 100000.0 * range;
  };
  char line[100];
  double x = 1, y = 1;
  for (int k = 0; k < 400; ++k) {
    double reach = k % 3 == 0 ? 0.02 : k % 3 == 1 ? 0.3 : 2;  // shorter than the radius, or not
    x = std::fmin(2.1, std::fmax(-0.1, x + next(2 * reach) - reach));
    if (k % 11 != 0) y = std::fmin(2.1, std::fmax(-0.1, y + next(2 * reach) - reach));
    std::snprintf(line, sizeof line, "G1 X%.5f Y%.5f Z%.5f\n", x, y, next(0.4) - 0.35);
    program += line;
  }
  write(program);
  for (double cell : {0.01, 0.0037}) {
    SimOptions options{};
    options.tool = 0.25;
    options.stock_given = true;
    options.stock = {0, 0, -0.3, 2, 2, 0};
    options.cell = cell;
    options.cell_by_cell = true;
    ASSERT_TRUE(simulate(options)) << said_;
    std::vector<float> alone(part_.height, part_.height + part_.nx * part_.ny);
    options.cell_by_cell = false;
    ASSERT_TRUE(simulate(options)) << said_;
    ASSERT_EQ(alone.size(), static_cast<std::size_t>(part_.nx * part_.ny));
    EXPECT_EQ(std::memcmp(alone.data(), part_.height, alone.size() * sizeof(float)), 0) << cell;
    EXPECT_LT(*std::min_element(alone.begin(), alone.end()), -0.25f) << "the moves cut deep";
  }
}

TEST_F(Simulation, ToolFromTheProgramsComments) {
  const char* slot = "G1 X0 Y0 Z0.1\nG1 Z-0.1\nG1 X1\nG1 Z0.1\n";
  const char* second = "G1 X0 Y2 Z0.1\nG1 Z-0.1\nG1 X1\nG1 Z0.1\n";
  struct Case {
    std::string program;
    double tool;       // --tool, or 0
    double first, second;  // the slots' widths
  } cases[] = {
      {std::string("; Tool diameter set to 0.250000\n") + slot + second, 0, 0.25, 0.25},
      {std::string("; Drill diameter set to 0.125000\n") + slot +
           "; Change mill bit diameter to: 0.500000 - press c to continue\n" + second, 0, 0.125, 0.5},
      {std::string("; Tool diameter set to 0.250000\n") + slot +
           "; Change drill bit diameter to: 0.100000 - press c to continue\n" + second, 0, 0.25, 0.1},
      {std::string("; Tool diameter set to 0.250000\n") + slot + second, 0.3, 0.3, 0.3},
      {std::string(slot) + second, 0.3, 0.3, 0.3},
  };
  for (const Case& c : cases) {
    write(c.program);
    SimOptions options{};
    options.tool = c.tool;
    options.stock_given = true;
    options.stock = {-1, -1, -0.2, 2, 3, 0};
    options.cell = 0.005;
    ASSERT_TRUE(simulate(options)) << said_;
    EXPECT_EQ(height(0.5, c.first / 2 - 0.006), -0.1f) << c.program;
    EXPECT_EQ(height(0.5, c.first / 2 + 0.006), 0.0f) << c.program;
    EXPECT_EQ(height(0.5, 2 + c.second / 2 - 0.006), -0.1f) << c.program;
    EXPECT_EQ(height(0.5, 2 + c.second / 2 + 0.006), 0.0f) << c.program;
  }
}

// What cannot be simulated says why, and nothing is made.
TEST_F(Simulation, RefusedInput) {
  const Stock none{};
  struct Case {
    const char* program;
    double tool;   // --tool, or 0
    Stock stock;   // --stock, or all zeros
    double cell;   // --resolution, or 0
    const char* message;  // empty when the part is made
  } cases[] = {
      {"G1 X1 Y1\nG1 X2\n", 0, none, 0,
       "\nNo move leaves Z 0: a lathe program. Give its bar with --stock-diameter D and the Y of the bar's "
       "surface with --surface Y to see the part it turns.\n"},
      {"G1 Z0.1\nG1 X1\nG1 Z-0.1\n", 0, none, 0,
       "\nNo tool known: line 3 cuts before the program names its tool. Give its diameter with --tool D.\n"},
      {"; Tool diameter set to 0.000000\nG1 Z-0.1\n", 0, none, 0,
       "\nThe tool named at line 1 is 0 across: a tool must be more than 0 across.\n"},
      {"; Tool diameter set to -0.250000\nG1 Z-0.1\n", 0, none, 0,
       "\nThe tool named at line 1 is -0.25 across: a tool must be more than 0 across.\n"},
      {"G1 Z1\nG1 X1\n", 0.25, none, 0,
       "\nNothing cuts below Z 0, the top of the stock: give the stock with --stock.\n"},
      {"G1 Z-0.1\n", 1, {0, 0, -1, 1e31, 1, 0}, 0, "\nThe stock reaches past 1e+30: no machine holds it.\n"},
      {"G1 Z-0.1\n", 1, {0, 0, -1, 1, 0.00001, 0}, 0,
       "\nThe stock from X 0 Y 0 Z -1 to X 1 Y 1e-05 Z 0 is too small: each side must be at least 0.0001.\n"},
      {"G1 Z-0.1\n", 1, {0, 0, -1, 1, 1, 1}, 0.00001,
       "\nThe part would need 10000000000 cells of 1e-05, more than 100 million: give a larger --resolution.\n"},
      {"G1 Z-0.1\n", 1, {1e20, 0, -1, 1.00001e20, 1, 0}, 0,
       "\nCells of 1e+12 are too small for a stock at 1.00001e+20 from the origin: give a --resolution of at "
       "least 1.00001e+14.\n"},
      // A huge tool is no fault: it cuts the whole stock.
      {"G1 Z-0.1\n", 1e30, none, 0, ""},
  };
  for (const Case& c : cases) {
    write(c.program);
    SimOptions options{};
    options.tool = c.tool;
    options.stock_given = c.stock.x_max != 0;
    options.stock = c.stock;
    options.cell = c.cell;
    bool made = *c.message == '\0';
    EXPECT_EQ(simulate(options), made) << said_;
    EXPECT_EQ(said_, c.message);
    EXPECT_EQ(part_.height != nullptr, made);
  }
}

// The lathe example, turned from its own comments: a 3 inch bar, its surface at Y 0.02, a 2 inch
// journal to X 2.5 with a 0.1 chamfer on the free end, a taper to the full bar at X 3. The bar
// runs from the end face at X 0 to a tenth of its diameter past the last cut, X 3.3.
TEST_F(Simulation, ShaftTurnedAsItsCommentsSay) {
  std::ifstream script(KERF_EXAMPLES "/shaft.txt");
  std::stringstream text;
  text << script.rdbuf();
  kerfgen(text.str());
  SimOptions options{};
  options.bar_diameter = 3;
  options.surface_given = true;
  options.surface = 0.02;
  options.cell = 0.01;
  ASSERT_TRUE(simulate(options)) << said_;
  ASSERT_NE(part_.turned, nullptr);
  const TurnedPart& t = *part_.turned;
  ASSERT_EQ(t.n, 330);
  struct Case {
    double x, radius;
  } cases[] = {{0.005, 0.905}, {0.055, 0.955}, {0.105, 1.0}, {1.25, 1.0}, {2.495, 1.0},
               {2.505, 1.005}, {2.755, 1.255}, {2.995, 1.495}, {3.005, 1.5}, {3.295, 1.5}};
  for (const Case& c : cases)
    EXPECT_NEAR(t.radius_at(static_cast<int>(c.x / t.dx)), c.radius, 1e-6) << c.x;
  testing::internal::CaptureStdout();
  print_part(stdout, part_);
  std::string block = testing::internal::GetCapturedStdout();
  EXPECT_NE(block.find("\n  Diameters:       X 0.00\u20130.10: taper \u2300 1.800\u20132.000; X 0.10\u20132.50: \u2300 2.000; "
                       "X 2.50\u20133.00: taper \u2300 2.000\u20133.000; X 3.00\u20133.30: \u2300 3.000\n"),
            std::string::npos) << block;
  EXPECT_EQ(block.find("Rapid"), std::string::npos);
  // Closed, and as large as the frustums and cylinders it is made of.
  Mesh mesh = stl();
  auto frustum = [](double h, double r0, double r1) { return kPi * h / 3 * (r0 * r0 + r0 * r1 + r1 * r1); };
  double expected = frustum(0.1, 0.9, 1) + kPi * 2.4 + frustum(0.5, 1, 1.5) + kPi * 1.5 * 1.5 * 0.3;
  EXPECT_NEAR(volume(mesh), expected, 1e-3 * expected);
  // The return along a pass just cut removes nothing: travel (3), the pass itself a cut (0).
  // The first pass: n1 in to Y 0.025 off the end face (in the air), n2 along to X 2.5, n3 back
  // at feedrate_max; then n4 in, n5 along, n6 back.
  ASSERT_EQ(part_.colours.size(), 138u);  // the origin and the 137 moves, none an arc
  const unsigned char pass[] = {3, 0, 3, 3, 0, 3};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(part_.colours[static_cast<std::size_t>(k) + 2], pass[k]) << k;
}

// The tool's nose: a level cut at Y 0.2 from X 0.5 to 1.5 and a climb from (1.5, 0.2) to
// (2.5, 0.4) with a nose of 0.1, its centre 0.1 short of the tip: beside the plunge at X 0.5 and
// the cut through at X 3 the nose's arc, on the climb its band 0.1 out along the normal (-0.2, 1) / sqrt(1.04). Beyond the
// climb's end the bar is cut through, in two pieces, each closed.
TEST_F(Simulation, TurnedByANoseAndCutThrough) {
  write("G1 X0.5 Y0\nG1 Y0.2\nG1 X1.5\nG1 X2.5 Y0.4\nG1 X3 Y1.2\nG1 X3 Y0\nG0 X3.5 Y0.1\n");
  SimOptions options{};
  options.bar_diameter = 2;
  options.surface_given = true;
  options.nose = 0.1;
  options.cell = 0.01;
  ASSERT_TRUE(simulate(options)) << said_;
  const TurnedPart& t = *part_.turned;
  EXPECT_NEAR(t.x_max, 3.6 + 0.2, 1e-6);  // the rapid's nose reaches 0.1 past X 3.5
  double s = std::sqrt(1.04), nx = -0.2 / s, ny = 1 / s;
  struct Case {
    double x, deepest;
  } cases[] = {
      {0.455, 0.1 + std::sqrt(0.01 - 0.045 * 0.045)},
      {1.005, 0.2},
      {2.005, 0.2 + 0.2 * (2.005 - 0.1 * nx - 1.5) - 0.1 + 0.1 * ny},
      {3.005, 1.1 + std::sqrt(0.01 - 0.005 * 0.005)},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(t.deepest[static_cast<std::size_t>((c.x - t.x_min) / t.dx)], c.deepest, 1e-5) << c.x;
  EXPECT_EQ(turned_outline(t).size(), 2u);
  Mesh mesh = stl();
  // The rapid cuts where the climb to Y 1.2 passed no further than X 3.1.
  EXPECT_EQ(part_.rapids, 1);
  EXPECT_EQ(part_.rapid_lines[0], 7);
  EXPECT_NE(said_.find("\nRapid move through the stock in line 7\n"), std::string::npos) << said_;
  EXPECT_EQ(part_.colours[6], 3);  // back out along the cut through: nothing left there
}

}  // namespace
