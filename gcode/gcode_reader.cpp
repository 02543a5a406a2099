// gcode_reader.cpp - reads a G-code file line by line into the interpreter, without allocating per
// line, with a progress line on a terminal while a large file is read.
#include "gcode_reader.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "files.h"
#include "gcode_interpreter.h"
#include "gcode_messages.h"

double progress_interval_seconds = 0.25;

namespace {

// The file is read in large blocks and split into lines here, so that a line of any length,
// or one holding NUL bytes, is still exactly one line.
struct LineSource {
  std::FILE* file;
  char block[1 << 16];
  std::size_t at, end;
  long long consumed;  // bytes read from the file so far, the block's unread ones included
};

LineSource source;
char line[kLineChars + 1];

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Reads the next line into `line`, without its newline; a carriage return before the newline is
// dropped as well, as text-mode reading does with files written on Windows. Returns false at the
// end of the file (or on a read error); sets `cut` when the line was longer than kLineChars and
// what was left off holds program text (not only comments, blanks or a line end's CR).
bool next_line(std::size_t& length, bool& cut) {
  length = 0;
  cut = false;
  bool any = false;
  bool past = false;  // characters were left off
  CommentScan scan = {false, false};
  for (;;) {
    if (source.at == source.end) {
      source.at = 0;
      source.end = std::fread(source.block, 1, sizeof source.block, source.file);
      source.consumed += static_cast<long long>(source.end);
      if (source.end == 0) break;
    }
    any = true;
    const char* from = source.block + source.at;
    std::size_t available = source.end - source.at;
    const char* newline = static_cast<const char*>(std::memchr(from, '\n', available));
    std::size_t span = newline != nullptr ? static_cast<std::size_t>(newline - from) : available;
    std::size_t room = kLineChars - length;
    std::size_t taken = span < room ? span : room;
    std::memcpy(line + length, from, taken);
    length += taken;
    if (span > taken) {
      if (!past) {
        past = true;
        // Whole-line comments and pauses have no program text at all.
        scan.to_end = line[0] == ';' || line[0] == ':' || line[0] == '%';
        for (std::size_t k = 0; k < length; ++k) is_program_text(line[k], scan);
      }
      for (std::size_t k = taken; k < span && !cut; ++k)
        cut = is_program_text(from[k], scan) && !is_blank(from[k]);
    }
    source.at += span;
    if (newline != nullptr) {
      ++source.at;
      if (!past && length > 0 && line[length - 1] == '\r') --length;
      break;
    }
  }
  line[length] = '\0';
  return any;
}

// The share of the file read, on a terminal only, refreshed at most every interval.
class Progress {
 public:
  explicit Progress(std::FILE* file) {
    struct stat st;
    terminal_ = message_stream == stdout && isatty(fileno(stdout));
    on_ = (terminal_ || progress_listener != nullptr) && fstat(fileno(file), &st) == 0 && st.st_size > 0;
    size_ = on_ ? static_cast<long long>(st.st_size) : 1;
    last_ = std::chrono::steady_clock::now();
  }
  void update(long lines) {
    // The clock is read every 4096 lines, so that it costs nothing next to the reading.
    if (!on_ || lines % 4096 != 0) return;
    auto now = std::chrono::steady_clock::now();
    if (std::chrono::duration<double>(now - last_).count() < progress_interval_seconds) return;
    last_ = now;
    long long done = source.consumed - static_cast<long long>(source.end - source.at);
    int percent = static_cast<int>(done < size_ ? done * 100 / size_ : 100);  // a growing file
    if (terminal_) show_progress(percent);
    if (progress_listener != nullptr) progress_listener(percent);
  }

 private:
  bool terminal_;
  bool on_;
  long long size_;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace

bool read_gcode_file(const char* name, PathSink& sink) {
  std::FILE* file = open_for_reading(name);
  if (file == nullptr) {
    say("\nCan't open input file %s: %s.\n", name, open_failure(errno, false));
    return false;
  }
  say("Generating Tool Path for %s\n\n", name);
  source.file = file;
  source.at = source.end = 0;
  source.consumed = 0;
  Progress progress(file);
  sink.vertex(kFeedColour, 0.0f, 0.0f, 0.0f);
  std::size_t length;
  bool cut;
  while (next_line(length, cut)) {
    // NOTE: the rest of an over-long line is ignored rather than read as a line of its own,
    // which would turn the tail of a long comment into moves.
    if (cut) say("Line too long - text after %d characters ignored\n", kLineChars);
    if (interpret_line(line, sink)) break;
    progress.update(interp.job.lines);
  }
  end_progress();
  sink.end_path();
  std::fclose(file);
  source.file = nullptr;
  return true;
}

bool read_gcode_quietly(const char* name, PathSink& sink) {
  std::FILE* saved = message_stream;
  message_stream = nullptr;
  interp_reset();
  const bool opened = read_gcode_file(name, sink);
  message_stream = saved;
  return opened;
}
