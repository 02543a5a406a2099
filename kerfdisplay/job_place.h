// job_place.h - where a job stands on its tool path: the path's vertices up to each file line,
// the position reached there, and the job's journal watched for the line the controller has
// confirmed. No window here: the window draws what these say.
#pragma once

#include <string>
#include <vector>

#include "journal_file.h"
#include "gcode_sink.h"
#include "vertex_lines.h"

// The tool path up to a file line: its first `vertices` vertices (the assumed start at the
// origin is the first), the tool at (x, y, z), in the file's own units.
struct JobPlace {
  long vertices;
  double x, y, z;
};

// Passes the path on to `next` as vertices and notes the file line of each vertex (lines());
// with places kept, also line by line how many vertices it had and where the tool stood, from
// the moves' own lines and ends: one record a line that moves.
class PlaceSink : public PathSink {
 public:
  explicit PlaceSink(PathSink& next) : next_(next) {}
  // Whether the places are kept (for --line and --follow); before the reading.
  void keep_places(bool places) { places_ = places; }
  void vertex(const Colour& colour, float x, float y, float z) override;
  void end_path() override;
  void move(const PathMove& m) override;
  void arc(const PathArc& a) override;
  // False when there was no memory for the records: no place can then be told.
  bool kept() const { return kept_; }
  // The file line of each vertex the path has, as runs of one line.
  const VertexLines& lines() const { return lines_; }
  // The place once lines 1 to `done` are done (0: none; past the end: the whole path).
  JobPlace after(long done) const;

 private:
  struct Record {
    long line;      // the file line
    long vertices;  // the path's vertices up to its end
    double x, y, z; // where it leaves the tool
  };
  struct Place {
    double x, y, z;
  };
  PathSink& next_;
  long line_ = 0;        // of the move being drawn; 0 for the assumed start
  Place end_ = {0, 0, 0};
  std::vector<Record> records_;
  VertexLines lines_;
  long vertices_ = 0;
  bool places_ = true;
  bool kept_ = true;
};

// Reads a file line number as the command line gives it: digits only, from 1 on. Returns 0
// for anything else.
long line_number(const char* text);

// What the journal says of the job, as the window's title shows it.
struct JobState {
  JournalRead read = JournalRead::Missing;
  long confirmed = 0;
  bool complete = false;
};

// The journal of one program, looked at a few times a second: a stat each look, and the file
// read only when it changed (or so lately that a clock of whole seconds could hide a change).
class JournalWatch {
 public:
  explicit JournalWatch(const char* program);
  // True when the journal now says something else than at the last look (or at the first).
  bool look(JobState& state);

 private:
  std::string program_;
  std::string name_;
  bool looked_ = false;
  bool first_told_ = false;
  bool existed_ = false;
  long long size_ = -1;
  long long modified_ = 0;
  JobState last_;
};

// The title's tail for the job's state, in a program of `lines` lines: " - line 40 of 120 (33%)".
std::string job_title(const JobState& state, long lines);
