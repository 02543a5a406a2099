// reader.cpp - reads a G-code file line by line into the interpreter, without allocating per line.
#include "reader.h"

#include <cstdio>
#include <cstring>

#include "files.h"
#include "interpreter.h"

namespace {

// The file is read in large blocks and split into lines here, so that a line of any length,
// or one holding NUL bytes, is still exactly one line.
struct LineSource {
  std::FILE* file;
  char block[1 << 16];
  std::size_t at, end;
};

LineSource source;
char line[kLineChars + 1];

// Reads the next line into `line`, without its newline; a carriage return before the newline is
// dropped as well, as text-mode reading does with files written on Windows. Returns false at the
// end of the file (or on a read error); sets `cut` when the line was longer than kLineChars.
bool next_line(std::size_t& length, bool& cut) {
  length = 0;
  cut = false;
  bool any = false;
  for (;;) {
    if (source.at == source.end) {
      source.at = 0;
      source.end = std::fread(source.block, 1, sizeof source.block, source.file);
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
    if (span > taken) cut = true;
    source.at += span;
    if (newline != nullptr) {
      ++source.at;
      if (!cut && length > 0 && line[length - 1] == '\r') --length;
      break;
    }
  }
  line[length] = '\0';
  return any;
}

}  // namespace

bool read_gcode_file(const char* name, PathSink& sink) {
  std::FILE* file = open_for_reading(name);
  if (file == nullptr) {
    std::printf("\nCan't open input file %s.\n", name);
    return false;
  }
  std::printf("Generating Tool Path for %s\n\n", name);
  source.file = file;
  source.at = source.end = 0;
  sink.vertex(kFeedColour, 0.0f, 0.0f, 0.0f);
  std::size_t length;
  bool cut;
  while (next_line(length, cut)) {
    // NOTE: the rest of an over-long line is ignored rather than read as a line of its own,
    // which would turn the tail of a long comment into moves.
    if (cut) std::printf("Line too long - text after %d characters ignored\n", kLineChars);
    if (length == 0 || line[0] == ';') continue;
    if (interpret_line(line, sink)) break;
  }
  sink.end_path();
  std::fclose(file);
  source.file = nullptr;
  return true;
}
