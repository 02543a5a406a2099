// million_program.h - the benchmarks' generated programs: the 1,000,000-line helix and the dome.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

constexpr int kLines = 1000000;

// Kerfgen-style lines round a circle of radius 1: a chord in g1, then a clockwise and a
// counter-clockwise arc with incremental centres, stepping down in Z now and then.
inline std::string write_million_program(int lines_wanted = kLines) {
  std::string name = (std::filesystem::temp_directory_path() / "kerfdisplay-bench-XXXXXX").string();
  int fd = mkstemp(name.data());
  if (fd < 0) std::abort();
  std::FILE* out = fdopen(fd, "w");
  std::fprintf(out, "; generated for the reading benchmark\ng90\ng91.1\n");
  double angle = 0;
  double z = 0;
  int number = 0;
  auto point = [](double a, double& x, double& y) {
    x = std::cos(a);
    y = std::sin(a);
  };
  double x0 = 1, y0 = 0;
  for (int line = 3; line < lines_wanted; ++line) {
    double x1, y1;
    switch (line % 3) {
      case 0:
        angle += 0.3;
        point(angle, x1, y1);
        if (line % 300 == 0) z -= 0.01;
        std::fprintf(out, "n%d g1 x%.5f y%.5f z%.5f f5.00000\n", number++, x1, y1, z);
        break;
      case 1:
        angle -= 0.2;
        point(angle, x1, y1);
        std::fprintf(out, "n%d g2 x%.5f y%.5f i%.5f j%.5f f5.00000\n", number++, x1, y1, -x0, -y0);
        break;
      default:
        angle += 0.5;
        point(angle, x1, y1);
        std::fprintf(out, "n%d g3 x%.5f y%.5f i%.5f j%.5f f5.00000\n", number++, x1, y1, -x0, -y0);
        break;
    }
    x0 = x1;
    y0 = y1;
  }
  std::fprintf(out, "m30\n");
  std::fclose(out);
  return name;
}


// A finishing raster over a dome (a sphere of radius 2 whose top touches Z 0), in g1 moves of
// 0.002 along X across [-1, 1], back and forth, the rows spread evenly over [-1, 1] in Y, until
// `lines` lines; cut with a quarter-inch mill, as its first line says.
inline std::string write_dome_program(int lines) {
  std::string name = (std::filesystem::temp_directory_path() / "kerfdisplay-dome-XXXXXX").string();
  int fd = mkstemp(name.data());
  if (fd < 0) std::abort();
  std::FILE* out = fdopen(fd, "w");
  std::fprintf(out, "; Tool diameter set to 0.250000\ng90\n");
  constexpr int kSteps = 1000;
  int rows = std::max(1, (lines - 3) / (kSteps + 1));
  for (int row = 0; row < rows; ++row) {
    double y = rows == 1 ? 0 : -1 + 2.0 * row / (rows - 1);
    for (int step = 0; step <= kSteps; ++step) {
      double x = -1 + 0.002 * (row % 2 == 0 ? step : kSteps - step);
      double z = std::sqrt(4 - x * x - y * y) - 2;
      std::fprintf(out, "g1 x%.4f y%.4f z%.4f f20\n", x, y, z);
    }
  }
  std::fprintf(out, "m30\n");
  std::fclose(out);
  return name;
}
