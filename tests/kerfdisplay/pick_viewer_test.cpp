// pick_viewer_test.cpp - the line of G-code under the mouse, in the built viewer's live window:
// clicks and the l key at known places of the first view, what the console and the title say,
// the mark in the window's pixels, and Kerfsend's word on starting the job there.
#include "viewer_harness.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

// A square at Z -0.1, reached and left in the air.
const char kSquare[] =
    "; a square at Z -0.1\n"  // 1
    "g90\n"                   // 2
    "g1 z0.1 f10\n"           // 3
    "g1 x-1 y-1\n"            // 4
    "g1 z-0.1 f3\n"           // 5
    "g1 x1 y-1 f5\n"          // 6: the bottom side
    "g1 x1 y1\n"              // 7: the right side
    "g1 x-1 y1\n"             // 8
    "g1 x-1 y-1\n"            // 9
    "g1 z0.1\n"               // 10
    "m30\n";                  // 11

// The mark's colour, strong green and blue, no red.
bool cyan(const unsigned char* p) { return p[1] >= 160 && p[2] >= 160 && p[0] < 100; }

// The pixel where a point of the plane Z = z lands in the first view.
struct Pixel {
  int x, y;
};
Pixel at(double x, double y, double z = 0) {
  Pixel p{};
  project(x, y, p.x, p.y, z);
  return p;
}

int cyan_near(const Picture& p, Pixel c, int reach = 3) {
  int count = 0;
  for (int dy = -reach; dy <= reach; ++dy)
    for (int dx = -reach; dx <= reach; ++dx)
      if (c.x + dx >= 0 && c.y + dy >= 0 && c.x + dx < p.width && c.y + dy < p.height) count += cyan(p.at(c.x + dx, c.y + dy));
  return count;
}

int cyan_count(const Picture& p) {
  int count = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) count += cyan(p.at(x, y));
  return count;
}

