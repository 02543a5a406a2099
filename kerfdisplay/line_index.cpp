// line_index.cpp - places in the reading of a program for a resume, kept every few thousand
// lines.
#include "line_index.h"

#include <algorithm>
#include <climits>
#include <new>

namespace {

// A place every so many lines: the state before any line is at most this many lines away
// (about 5 ms of reading), for about 1.7 KB a place.
constexpr long kPlaceEvery = 8192;

}  // namespace

void LineIndex::start(const char* name) {
  KeptReading keep;
  name_ = name;
  places_.clear();
  origins_.clear();
  reading_ = reading_start();
  done_ = false;
  started_ = true;
  try {
    places_.push_back(reading_);
  } catch (const std::bad_alloc&) {
    done_ = true;
  }
  std::FILE* file = open();
  stamped_ = file != nullptr && file_stamp(file, stamp_);
  if (file != nullptr) std::fclose(file);
  else done_ = true;
}

std::FILE* LineIndex::open() const {
  // NOTE: in binary, so that an offset from ftell is one on every system (a text stream's is not
  // under Windows for a file of bare LF line ends); read_line drops a CR before the LF.
  return open_file(name_.c_str(), "rb");
}

void LineIndex::read_on(std::FILE* file, long until, long lines) {
  interp = reading_.state;
  Line line;
  try {
    for (; lines > 0 && (until <= 0 || reading_.line < until); --lines) {
      if ((reading_.line - 1) % kPlaceEvery == 0 && places_.back().line < reading_.line) {
        reading_.offset = tell_offset(file);
        reading_.state = interp;
        places_.push_back(reading_);
      }
      const int c = std::getc(file);
      if (c == EOF) {
        done_ = true;
        break;
      }
      read_line(file, c, line);
      if (is_sent(line)) {
        track_line(line.text, reading_.line, reading_.at);
        if (reading_.at.origin_line == reading_.line) origins_.push_back(reading_.line);
      }
      ++reading_.line;
    }
  } catch (const std::bad_alloc&) {
    done_ = true;  // what is read so far still serves; the rest is read when asked for
  }
  reading_.offset = tell_offset(file);
  reading_.state = interp;
}

bool LineIndex::step(long lines) {
  if (!started_ || done_) return true;
  KeptReading keep;
  std::FILE* file = open();
  if (file == nullptr || !seek_offset(file, reading_.offset)) {
    done_ = true;
  } else {
    read_on(file, 0, lines);
  }
  if (file != nullptr) std::fclose(file);
  return done_;
}

bool LineIndex::read_to(long until) {
  if (!started_) return false;
  if (done_ || reading_.line >= until) return true;
  KeptReading keep;
  std::FILE* file = open();
  if (file == nullptr) return false;
  const bool at = seek_offset(file, reading_.offset);
  if (at) read_on(file, until, LONG_MAX);
  std::fclose(file);
  return at;
}

const ReadingPlace& LineIndex::place_for(long line) const {
  if (reading_.line <= line) return reading_;
  auto beyond = std::upper_bound(places_.begin(), places_.end(), line,
                                 [](long l, const ReadingPlace& p) { return l < p.line; });
  return *(beyond - 1);  // the first place is line 1's
}

bool LineIndex::text(long line, std::string& text) {
  if (line < 1 || !read_to(line)) return false;
  const ReadingPlace& place = place_for(line);
  std::FILE* file = open();
  if (file == nullptr) return false;
  bool found = false;
  if (seek_offset(file, place.offset)) {
    Line read;
    long number = place.line;
    for (int c; !found && (c = std::getc(file)) != EOF; ++number) {
      read_line(file, c, read);
      found = number == line;
    }
    if (found) text.assign(read.text, static_cast<std::size_t>(std::min(read.length, kLineMax)));
  }
  std::fclose(file);
  return found;
}

bool LineIndex::judge(long from, long confirmed, ResumeVerdict& verdict) {
  // The origin lines up to the confirmed one are known once the reading has passed it.
  if (!read_to(std::max(from, confirmed + 1))) return false;
  KeptReading keep;
  std::FILE* file = open();
  if (file == nullptr) return false;
  verdict = judge_resume(file, place_for(from), from, confirmed, &origins_);
  std::fclose(file);
  return true;
}

bool LineIndex::stamp(FileStamp& stamp) const {
  stamp = stamp_;
  return stamped_;
}

bool LineIndex::unchanged() const {
  std::FILE* file = open();
  if (file == nullptr) return false;
  FileStamp now{};
  // Without a stamp from the start there is nothing to tell a change by.
  const bool same = !stamped_ || (file_stamp(file, now) && same_stamp(now, stamp_));
  std::fclose(file);
  return same;
}

std::size_t LineIndex::bytes() const {
  return places_.capacity() * sizeof(ReadingPlace) + origins_.capacity() * sizeof(long);
}
