// part_viewer_test.cpp - the simulated part from the built viewer: --sim pictures, --stl files
// written without a display, what it refuses, and the p key in the live window.
#include "viewer_harness.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// A square ring cut 0.2 deep by a half-inch tool round (0, 0), its centre on the square of side
// 2; the island inside stands.
const char kRing[] =
    "; Tool diameter set to 0.500000\n"
    "G1 Z0.1\nG1 X-1 Y-1\nG1 Z-0.2\nG1 X1\nY1\nX-1\nY-1\nG1 Z0.1\nM30\n";

// Cut faces are warm, the stock's top is steel.
bool warm(const unsigned char* p) { return p[0] > 100 && p[0] > 2 * p[2]; }
bool steel(const unsigned char* p) { return p[0] > 120 && std::abs(p[0] - p[2]) < 40 && std::abs(p[1] - p[2]) < 40; }

bool ends_with(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool looks(const Picture& p, double x, double y, bool (*test)(const unsigned char*)) {
  int column, row;
  project(x, y, column, row);
  return test(p.at(column, row));
}

// The path's side at X 1, 0.2 below the top, seen in perspective from 8 above it.
bool on_path(const Picture& p) { return hue_near(p, 8 / 8.2, 0.5, Hue::Blue); }

using PartViewer = Viewer;

TEST_F(PartViewer, PictureOfThePartAndItsStl) {
  write("ring.nc", kRing);
  ViewerRun r = run({"ring.nc", "--sim", "--png", "part.png"});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\nPart simulated\n"
                       "  Stock X from -1.3000 to 1.3000\n"
                       "  Stock Y from -1.3000 to 1.3000\n"
                       "  Stock Z from -0.2500 to 0.0000\n"
                       "  Cells:           1000 x 1000 of 0.00260 x 0.00260\n"
                       "  Cutting moves:   6 (tool up to 0.5000 across)\n"),
            std::string::npos) << r.out;
  Picture part;
  ASSERT_TRUE(load_png(dir_ / "part.png", part));
  EXPECT_TRUE(looks(part, 0.4, 0.3, steel));    // the island
  EXPECT_TRUE(looks(part, 1.1, 0.3, warm));     // the ring
  EXPECT_TRUE(looks(part, -0.3, -1.1, warm));
  EXPECT_TRUE(looks(part, 1.28, 0.3, steel));   // outside it
  EXPECT_LT(blue_spread(part).count, 50);       // no path, only the +Z label

  r = run({"ring.nc", "--png", "path.png"});
  Picture path;
  ASSERT_TRUE(load_png(dir_ / "path.png", path));
  EXPECT_FALSE(looks(path, 1.1, 0.3, warm));

  // The STL needs no display, and ends.
  r = run({"ring.nc", "--stl", "part.stl", "--resolution", "0.01"}, "", nullptr, {"DISPLAY"});
  ASSERT_EQ(r.status, 0) << r.out;
  std::size_t at = r.out.rfind("\nSTL file part.stl written: ");
  ASSERT_NE(at, std::string::npos) << r.out;
  long triangles = std::stol(r.out.substr(at + 28));
  EXPECT_TRUE(ends_with(r.out, " triangles.\n"));
  EXPECT_EQ(fs::file_size(dir_ / "part.stl"), 84u + 50u * static_cast<std::uintmax_t>(triangles));
}

TEST_F(PartViewer, WhatCannotBeSimulatedEndsWithStatusOne) {
  write("lathe.nc", "G1 X1 Y0.1\nG1 X0\nM30\n");
  ViewerRun r = run({"lathe.nc", "--sim", "--png", "part.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ends_with(r.out, "\n\nNo move leaves Z 0: a lathe program. Give its bar with --stock-diameter D and "
                               "the Y of the bar's surface with --surface Y to see the part it turns.\n")) << r.out;
  EXPECT_FALSE(fs::exists(dir_ / "part.png"));

  write("ring.nc", kRing);
  r = run({"ring.nc", "--stl", "no/such/folder/part.stl"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ends_with(r.out, ")\n\nCan't write STL file no/such/folder/part.stl.\n")) << r.out;

  r = run({"ring.nc", "--tool", "-0.5", "--stl", "part.stl"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "\nThe tool's diameter must be more than 0: --tool -0.5.\n");
}

// The simulation's option values are checked with the rest of the command line, before the
// file is read: 2 for a value missing or not a number, 1 for a size of no use.
TEST_F(PartViewer, OptionValuesAreChecked) {
  write("ring.nc", kRing);
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"ring.nc", "--tool", "0"}, 1, "\nThe tool's diameter must be more than 0: --tool 0.\n"},
      {{"ring.nc", "--tool"}, 2, "\nThe --tool option needs the tool's diameter.\n"},
      {{"--tool", "x", "ring.nc"}, 2, "\nThe --tool option needs the tool's diameter.\n"},
      {{"ring.nc", "--resolution", "0"}, 1, "\nA cell's side must be more than 0: --resolution 0.\n"},
      {{"ring.nc", "--resolution", "nan"}, 2, "\nThe --resolution option needs the side of a cell.\n"},
      {{"ring.nc", "--stock", "0", "0", "0", "1", "1"}, 2,
       "\nThe --stock option needs six numbers: XMIN YMIN ZMIN XMAX YMAX ZMAX.\n"},
      {{"ring.nc", "--stl"}, 2, "\nThe --stl option needs the name of the STL file.\n"},
      {{"ring.nc", "--stl", "--sim"}, 2, "\nThe --stl option needs the name of the STL file.\n"},
  };
  for (const Case& c : cases) {
    ViewerRun r = run(c.args, "", nullptr, {"DISPLAY"});
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_EQ(r.out, c.message);
  }
  // Negative numbers are values, not options.
  ViewerRun r = run({"--stock", "-1.5", "-1.5", "-.3", "1.5", "1.5", "0", "--stl", "part.stl", "ring.nc"}, "",
                    nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("  Stock X from -1.5000 to 1.5000\n"), std::string::npos) << r.out;
}

// p turns from the path to the part under the path, to the part alone, and back to the path.
TEST_F(PartViewer, KeyTurnsBetweenPathAndPart) {
  write("ring.nc", kRing);
  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/ring.nc";
  Picture shots[4];
  ViewerRun r = run({"ring.nc"}, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    // Looks until the picture shows what is wanted (a loaded machine may be slow to draw), for
    // 5 seconds at most.
    auto look = [&](bool part, bool path) {
      Picture p;
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        p = window.look();
      } while (p.width > 0 && (looks(p, 1.1, 0.3, warm) != part || on_path(p) != path) &&
               std::chrono::steady_clock::now() < deadline);
      return p;
    };
    shots[0] = look(false, true);
    window.key(XK_p);
    shots[1] = look(true, true);
    window.key(XK_p);
    shots[2] = look(true, false);
    window.key(XK_p);
    shots[3] = look(false, true);
    window.key(XK_Escape);
  });
  ASSERT_EQ(r.status, 0) << r.out;
  for (const Picture& p : shots) ASSERT_GT(p.width, 0);
  bool part[] = {false, true, true, false};
  bool path[] = {true, true, false, true};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(looks(shots[k], 1.1, 0.3, warm), part[k]) << k;
    EXPECT_EQ(on_path(shots[k]), path[k]) << k;
  }
  EXPECT_NE(r.out.find("\nPart simulated\n"), std::string::npos);
}

}  // namespace