class Pick : public Viewer {
 protected:
  // What the viewer has written to its console so far.
  std::string console() {
    std::ifstream file(dir_ / "stdout.txt", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }
  // Waits until the console holds `text` after its first `after` characters; the text from
  // there, as far as it has come.
  std::string wait_console(const std::string& text, std::size_t after,
                           std::chrono::seconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::string now;
    do {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      now = console();
      now = now.size() > after ? now.substr(after) : "";
    } while (now.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline);
    return now;
  }
  // A plain left click at the pixel.
  static void click(LiveWindow& window, Pixel p) {
    window.button(1, true, p.x, p.y);
    window.button(1, false, p.x, p.y);
  }
  std::string title_for(const std::string& file) { return "Kerfdisplay - " + fs::canonical(dir_).string() + "/" + file; }
};

// A click on the square's bottom side names line 6 and its text, how to start there, and shows
// it in the title and as the mark; l over the right side names line 7; a click on nothing says
// so and takes the mark away; the mark stays on its line when the view moves. A file written
// again since is said to be so.
TEST_F(Pick, ClickAndKeyNameTheLineMarkItAndSayHowToStartThere) {
  write("job.nc", kSquare);
  const std::string base = title_for("job.nc");
  std::string first, second, third, changed, title_first, title_second, title_third;
  int bottom_marked = -1, right_marked = -1, cyan_before = -1, cyan_after_miss = -1, marked_after_wheel = -1;
  ViewerRun r = run({"job.nc"}, "", [&](pid_t) {
    LiveWindow window(base);
    if (!window.found()) return;
    Picture p = window.look_until([](const Picture& q) { return blue_spread(q).count > 100; });
    cyan_before = cyan_count(p);
    std::size_t seen = console().size();
    click(window, at(0.3, -1, -0.1));
    first = wait_console("To start here", seen);
    title_first = window.title_until([&](const std::string& t) { return t != base; });
    p = window.look_until([](const Picture& q) { return cyan_count(q) > 50; });
    bottom_marked = cyan_near(p, at(-0.5, -1, -0.1)) + cyan_near(p, at(0.5, -1, -0.1));
    right_marked = cyan_near(p, at(1, 0, -0.1));
    seen = console().size();
    window.key_at(XK_l, at(1, 0.4, -0.1).x, at(1, 0.4, -0.1).y);
    second = wait_console("To start here", seen);
    title_second = window.title_until([&](const std::string& t) { return t != title_first; });
    // The view moves: the mark stays on line 7, zoomed with the path.
    window.button(5, true);
    window.button(5, false);
    p = window.look_until([&](const Picture& q) { return cyan_near(q, at(1 / std::exp(0.05), 0, -0.1 / std::exp(0.05))) > 0; });
    marked_after_wheel = cyan_near(p, at(1 / std::exp(0.05), 0, -0.1 / std::exp(0.05)));
    seen = console().size();
    click(window, {600, 40});
    third = wait_console("No move", seen);
    title_third = window.title_until([&](const std::string& t) { return t == base; });
    p = window.look_until([](const Picture& q) { return cyan_count(q) == 0; });
    cyan_after_miss = cyan_count(p);
    // The file written again: its lines may no longer be the path's.
    write("job.nc", std::string(kSquare) + "; one more line\n");
    seen = console().size();
    click(window, at(0.3, -1, -0.1));
    changed = wait_console("again", seen);
    window.key(XK_Escape);
  });
  ASSERT_GE(cyan_before, 0) << "no window titled " << base << "\n" << r.out;
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(cyan_before, 0);
  EXPECT_EQ(first, "\nLine 6: g1 x1 y-1 f5\nTo start here: Kerfsend -r6 -fjob.nc\n");
  EXPECT_EQ(title_first, base + " - line 6: g1 x1 y-1 f5");
  EXPECT_GT(bottom_marked, 4);
  EXPECT_EQ(right_marked, 0);
  EXPECT_EQ(second, "\nLine 7: g1 x1 y1\nTo start here: Kerfsend -r7 -fjob.nc\n");
  EXPECT_EQ(title_second, base + " - line 7: g1 x1 y1");
  EXPECT_GT(marked_after_wheel, 0);
  EXPECT_EQ(third, "\nNo move of the path within 5 pixels of the mouse.\n");
  EXPECT_EQ(title_third, base);
  EXPECT_EQ(cyan_after_miss, 0);
  EXPECT_EQ(changed, "\nLine 6: (job.nc was written again since it was read: start Kerfdisplay again)\n");
}

// Inside an arc run Kerfsend refuses, and names where the run begins; before it, a canned cycle
// and an origin the journal shows confirmed are what Kerfsend asks about first; after the
// origin, what it says of it; a lathe program's, that the tool is brought back by hand.
TEST_F(Pick, WhyKerfsendCouldNotStartThereOrWhatItAsksFirst) {
  struct Case {
    const char* program;
    const char* journal;  // nullptr: none
    double x, y, z;       // a point of the move clicked
    std::string said;
  };
  const Case cases[] = {
      {"g91.1\ng1 z0.1 f10\ng1 x1 y0\ng1 z-0.1 f3\ng2 x0 y-1 i-1 j0 f5\nx-1 y0 i0 j1\ng1 z0.1\n", nullptr,
       -0.7071, -0.7071, -0.1,
       "\nLine 6: x-1 y0 i0 j1\nKerfsend -r6 -fjob.nc refuses: Line 6 of job.nc continues the arc of line 5 without a "
       "motion word of its own - cannot resume there.\nTo start where that arc run begins: Kerfsend -r5 -fjob.nc\n"},
      {"g1 z0.1 f5\ng81 x1 y1 z-0.1 r0.1\ng80\ng1 x-1 y-1\ng92 x0 y0\ng1 x0.5 y0 z-0.1\ng1 x1.5\n", "confirmed 6\n",
       -0.5, -0.5, 0.1,
       "\nLine 4: g1 x-1 y-1\nTo start here: Kerfsend -r4 -fjob.nc\n"
       "  Kerfsend asks first: Line 2 of job.nc holds G81, which the reading does not follow: where the tool stands "
       "before line 4, and the modes in force there, are not known for sure.\n"
       "  Kerfsend asks first: Line 5 of job.nc sets an origin, and its journal shows line 6 confirmed: the controller "
       "holds that origin already, while the re-entry to line 4 is reckoned before it.\n"},
      {"g1 z0.1 f5\ng81 x1 y1 z-0.1 r0.1\ng80\ng1 x-1 y-1\ng92 x0 y0\ng1 x0.5 y0 z-0.1\ng1 x1.5\n", "confirmed 6\n",
       0, -1, -0.1,
       "\nLine 7: g1 x1.5\nTo start here: Kerfsend -r7 -fjob.nc\n"
       "  Kerfsend asks first: Line 2 of job.nc holds G81, which the reading does not follow: where the tool stands "
       "before line 7, and the modes in force there, are not known for sure.\n"
       "  Kerfsend says: Line 5 sets an origin with g92: it must still hold on the controller.\n"},
      {"g1 x1 f5\ng1 x2 y1\ng1 x3\n", nullptr, 2.5, 1, 0,
       "\nLine 3: g1 x3\nTo start here: Kerfsend -r3 -fjob.nc\n"
       "  Kerfsend says: job.nc has no Z move before it: no re-entry moves are computed. Bring the tool to X2.0000 "
       "Y1.0000 by hand.\n"},
      {"g1 x1 y1 f5\ng1 x2\n", nullptr, 0.5, 0.5, 0,
       "\nLine 1: g1 x1 y1 f5\nTo start here: Kerfsend -fjob.nc (the program's first line)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    write("job.nc", c.program);
    fs::remove(dir_ / "job.nc.journal");
    if (c.journal != nullptr) write("job.nc.journal", c.journal);
    std::string said;
    ViewerRun r = run({"job.nc"}, "", [&](pid_t) {
      const bool cycle = std::string(c.program).find("g81") != std::string::npos;
      LiveWindow window(title_for("job.nc") + (cycle ? " - not followed: G81" : ""));
      if (!window.found()) return;
      window.look_until([](const Picture& q) { return blue_spread(q).count > 10 || yellow_count(q) > 10; });
      const std::size_t seen = console().size();
      click(window, at(c.x, c.y, c.z));
      said = wait_console(c.said.substr(c.said.rfind('\n', c.said.size() - 2) + 1), seen);
      window.key(XK_Escape);
    });
    EXPECT_EQ(said, c.said) << r.out;
  }
}

// Two passes along one line at two depths: a click takes the one nearer the eye, a click again
// at the same place the one below, and again the first. Hidden travel is not picked; the part
// alone has no path to pick from, the part with the path over it has.
TEST_F(Pick, NextMoveAtTheSamePlaceHiddenTravelAndThePart) {
  write("job.nc",
        "; Tool diameter set to 0.250000\n"  // 1
        "g1 z0.1 f10\n"                       // 2
        "g1 x-1 y0.5\n"                       // 3: travel
        "g1 y0\n"                             // 4: travel
        "g1 z-0.1 f3\n"                       // 5
        "g1 x1 f5\n"                          // 6: the first pass
        "g1 z-0.3 f3\n"                       // 7
        "g1 x-1 f5\n"                         // 8: the pass below
        "g1 z0.1\n");                         // 9
  const std::string base = title_for("job.nc");
  std::vector<std::string> said;
  std::vector<std::string> titles;
  ViewerRun r = run({"job.nc"}, "", [&](pid_t) {
    LiveWindow window(base);
    if (!window.found()) return;
    window.look_until([](const Picture& q) { return blue_spread(q).count > 100; });
    auto pick = [&](Pixel p, const std::string& until) {
      const std::size_t seen = console().size();
      click(window, p);
      said.push_back(wait_console(until, seen));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      titles.push_back(window.title());
    };
    const Pixel pass = at(0.3, 0, -0.1), travel = at(-0.5, 0.25, 0.1);
    pick(pass, "To start");
    pick(pass, "To start");
    pick(pass, "To start");
    pick(travel, "To start");
    window.key(XK_h);
    pick(travel, "No move");
    window.key(XK_h);
    window.key(XK_p);  // the part, with the path over it
    pick(pass, "To start");
    window.key(XK_p);  // the part alone
    pick(pass, "The part alone");
    window.key(XK_Escape);
  });
  ASSERT_EQ(said.size(), 7u) << r.out;
  EXPECT_EQ(said[0], "\nLine 6: g1 x1 f5\n  Move 1 of the 2 under the mouse, the nearest first: a click here again "
                     "takes the next.\nTo start here: Kerfsend -r6 -fjob.nc\n");
  EXPECT_EQ(said[1], "\nLine 8: g1 x-1 f5\n  Move 2 of the 2 under the mouse, the nearest first: a click here again "
                     "takes the next.\nTo start here: Kerfsend -r8 -fjob.nc\n");
  EXPECT_EQ(said[2].substr(0, said[2].find('\n', 1)), "\nLine 6: g1 x1 f5");
  EXPECT_EQ(titles[1], base + " - line 8: g1 x-1 f5");
  EXPECT_EQ(said[3], "\nLine 3: g1 x-1 y0.5\nTo start here: Kerfsend -r3 -fjob.nc\n");
  EXPECT_EQ(said[4], "\nNo move of the path within 5 pixels of the mouse.\n");
  EXPECT_EQ(titles[4], base);
  EXPECT_NE(said[5].find("\nLine 6: g1 x1 f5\n"), std::string::npos) << said[5];
  EXPECT_NE(said[6].find("\nThe part alone is shown: p shows the path again, to pick a move from.\n"), std::string::npos)
      << said[6];
  EXPECT_EQ(r.status, 0);
}

// The pick works from the path for the view at rest, across the joint of two blocks of the
// path: a zig-zag whose 30th line ends at vertex 65536, alone in its corner, after 2047 circles.
TEST_F(Pick, MoveAcrossTheJointOfTwoBlocksOfThePath) {
  std::string program = "g90.1\nG0 X-1.5 Y-1.45\n";
  char line[200];
  for (int k = 0; k < 2047; ++k) {
    std::snprintf(line, sizeof line, "G2 X-1.5 Y-1.45 I-1.5 J-1.5 Z%.4f\n", -0.0001 * k);
    program += line;
  }
  for (int k = 0; k < 100; ++k) {  // line 2050 + k; the 30th (k = 29) ends at vertex 65536
    std::snprintf(line, sizeof line, "G1 X%.4f Y%.1f F5\n", 0.3 + 0.017 * k, k % 2 == 0 ? 0.3 : 1.5);
    program += line;
  }
  write("joint.nc", program);
  std::vector<std::string> said;
  ViewerRun r = run({"joint.nc"}, "", [&](pid_t) {
    LiveWindow window(title_for("joint.nc"));
    if (!window.found()) return;
    window.look_until([](const Picture& q) { return blue_spread(q).count > 100; });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the path for the view at rest
    for (int k : {28, 29, 30}) {
      const std::size_t seen = console().size();
      // Half way along each line, where the lines beside it pass 1.6 pixels away.
      const double x0 = 0.3 + 0.017 * (k - 1), x1 = 0.3 + 0.017 * k;
      const double y0 = k % 2 == 0 ? 1.5 : 0.3, y1 = k % 2 == 0 ? 0.3 : 1.5;
      click(window, at(x0 + 0.5 * (x1 - x0), y0 + 0.5 * (y1 - y0), -0.0001 * 2046));  // at the last circle's depth
      said.push_back(wait_console("To start", seen));
    }
    window.key(XK_Escape);
  });
  ASSERT_EQ(said.size(), 3u) << r.out;
  EXPECT_EQ(said[0].substr(0, said[0].find('\n', 1)), "\nLine 2078: G1 X0.7760 Y0.3 F5");
  EXPECT_EQ(said[1].substr(0, said[1].find('\n', 1)), "\nLine 2079: G1 X0.7930 Y1.5 F5");
  EXPECT_EQ(said[2].substr(0, said[2].find('\n', 1)), "\nLine 2080: G1 X0.8100 Y0.3 F5");
}

}  // namespace
