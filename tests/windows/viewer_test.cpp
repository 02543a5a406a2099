// viewer_test.cpp - Kerfdisplay.exe under wine and the X display of the test command (Xvfb),
// where WGL draws with the same Mesa as the Linux viewer: the same picture but for the axis
// labels' font, the same console text with CR LF line ends, the same exit statuses, and its
// own window layer's event loop.
#include "viewer_harness.h"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

class WindowsViewer : public Viewer {
 protected:
  void use_windows() { command_ = {KERF_WINE_RUN, KERFDISPLAY_EXE}; }
  void use_linux() { command_ = {KERFDISPLAY_PROGRAM}; }
  // Kerfgen's G-code for the README's example, as plate.nc.
  bool write_plate() {
    ChildSetup setup{dir_.string(), "/dev/null", (dir_ / "kerfgen.txt").string(),
                     (dir_ / "kerfgen.err").string(), {}};
    bool timed_out = false;
    return run_limited(KERFGEN_PROGRAM, {"Kerfgen", std::string(KERF_EXAMPLES) + "/plate.txt", "plate.nc"},
                       setup, std::chrono::seconds(20), &timed_out) == 0;
  }
};

// The console text with CR LF turned into LF, after checking that every line ends in CR LF.
std::string unix_lines(const std::string& text) {
  std::string out;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '\n') {
      EXPECT_TRUE(k > 0 && text[k - 1] == '\r') << "a bare LF at byte " << k;
    }
    if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n') continue;
    out += text[k];
  }
  return out;
}

// The largest value of an axis from the job summary's "A from LOW to HIGH" line.
double summary_max(const std::string& out, char axis) {
  std::string key = std::string("  ") + axis + " from ";
  std::size_t at = out.find(key);
  double low = 0, high = 0;
  if (at == std::string::npos ||
      std::sscanf(out.c_str() + at + key.size(), "%lf to %lf", &low, &high) != 2)
    ADD_FAILURE() << "no " << axis << " extent in the summary";
  return high;
}

