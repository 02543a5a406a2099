// program_lines.cpp - a program's lines, read with a bound.
#include "program_lines.h"

namespace {

// A stream is read by one thread only: without the lock each character would take.
int next_char(std::FILE* in) {
#ifdef _WIN32
  return std::getc(in);
#else
  return getc_unlocked(in);
#endif
}

}  // namespace

bool read_line(std::FILE* in, int c, Line& line) {
  line.length = 0;
  bool fits = true;
  while (c != EOF && c != '\n') {
    // One character beyond the limit is kept, for the '\r' of a full line saved with CRLF.
    if (line.length < kLineMax + 1) {
      line.text[line.length++] = static_cast<char>(c);
    } else {
      fits = false;
    }
    c = next_char(in);
  }
  line.newline = c == '\n';
  if (line.newline && fits && line.length > 0 && line.text[line.length - 1] == '\r') --line.length;
  line.text[line.length] = '\0';
  return fits && line.length <= kLineMax;
}

bool is_sent(const Line& line) { return line.length == 0 || (line.text[0] != ';' && line.text[0] != ':'); }
