// write_bench.cpp - writing speed: a script of about 1,000,000 G-code lines run through the
// command loop into a file, beside a bare fprintf loop writing as many lines of the same shape.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "interpreter.h"
#include "params.h"
#include "reader.h"
#include "writer.h"

namespace {

// 99,856 holes of six lines, 100,000 circle passes of three lines and 100,000 slot passes of
// two lines: each operation at its pass limit, so that every line goes through the guard,
// the argument reader and the held command.
const char kScript[] =
    "drill_array 0 0 3.15 3.15 0.01 0.01 0 -0.1\n"
    "depth_cut 0.0001\n"
    "mill_circle 0 0 0.5 0 -9.9999\n"
    "mill_line c 0 0 1 0 0 -9.9999\n";

std::string output_name() {
  return (std::filesystem::temp_directory_path() / "kerfgen-bench.nc").string();
}

long lines_in(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "r");
  long lines = 0;
  for (int c; (c = std::getc(file)) != EOF;) lines += c == '\n';
  std::fclose(file);
  return lines;
}

void BM_KerfgenScript(benchmark::State& state) {
  std::string name = output_name();
  for (auto _ : state) {
    load_defaults();
    script = Script{fmemopen(const_cast<char*>(kScript), sizeof kScript - 1, "r"), false, false,
                    0, 0};
    writer.out = std::fopen(name.c_str(), "w");
    run_script();
    std::fclose(writer.out);
    std::fclose(script.in);
  }
  state.counters["lines"] = static_cast<double>(lines_in(name));
  std::remove(name.c_str());
}

// The same number of lines, shaped as the writer shapes them, with nothing else done.
void BM_BareFprintf(benchmark::State& state) {
  std::string name = output_name();
  const int lines = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::FILE* out = std::fopen(name.c_str(), "w");
    double x = 0;
    for (int n = 0; n < lines; ++n) {
      x += 0.01;
      switch (n % 3) {
        case 0:
          std::fprintf(out, "n%d g1 x%.5f y%.5f f%.5f\n", n, x, -x, 11.0);
          break;
        case 1:
          std::fprintf(out, "n%d g1 z%.5f f%.5f\n", n, -x, 3.0);
          break;
        default:
          std::fprintf(out, "n%d g3 x%.5f y%.5f i%.5f j%.5f f%.5f\n", n, x, -x, 0.0, 0.0, 5.0);
      }
    }
    std::fclose(out);
  }
  state.counters["lines"] = lines;
  std::remove(name.c_str());
}

}  // namespace

BENCHMARK(BM_KerfgenScript)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BareFprintf)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