// Where a label's text lies: from its raster position, to the right and up by a 12-pixel font.
struct LabelBox {
  int left, top, right, bottom;
  bool holds(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

LabelBox label_box(double x, double y, double z) {
  int column, row;
  project(x, y, column, row, z);
  return {column - 1, row - 13, column + 22, row + 3};
}

int hue_count(const Picture& p, const LabelBox& b, Hue wanted) {
  int count = 0;
  for (int y = b.top; y <= b.bottom; ++y)
    for (int x = b.left; x <= b.right; ++x) count += hue(p.at(x, y)) == wanted;
  return count;
}

// Pixels that differ between the two pictures, and how many of them lie outside the axis labels
// (reported, the first five), for the box of the run whose console text is `out`.
void compare_pictures(const Picture& a, const Picture& b, const std::string& out, int& differing,
                      int& outside) {
  // The labels stand 0.6 past the box, which always holds the origin.
  auto past = [&](char axis) { return std::max(0.0, summary_max(out, axis)) + 0.6; };
  LabelBox labels[] = {label_box(past('X'), 0, 0), label_box(0, past('Y'), 0),
                       label_box(0, 0, past('Z'))};
  differing = outside = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const unsigned char *p = a.at(x, y), *q = b.at(x, y);
      if (p[0] == q[0] && p[1] == q[1] && p[2] == q[2]) continue;
      ++differing;
      bool in_label = false;
      for (const LabelBox& l : labels) in_label = in_label || l.holds(x, y);
      if (!in_label) {
        ++outside;
        if (outside <= 5) ADD_FAILURE() << "pixel (" << x << ", " << y << ") differs";
      }
    }
}

// The README's example, drawn by both viewers: every pixel the same, except in the three axis
// labels, whose font is the system's own on Windows rather than GLUT's Helvetica.
TEST_F(WindowsViewer, PictureOfTheExampleIsTheLinuxOneButForTheLabelFont) {
  ASSERT_TRUE(write_plate());

  use_linux();
  ViewerRun on_linux = run({"plate.nc", "--png", "linux.png"});
  use_windows();
  ViewerRun on_windows = run({"plate.nc", "--png", "windows.png"});
  ASSERT_EQ(on_linux.status, 0) << on_linux.out;
  ASSERT_EQ(on_windows.status, 0) << on_windows.out;
  EXPECT_EQ(unix_lines(on_windows.out), on_linux.out);

  Picture a, b;
  ASSERT_TRUE(load_png(dir_ / "linux.png", a));
  ASSERT_TRUE(load_png(dir_ / "windows.png", b));
  ASSERT_EQ(b.width, 640);
  ASSERT_EQ(b.height, 480);
  ASSERT_EQ(a.rgb.size(), b.rgb.size());

  int differing = 0, outside = 0;
  compare_pictures(a, b, on_linux.out, differing, outside);
  EXPECT_EQ(outside, 0);
  std::printf("%d of %d pixels differ, all in the axis labels\n", differing, a.width * a.height);
  // The labels are there on Windows too. (+Z lies over the blue path and axis at the centre.)
  auto past = [&](char axis) { return std::max(0.0, summary_max(on_linux.out, axis)) + 0.6; };
  EXPECT_GT(hue_count(b, label_box(past('X'), 0, 0), Hue::Red), 10);
  EXPECT_GT(hue_count(b, label_box(0, past('Y'), 0), Hue::Green), 10);
}

TEST_F(WindowsViewer, ExitStatusesAndMessagesAreTheLinuxOnes) {
  use_windows();
  write("job.nc", "G1 X1\n");
  ViewerRun r = run({"missing.nc", "--png", "out.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(unix_lines(r.out), std::string(kBanner) + "\nCan't open input file missing.nc: no such file.\n");

  r = run({"job.nc", "--png"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(unix_lines(r.out), "\nThe --png option needs the name of the picture file.\n");

  // A picture that cannot be made is told before the file is read, and no file is left behind.
  r = run({"job.nc", "--png", "no-such-folder/out.png"});
  EXPECT_EQ(r.status, 1);
  std::string out = unix_lines(r.out);
  EXPECT_EQ(out, std::string(kBanner) + "\nCan't write picture file no-such-folder/out.png: no such folder.\n");
  fs::create_directory(dir_ / "taken.png");
  r = run({"job.nc", "--png", "taken.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(unix_lines(r.out), std::string(kBanner) + "\nCan't write picture file taken.png: it is a folder.\n");
  EXPECT_TRUE(fs::is_directory(dir_ / "taken.png"));

  // Without a display, the window layer's own reason, and what to do instead.
  r = run({"job.nc"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 1);
  out = unix_lines(r.out);
  EXPECT_EQ(out.rfind(std::string(kBanner) + "\nCan't open the window: ", 0), 0u) << out;
  EXPECT_NE(out.find(".\nWithout a display (over ssh, say), draw a picture under Xvfb instead:\n"),
            std::string::npos)
      << out;
}

// The window layer's event loop: the window is made, shown and titled with the Windows name of
// the file; f fits the path into the window (a key, then a redisplay), the wheel zooms out
// (wheel steps), a Shift-drag zooms back in (the modifier state at the click), a plain drag
// turns the path, a right click brings back the initial view; Escape ends the run with status 0.
TEST_F(WindowsViewer, EventLoopTakesKeysTheWheelAndDragsUntilEscape) {
  use_windows();
  write("far.nc", "G1 X0 Y0\nX20 Y20\nX24\nY23\nX20\nY20\n");
  // wine shows the Linux folder as drive Z:, with backslashes.
  std::string folder = "Z:" + fs::canonical(dir_).string();
  for (char& c : folder)
    if (c == '/') c = '\\';
  Spread before, fitted, zoomed, shift_dragged, turned, reset;
  bool found = false;
  ViewerRun r = run({"far.nc"}, "", [&](pid_t) {
    LiveWindow window("Kerfdisplay - " + folder + "\\far.nc");
    if (!window.found()) return;
    found = true;
    // Looks again and again until the picture differs from `last`, for 10 seconds at most.
    auto changed = [&](const Spread& last) {
      Spread now;
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      do {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        now = blue_spread(window.look());
      } while (now.left == last.left && now.right == last.right && now.top == last.top &&
               std::chrono::steady_clock::now() < deadline);
      return now;
    };
    before = changed(Spread{});
    window.key(XK_f);
    fitted = changed(before);
    for (int step = 0; step < 10; ++step) {
      window.button(5, true);
      window.button(5, false);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    zoomed = changed(fitted);
    window.key(XK_Shift_L);
    window.button(1, true);
    for (int step = 1; step <= 10; ++step) {  // up: each motion enlarges by e^0.05
      window.drag_to(320, 240 - step);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    window.button(1, false, 320, 230);
    window.key(XK_Shift_L, false);
    shift_dragged = changed(zoomed);
    window.button(1, true);
    window.drag_to(400, 240);  // an eighth of a turn about the Y axis
    window.button(1, false, 400, 240);
    turned = changed(shift_dragged);
    window.button(3, true);
    window.button(3, false);
    reset = changed(turned);
    window.key(XK_Escape);
  });
  ASSERT_TRUE(found) << r.out;
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(before.top, 0);  // cut off by the window's edge
  ASSERT_GT(fitted.count, 200);
  EXPECT_GT(fitted.top, 0);
  EXPECT_NEAR((fitted.left + fitted.right) / 2.0, 320, 32);
  ASSERT_GT(zoomed.count, 0);
  // Ten steps down shrink the picture by e^0.5.
  EXPECT_NEAR((zoomed.right - zoomed.left) * std::exp(0.5), fitted.right - fitted.left, 6);
  EXPECT_NEAR(shift_dragged.right - shift_dragged.left, fitted.right - fitted.left, 6);
  EXPECT_NE(turned.right - turned.left, shift_dragged.right - shift_dragged.left);
  EXPECT_EQ(reset.count, before.count);
  EXPECT_EQ(reset.left, before.left);
  EXPECT_EQ(reset.right, before.right);
}

// The plate's simulated part: the same STL file to the byte, and the same picture but for the
// axis labels.
TEST_F(WindowsViewer, SimulatedPartIsTheLinuxOne) {
  ASSERT_TRUE(write_plate());
  use_linux();
  ViewerRun on_linux = run({"plate.nc", "--sim", "--png", "linux.png"});
  ASSERT_EQ(run({"plate.nc", "--stl", "linux.stl"}).status, 0);
  use_windows();
  ViewerRun on_windows = run({"plate.nc", "--sim", "--png", "windows.png"});
  ASSERT_EQ(run({"plate.nc", "--stl", "windows.stl"}).status, 0);
  ASSERT_EQ(on_linux.status, 0) << on_linux.out;
  ASSERT_EQ(on_windows.status, 0) << on_windows.out;
  EXPECT_EQ(unix_lines(on_windows.out), on_linux.out);

  auto bytes = [&](const char* name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  EXPECT_GT(bytes("linux.stl").size(), 84u);
  EXPECT_TRUE(bytes("linux.stl") == bytes("windows.stl"));

  Picture a, b;
  ASSERT_TRUE(load_png(dir_ / "linux.png", a));
  ASSERT_TRUE(load_png(dir_ / "windows.png", b));
  ASSERT_EQ(a.rgb.size(), b.rgb.size());
  int differing = 0, outside = 0;
  compare_pictures(a, b, on_linux.out, differing, outside);
  EXPECT_EQ(outside, 0);
}

// The window layer's timer: the Windows viewer follows a journal as it changes, as the Linux one
// does, and --line says the same place.
TEST_F(WindowsViewer, FollowsTheJournalByItsTimer) {
  use_windows();
  write("job.nc", "G0 Z0.5\nG0 X0.5 Y0.5\nG1 Z-0.1 F10\nG1 X1.5\nG1 Y1.5\nM30\n");
  ViewerRun r = run({"job.nc", "--line", "5", "--png", "job.png"});
  EXPECT_EQ(r.status, 0);
  std::string said = unix_lines(r.out);
  EXPECT_EQ(said.substr(said.rfind("\nLine ")), "\nLine 5 starts with the tool at X1.5000 Y0.5000 Z-0.1000\n");
  std::string folder = "Z:" + fs::canonical(dir_).string();
  for (char& c : folder)
    if (c == '/') c = '\\';
  std::string base = "Kerfdisplay - " + folder + "\\job.nc";
  std::vector<std::string> missing;
  r = run({"job.nc", "--follow"}, "", [&](pid_t) {
    for (const char* step : {"", "confirmed 4\n", "confirmed 5\n", "confirmed 6 complete\n"}) {
      std::string title = base + " - no job journal yet";
      if (*step != '\0') {
        write("job.nc.journal.new", step);
        fs::rename(dir_ / "job.nc.journal.new", dir_ / "job.nc.journal");
        long line = std::atol(step + 10);
        title = base + " - line " + std::to_string(line) + " of 6 (" + std::to_string(line * 100 / 6) + "%)" +
                (line == 6 ? ", complete" : "");
      }
      LiveWindow window(title);
      if (!window.found()) {
        missing.push_back(title);
        continue;
      }
      if (std::strstr(step, "complete") != nullptr) window.key(XK_Escape);
    }
  });
  EXPECT_TRUE(missing.empty()) << "no window titled " << missing.front();
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
}

// The pick through the window layer: a click on the square's bottom side and l over its right
// side name their lines, in the console (CR LF) and in the title, as the Linux viewer does; the
// mark shows in the window.
TEST_F(WindowsViewer, ClickAndKeyPickTheLineUnderTheMouse) {
  use_windows();
  write("job.nc", "; a square at Z -0.1\ng90\ng1 z0.1 f10\ng1 x-1 y-1\ng1 z-0.1 f3\ng1 x1 y-1 f5\ng1 x1 y1\n"
                  "g1 x-1 y1\ng1 x-1 y-1\ng1 z0.1\nm30\n");
  std::string folder = "Z:" + fs::canonical(dir_).string();
  for (char& c : folder)
    if (c == '/') c = '\\';
  const std::string base = "Kerfdisplay - " + folder + "\\job.nc";
  auto console = [&] {
    std::ifstream file(dir_ / "stdout.txt", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  };
  auto wait_for = [&](const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (console().find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  std::string title_click, title_key;
  int marked = -1;
  ViewerRun r = run({"job.nc"}, "", [&](pid_t) {
    LiveWindow window(base);
    if (!window.found()) return;
    window.look_until([](const Picture& q) { return blue_spread(q).count > 100; });
    int x, y;
    project(0.3, -1, x, y, -0.1);
    window.button(1, true, x, y);
    window.button(1, false, x, y);
    wait_for("To start here: Kerfsend -r6");
    title_click = window.title_until([&](const std::string& t) { return t != base; });
    Picture p = window.look_until([&](const Picture& q) {
      const unsigned char* c = q.at(x, y);
      return c[1] >= 160 && c[2] >= 160 && c[0] < 100;
    });
    const unsigned char* c = p.at(x, y);
    marked = c[1] >= 160 && c[2] >= 160 && c[0] < 100;
    project(1, 0.4, x, y, -0.1);
    window.key_at(XK_l, x, y);
    wait_for("To start here: Kerfsend -r7");
    title_key = window.title_until([&](const std::string& t) { return t != title_click; });
    window.key(XK_Escape);
  });
  ASSERT_GE(marked, 0) << "no window titled " << base << "\n" << r.out;
  EXPECT_EQ(r.status, 0);
  const std::string out = unix_lines(r.out);
  EXPECT_NE(out.find("\nLine 6: g1 x1 y-1 f5\nTo start here: Kerfsend -r6 -fjob.nc\n"
                     "\nLine 7: g1 x1 y1\nTo start here: Kerfsend -r7 -fjob.nc\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(title_click, base + " - line 6: g1 x1 y-1 f5");
  EXPECT_EQ(title_key, base + " - line 7: g1 x1 y1");
  EXPECT_EQ(marked, 1);
}

}  // namespace
