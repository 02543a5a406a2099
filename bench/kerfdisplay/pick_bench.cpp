// pick_bench.cpp - the pick of the line under the mouse on the generated 1,000,000-line helix
// and dome, in the viewer's own code without a window: the path recorded as the window records
// it (every vertex's file line noted), its path for the first view at rest worked out, and the
// file's lines indexed; then the moves under the mouse found at two places of the first view,
// their lines' text read and Kerfsend's verdict on a resume there given, as a click does. Beside
// it, in the same run: a bare pass over the segments the view at rest draws, and over every
// segment of the path; and the path for the view worked out again, as a wheel step has it done.
#include <benchmark/benchmark.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "first_view.h"
#include "gcode_interpreter.h"
#include "gcode_reader.h"
#include "gcode_resume.h"
#include "job_place.h"
#include "line_index.h"
#include "million_program.h"
#include "path_buffer.h"
#include "pick.h"

namespace {

// One file at a time: the path's buffers are the viewer's own, one path a process.
std::string file;
BufferSink buffer;
PlaceSink places(buffer);
LineIndex index;
int which = -1;
double model_view[16], projection[16];

// The path of file 0 (the helix) or 1 (the dome), read once, its view at rest and its lines'
// index ready.
void prepare(int wanted) {
  if (which == wanted) return;
  if (which >= 0) std::abort();  // the path's buffers take one file a process
  which = wanted;
  file = wanted == 0 ? write_million_program() : write_dome_program(1000000);
  interp_reset();
  places.keep_places(false);
  if (!read_gcode_quietly(file.c_str(), places)) std::abort();
  first_view(model_view, projection);
  screen_path_for(model_view, projection, kFirstViewport, 640, 480, 0, true);
  while (screen_path_building() && !screen_path_wait(1)) continue;
  index.start(file.c_str());
  while (!index.step(1 << 16)) {
  }
}

// The mouse at pixel (x, y) of the 640 x 480 window, from the viewport's centre.
PickView view_at(int x, int y) { return pick_view(model_view, projection, 640, 640, x + 0.5 - 320, (480 - (y + 0.5)) - 240); }

const int kPlaces[2][2][2] = {{{339, 239}, {417, 239}}, {{360, 200}, {280, 280}}};

std::vector<PathHit> hits_at(const PickView& view) {
  return path_hits(
      view, [](long first, long last, const SegmentVisit& visit) { visit_path_segments(PathForm::Screen, true, first, last, visit); },
      [](long first, long last, const SegmentVisit& visit) { visit_path_segments(PathForm::Whole, true, first, last, visit); });
}

void BM_DrawnPathPass(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)));
  long segments = 0;
  for (auto _ : state) {
    double sum = 0;
    segments = 0;
    visit_path_segments(PathForm::Screen, true, -1, -1, [&](long, long, const float* a, const float* b) {
      sum += a[0] + b[1];
      ++segments;
    });
    benchmark::DoNotOptimize(sum);
  }
  state.counters["segments"] = static_cast<double>(segments);
}

void BM_WholePathPass(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)));
  long segments = 0;
  for (auto _ : state) {
    double sum = 0;
    segments = 0;
    visit_path_segments(PathForm::Whole, true, -1, -1, [&](long, long, const float* a, const float* b) {
      sum += a[0] + b[1];
      ++segments;
    });
    benchmark::DoNotOptimize(sum);
  }
  state.counters["segments"] = static_cast<double>(segments);
}

// The processor time this process has used, on all of its threads.
double processor_seconds() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec); };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The path for the first view at rest worked out again, on the viewer's two threads beside this
// one, as a wheel step or a resize has it done (each time for a view a little turned, so that
// nothing of the last is taken up); then the first view's once more.
void BM_PathForTheView(benchmark::State& state) {
  if (which >= 0 && which != state.range(0)) {
    state.SkipWithError("another file is read: the dome's takes a process of its own (--benchmark_filter=PathForTheView/1)");
    return;
  }
  prepare(static_cast<int>(state.range(0)));
  double turned[16];
  long turn = 0;
  double processor = 0;
  for (auto _ : state) {
    double before = processor_seconds();
    double a = 1e-6 * static_cast<double>(++turn % 2);  // a millionth of a radian, back and forth
    std::copy(model_view, model_view + 16, turned);
    turned[0] = turned[5] = std::cos(a);
    turned[1] = std::sin(a);
    turned[4] = -std::sin(a);
    screen_path_for(turned, projection, kFirstViewport, 640, 480, 0, true);
    while (screen_path_building() && !screen_path_wait(1)) continue;
    processor += processor_seconds() - before;
  }
  // The first view's own again, for the picks after.
  screen_path_for(model_view, projection, kFirstViewport, 640, 480, 0, true);
  while (screen_path_building() && !screen_path_wait(1)) continue;
  state.counters["segments"] = static_cast<double>(screen_path_segments());
  state.counters["processor_ms"] = 1000 * processor / static_cast<double>(state.iterations());
}

// A click's work: the moves under the mouse, the picked line's text, Kerfsend's verdict there.
void BM_Pick(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)));
  const int* place = kPlaces[state.range(0)][state.range(1)];
  long line = 0;
  std::size_t moves = 0;
  for (auto _ : state) {
    const std::vector<VertexLines::Run> runs = moves_of(hits_at(view_at(place[0], place[1])), places.lines());
    if (runs.empty()) {
      state.SkipWithError("no move under the mouse");
      return;
    }
    line = runs.front().line;
    moves = runs.size();
    std::string text;
    ResumeVerdict verdict{};
    if (!index.text(line, text) || !index.judge(line, -1, verdict)) std::abort();
    benchmark::DoNotOptimize(verdict);
  }
  state.counters["line"] = static_cast<double>(line);
  state.counters["moves_under_mouse"] = static_cast<double>(moves);
}

class NoPath : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override { ++vertices; }
  void end_path() override {}
  long vertices = 0;
};

// What the window does once, between its events, before a pick of any line is quick: the
// file's lines indexed; beside the reading of the path alone.
void BM_IndexTheLines(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    LineIndex fresh;
    fresh.start(file.c_str());
    while (!fresh.step(1 << 16)) {
    }
    state.counters["bytes"] = static_cast<double>(fresh.bytes());
  }
}

void BM_ReadThePath(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const Interp kept = interp;
    NoPath sink;
    if (!read_gcode_quietly(file.c_str(), sink)) std::abort();
    interp = kept;
    benchmark::DoNotOptimize(sink.vertices);
  }
}

// The file's line of each vertex, as the window keeps it.
void BM_LinesOfTheVertices(benchmark::State& state) {
  prepare(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(places.lines().run_of(places.lines().vertices() / 2));
  state.counters["bytes"] = static_cast<double>(places.lines().bytes());
  state.counters["bytes_per_vertex"] =
      static_cast<double>(places.lines().bytes()) / static_cast<double>(places.lines().vertices());
}

// Argument 0: the helix; 1, the dome, in a process of its own (a run of them all skips it); the
// second argument the place of the click.
BENCHMARK(BM_PathForTheView)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DrawnPathPass)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholePathPass)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pick)->Args({0, 0})->Args({0, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexTheLines)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReadThePath)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_LinesOfTheVertices)->Arg(0);

}  // namespace

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // The heap as the viewer keeps it: what it frees stays the process's, not faulted in again.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!file.empty()) std::remove(file.c_str());
  return 0;
}
