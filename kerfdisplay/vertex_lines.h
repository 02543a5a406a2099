// vertex_lines.h - the file line of every vertex of the tool path, kept compact: the path's
// vertices come in runs of one line each (a move's one vertex, an arc's 32), kept as two small
// numbers a run, so that a million-line program takes a few megabytes at most.
#pragma once

#include <cstddef>
#include <vector>

class VertexLines {
 public:
  // The path's next vertex is of file line `line` (0: the assumed start at the origin). The
  // lines come as the reading meets them: never lower than the last.
  void add(long line);

  // The run of vertices that holds `vertex`: its line, its first vertex and how many it has;
  // {0, 0, 0} for a vertex the path does not have.
  struct Run {
    long line, first, count;
  };
  Run run_of(long vertex) const;
  // The path is read: the room kept for more runs is given back.
  void finish();

  long vertices() const { return vertices_; }
  // False when there was no memory for the runs: no vertex's line can then be told.
  bool kept() const { return kept_; }
  std::size_t bytes() const;

 private:
  void close_run();
  // The runs before the open one, each as its line's step from the run before and its count,
  // in 7-bit groups (a step of 1 and a count below 128 take two bytes).
  std::vector<unsigned char> codes_;
  // Where decoding may begin: every 64 runs, the run's first vertex, the line before it
  // and its place in codes_.
  struct Mark {
    long first, line_before;
    std::size_t at;
  };
  std::vector<Mark> marks_;
  long closed_ = 0;        // runs in codes_
  long closed_line_ = 0;   // the line of the last of them
  long line_ = 0, first_ = 0, count_ = 0;  // the open run
  long vertices_ = 0;
  bool kept_ = true;
};
