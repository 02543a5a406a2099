// path_csv.cpp - the tool path written as comma-separated text, a vertex a row.
#include "path_csv.h"

#include <cerrno>
#include <cmath>

#include "files.h"
#include "gcode_interpreter.h"
#include "gcode_reader.h"
#include "gcode_summary.h"

CsvSink::CsvSink(std::FILE* out) : out_(out) {
  failed_ = std::fprintf(out_, "line,kind,x,y,z\n") < 0;
}

namespace {

// The float that the window draws: the text and the picture show one path. A value that rounds
// to nothing is written as 0.000000, not -0.000000 (sin of pi is not quite 0).
double shown(float v) { return std::fabs(v) < 5e-7f ? 0.0 : static_cast<double>(v); }

}  // namespace

void CsvSink::vertex(const Colour&, float x, float y, float z) {
  if (failed_) return;
  failed_ = std::fprintf(out_, "%ld,%s,%.6f,%.6f,%.6f\n", line_, kind_, shown(x), shown(y), shown(z)) < 0;
}

void CsvSink::move(const PathMove& m) {
  line_ = m.line;
  kind_ = m.travel ? "travel" : m.kind == MoveKind::Rapid ? "rapid" : "feed";
  PathSink::move(m);
}

void CsvSink::arc(const PathArc& a) {
  line_ = a.line;
  kind_ = a.travel ? "travel" : a.clockwise ? "cw" : "ccw";
  PathSink::arc(a);
}

int write_path_file(const char* name, const char* csv) {
  // Checked before the reading, so that a long reading never ends in nothing.
  std::FILE* out = std::fopen(csv, "w");
  if (out == nullptr) {
    std::printf("\nCan't write path file %s: %s.\n", csv, open_failure(errno, true));
    return 1;
  }
  interp_reset();
  CsvSink sink(out);
  bool read = read_gcode_file(name, sink);
  bool written = !sink.failed() && std::fflush(out) == 0 && !std::ferror(out);
  written = std::fclose(out) == 0 && written;
  if (!read) return 1;
  print_summary(stdout, interp.job);
  if (!written) {
    std::printf("\nCan't write path file %s.\n", csv);
    return 1;
  }
  return 0;
}
