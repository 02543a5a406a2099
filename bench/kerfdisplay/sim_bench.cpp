// sim_bench.cpp - the part simulation: the plate example (Kerfgen's own output) at the default
// grid, and a generated 100,000-line pocketing job at 1,000 x 1,000 cells, each beside the
// reader alone on the same file; the same job on a stock four times as wide each way at the same
// cell size (16 times the cells, the same cells cut); the whole --stl run's peak memory; the
// part's picture beside the path's; and a finishing raster over a dome, sloping moves all, as
// `--sim --png` at three cell sizes, beside a baseline build of the viewer (KERF_BASELINE_VIEWER
// names its program) in the same run.
#include <benchmark/benchmark.h>

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
#include "gcode_messages.h"
#include "gcode_reader.h"
#include "simulation.h"

#include "million_program.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPocketLines = 100000;

std::string folder;
std::string plate;   // Kerfgen's G-code for examples/plate.txt
std::string pocket;  // the generated pocketing job
std::string dome;    // the generated finishing raster over a dome
constexpr int kDomeLines = 100000;

class NoSink : public PathSink {
 public:
  void vertex(const Colour&, float x, float, float) override { last = x; }
  void end_path() override {}
  float last = 0;
};

// A 4 x 4 pocket cleared by a quarter-inch mill in rows 0.1 apart, each row written as moves of
// 0.05 (as a CAM program writes a contour), 0.01 deeper each layer, until 100,000 lines.
std::string write_pocket() {
  std::string name = folder + "/pocket.nc";
  std::FILE* out = std::fopen(name.c_str(), "w");
  if (out == nullptr) std::abort();
  std::fprintf(out, "; Tool diameter set to 0.250000\ng1 z0.1 f20\ng1 x-2 y-2\n");
  int lines = 3;
  double z = 0;
  while (lines < kPocketLines - 1) {
    z -= 0.01;
    std::fprintf(out, "g1 x-2 y-2 z%.4f\n", z);
    ++lines;
    for (int row = 0; row <= 40 && lines < kPocketLines - 1; ++row) {
      double y = -2 + row * 0.1;
      bool forward = row % 2 == 0;
      std::fprintf(out, "g1 y%.4f\n", y);
      ++lines;
      for (int step = 1; step <= 80 && lines < kPocketLines - 1; ++step, ++lines)
        std::fprintf(out, "g1 x%.4f\n", forward ? -2 + step * 0.05 : 2 - step * 0.05);
    }
  }
  std::fprintf(out, "m30\n");
  std::fclose(out);
  return name;
}

void read_only(benchmark::State& state, const std::string& name) {
  message_stream = nullptr;
  for (auto _ : state) {
    interp_reset();
    NoSink sink;
    read_gcode_file(name.c_str(), sink);
    benchmark::DoNotOptimize(sink.last);
  }
  message_stream = stdout;
}

void simulate(benchmark::State& state, const std::string& name, const SimOptions& options) {
  std::fflush(stdout);
  long cells = 0;
  for (auto _ : state) {
    Part part;
    if (!simulate_file(name.c_str(), options, part, false)) {
      state.SkipWithError("the simulation refused the job");
      break;
    }
    cells = static_cast<long>(part.nx) * part.ny;
    benchmark::DoNotOptimize(part.height[0]);
    release_part(part);
  }
  state.counters["cells"] = static_cast<double>(cells);
}

void BM_PlateReaderAlone(benchmark::State& state) { read_only(state, plate); }
void BM_PlateSimulated(benchmark::State& state) { simulate(state, plate, SimOptions{}); }

void BM_PocketReaderAlone(benchmark::State& state) { read_only(state, pocket); }

// The stock round the pocket, 4.4 wide, at cells of 0.0044: 1,000 x 1,000 cells, or with
// `state.range(0)` 4 the same cells on a stock four times as wide each way.
SimOptions pocket_options(int widen) {
  SimOptions options{};
  double half = 2.2 * widen;
  options.stock_given = true;
  options.stock = {-half, -half, -0.5, half, half, 0};
  options.cell = 0.0044;
  return options;
}

void BM_PocketSimulated(benchmark::State& state) {
  simulate(state, pocket, pocket_options(static_cast<int>(state.range(0))));
}

