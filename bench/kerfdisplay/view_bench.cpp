// view_bench.cpp - the viewer's window on the generated helix and dome, as a user meets it under
// the X display of the run (Xvfb, software OpenGL): how long the --png picture takes, how long
// until the window's first picture and until the picture at rest, how long a wheel step and a
// resize take to settle, how long the picture waits for a new frame while the view is dragged,
// how long it takes to settle after the drag, and the memory it holds; and how long a pick of
// the line under the mouse takes, beside a redraw at rest. When each frame was shown is told by
// a shim on the buffer swap preloaded into the viewer (swap_shim.cpp): a wheel step, a resize and
// the release of a drag are timed until the last frame they bring, the picture at rest. Beside
// this build, a baseline build of the viewer (KERF_BASELINE_VIEWER names its program) on the
// same files, in the same run.
#include <benchmark/benchmark.h>

#include "viewer_harness.h"

#include <X11/keysym.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "million_program.h"

namespace {

using Clock = std::chrono::steady_clock;

// The helix's lines: the README's tables give the run's figures for this many.
constexpr int kHelixLines = kLines;
constexpr int kDomeLines = 1000000;

struct File {
  std::string name;
  long vertices;
};
File files[2];  // the helix and the dome
std::string one_line;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// `swap_log`, when not empty, is where the shim notes the frames shown.
pid_t start_viewer(const std::string& viewer, const std::vector<std::string>& args,
                   const std::string& swap_log = "") {
  pid_t child = fork();
  if (child == 0) {
    int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, 1);
    if (!swap_log.empty()) {
      setenv("LD_PRELOAD", SWAP_SHIM, 1);
      setenv("KERF_SWAP_LOG", swap_log.c_str(), 1);
    }
    if (std::getenv("KERF_BENCH_STDERR") == nullptr) dup2(nowhere, 2);
    std::vector<std::string> words = {viewer};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(viewer.c_str(), argv.data());
    _exit(127);
  }
  return child;
}

// Waits for the viewer; returns its peak memory in KiB, or -1 when it failed.
long finish(pid_t child) {
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

int lit_pixels(const Picture& p) {
  int count = 0;
  for (std::size_t k = 0; k + 2 < p.rgb.size(); k += 3) count += p.rgb[k] + p.rgb[k + 1] + p.rgb[k + 2] > 0;
  return count;
}

// Seconds from `start` until the viewer has used no processor time for half a second (a redraw
// may show no change for seconds, until it is done).
double settled(pid_t child, Clock::time_point start) {
  Clock::time_point last_busy = start;
  double used = processor_seconds(child);
  while (seconds_since(last_busy) < 0.5 && seconds_since(start) < 180) {
    usleep(50000);
    double now = processor_seconds(child);
    if (now - used > 0.01) last_busy = Clock::now();
    used = now;
  }
  return std::chrono::duration<double>(last_busy - start).count();
}

// The frames the viewer has shown so far, as the shim noted them (steady_clock's time).
std::vector<Clock::time_point> swaps(const std::string& log) {
  std::vector<Clock::time_point> times;
  std::ifstream in(log);
  double seconds = 0;
  while (in >> seconds)
    times.push_back(Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))));
  return times;
}

// Seconds from `start` to the last frame shown after it (the picture the input left, once the
// viewer is idle again); -1 when none was.
double last_frame_after(const std::string& log, Clock::time_point start) {
  double last = -1;
  for (Clock::time_point t : swaps(log))
    if (t >= start) last = std::chrono::duration<double>(t - start).count();
  return last;
}

