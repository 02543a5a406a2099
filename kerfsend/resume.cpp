// resume.cpp - the state of the machine before a resume line, through the viewer's interpreter.
#include "resume.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "interpreter.h"
#include "text.h"

namespace {

constexpr char kAxes[] = "xyz";

// The interpreter hands over the path in single precision; the positions it keeps in double
// are what counts here. An arc's Z runs straight from end to end, so the line ends hold the
// highest point.
class NoPath : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override {}
  void end_path() override {}
};

// A line that moves the origin rather than the tool; true when it was one (and is done).
bool origin_line(const char* text, long number, ReEntry& at) {
  WordTable table;
  if (tokenize(text, table) != nullptr) return false;  // no line of a few words
  bool g92 = false;
  bool any_axis = false;
  bool given[3] = {false, false, false};
  double place[3] = {0.0, 0.0, 0.0};
  for (int k = 0; k < table.count; ++k) {
    const Word& w = table.words[k];
    if (w.length == 3 && same_word(w.text, "g92")) g92 = true;
    if (w.length == 3 && same_word(w.text, "g99")) at.origin_line = number;
    const char* axis = std::strchr(kAxes, std::tolower(static_cast<unsigned char>(w.text[0])));
    if (axis != nullptr && *axis != '\0') {
      double value = word_value(w.start + 1, w.length - 1);
      // As the interpreter does, a number past any machine (inf, nan, 1e400) leaves its word
      // out: it must never reach a re-entry line.
      if (!(std::fabs(value) <= kLargestNumber)) continue;
      int a = static_cast<int>(axis - kAxes);
      given[a] = any_axis = true;
      place[a] = value;
    }
  }
  if (!g92) return false;
  // NOTE: g92 names the tool's present place: without axis words it becomes the origin, with
  // them those axes take the values given. The interpreter leaves g92 aside, so the shift is
  // made here, the highest Z reached included.
  const double now[3] = {interp.x, interp.y, interp.z};
  for (int a = 0; a < 3; ++a) {
    if (any_axis && !given[a]) place[a] = now[a];
  }
  at.safe_z += place[2] - now[2];
  interp.x = place[0];
  interp.y = place[1];
  interp.z = place[2];
  return true;
}

}  // namespace

ReEntry find_reentry(std::FILE* file, long from) {
  ReEntry at{};
  interp_reset();
  NoPath path;
  Line line;
  long number = 0;
  for (int c; number + 1 < from && (c = std::getc(file)) != EOF;) {
    ++number;
    read_line(file, c, line);
    if (line.length == 0 || !is_sent(line)) continue;  // nothing the controller acts on
    if (!origin_line(line.text, number, at) && interpret_line(line.text, path)) {
      break;  // the program ended before the resume line
    }
    if (!at.moved || interp.z > at.safe_z) at.safe_z = interp.z;
    at.moved = true;
  }
  at.x = interp.x;
  at.y = interp.y;
  at.z = interp.z;
  at.feed = interp.feed;
  return at;
}

void reentry_lines(const ReEntry& at, char (&lines)[kReEntryLines][128]) {
  std::snprintf(lines[0], sizeof lines[0], "N1 G1 Z%1.4f F%1.4f", at.safe_z, at.feed);
  std::snprintf(lines[1], sizeof lines[1], "N1 G1 X%1.4f Y%1.4f F%1.4f", at.x, at.y, at.feed);
  std::snprintf(lines[2], sizeof lines[2], "N1 G1 Z%1.4f F%1.4f", at.z, at.feed);
}
