// path_csv.h - the tool path as text, a vertex a row, for other tools (and tests) to read.
#pragma once

#include <cstdio>

#include "gcode_sink.h"

// Writes each vertex as "line,kind,x,y,z": the file line it comes from (0 for the assumed start
// at the origin), its kind (feed, rapid, cw, ccw, travel) and X, Y, Z in the file's own unit
// with six decimals, after the header line. Stops writing once a write fails.
class CsvSink : public PathSink {
 public:
  explicit CsvSink(std::FILE* out);
  void vertex(const Colour& colour, float x, float y, float z) override;
  void end_path() override {}
  void move(const PathMove& m) override;
  void arc(const PathArc& a) override;
  bool failed() const { return failed_; }

 private:
  std::FILE* out_;
  long line_ = 0;
  const char* kind_ = "travel";
  bool failed_ = false;
};

// Kerfdisplay FILE --path OUT.csv: reads the file as the window would (its messages and the
// summary on the console) and writes its path to `csv`, without a display. Returns the exit
// status: 0, or 1 after saying why (the file cannot be written).
int write_path_file(const char* name, const char* csv);