// The whole run of one build on one file: the picture it writes with --png is what its window
// must show at rest.
void viewer_in_window(benchmark::State& state, const std::string& viewer) {
  const File& file = files[state.range(0)];
  std::string reference_name = file.name + ".png";
  for (auto _ : state) {
    Clock::time_point png_start = Clock::now();
    pid_t png = start_viewer(viewer, {file.name, "--png", reference_name});
    if (finish(png) < 0) {
      state.SkipWithError("the viewer's --png run failed (is there an X display?)");
      return;
    }
    double png_seconds = seconds_since(png_start);
    Picture reference;
    load_png(reference_name, reference);
    std::remove(reference_name.c_str());

    std::string swap_log = file.name + ".swaps";
    std::remove(swap_log.c_str());
    Clock::time_point start = Clock::now();
    pid_t child = start_viewer(viewer, {file.name}, swap_log);
    LiveWindow window("Kerfdisplay - " + file.name);
    if (!window.found()) {
      kill(child, SIGKILL);
      finish(child);
      state.SkipWithError("no window");
      return;
    }
    double first = -1, whole = -1;
    while (seconds_since(start) < 180 && whole < 0) {
      Picture p = window.look();
      if (first < 0 && lit_pixels(p) > 1000) first = seconds_since(start);
      if (p.rgb == reference.rgb) whole = seconds_since(start);
      else usleep(10000);
    }
    settled(child, Clock::now());

    // A wheel step and a resize, each until the viewer is idle again, and until the last frame
    // it showed meanwhile: the picture at rest.
    Clock::time_point wheel = Clock::now();
    window.button(4, true);
    window.button(4, false);
    double wheel_idle = settled(child, wheel);
    double wheel_seconds = last_frame_after(swap_log, wheel);
    Clock::time_point resize = Clock::now();
    window.resize(700, 520);
    double resize_idle = settled(child, resize);
    double resize_seconds = last_frame_after(swap_log, resize);

    // A one-second drag at 30 motion events a second, across a sixth of the window.
    Picture last = window.look();
    window.button(1, true, 320, 240);
    Clock::time_point drag = Clock::now();
    Clock::time_point changed = drag;
    double longest_wait = 0;
    int frames = 0;
    for (int step = 1; step <= 30; ++step) {
      window.drag_to(320 + 4 * step, 240);
      Clock::time_point next = drag + std::chrono::milliseconds(33 * step);
      do {
        Picture p = window.look();
        if (p.rgb != last.rgb) {
          longest_wait = std::max(longest_wait, seconds_since(changed));
          changed = Clock::now();
          last = p;
          ++frames;
        }
      } while (Clock::now() < next);
    }
    // The frame the drag still waits for counts as well.
    longest_wait = std::max(longest_wait, seconds_since(changed));
    Clock::time_point release = Clock::now();
    window.button(1, false, 440, 240);
    double release_idle = settled(child, release);
    double release_seconds = last_frame_after(swap_log, release);
    // The frames shown while dragging, as the shim saw them: how many, and the longest time
    // from the first motion, or a frame, to the next frame (or to the release).
    int swapped_frames = 0;
    double longest_swap_wait = 0;
    Clock::time_point previous = drag;
    for (Clock::time_point t : swaps(swap_log)) {
      if (t < drag || t >= release) continue;
      ++swapped_frames;
      longest_swap_wait = std::max(longest_swap_wait, std::chrono::duration<double>(t - previous).count());
      previous = t;
    }
    longest_swap_wait = std::max(longest_swap_wait, std::chrono::duration<double>(release - previous).count());
    window.key(XK_Escape);
    long peak = finish(child);
    std::remove(swap_log.c_str());

    pid_t small = start_viewer(viewer, {one_line, "--png", reference_name});
    long small_peak = finish(small);
    std::remove(reference_name.c_str());

    state.counters["png_s"] = png_seconds;
    state.counters["first_picture_s"] = first;
    state.counters["rest_picture_s"] = whole;
    state.counters["wheel_step_s"] = wheel_seconds;
    state.counters["wheel_idle_s"] = wheel_idle;
    state.counters["resize_s"] = resize_seconds;
    state.counters["resize_idle_s"] = resize_idle;
    state.counters["drag_frames"] = swapped_frames;
    state.counters["drag_longest_wait_s"] = longest_swap_wait;
    state.counters["drag_frames_seen"] = frames;
    state.counters["drag_longest_wait_seen_s"] = longest_wait;
    state.counters["release_rest_s"] = release_seconds;
    state.counters["release_idle_s"] = release_idle;
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024;
    state.counters["bytes_per_vertex"] =
        static_cast<double>(peak - small_peak) * 1024 / static_cast<double>(file.vertices);
  }
}

