// viewer_harness.h - the built viewer run as a user runs it, in a folder of its own, and what
// the tests read from its pictures and its live window under the X display (Xvfb).
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <png.h>

#include "child.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

const char kBanner[] = "Kerfdisplay G-Code Tool Path Display Utility V1.2\n";

struct ViewerRun {
  int status = -1;
  bool timed_out = false;
  std::string out;
};

class Viewer : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the viewer tests need an X display (xvfb-run)";
    std::string pattern = (fs::temp_directory_path() / "kerfdisplay-view-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }

  // What starts the viewer: the program itself, or a runner (wine) and then the program.
  std::vector<std::string> command_ = {KERFDISPLAY_PROGRAM};

  // Runs the viewer in the test's folder. `while_running` is called with the child's pid while
  // it runs; a viewer still running after the time limit is killed, so no test can hang.
  ViewerRun run(const std::vector<std::string>& args, const std::string& input = "",
          const std::function<void(pid_t)>& while_running = nullptr,
          const std::vector<std::string>& environment = {}) {
    write("stdin.txt", input);
    pid_t child = fork();
    if (child == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(126);
      int in = open("stdin.txt", O_RDONLY);
      int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      // NOTE: not the test's own standard error: a process that outlives the viewer (the
      // desktop process of a wine server kept running) would hold the test runner's pipe
      // open, and the runner would wait for it. What the viewer writes there is shown after.
      int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      // In the sanitizer build: the GL driver keeps its allocations to the end of the process,
      // which the leak check would count against the viewer.
      std::string asan = "detect_leaks=0";
      if (const char* options = std::getenv("ASAN_OPTIONS")) asan = std::string(options) + ":" + asan;
      setenv("ASAN_OPTIONS", asan.c_str(), 1);
      for (const std::string& setting : environment) {
        std::size_t equals = setting.find('=');
        if (equals == std::string::npos) unsetenv(setting.c_str());
        else setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
      }
      std::vector<std::string> copies = command_;
      if (copies.size() == 1) copies[0] = "Kerfdisplay";
      copies.insert(copies.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(command_[0].c_str(), argv.data());
      _exit(127);
    }
    if (while_running) while_running(child);
    ViewerRun result;
    result.status = wait_limited(child, std::chrono::seconds(20), &result.timed_out);
    std::ifstream file(dir_ / "stdout.txt", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    result.out = text.str();
    std::ifstream errors(dir_ / "stderr.txt", std::ios::binary);
    if (errors.peek() != std::ifstream::traits_type::eof()) std::cerr << errors.rdbuf();
    return result;
  }

  fs::path dir_;
};

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // top row first
  const unsigned char* at(int x, int y) const {
    return &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3];
  }
};

inline bool load_png(const fs::path& name, Picture& picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, name.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgb.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr) != 0;
}

enum class Hue { Red, Green, Blue, Other };

// A path colour after smoothing and the translucent box: the one strong channel.
inline Hue hue(const unsigned char* p) {
  for (int c = 0; c < 3; ++c) {
    int v = p[c], a = p[(c + 1) % 3], b = p[(c + 2) % 3];
    if (v >= 128 && 2 * a < v && 2 * b < v) return static_cast<Hue>(c);
  }
  return Hue::Other;
}

// The travel colour after smoothing: red and green strong, blue weak.
inline bool yellow(const unsigned char* p) { return p[0] >= 128 && p[1] >= 128 && 2 * p[2] < p[0]; }

// The part of a path a job has done, grey, under the box's translucent faces; the tool's marker.
inline bool done_grey(const unsigned char* p) {
  return p[0] >= 90 && p[0] <= 170 && std::abs(p[0] - p[1]) <= 8 && std::abs(p[1] - p[2]) <= 8;
}
inline bool marker_magenta(const unsigned char* p) { return p[0] >= 200 && p[2] >= 200 && p[1] < 80; }

inline int yellow_count(const Picture& p) {
  int count = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) count += yellow(p.at(x, y));
  return count;
}

// Where a point lands in the initial view of a 640 x 480 window: the eye 8 above the origin, a
// 45-degree field, a 640 x 640 viewport from y = -80. Z is 0 unless given.
inline void project(double x, double y, int& column, int& row, double z = 0) {
  double half = (8 - z) * std::tan(22.5 * 3.14159265358979323846 / 180);
  column = static_cast<int>(std::lround((x / half + 1) * 320));
  row = 479 - static_cast<int>(std::lround(-80 + (y / half + 1) * 320));
}

