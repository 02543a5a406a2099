// recording_sink.h - a sink that keeps every vertex, and helpers to run the interpreter on text
// and on files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "gcode_interpreter.h"
#include "gcode_sink.h"

struct Vertex {
  Colour colour;
  float x, y, z;
};

class RecordingSink : public PathSink {
 public:
  void vertex(const Colour& colour, float x, float y, float z) override {
    vertices.push_back({colour, x, y, z});
  }
  void end_path() override { ++ends; }
  std::vector<Vertex> vertices;
  int ends = 0;
};

inline bool same_colour(const Colour& a, const Colour& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// Interprets the lines in order (stopping at an end word) from a fresh state; returns what
// they printed on standard output. Unless `placed` is false the tool stands at a known origin,
// so that the first move is a move like any other rather than the jump from the assumed start.
inline std::string run_lines(const std::vector<std::string>& lines, RecordingSink& sink,
                             bool placed = true) {
  interp_reset();
  interp.placed = placed;
  testing::internal::CaptureStdout();
  for (const std::string& line : lines)
    if (interpret_line(line.c_str(), sink)) break;
  return testing::internal::GetCapturedStdout();
}

// A folder of its own for each test, removed afterwards, with the G-code file job.nc in it.
class FileTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "kerfdisplay-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    name_ = (folder_ / "job.nc").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  void write(const std::string& text) { std::ofstream(name_, std::ios::binary) << text; }

  std::filesystem::path folder_;
  std::string name_;
};