// The program as a user runs it on the pocketing job's 1,000 x 1,000 cells, with `extra` after
// the options; returns its exit status and its peak memory.
int run_viewer(const std::vector<std::string>& extra, long& peak_kib) {
  std::vector<std::string> words = {"Kerfdisplay", pocket, "--stock", "-2.2", "-2.2", "-0.5", "2.2", "2.2", "0",
                                    "--resolution", "0.0044"};
  words.insert(words.end(), extra.begin(), extra.end());
  pid_t child = fork();
  if (child == 0) {
    int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, 1);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    execv(KERFDISPLAY_PROGRAM, argv.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  peak_kib = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// `Kerfdisplay FILE --stl OUT`: time, and the whole program's peak memory for each cell.
void BM_PocketStlRun(benchmark::State& state) {
  std::string out = folder + "/pocket.stl";
  long peak_kib = 0;
  for (auto _ : state) {
    if (run_viewer({"--stl", out}, peak_kib) != 0) {
      state.SkipWithError("the --stl run failed");
      break;
    }
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(peak_kib) / 1024;
  state.counters["bytes_per_cell"] = static_cast<double>(peak_kib) * 1024 / 1e6;
  state.counters["stl_MiB"] = static_cast<double>(fs::file_size(out)) / (1024 * 1024);
}

// `--sim --png` (the part drawn) beside `--png` (the path), under the run's X display (Xvfb).
void picture(benchmark::State& state, bool part) {
  std::string out = folder + "/pocket.png";
  long peak_kib = 0;
  for (auto _ : state) {
    std::vector<std::string> extra = {"--png", out};
    if (part) extra.push_back("--sim");
    if (run_viewer(extra, peak_kib) != 0) {
      state.SkipWithError("the viewer failed (is there an X display?)");
      break;
    }
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(peak_kib) / 1024;
}

// `PROGRAM DOME --sim --png OUT --resolution CELL`, the cell in thousandths (state.range(0)).
void dome_part(benchmark::State& state, const char* viewer) {
  std::string out = folder + "/dome.png";
  char cell[32];
  std::snprintf(cell, sizeof cell, "%g", static_cast<double>(state.range(0)) / 1000);
  for (auto _ : state) {
    pid_t child = fork();
    if (child == 0) {
      int nowhere = open("/dev/null", O_WRONLY);
      dup2(nowhere, 1);
      std::vector<std::string> words = {"Kerfdisplay", dome, "--sim", "--png", out, "--resolution", cell};
      std::vector<char*> argv;
      for (std::string& w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      execv(viewer, argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the viewer failed (is there an X display?)");
      break;
    }
  }
}

void BM_DomePart(benchmark::State& state) { dome_part(state, KERFDISPLAY_PROGRAM); }

// The simulation alone, in this process: the cells inside each lower end's disc lowered at once,
// or (state.range(1) 1) every covered cell worked out alone, as the main line does.
void BM_DomeSimulated(benchmark::State& state) {
  SimOptions options{};
  options.cell = static_cast<double>(state.range(0)) / 1000;
  options.cell_by_cell = state.range(1) != 0;
  simulate(state, dome, options);
}

// The main line's viewer before this build (KERF_BASELINE_VIEWER).
void BM_BaselineDomePart(benchmark::State& state) {
  const char* baseline = std::getenv("KERF_BASELINE_VIEWER");
  if (baseline == nullptr) {
    state.SkipWithError("KERF_BASELINE_VIEWER is not set");
    return;
  }
  dome_part(state, baseline);
}

void BM_PocketPathPicture(benchmark::State& state) { picture(state, false); }
void BM_PocketPartPicture(benchmark::State& state) { picture(state, true); }

BENCHMARK(BM_PlateReaderAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlateSimulated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PocketReaderAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PocketSimulated)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PocketStlRun)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PocketPathPicture)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PocketPartPicture)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DomeSimulated)->ArgsProduct({{10, 2, 1}, {0, 1}})->Unit(benchmark::kSecond)->Iterations(1);
// Cells of 0.01, 0.002 and 0.001, each run once: the baseline takes minutes on the finest.
BENCHMARK(BM_DomePart)->Arg(10)->Arg(2)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_BaselineDomePart)->Arg(10)->Arg(2)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string pattern = (fs::temp_directory_path() / "kerfdisplay-sim-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  folder = pattern;
  plate = folder + "/plate.nc";
  std::string command = "cd '" + folder + "' && '" KERFGEN_PROGRAM "' '" PLATE_SCRIPT "' plate.nc </dev/null >/dev/null";
  if (std::system(command.c_str()) != 0) return 1;
  pocket = write_pocket();
  dome = write_dome_program(kDomeLines);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(dome.c_str());
  fs::remove_all(folder);
  return 0;
}
