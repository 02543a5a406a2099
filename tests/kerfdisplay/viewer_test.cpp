// viewer_test.cpp - the built Kerfdisplay run as a user runs it, under the X display the test
// command provides (Xvfb): exit statuses, console text, --png pictures and the event loop.
#include "viewer_harness.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {

// A random walk in steps of a few pixels: no two of its points are alike, and its picture at
// rest needs most of them.
std::string random_walk(int points) {
  std::string program;
  char line[64];
  unsigned seed = 11;
  double x = 0, y = 0;
  for (int k = 0; k < points; ++k) {
    seed = seed * 1103515245u + 12345u;
    x = std::fmin(2, std::fmax(-2, x + (static_cast<int>((seed >> 8) % 201) - 100) / 2000.0));
    seed = seed * 1103515245u + 12345u;
    y = std::fmin(2, std::fmax(-2, y + (static_cast<int>((seed >> 8) % 201) - 100) / 2000.0));
    std::snprintf(line, sizeof line, "G1 X%.4f Y%.4f\n", x, y);
    program += line;
  }
  return program;
}

TEST_F(Viewer, MissingFileEndsWithStatusOne) {
  ViewerRun r = run({"missing.nc", "--png", "out.png"});
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, std::string(kBanner) + "\nCan't open input file missing.nc: no such file.\n");
  EXPECT_FALSE(fs::exists(dir_ / "out.png"));

  // Without an argument the name is asked for on the console.
  r = run({}, "missing.nc\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, std::string("\n") + kBanner + "\nEnter input file name: " +
                       "\nCan't open input file missing.nc: no such file.\n");
}

