// read_bench.cpp - a generated 1,000,000-line program of mixed g1, g2 and g3 moves: read into a
// sink that counts vertices and keeps none (no window), and shown whole by the viewer's --png
// run with the path in buffer objects and, without them, in the viewer's own memory; beside a
// plain reading baseline and, where it is installed, a JavaScript G-code loader.
#include <benchmark/benchmark.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "gcode_interpreter.h"
#include "million_program.h"
#include "gcode_messages.h"
#include "gcode_reader.h"

namespace {

class CountingSink : public PathSink {
 public:
  // Keeps the last vertex only, so that the sink's own work stays out of the figure.
  void vertex(const Colour& colour, float x, float y, float z) override {
    ++vertices;
    last = {colour, x, y, z};
  }
  void end_path() override {}
  long vertices = 0;
  struct {
    Colour colour;
    float x, y, z;
  } last{};
};

std::string program;

void BM_ReadMillionLines(benchmark::State& state) {
  // The reader's console lines (the header and the end) go nowhere while it runs.
  std::fflush(stdout);
  int console = dup(1);
  int nowhere = open("/dev/null", O_WRONLY);
  dup2(nowhere, 1);
  long vertices = 0;
  for (auto _ : state) {
    interp_reset();
    CountingSink sink;
    if (!read_gcode_file(program.c_str(), sink)) std::abort();
    benchmark::DoNotOptimize(sink.last);
    vertices = sink.vertices;
  }
  std::fflush(stdout);
  dup2(console, 1);
  close(console);
  close(nowhere);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  state.counters["lines_per_second"] =
      benchmark::Counter(static_cast<double>(kLines), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["vertices"] = static_cast<double>(vertices);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}

// Baseline: the same file read line by line with fgets and every number word converted with
// strtod, with no interpretation and no arc points: the floor that reading text costs here.
void BM_BaselineFgetsStrtod(benchmark::State& state) {
  double sum = 0;
  for (auto _ : state) {
    std::FILE* in = std::fopen(program.c_str(), "r");
    if (in == nullptr) std::abort();
    char line[500];
    while (std::fgets(line, sizeof line, in) != nullptr) {
      for (char* p = line; *p != '\0'; ++p) {
        if (!std::isalpha(static_cast<unsigned char>(*p))) continue;
        sum += std::strtod(p + 1, &p);  // p now stands after the number
        --p;
      }
    }
    std::fclose(in);
    benchmark::DoNotOptimize(sum);
  }
  state.counters["lines_per_second"] =
      benchmark::Counter(static_cast<double>(kLines), benchmark::Counter::kIsIterationInvariantRate);
}

long path_vertices = 0;

// Runs a program on the generated file with its output thrown away; returns its exit status
// and its own peak memory.
int run_child(const std::vector<std::string>& command, const char* setting, long& peak_kib) {
  pid_t child = fork();
  if (child == 0) {
    int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, 1);
    if (setting != nullptr) putenv(const_cast<char*>(setting));
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void report_memory(benchmark::State& state, long peak_kib) {
  state.counters["peak_rss_MiB"] = static_cast<double>(peak_kib) / 1024;
  state.counters["bytes_per_vertex"] = static_cast<double>(peak_kib) * 1024 / static_cast<double>(path_vertices);
}

// The whole viewer, start to picture, as `Kerfdisplay FILE --png OUT` under the X display of the
// run (Xvfb). `setting` is an environment setting for the viewer, or nullptr.
void whole_picture(benchmark::State& state, const char* setting) {
  std::string picture = program + ".png";
  long peak = 0;
  for (auto _ : state) {
    if (run_child({KERFDISPLAY_PROGRAM, program, "--png", picture}, setting, peak) != 0) {
      state.SkipWithError("the viewer failed (is there an X display?)");
      break;
    }
  }
  std::remove(picture.c_str());
  report_memory(state, peak);
}

void BM_WholePictureBuffers(benchmark::State& state) { whole_picture(state, nullptr); }

// NOTE: OpenGL told to be 1.4 has no buffer objects; the viewer keeps the path's positions in
// its own memory either way, so the two should now take the same time.
void BM_WholePictureMemory(benchmark::State& state) {
  static char setting[] = "MESA_GL_VERSION_OVERRIDE=1.4";
  whole_picture(state, setting);
}

// A widely used JavaScript G-code loader (npm's gcode-toolpath), parsing the same file with
// callbacks that keep nothing; run only when KERF_JS_LOADER names the folder it is installed in.
void BM_JavaScriptLoader(benchmark::State& state) {
  const char* folder = std::getenv("KERF_JS_LOADER");
  if (folder == nullptr) {
    state.SkipWithError("KERF_JS_LOADER is not set");
    return;
  }
  long peak = 0;
  for (auto _ : state) {
    if (run_child({"node", JS_LOADER_SCRIPT, folder, program}, nullptr, peak) != 0) {
      state.SkipWithError("the JavaScript loader failed");
      break;
    }
  }
  report_memory(state, peak);
}

BENCHMARK(BM_ReadMillionLines)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_BaselineFgetsStrtod)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_WholePictureBuffers)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WholePictureMemory)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_JavaScriptLoader)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  program = write_million_program();
  {
    interp_reset();
    CountingSink sink;
    std::fflush(stdout);
    message_stream = nullptr;
    read_gcode_file(program.c_str(), sink);
    message_stream = stdout;
    path_vertices = sink.vertices;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(program.c_str());
  return 0;
}