inline bool hue_near(const Picture& p, double x, double y, Hue wanted) {
  int column, row;
  project(x, y, column, row);
  for (int dy = -2; dy <= 2; ++dy)
    for (int dx = -2; dx <= 2; ++dx)
      if (hue(p.at(column + dx, row + dy)) == wanted) return true;
  return false;
}

// Counts pixels of each hue in the picture of the square [x0, x1] x [y0, y1] of the plane.
inline std::vector<int> hues_in(const Picture& p, double x0, double y0, double x1, double y1) {
  int c0, r0, c1, r1;
  project(x0, y1, c0, r0);
  project(x1, y0, c1, r1);
  std::vector<int> counts(4, 0);
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c) ++counts[static_cast<int>(hue(p.at(c, r)))];
  return counts;
}

// The top-level window whose title is `title`, or 0.
inline Window find_window(Display* display, const std::string& title) {
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) return 0;
  for (unsigned k = 0; k < count && found == 0; ++k) {
    char* name = nullptr;
    if (XFetchName(display, children[k], &name) != 0 && name != nullptr) {
      if (title == name) found = children[k];
      XFree(name);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// The viewer's window as a user meets it: found by its title, sent keys and clicks, looked at.
class LiveWindow {
 public:
  explicit LiveWindow(const std::string& title) {
    // NOTE: a window of another program may go away between the listing of the windows and the
    // reading of its name; Xlib's own handler would end the test on that error.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (window_ == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      window_ = find_window(display_, title);
    }
  }
  ~LiveWindow() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  bool found() const { return window_ != 0; }

  // A key pressed, or with pressed false released (for a modifier held across a drag).
  void key(KeySym symbol, bool pressed = true) {
    XKeyEvent key{};
    key.type = pressed ? KeyPress : KeyRelease;
    key.display = display_;
    key.window = window_;
    key.root = DefaultRootWindow(display_);
    key.time = CurrentTime;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(display_, symbol);
    XSendEvent(display_, window_, True, pressed ? KeyPressMask : KeyReleaseMask,
               reinterpret_cast<XEvent*>(&key));
    XFlush(display_);
  }
  // A key pressed with the mouse at (x, y) of the window: the pointer is moved there too, for a
  // window layer that asks the system where the mouse is (wine's) rather than the event.
  void key_at(KeySym symbol, int x, int y) {
    XWarpPointer(display_, None, window_, 0, 0, 0, 0, x, y);
    XSync(display_, False);
    XKeyEvent key{};
    key.type = KeyPress;
    key.display = display_;
    key.window = window_;
    key.root = DefaultRootWindow(display_);
    key.time = CurrentTime;
    key.same_screen = True;
    key.x = x;
    key.y = y;
    Window ignored;
    XTranslateCoordinates(display_, window_, key.root, x, y, &key.x_root, &key.y_root, &ignored);
    key.keycode = XKeysymToKeycode(display_, symbol);
    XSendEvent(display_, window_, True, KeyPressMask, reinterpret_cast<XEvent*>(&key));
    XFlush(display_);
  }
  // The window's title now.
  std::string title() {
    char* name = nullptr;
    std::string text;
    if (XFetchName(display_, window_, &name) != 0 && name != nullptr) {
      text = name;
      XFree(name);
    }
    return text;
  }
  // Waits until the title satisfies `done`, for `limit` at most; returns the last one read.
  std::string title_until(const std::function<bool(const std::string&)>& done,
                          std::chrono::seconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::string t = title();
    while (!done(t) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      t = title();
    }
    return t;
  }
  // Button 1 is the left button, 3 the right one, 4 and 5 the wheel's steps up and down.
  void button(unsigned number, bool pressed, int x = 320, int y = 240) {
    XButtonEvent b{};
    b.type = pressed ? ButtonPress : ButtonRelease;
    b.button = number;
    if (!pressed) b.state = Button1Mask;
    at_point(b, x, y);
    XSendEvent(display_, b.window, True, pressed ? ButtonPressMask : ButtonReleaseMask,
               reinterpret_cast<XEvent*>(&b));
    XFlush(display_);
  }
  // The mouse moved to (x, y) with the left button held.
  void drag_to(int x, int y) {
    XMotionEvent m{};
    m.type = MotionNotify;
    m.state = Button1Mask;
    at_point(m, x, y);
    XSendEvent(display_, m.window, True, Button1MotionMask | PointerMotionMask,
               reinterpret_cast<XEvent*>(&m));
    XFlush(display_);
  }
  // The window uncovered, as the server tells it when another window over it goes away.
  void expose() {
    XClearArea(display_, window_, 0, 0, 0, 0, True);
    XFlush(display_);
  }
  void resize(unsigned width, unsigned height) {
    XResizeWindow(display_, window_, width, height);
    XFlush(display_);
  }
  // Looks again and again (a loaded machine may be slow to draw) until `done` holds for what the
  // window shows, for `limit` at most; returns the last look, empty once the window has gone.
  Picture look_until(const std::function<bool(const Picture&)>& done,
                     std::chrono::seconds limit = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    Picture p;
    do {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      p = look();
    } while (p.width > 0 && !done(p) && std::chrono::steady_clock::now() < deadline);
    return p;
  }
  // What the window shows now.
  Picture look() {
    Picture p;
    XWindowAttributes a;
    XGetWindowAttributes(display_, window_, &a);
    XImage* image = XGetImage(display_, window_, 0, 0, static_cast<unsigned>(a.width),
                              static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
    if (image == nullptr) return p;
    p.width = a.width;
    p.height = a.height;
    p.rgb.resize(static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height) * 3);
    unsigned char* out = p.rgb.data();
    for (int y = 0; y < a.height; ++y)
      for (int x = 0; x < a.width; ++x) {
        unsigned long pixel = XGetPixel(image, x, y);
        *out++ = static_cast<unsigned char>((pixel & image->red_mask) >> 16);
        *out++ = static_cast<unsigned char>((pixel & image->green_mask) >> 8);
        *out++ = static_cast<unsigned char>(pixel & image->blue_mask);
      }
    XDestroyImage(image);
    return p;
  }

 private:
  // Addresses a pointer event at (x, y) of the window to the innermost window there, as the
  // server would (wine draws OpenGL in a child window of its own).
  template <typename Event>
  void at_point(Event& e, int x, int y) {
    e.display = display_;
    e.root = DefaultRootWindow(display_);
    e.time = CurrentTime;
    e.same_screen = True;
    Window ignored;
    XTranslateCoordinates(display_, window_, e.root, x, y, &e.x_root, &e.y_root, &ignored);
    e.window = window_;
    e.x = x;
    e.y = y;
    for (Window child = 0;
         XTranslateCoordinates(display_, e.window, e.window, e.x, e.y, &e.x, &e.y, &child) && child != 0;) {
      XTranslateCoordinates(display_, e.window, child, e.x, e.y, &e.x, &e.y, &ignored);
      e.window = child;
    }
  }

  Display* display_ = nullptr;
  Window window_ = 0;
};

// Processor time (user and system) the process has used so far, in seconds.
inline double processor_seconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int k = 3; k <= 15 && fields >> field; ++k)  // utime and stime are fields 14 and 15
    if (k >= 14) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The processor time of the process once it has stopped using any (it has drawn what it was
// asked to): two readings a third of a second apart that agree, within `limit`.
inline double settled_seconds(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(15)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  double last = processor_seconds(pid);
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(330));
    double now = processor_seconds(pid);
    if (now == last) break;
    last = now;
  }
  return last;
}

// Where the picture shows the path's blue: the number of pixels and their mean column and row.
struct Spread {
  int count = 0;
  double column = 0, row = 0;
  int left = 1 << 20, right = -1, top = 1 << 20;
};

inline Spread blue_spread(const Picture& p) {
  Spread s;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (hue(p.at(x, y)) == Hue::Blue) {
        ++s.count;
        s.column += x;
        s.row += y;
        s.left = std::min(s.left, x);
        s.right = std::max(s.right, x);
        s.top = std::min(s.top, y);
      }
  if (s.count > 0) {
    s.column /= s.count;
    s.row /= s.count;
  }
  return s;
}