// The pick at rest, as a user meets it: a click on the path until the window's title names the
// line (each pick reads the path for the view for the segments near the mouse, the file for the
// line's text and Kerfsend's word on a resume there); beside it, in the same run, the path for
// the view drawn again (h hides the travel: until the picture shows it gone).
void pick_in_window(benchmark::State& state) {
  const File& file = files[state.range(0)];
  for (auto _ : state) {
    pid_t child = start_viewer(KERFDISPLAY_PROGRAM, {file.name});
    LiveWindow window("Kerfdisplay - " + file.name);
    if (!window.found()) {
      kill(child, SIGKILL);
      finish(child);
      state.SkipWithError("no window");
      return;
    }
    // At rest, the lines' index read: the viewer idle.
    Clock::time_point start = Clock::now();
    while (seconds_since(start) < 180 && lit_pixels(window.look()) < 1000) usleep(10000);
    settled(child, Clock::now());
    const std::string plain = window.title();

    Picture before = window.look();
    Clock::time_point redraw = Clock::now();
    window.key(XK_h);
    double redraw_seconds = -1;
    while (seconds_since(redraw) < 60 && redraw_seconds < 0)
      if (window.look().rgb != before.rgb) redraw_seconds = seconds_since(redraw);
    window.key(XK_h);
    settled(child, Clock::now());

    // The helix: a ring deep down near the centre (lines near the end), then the top ring; the
    // dome: two places of its raster.
    const int places[2][2][2] = {{{339, 239}, {417, 239}}, {{360, 200}, {280, 280}}};
    double longest = 0;
    std::string title = plain;
    for (const auto& place : places[state.range(0)]) {
      Clock::time_point pick = Clock::now();
      window.button(1, true, place[0], place[1]);
      window.button(1, false, place[0], place[1]);
      std::string now = title;
      while (seconds_since(pick) < 60 && now == title) {
        usleep(1000);
        now = window.title();
      }
      longest = std::max(longest, seconds_since(pick));
      if (now == plain) state.SkipWithError("a pick found no move");
      title = now;
      settled(child, Clock::now());
    }
    window.key(XK_Escape);
    finish(child);
    state.counters["pick_s"] = longest;
    state.counters["redraw_at_rest_s"] = redraw_seconds;
    state.SetLabel(title.substr(plain.size()));
  }
}

void BM_PickInWindow(benchmark::State& state) { pick_in_window(state); }

long vertices_of_helix(int lines_written) {
  // 1 vertex for the origin, 1 for each g1 line, 32 for each arc line.
  long lines = lines_written - 4;  // the comment, g90, g91.1 and m30
  long g1 = (lines + 2) / 3;
  return 1 + g1 + (lines - g1) * 32;
}

void BM_ViewerWindow(benchmark::State& state) { viewer_in_window(state, KERFDISPLAY_PROGRAM); }

// Today's viewer before this build, built from the main line (KERF_BASELINE_VIEWER).
void BM_BaselineViewerWindow(benchmark::State& state) {
  const char* baseline = std::getenv("KERF_BASELINE_VIEWER");
  if (baseline == nullptr) {
    state.SkipWithError("KERF_BASELINE_VIEWER is not set");
    return;
  }
  viewer_in_window(state, baseline);
}

// A second baseline when KERF_EARLIER_VIEWER names one (here: the main line before the work on
// the whole path's speed, which the goals are set against); skipped when it does not.
void BM_EarlierViewerWindow(benchmark::State& state) {
  const char* earlier = std::getenv("KERF_EARLIER_VIEWER");
  if (earlier == nullptr) {
    state.SkipWithError("KERF_EARLIER_VIEWER is not set");
    return;
  }
  viewer_in_window(state, earlier);
}

// Argument 0: the helix; 1: the dome. Each build on the helix, then each on the dome.
BENCHMARK(BM_ViewerWindow)->Arg(0)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BaselineViewerWindow)->Arg(0)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_EarlierViewerWindow)->Arg(0)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ViewerWindow)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BaselineViewerWindow)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_EarlierViewerWindow)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PickInWindow)->Arg(0)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PickInWindow)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  files[0] = {write_million_program(kHelixLines), vertices_of_helix(kHelixLines)};
  files[1] = {write_dome_program(kDomeLines), 0};
  {
    // The dome's vertices: the origin and one a line that moves.
    long moves = 0;
    std::FILE* in = std::fopen(files[1].name.c_str(), "r");
    char line[128];
    while (in != nullptr && std::fgets(line, sizeof line, in) != nullptr) moves += line[0] == 'g' && line[1] == '1';
    if (in != nullptr) std::fclose(in);
    files[1].vertices = 1 + moves;
  }
  one_line = files[0].name + ".one.nc";
  std::FILE* out = std::fopen(one_line.c_str(), "w");
  std::fprintf(out, "G1 X1\n");
  std::fclose(out);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const File& f : files) std::remove(f.name.c_str());
  std::remove(one_line.c_str());
  return 0;
}
