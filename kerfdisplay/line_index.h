// line_index.h - the program's lines as Kerfsend reads them for a resume, with the reading's
// place kept every few thousand lines: the text of any line, and Kerfsend's verdict on a resume
// there (gcode_resume.h), each a short reading away however long the program. Built a slice at a
// time, between the window's events; whatever is asked before it is built reads on as far as it
// needs. The reading's global state is left as each call found it.
#pragma once

#include <string>
#include <vector>

#include "files.h"
#include "gcode_resume.h"

class LineIndex {
 public:
  // The program, by the name the viewer was given; nothing is read yet.
  void start(const char* name);
  // Reads on by about `lines` lines; true once the whole file is read (or it cannot be).
  bool step(long lines);
  bool done() const { return !started_ || done_; }
  // File line `line` (from 1) without its line end, the first kLineMax characters of a longer
  // one; false when the file has no such line or cannot be read.
  bool text(long line, std::string& text);
  // Kerfsend's verdict on a resume at `from`, with `confirmed` the journal's last confirmed line
  // (-1: none of this program); false when the file cannot be read.
  bool judge(long from, long confirmed, ResumeVerdict& verdict);
  // The program's size and time when the reading began; false when not known.
  bool stamp(FileStamp& stamp) const;
  // False when the file now has another size or time than then (written again since), or
  // cannot be opened.
  bool unchanged() const;
  std::size_t bytes() const;

 private:
  std::FILE* open() const;
  // Reads on until the reading stands at line `until` (0: no bound) or `lines` more lines were
  // read; the file open at the reading's offset.
  void read_on(std::FILE* file, long until, long lines);
  bool read_to(long until);
  // The last place at or before line `line` that the reading has passed.
  const ReadingPlace& place_for(long line) const;

  std::string name_;
  std::vector<ReadingPlace> places_;  // every kPlaceEvery lines from line 1
  ReadingPlace reading_{};            // where the reading stands
  std::vector<long> origins_;         // the lines that set an origin, so far
  FileStamp stamp_{};
  bool stamped_ = false;
  bool started_ = false;
  bool done_ = false;
};