TEST_F(Viewer, HelpAndMissingFilesNeedNoDisplay) {
  ViewerRun r = run({"--help"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("Kerfdisplay G-Code Tool Path Display Utility\n\nUsage: Kerfdisplay", 0), 0u);
  for (const char* control : {"Shift + left drag", "mouse wheel", "Alt + left drag", "right click",
                              "\n  left click, l ", "\n  f ", "\n  h ", "\n  p ", "\n  T ", "Escape", "xvfb-run",
                              "\n  --sim ", "\n  --stock XMIN YMIN ZMIN XMAX YMAX ZMAX\n"})
    EXPECT_NE(r.out.find(control), std::string::npos) << control;

  // The file is looked at before the window: its message comes first, with no display at all.
  r = run({"missing.nc"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, std::string(kBanner) + "\nCan't open input file missing.nc: no such file.\n");

  write("job.nc", "G1 X1\n");
  r = run({"job.nc"}, "", nullptr, {"DISPLAY=:9876"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "\nCan't open the window: failed to open display ':9876'.\n"
                       "Without a display (over ssh, say), draw a picture under Xvfb instead:\n"
                       "  xvfb-run -a -s \"-screen 0 1024x768x24\" Kerfdisplay FILE --png OUT.png\n");
}

TEST_F(Viewer, PictureNeedsItsFileName) {
  write("job.nc", "G1 X1\n");
  ViewerRun r = run({"job.nc", "--png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "\nThe --png option needs the name of the picture file.\n");
}

TEST_F(Viewer, PictureShowsArcsAndFeedsInTheirColours) {
  // Each feature alone in its square, so the axes, their labels and the other features stay out.
  write("job.nc",
        "g90.1\n"
        "X-2.4 Y-2.4\n"     // widens the box, draws nothing
        "X2 Y1.5\n"
        "G2 X2 Y1.5 I1.5 J1.5\n"    // clockwise circle about (1.5, 1.5)
        "G1 X-1 Y-1\n"
        "X-2 Y-1\nX-2 Y-2\nX-1 Y-2\nX-1 Y-1\n"  // square of feeds
        "X-1 Y1.5\n"
        "G3 X-1 Y1.5 I-1.5 J1.5\n"  // counter-clockwise circle about (-1.5, 1.5)
        "G1 X0.8 Y-1.6\n"
        "M30\n");
  ViewerRun r = run({"job.nc", "--png", "job.png"});
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.substr(0, r.out.find("\nJob summary\n")),
            std::string(kBanner) + "Generating Tool Path for job.nc\n\nEnd of g-code file.\n");
  Picture p;
  ASSERT_TRUE(load_png(dir_ / "job.png", p));
  ASSERT_EQ(p.width, 640);
  ASSERT_EQ(p.height, 480);

  for (int k = 0; k < 24; ++k) {
    double a = k * 2 * 3.14159265358979323846 / 24;
    SCOPED_TRACE(k);
    EXPECT_TRUE(hue_near(p, 1.5 + 0.5 * std::cos(a), 1.5 + 0.5 * std::sin(a), Hue::Red));
    EXPECT_TRUE(hue_near(p, -1.5 + 0.5 * std::cos(a), 1.5 + 0.5 * std::sin(a), Hue::Green));
  }
  for (double t = 0.1; t < 0.95; t += 0.1) {
    SCOPED_TRACE(t);
    EXPECT_TRUE(hue_near(p, -1 - t, -1, Hue::Blue));
    EXPECT_TRUE(hue_near(p, -2, -1 - t, Hue::Blue));
  }
  std::vector<int> red = hues_in(p, 1.05, 1.55, 1.95, 1.95);  // upper half of the red circle
  EXPECT_GT(red[0], 50);
  EXPECT_EQ(red[1] + red[2], 0);
  std::vector<int> green = hues_in(p, -1.95, 1.55, -1.05, 1.95);
  EXPECT_GT(green[1], 50);
  EXPECT_EQ(green[0] + green[2], 0);
  std::vector<int> blue = hues_in(p, -2.1, -2.1, -1.05, -1.5);  // lower half of the square
  EXPECT_GT(blue[2], 50);
  EXPECT_EQ(blue[0] + blue[1], 0);

  // Exact colours: black outside the box, a neutral grey inside it. The path is flat, so the
  // box's near face lies in the plane of its far face and fails the depth test: one layer.
  const unsigned char* corner = p.at(2, 2);
  EXPECT_EQ(corner[0] + corner[1] + corner[2], 0);
  int column, row;
  project(0.5, -0.8, column, row);
  const unsigned char* inside = p.at(column, row);
  EXPECT_EQ(inside[0], inside[1]);
  EXPECT_EQ(inside[1], inside[2]);
  EXPECT_NEAR(inside[0], 26, 1);  // 10% white over black
}

// The tool path drawn in blocks: the picture stays the same, pixel for pixel, whatever OpenGL
// version the driver says (1.4 has neither buffer objects nor, before it, multiple draws to
// lean on). The program has every kind of move and repeated
// points; its 65536th vertex, where the first buffer ends, lies in a zig-zag of lines alone in
// its corner, so that a segment lost between two buffers would show.
TEST_F(Viewer, PathInBuffersDrawsTheListsPicture) {
  std::string program = "g90.1\nG0 X-1.5 Y-1.45\n";  // the origin and this: 2 vertices
  char line[200];
  for (int k = 0; k < 2047; ++k) {  // 32 vertices each
    std::snprintf(line, sizeof line, "G2 X-1.5 Y-1.45 I-1.5 J-1.5 Z%.4f\n", -0.0001 * k);
    program += line;
  }
  for (int k = 0; k < 100; ++k) {  // the 30th of these is vertex 65536
    std::snprintf(line, sizeof line, "G1 X%.4f Y%.1f F5\n", 0.3 + 0.017 * k, k % 2 == 0 ? 0.3 : 1.5);
    program += line;
  }
  program +=
      "G0 X-2 Y0.5\nG1 X-2 Y0.5\nG4 P1\nM5\nX-2\n"         // repeated points, a dwell, no move
      "G91.1 G3 X-1 Y0.5 I0.5 J0\nG2 X-0.5 Y1 R0.5\n"        // incremental centre, radius arc
      "G3 X-0.5 Y1 I-0.25 J0 Z-0.3\nG90.1 G2 X-1 Y1.5 I-1 J1\n"  // helical full circle
      "G1 X1 Y-1 Z0.2\nG0 X1.5 Y-1.5\n";
  write("every.nc", program);
  ViewerRun buffers = run({"every.nc", "--png", "buffers.png"});
  ViewerRun list = run({"every.nc", "--png", "list.png"}, "", nullptr, {"MESA_GL_VERSION_OVERRIDE=1.4"});
  ASSERT_EQ(buffers.status, 0) << buffers.out;
  ASSERT_EQ(list.status, 0) << list.out;
  EXPECT_EQ(buffers.out, list.out);
  Picture a, b;
  ASSERT_TRUE(load_png(dir_ / "buffers.png", a));
  ASSERT_TRUE(load_png(dir_ / "list.png", b));
  ASSERT_EQ(a.rgb.size(), b.rgb.size());
  std::size_t differing = 0;
  for (std::size_t k = 0; k < a.rgb.size(); ++k) differing += a.rgb[k] != b.rgb[k];
  EXPECT_EQ(differing, 0u);
  std::vector<int> hues = hues_in(a, -2.4, -2.4, 2.4, 2.4);
  EXPECT_GT(hues[0], 1000);
  EXPECT_GT(hues[1], 1000);
  EXPECT_GT(hues[2], 1000);
}

TEST_F(Viewer, EmptyFileShowsTheAxesAroundTheOrigin) {
  write("empty.nc", "");
  ViewerRun r = run({"empty.nc", "--png", "empty.png"});
  ASSERT_EQ(r.status, 0) << r.out;
  Picture p;
  ASSERT_TRUE(load_png(dir_ / "empty.png", p));
  EXPECT_TRUE(hue_near(p, 0.4, 0, Hue::Red));
  EXPECT_TRUE(hue_near(p, -0.4, 0, Hue::Red));
  EXPECT_TRUE(hue_near(p, 0, 0.4, Hue::Green));
  EXPECT_TRUE(hue_near(p, 0, -0.4, Hue::Green));
  EXPECT_FALSE(hue_near(p, -0.7, 0, Hue::Red));  // the axes end 0.5 past the box
  EXPECT_FALSE(hue_near(p, 0, -0.7, Hue::Green));
  int column, row;
  project(1.5, 1.5, column, row);
  const unsigned char* outside = p.at(column, row);
  EXPECT_EQ(outside[0] + outside[1] + outside[2], 0);  // no box beyond the origin
}

TEST_F(Viewer, OneArgumentRunsTheEventLoopUntilEscape) {
  write("job.nc", "G1 X1 Y1\nM6\n");
  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/job.nc";
  bool window_seen = false;
  bool alive_in_loop = false;
  ViewerRun r = run({"job.nc"}, "", [&](pid_t child) {
    LiveWindow window(title);
    if (!window.found()) return;
    window_seen = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    alive_in_loop = waitpid(child, nullptr, WNOHANG) == 0;
    window.key(XK_Escape);
  });
  EXPECT_TRUE(window_seen);
  EXPECT_TRUE(alive_in_loop);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
  // The one move is the jump from the assumed start: it has neither length nor time.
  EXPECT_EQ(r.out, std::string(kBanner) +
                       "Generating Tool Path for job.nc\n\nUnrecognized Code - M6\n"
                       "\nJob summary\n"
                       "  Lines read:      2\n"
                       "  Moves:           1\n"
                       "  X from 1.0000 to 1.0000\n"
                       "  Y from 1.0000 to 1.0000\n"
                       "  Z from 0.0000 to 0.0000\n"
                       "  Feed length:     0.0000\n"
                       "  Cutting time:    0:00:00 (h:mm:ss at the F words)\n"
                       "  Operator stops:  0 (m00, m01)\n"
                       "  Operator pauses: 0 (\":\" lines)\n");
}

// A path that is not the machine's says so: the window's title names the unit and what is not
// followed, --png and --stl print it in the summary and still draw, and the simulated part is
// said not to be the machine's.
TEST_F(Viewer, WhatIsNotFollowedIsToldInTheTitleAndByPngAndStl) {
  write("job.nc", "G21\nG1 X10 Y10 Z-1 F100\nG81 X20 Y10 Z-2 R1\nX30\nG80\nG1 X40\n");
  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/job.nc - in mm - not followed: G81";
  bool window_seen = false;
  ViewerRun r = run({"job.nc"}, "", [&](pid_t) {
    LiveWindow window(title);
    window_seen = window.found();
    if (window_seen) window.key(XK_Escape);
  });
  EXPECT_TRUE(window_seen) << "no window titled " << title;
  const char told[] = "G81 in line 3 not followed - the cycle is not drawn, up to G80 or the next motion word\n";
  const char summed[] = "  Not followed: G81 on 2 lines, first line 3\n";
  r = run({"job.nc", "--png", "out.png"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(told), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(summed), std::string::npos) << r.out;
  Picture picture;
  EXPECT_TRUE(load_png(dir_ / "out.png", picture));
  r = run({"job.nc", "--stl", "out.stl", "--tool", "2"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(summed), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  Not the machine's part: the program holds words this reading does not follow "
                       "(see Not followed)\n"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::file_size(dir_ / "out.stl") > 84);
}

// Once clicked, a window that nobody touches draws nothing and uses no processor time.
TEST_F(Viewer, UntouchedWindowIsIdleAndAbsoluteNameIsItsTitle) {
  write("job.nc", "G1 X1 Y1\nG2 X2 Y0 I1 J0\n");
  std::string name = fs::canonical(dir_).string() + "/job.nc";
  double used = -1;
  ViewerRun r = run({name}, "", [&](pid_t child) {
    LiveWindow window("Kerfdisplay - " + name);
    if (!window.found()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    window.button(1, true);
    window.button(1, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    double before = processor_seconds(child);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    used = processor_seconds(child) - before;
    window.key(XK_Escape);
  });
  ASSERT_GE(used, 0) << "no window titled with the name as given";
  EXPECT_LT(used, 0.1);  // redrawing without end took most of a core
  EXPECT_EQ(r.status, 0);
}

// A picture that did not change is not drawn again: ten T presses and an uncovering cost less
// than half of what two real changes (h, twice) do, and a resize costs one drawing, not two.
TEST_F(Viewer, UnchangedPictureIsShownFromACopy) {
  write("walk.nc", random_walk(200000));
  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/walk.nc";
  double drawn = -1, copied = -1, resized = -1;
  ViewerRun r = run({"walk.nc"}, "", [&](pid_t child) {
    LiveWindow window(title);
    if (!window.found()) return;
    double start = settled_seconds(child);
    window.key(XK_h);
    settled_seconds(child);
    window.key(XK_h);
    double after_changes = settled_seconds(child);
    for (int k = 0; k < 10; ++k) window.key(XK_T);
    window.expose();
    double after_copies = settled_seconds(child);
    window.resize(700, 500);
    double after_resize = settled_seconds(child);
    drawn = after_changes - start;
    copied = after_copies - after_changes;
    resized = after_resize - after_copies;
    window.key(XK_Escape);
  }, {"KERFDISPLAY_WHOLE_PATH=1"});
  ASSERT_GE(drawn, 0) << "no window";
  EXPECT_GT(drawn, 0.1);  // else the path is too light to tell a copy from a drawing
  EXPECT_LT(copied, drawn / 2);
  EXPECT_LT(resized, drawn * 0.8);
  EXPECT_EQ(r.status, 0);
}

// A path that runs far out of the initial view: f brings all of it into the window, centred
// and filling most of it; the wheel then zooms it out.
TEST_F(Viewer, FitKeyAndWheel) {
  write("far.nc", "G1 X0 Y0\nX20 Y20\nX24\nY23\nX20\nY20\n");
  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/far.nc";
  Spread before, fitted, zoomed;
  int width = 0;
  ViewerRun r = run({"far.nc"}, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    // Looks again and again until the picture differs from `last` (a loaded machine may be
    // slow to draw), for 5 seconds at most.
    auto changed = [&](const Spread& last) {
      Spread now;
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        Picture p = window.look();
        width = p.width;
        now = blue_spread(p);
      } while (now.left == last.left && now.right == last.right && now.top == last.top &&
               std::chrono::steady_clock::now() < deadline);
      return now;
    };
    before = changed(Spread{});  // the first frame
    window.key(XK_f);
    fitted = changed(before);
    for (int step = 0; step < 10; ++step) {
      window.button(5, true);
      window.button(5, false);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // all ten steps drawn
    zoomed = changed(fitted);
    window.key(XK_Escape);
  });
  ASSERT_GT(width, 0);
  EXPECT_EQ(before.top, 0);  // cut off by the window's edge
  ASSERT_GT(fitted.count, 200);
  EXPECT_GT(fitted.top, 0);
  EXPECT_GT(fitted.left, width / 50);
  EXPECT_LT(fitted.right, width - width / 50);
  EXPECT_NEAR((fitted.left + fitted.right) / 2.0, width / 2.0, width / 20.0);
  EXPECT_GT(fitted.right - fitted.left, width / 2);  // most of the window
  ASSERT_GT(zoomed.count, 0);
  // Ten steps down shrink the picture by e^0.5.
  EXPECT_NEAR((zoomed.right - zoomed.left) * std::exp(0.5), fitted.right - fitted.left, 6);
  EXPECT_EQ(r.status, 0);
}

}  // namespace

namespace {

// The mean colour of the picture over the square [x0, x1] x [y0, y1] of the plane Z 0.
std::vector<double> mean_colour(const Picture& p, double x0, double y0, double x1, double y1) {
  int c0, r0, c1, r1;
  project(x0, y1, c0, r0);
  project(x1, y0, c1, r1);
  std::vector<double> sum(3, 0);
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c)
      for (int k = 0; k < 3; ++k) sum[static_cast<std::size_t>(k)] += p.at(c, r)[k];
  for (double& s : sum) s /= (r1 - r0 + 1) * (c1 - c0 + 1);
  return sum;
}

// Two equal patches of 300 rows 0.002 apart, one cut with Z rising row by row and one with Z
// falling, joined by travel above the work: they look the same, solid blue; the travel is
// yellow, and gone after h.
TEST_F(Viewer, DensePathsLookTheSameWhateverTheirOrderAndTravelIsYellow) {
  std::string program = "G1 X-1.5 Y0.4 Z0.2\n";
  char line[200];
  for (int patch = 0; patch < 2; ++patch) {
    double left = patch == 0 ? -1.5 : 0.9;
    std::snprintf(line, sizeof line, "G1 X%.4f Y0.4 Z0.2\n", left);
    program += line;
    for (int row = 0; row < 300; ++row) {
      double z = patch == 0 ? -0.03 + 0.0001 * row : -0.0001 * row;
      double y = 0.4 + 0.002 * row;
      std::snprintf(line, sizeof line, "X%.4f Y%.4f Z%.4f\nX%.4f\n", row % 2 == 0 ? left : left + 0.6,
                    y, z, row % 2 == 0 ? left + 0.6 : left);
      program += line;
    }
    program += "Z0.2\n";
  }
  write("patches.nc", program);
  ViewerRun r = run({"patches.nc", "--png", "patches.png"});
  ASSERT_EQ(r.status, 0) << r.out;
  Picture p;
  ASSERT_TRUE(load_png(dir_ / "patches.png", p));
  std::vector<double> rising = mean_colour(p, -1.45, 0.45, -0.95, 0.95);
  std::vector<double> falling = mean_colour(p, 0.95, 0.45, 1.45, 0.95);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(rising[k], falling[k], 2) << k;
  EXPECT_GT(rising[2], 200);
  EXPECT_LT(rising[0], 60);
  EXPECT_GT(yellow_count(p), 100);  // the lift and the move between the patches

  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/patches.nc";
  int shown = -1, hidden = -1;
  r = run({"patches.nc"}, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    shown = yellow_count(window.look());
    window.key(XK_h);
    hidden = yellow_count(window.look_until([](const Picture& q) { return yellow_count(q) == 0; }));
    window.key(XK_Escape);
  });
  EXPECT_GT(shown, 100);
  EXPECT_EQ(hidden, 0);
}

// --view and --fit: where the tips of the axes of an empty file land, seen from each side; the
// eye's right, up and line of sight are worked out from where it stands, not from the angles.
TEST_F(Viewer, NamedViewsSeeTheAxesFromTheirSide) {
  write("empty.nc", "");
  const double r2 = std::sqrt(2.0), r3 = std::sqrt(3.0), r6 = std::sqrt(6.0);
  struct Case {
    const char* view;
    double right[3], up[3], sight[3];  // sight: from the origin towards the eye
  } cases[] = {
      {"top", {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {"front", {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
      {"side", {0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
      {"iso", {1 / r2, 1 / r2, 0}, {-1 / r6, 1 / r6, 2 / r6}, {1 / r3, -1 / r3, 1 / r3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.view);
    ViewerRun r = run({"empty.nc", "--view", c.view, "--png", "view.png"});
    ASSERT_EQ(r.status, 0) << r.out;
    Picture p;
    ASSERT_TRUE(load_png(dir_ / "view.png", p));
    const Hue hues[3] = {Hue::Red, Hue::Green, Hue::Blue};
    for (int axis = 0; axis < 3; ++axis) {
      SCOPED_TRACE(axis);
      double x = 0.4 * c.right[axis], y = 0.4 * c.up[axis], depth = 0.4 * c.sight[axis];
      // An axis along the line of sight shows as a dot: nothing to look for.
      if (std::fabs(c.sight[axis]) > 0.99) continue;
      int column, row;
      project(x, y, column, row, depth);
      bool found = false;
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) found = found || hue(p.at(column + dx, row + dy)) == hues[axis];
      EXPECT_TRUE(found);
    }
  }
}

// A plate at X 100, seen from the front and fitted: the jump from the origin is left out of the
// fit, so the plate fills most of the window.
TEST_F(Viewer, FitLeavesOutTheAssumedStart) {
  write("plate.nc", "G1 X100 Y0 Z0.1\nZ-0.5\nX104\nZ0\nX100\nZ-0.5\n");
  ViewerRun r = run({"--fit", "plate.nc", "--view", "front", "--png", "plate.png"});
  ASSERT_EQ(r.status, 0) << r.out;
  Picture p;
  ASSERT_TRUE(load_png(dir_ / "plate.png", p));
  Spread s = blue_spread(p);
  EXPECT_GT(s.right - s.left, p.width / 2);
  EXPECT_NEAR((s.left + s.right) / 2.0, p.width / 2.0, p.width / 20.0);
}

// Rings of radius 1 at Z 0 and of radius 2 at Z -40, seen from the top, as the program starts
// and fitted: the deep ring lies past where a fixed far plane would cut it off. Along the
// diagonal from the centre, which no other move crosses, both rings show, the deep one inside.
TEST_F(Viewer, DeepPathIsDrawnToItsDeepestRing) {
  write("deep.nc", "G90.1\nG1 X1 Y0 Z0\nG2 X1 Y0 I0 J0\nG1 X2 Y0 Z-40\nG2 X2 Y0 I0 J0\n");
  for (const char* fit : {"", "--fit"}) {
    std::vector<std::string> args = {"deep.nc", "--png", "deep.png"};
    if (*fit != '\0') args.push_back(fit);
    ViewerRun r = run(args);
    ASSERT_EQ(r.status, 0) << r.out;
    Picture p;
    ASSERT_TRUE(load_png(dir_ / "deep.png", p));
    int column, row;
    project(0, 0, column, row);
    std::vector<int> rings;  // where red runs begin along the diagonal, in pixels from the centre
    bool was_red = false;
    for (int k = 0; column + k + 1 < p.width && row - k >= 0; ++k) {
      // Two pixels wide: a smoothed line crossing at 45 degrees may light either one strongly.
      bool red = hue(p.at(column + k, row - k)) == Hue::Red || hue(p.at(column + k + 1, row - k)) == Hue::Red;
      if (red && !was_red) rings.push_back(k);
      was_red = red;
    }
    ASSERT_EQ(rings.size(), 2u) << fit;
    EXPECT_GT(rings[0], 5) << fit;  // not the centre: a ring of its own
  }
}

}  // namespace

namespace {

// With too little memory for the whole path (19 million points here) the driver refuses the
// buffers: no picture is written, and the window shows the reduced path and says so, or, with
// not even the room to draw that, the viewer ends with a message; nothing crashes.
TEST_F(Viewer, OutOfMemoryNeverCrashes) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  std::string program;
  for (int k = 0; k < 600000; ++k) program += "G2 X1 Y0 I0.5 J0\n";
  write("circles.nc", program);
  command_ = {"/bin/sh", "-c", "ulimit -v 800000; exec \"$0\" \"$@\"", KERFDISPLAY_PROGRAM};
  const std::vector<std::string> environment = {"LP_NUM_THREADS=2"};
  const std::string reduced = "\nNot enough memory to draw the whole tool path: a reduced path of ";
  const std::string none = "\nNot enough memory to draw the tool path.\n";
  ViewerRun r = run({"circles.nc", "--png", "circles.png"}, "", nullptr, environment);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out.find("\nNot enough memory to draw the whole tool path: no picture written.\n") !=
                  std::string::npos || r.out.find(none) != std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir_ / "circles.png"));

  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/circles.nc";
  std::vector<int> hues;
  r = run({"circles.nc"}, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    auto red = [](const Picture& p) { return hues_in(p, 0.4, -0.55, 0.6, -0.45); };  // the circle's bottom
    Picture p = window.look_until([&](const Picture& q) { return red(q)[0] >= 10; });
    if (p.width > 0) hues = red(p);
    window.key(XK_Escape);
  }, environment);
  ASSERT_FALSE(r.timed_out);
  if (r.out.find(none) != std::string::npos) {
    EXPECT_EQ(r.status, 1);
  } else {
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(reduced), std::string::npos) << r.out;
    ASSERT_FALSE(hues.empty());
    EXPECT_GE(hues[0], 10);  // the circle, in red
  }
}

}  // namespace

namespace {

// A path of 100,000 segments, more than the reduced path keeps, whose picture at rest needs
// most of them: while the view is dragged the window shows the reduced path, and once the
// button is let go the path at rest again, the very picture of --png.
TEST_F(Viewer, DragDrawsTheReducedPathAndReleaseTheWholeOne) {
  write("dense.nc", random_walk(100000));
  ASSERT_EQ(run({"dense.nc", "--png", "rest.png"}).status, 0);
  Picture rest;
  ASSERT_TRUE(load_png(dir_ / "rest.png", rest));

  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/dense.nc";
  bool whole_first = false, reduced_while_dragging = false, whole_after = false;
  ViewerRun r = run({"dense.nc"}, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    auto is_rest = [&](const Picture& p) { return p.rgb == rest.rgb; };
    whole_first = is_rest(window.look_until(is_rest));
    window.button(1, true);
    // A drag that ends where it began (farther than a click's few pixels of slop, so not the
    // pick of a click): the same view, reduced.
    window.drag_to(326, 240);
    window.drag_to(320, 240);
    reduced_while_dragging = !is_rest(window.look_until([&](const Picture& p) { return !is_rest(p); }));
    window.button(1, false);
    whole_after = is_rest(window.look_until(is_rest));
    window.key(XK_Escape);
  });
  EXPECT_TRUE(whole_first);
  EXPECT_TRUE(reduced_while_dragging);
  EXPECT_TRUE(whole_after);
  EXPECT_EQ(r.status, 0);
}

}  // namespace

namespace {

// A 50,000-line helix of chords and arcs, 10 across, round (10, 0), and a raster of 50,000
// lines in rows 0.02 apart over 20 x 20, each drawn as a user sees it at rest (the path for the
// view) and whole, fitted from the top and from the iso side and, in the first view, zoomed into
// the corner at the origin. The path lights the same pixels within 1 %, and every pixel the
// whole path lights has a lit pixel of the path for the view on it or beside it.
TEST_F(Viewer, PathForTheViewLightsThePixelsOfTheWholePath) {
  std::string helix = "g90\ng91.1\n";
  char line[128];
  double angle = 0, z = 0, x0 = 20, y0 = 0;
  for (int k = 3; k < 50000; ++k) {
    double step = k % 3 == 0 ? 0.3 : k % 3 == 1 ? -0.2 : 0.5;
    angle += step;
    if (k % 300 == 0) z -= 0.01;
    double x1 = 10 + 10 * std::cos(angle), y1 = 10 * std::sin(angle);
    const char* code = k % 3 == 0 ? "g1" : k % 3 == 1 ? "g2" : "g3";
    std::snprintf(line, sizeof line, "%s x%.5f y%.5f z%.5f i%.5f j%.5f\n", code, x1, y1, z, 10 - x0, -y0);
    helix += line;
    x0 = x1;
    y0 = y1;
  }
  write("helix.nc", helix);
  // NOTE: more segments than a path drawn whole has (65,536), so that the raster is reduced too.
  std::string raster = "G1 X0 Y0 Z-0.1\n";
  for (int k = 0; k < 100000; ++k) {
    int row = k / 50, column = row % 2 == 0 ? k % 50 : 49 - k % 50;  // back and forth
    std::snprintf(line, sizeof line, "G1 X%.4f Y%.4f Z%.4f\n", column * 20.0 / 49, row * 0.01,
                  -0.1 - 0.05 * std::sin(column * 0.3) * std::cos(row * 0.05));
    raster += line;
  }
  write("raster.nc", raster);

  auto lit = [](const Picture& p, int x, int y) {  // the path's colours, not the grey box
    const unsigned char* c = p.at(x, y);
    return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]}) >= 12;
  };
  bool any_differs = false;
  struct View {
    const char* name;
    std::vector<std::string> args;
  };
  for (const char* file : {"helix.nc", "raster.nc"}) {
    for (const View& view : {View{"fit", {"--fit"}}, View{"iso", {"--view", "iso", "--fit"}}, View{"corner", {}}}) {
      Picture pictures[2];
      for (int whole = 0; whole < 2; ++whole) {
        std::vector<std::string> args = {file, "--png", "view.png"};
        args.insert(args.end(), view.args.begin(), view.args.end());
        std::vector<std::string> environment = {whole ? "KERFDISPLAY_WHOLE_PATH=1" : "KERFDISPLAY_WHOLE_PATH"};
        ViewerRun r = run(args, "", nullptr, environment);
        ASSERT_EQ(r.status, 0) << r.out;
        ASSERT_TRUE(load_png(dir_ / "view.png", pictures[whole]));
      }
      const Picture &screen = pictures[0], &all = pictures[1];
      any_differs = any_differs || screen.rgb != all.rgb;
      int lit_all = 0, lit_screen = 0, disagree = 0, dark = 0;
      for (int y = 0; y < all.height; ++y)
        for (int x = 0; x < all.width; ++x) {
          bool a = lit(all, x, y), s = lit(screen, x, y);
          lit_all += a;
          lit_screen += s;
          disagree += a != s;
          bool beside = false;
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              int nx = x + dx, ny = y + dy;
              if (nx >= 0 && ny >= 0 && nx < all.width && ny < all.height) beside = beside || lit(screen, nx, ny);
            }
          dark += a && !beside;
        }
      std::string what = std::string(file) + " " + view.name;
      EXPECT_GT(lit_all, 2000) << what;  // the path fills the view
      // NOTE: the outermost fringe of a much-overdrawn arc, lit only by the sum of a thousand
      // faint edges, moves in with the chords that replace the arc and with the turns left out
      // for lying over others: 0.91 % of the lit pixels in the fitted helix, each with a lit
      // pixel beside it; elsewhere 0.55 % at most.
      EXPECT_LE(std::abs(lit_all - lit_screen), lit_all / 100) << what;
      EXPECT_LE(disagree, lit_all / 100) << what;
      EXPECT_EQ(dark, 0) << what;
    }
  }
  EXPECT_TRUE(any_differs) << "the path for the view is the whole path: nothing was reduced";
}

}  // namespace
