// vertex_lines.cpp - the file line of each path vertex, as runs of small numbers.
#include "vertex_lines.h"

#include <algorithm>
#include <new>

namespace {

// A run is found by a binary search among the marks and at most this many runs decoded.
constexpr long kMarkEvery = 64;

void put(std::vector<unsigned char>& codes, unsigned long value) {
  while (value >= 0x80) {
    codes.push_back(static_cast<unsigned char>(value | 0x80));
    value >>= 7;
  }
  codes.push_back(static_cast<unsigned char>(value));
}

unsigned long get(const std::vector<unsigned char>& codes, std::size_t& at) {
  unsigned long value = 0;
  for (int shift = 0;; shift += 7) {
    unsigned char c = codes[at++];
    value |= static_cast<unsigned long>(c & 0x7f) << shift;
    if ((c & 0x80) == 0) return value;
  }
}

}  // namespace

void VertexLines::close_run() {
  if (closed_ % kMarkEvery == 0) marks_.push_back({first_, closed_line_, codes_.size()});
  put(codes_, static_cast<unsigned long>(line_ - closed_line_));
  put(codes_, static_cast<unsigned long>(count_));
  ++closed_;
  closed_line_ = line_;
}

void VertexLines::add(long line) {
  ++vertices_;
  if (!kept_) return;
  if (count_ > 0 && line == line_) {
    ++count_;
    return;
  }
  try {
    if (count_ > 0) close_run();
  } catch (const std::bad_alloc&) {
    kept_ = false;
    codes_.clear();
    codes_.shrink_to_fit();
    marks_.clear();
    marks_.shrink_to_fit();
    return;
  }
  line_ = std::max(line, line_);
  first_ = vertices_ - 1;
  count_ = 1;
}

VertexLines::Run VertexLines::run_of(long vertex) const {
  if (!kept_ || vertex < 0 || vertex >= vertices_) return {0, 0, 0};
  if (vertex >= first_) return {line_, first_, count_};
  auto mark = std::upper_bound(marks_.begin(), marks_.end(), vertex,
                               [](long v, const Mark& m) { return v < m.first; });
  if (mark == marks_.begin()) return {0, 0, 0};
  --mark;
  long line = mark->line_before, first = mark->first;
  std::size_t at = mark->at;
  while (at < codes_.size()) {
    line += static_cast<long>(get(codes_, at));
    long count = static_cast<long>(get(codes_, at));
    if (vertex < first + count) return {line, first, count};
    first += count;
  }
  return {0, 0, 0};
}

void VertexLines::finish() {
  codes_.shrink_to_fit();
  marks_.shrink_to_fit();
}

std::size_t VertexLines::bytes() const { return codes_.capacity() + marks_.capacity() * sizeof(Mark); }
