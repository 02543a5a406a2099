// job_place.cpp - the job's place on the path, and the journal watched for it.
#include "job_place.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <new>
#include <sys/stat.h>


void PlaceSink::move(const PathMove& m) {
  line_ = m.line;
  end_ = {m.x, m.y, m.z};
  PathSink::move(m);
}

void PlaceSink::arc(const PathArc& a) {
  line_ = a.line;
  end_ = {a.x, a.y, a.z};
  PathSink::arc(a);
}

void PlaceSink::vertex(const Colour& colour, float x, float y, float z) {
  next_.vertex(colour, x, y, z);
  ++vertices_;
  lines_.add(line_);
  if (!places_ || !kept_) return;
  try {
    if (records_.empty() || records_.back().line != line_) records_.push_back({line_, vertices_, 0, 0, 0});
    Record& r = records_.back();
    r.vertices = vertices_;
    // The line leaves the tool at its move's end, not at its last chord's.
    r.x = end_.x;
    r.y = end_.y;
    r.z = end_.z;
  } catch (const std::bad_alloc&) {
    kept_ = false;
    records_.clear();
    records_.shrink_to_fit();
  }
}

void PlaceSink::end_path() {
  lines_.finish();
  next_.end_path();
}

JobPlace PlaceSink::after(long done) const {
  // The last line that moves at or before `done`; the first record (line 0) is the origin.
  auto beyond = std::upper_bound(records_.begin(), records_.end(), done,
                                 [](long line, const Record& r) { return line < r.line; });
  if (beyond == records_.begin()) return {0, 0, 0, 0};
  const Record& r = *(beyond - 1);
  return {r.vertices, r.x, r.y, r.z};
}

long line_number(const char* text) {
  long n = 0;
  if (*text == '\0') return 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return 0;
    if (n > (2147483647L - 9) / 10) return 0;  // far past any file
    n = n * 10 + (*c - '0');
  }
  return n;
}

JournalWatch::JournalWatch(const char* program) : program_(program), name_(std::string(program) + ".journal") {}

bool JournalWatch::look(JobState& state) {
  struct stat st;
  bool exists = stat(name_.c_str(), &st) == 0;
  long long size = exists ? static_cast<long long>(st.st_size) : -1;
  long long modified = exists ? static_cast<long long>(st.st_mtime) : 0;
  // NOTE: a journal is rewritten within the same second with the same length ("confirmed 41"
  // after "confirmed 40"); while its time is that recent it is read at every look.
  bool recent = exists && modified + 2 >= static_cast<long long>(std::time(nullptr));
  bool same = looked_ && exists == existed_ && size == size_ && modified == modified_ && !recent;
  looked_ = true;
  existed_ = exists;
  size_ = size;
  modified_ = modified;
  if (same) {
    state = last_;
    return false;
  }
  JobState now;
  now.read = journal_read(program_.c_str(), &now.confirmed, &now.complete);
  bool changed = now.read != last_.read || now.confirmed != last_.confirmed || now.complete != last_.complete ||
                 !first_told_;
  first_told_ = true;
  last_ = now;
  state = now;
  return changed;
}

std::string job_title(const JobState& state, long lines) {
  char text[128];
  if (state.read == JournalRead::Missing) return " - no job journal yet";
  if (state.read == JournalRead::Damaged) return " - the job journal cannot be read";
  if (state.confirmed > lines) {
    std::snprintf(text, sizeof text, " - line %ld, past the end of the program's %ld lines", state.confirmed, lines);
    return text;
  }
  long percent = state.complete || lines == 0 ? 100 : static_cast<long>(static_cast<long long>(state.confirmed) * 100 / lines);
  std::snprintf(text, sizeof text, " - line %ld of %ld (%ld%%)%s", state.confirmed, lines, percent,
                state.complete ? ", complete" : "");
  return text;
}
