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
    // Looks until the picture shows what is wanted (a loaded machine may be slow to draw, and to
    // simulate the part), for 15 seconds at most.
    auto look = [&](bool part, bool path) {
      Picture p;
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
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

// A lathe program on a bar of 2 across, its surface at Y 0: a journal of 1 across from the end
// face at X 0 to X 1.5, the bar beyond it to X 1.7. Seen from above, the bar's axis at Y 1 and
// Z 0, the journal's top 0.5 over it and its edge at Y 0.5.
const char kJournal[] = "G1 X-0.1 Y0\nG1 Y0.5\nG1 X1.5\nG1 X1.5 Y0\nM30\n";
const std::vector<std::string> kBar = {"--stock-diameter", "2", "--surface", "0"};

bool looks_at(const Picture& p, double x, double y, double z, bool (*test)(const unsigned char*)) {
  int column, row;
  project(x, y, column, row, z);
  return test(p.at(column, row));
}

bool yellow_near(const Picture& p, double x, double y) {
  int column, row;
  project(x, y, column, row);
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      if (yellow(p.at(column + dx, row + dy))) return true;
  return false;
}

bool dark(const unsigned char* p) { return p[0] < 40 && p[1] < 40 && p[2] < 40; }

TEST_F(PartViewer, TurnedPartShadedAndWritten) {
  write("journal.nc", kJournal);
  std::vector<std::string> args = {"journal.nc", "--sim", "--png", "part.png"};
  args.insert(args.end(), kBar.begin(), kBar.end());
  ViewerRun r = run(args);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("\nPart turned\n"
                       "  Bar X from 0.0000 to 1.7000, 2.0000 across\n"
                       "  Surface at Y 0.0000, axis at Y 1.0000\n"
                       "  Cells:           1000 along X of 0.00170\n"
                       "  Cutting moves:   3 (tool a point)\n"
                       "  Diameters:       X 0.00\u20131.50: \u2300 1.000; X 1.50\u20131.70: \u2300 2.000\n"),
            std::string::npos) << r.out;
  Picture part;
  ASSERT_TRUE(load_png(dir_ / "part.png", part));
  EXPECT_TRUE(looks_at(part, 0.75, 1.0, 0.5, warm));    // the journal's top
  EXPECT_TRUE(looks_at(part, 0.75, 0.56, 0.24, warm));  // just inside its edge
  EXPECT_TRUE(looks_at(part, 0.75, 0.44, 0, dark));     // just outside
  EXPECT_TRUE(looks_at(part, 1.6, 1.0, 1.0, steel));    // the bar as it was
  // Lit from over the shoulder: the top brighter than the flank turned away.
  int c0, r0, c1, r1;
  project(0.75, 1.0, c0, r0, 0.5);
  project(0.75, 0.6, c1, r1, 0.3);
  EXPECT_GT(part.at(c0, r0)[0], part.at(c1, r1)[0] + 10);

  // Without the bar, it says what it needs.
  r = run({"journal.nc", "--stl", "part.stl"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Give its bar with --stock-diameter D"), std::string::npos) << r.out;
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"--stock-diameter", "0"}, 1, "\nThe bar's diameter must be more than 0: --stock-diameter 0.\n"},
      {{"--stock-diameter", "inf"}, 2, "\nThe --stock-diameter option needs the bar's diameter.\n"},
      {{"--surface", "nan"}, 2, "\nThe --surface option needs the Y of the bar's surface.\n"},
      {{"--nose", "-0.1"}, 1, "\nThe tool's nose radius must be more than 0 (or 0 for a point): --nose -0.1.\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> a = {"journal.nc", "--stl", "part.stl"};
    a.insert(a.end(), c.args.begin(), c.args.end());
    ViewerRun bad = run(a, "", nullptr, {"DISPLAY"});
    EXPECT_EQ(bad.status, c.status) << c.message;
    EXPECT_EQ(bad.out, c.message);
  }
}

// Once the part is known, a move that removes nothing is travel whatever its Z: here the move at
// Z -0.1 from X 1 to X 2 along Y 0.25, past the stock's side at X 1. A rapid back through the
// stock is named. The moves come after 70,000 in the air, so that the path is drawn from blocks
// and reduced for the view.
TEST_F(PartViewer, MovesInTheAirAreTravelOnceThePartIsKnown) {
  std::string program = "; Tool diameter set to 0.250000\n";
  for (int k = 0; k < 35000; ++k) program += "G1 X0.4 Y0.6 Z0.1\nG1 X0.45 Y0.6 Z0.1\n";
  write("out.nc", program + "G1 Y0.25 Z-0.1\nG1 X1\nG1 X2\nG0 X0 Y0.75\nG1 Z0.1\nM30\n");
  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/out.nc";
  Picture shots[3];
  ViewerRun r = run({"out.nc", "--stock", "-0.5", "-0.5", "-0.3", "1", "1", "0"}, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    shots[0] = window.look_until([](const Picture& p) { return hue_near(p, 1.5, 0.25, Hue::Blue); });
    window.key(XK_p);
    shots[1] = window.look_until([](const Picture& p) { return yellow_near(p, 1.5, 0.25); });
    window.key(XK_h);
    shots[2] = window.look_until([](const Picture& p) { return !yellow_near(p, 1.5, 0.25); });
    window.key(XK_Escape);
  });
  ASSERT_EQ(r.status, 0) << r.out;
  for (const Picture& p : shots) ASSERT_GT(p.width, 0);
  EXPECT_TRUE(hue_near(shots[0], 1.5, 0.25, Hue::Blue));
  EXPECT_FALSE(yellow_near(shots[0], 1.5, 0.25));
  EXPECT_TRUE(yellow_near(shots[1], 1.5, 0.25));
  EXPECT_FALSE(hue_near(shots[1], 1.5, 0.25, Hue::Blue));
  EXPECT_TRUE(hue_near(shots[1], 0.5, 0.25, Hue::Blue));  // the cut stays a cut
  EXPECT_FALSE(yellow_near(shots[2], 1.5, 0.25));
  EXPECT_NE(r.out.find("\nRapid move through the stock in line 70005\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\n  Rapid moves through the stock: 1 (line 70005)\n"), std::string::npos) << r.out;

  // The p key turns a lathe program's part too.
  write("journal.nc", kJournal);
  title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/journal.nc";
  Picture turned;
  std::vector<std::string> args = {"journal.nc"};
  args.insert(args.end(), kBar.begin(), kBar.end());
  r = run(args, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    window.look_until([](const Picture& p) { return hue_near(p, 0.75, 0.5, Hue::Blue); });
    window.key(XK_p);
    turned = window.look_until([](const Picture& p) { return looks_at(p, 0.75, 1.0, 0.5, warm); });
    window.key(XK_Escape);
  });
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_GT(turned.width, 0);
  EXPECT_TRUE(looks_at(turned, 0.75, 1.0, 0.5, warm));
  EXPECT_TRUE(hue_near(turned, 0.75, 0.5, Hue::Blue));  // the finishing pass along the journal's edge
}

}  // namespace
