// resume.cpp - the state of the machine before a resume line, through the viewer's interpreter.
#include "resume.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "gcode_interpreter.h"
#include "gcode_messages.h"
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

bool is_code(const Word& w, char letter, const char* digits) {
  return std::tolower(static_cast<unsigned char>(w.text[0])) == letter && std::strcmp(w.text + 1, digits) == 0;
}

bool is_motion(const Word& w) {
  for (const char* digits : {"0", "00", "1", "01", "2", "02", "3", "03"}) {
    if (is_code(w, 'g', digits)) return true;
  }
  return false;
}

bool is_arc(const Word& w) {
  return is_code(w, 'g', "2") || is_code(w, 'g', "02") || is_code(w, 'g', "3") || is_code(w, 'g', "03");
}

// Reads the file from where it stands and hands each line that is sent, with its file line, to
// take, until take returns false.
template <typename Take>
void each_sent_line(std::FILE* file, Take take) {
  Line line;
  long number = 0;
  for (int c; (c = std::getc(file)) != EOF;) {
    ++number;
    read_line(file, c, line);
    if (is_sent(line) && !take(line, number)) return;
  }
}

// True when some word of the line passes the test.
template <typename Test>
bool any_word(const char* text, Test test) {
  WordTable table;
  const char* rest = text;
  do {
    rest = tokenize(rest, table);
    for (int k = 0; k < table.count; ++k) {
      if (test(table.words[k])) return true;
    }
  } while (rest != nullptr);
  return false;
}

// What the words of a line say beside the interpreter: its motion word, its modes, its axes.
struct LineCodes {
  bool motion, arc, relative, absolute, g92, g99, axis;
  bool given[3];
  double place[3];
};

LineCodes read_codes(const char* text) {
  LineCodes codes{};
  WordTable table;
  const char* rest = text;
  do {
    rest = tokenize(rest, table);
    for (int k = 0; k < table.count; ++k) {
      const Word& w = table.words[k];
      if (is_motion(w)) {
        codes.motion = true;
        codes.arc = is_arc(w);
      }
      if (is_code(w, 'g', "91")) codes.relative = true;
      if (is_code(w, 'g', "90")) codes.absolute = true;
      if (is_code(w, 'g', "92")) codes.g92 = true;
      if (is_code(w, 'g', "99")) codes.g99 = true;
      const char* axis = std::strchr(kAxes, std::tolower(static_cast<unsigned char>(w.text[0])));
      if (axis == nullptr || *axis == '\0') continue;
      double value = word_value(w.start + 1, w.length - 1);
      // As the interpreter does, a number past any machine (inf, nan, 1e400) leaves its word
      // out: it must never reach a re-entry line.
      if (!(std::fabs(value) <= kLargestNumber)) continue;
      int a = static_cast<int>(axis - kAxes);
      codes.given[a] = codes.axis = true;
      codes.place[a] = value;
    }
  } while (rest != nullptr);
  return codes;
}

// NOTE: g92 names the tool's present place: without axis words it becomes the origin, with
// them those axes take the values given. The interpreter leaves g92 aside, so the shift is
// made here, the highest Z reached included.
void set_origin(const LineCodes& codes, ReEntry& at) {
  double place[3] = {codes.place[0], codes.place[1], codes.place[2]};
  const double now[3] = {interp.x, interp.y, interp.z};
  for (int a = 0; a < 3; ++a) {
    if (codes.axis && !codes.given[a]) place[a] = now[a];
    at.shift[a] += now[a] - place[a];
  }
  at.safe_z += place[2] - now[2];
  interp.x = place[0];
  interp.y = place[1];
  interp.z = place[2];
}

}  // namespace

void track_reset(ReEntry& at) {
  at = ReEntry{};
  interp_reset();
}

void track_line(const char* text, long number, ReEntry& at) {
  if (text[0] == '\0') return;  // nothing the controller acts on
  const LineCodes codes = read_codes(text);
  if (codes.relative) at.relative_line = number;
  if (codes.absolute) at.relative_line = 0;
  if (codes.motion) at.arc_line = codes.arc ? number : 0;
  if (codes.g92 || codes.g99) {
    at.origin_line = number;
    at.origin_g99 = codes.g99;
  }
  const double z_before = interp.z;
  if (codes.g92) {
    set_origin(codes, at);
  } else {
    // The interpreter's messages (an unknown code, an arc's centre) are the viewer's; the
    // controller answers for itself.
    std::FILE* saved = message_stream;
    message_stream = nullptr;
    NoPath path;
    interpret_line(text, path);
    message_stream = saved;
    const bool feed_move = codes.axis && interp.move != MoveKind::Rapid && interp.move != MoveKind::Dwell;
    if (feed_move && interp.feed > at.fastest_feed) at.fastest_feed = interp.feed;
    if (feed_move && interp.z < z_before) at.plunge_feed = interp.feed;
    if (interp.z != z_before) at.z_moved = true;
  }
  at.feed = interp.feed;
  at.centre_mode = interp.centre_mode == Mode::Absolute ? 1 : interp.centre_mode == Mode::Incremental ? 2 : 0;
  at.units = interp.units == Units::Inch ? 1 : interp.units == Units::Millimetre ? 2 : 0;
  if (!codes.axis && !codes.g92) return;  // a line of modes or a word alone moves nothing
  if (!at.moved || interp.z > at.safe_z) at.safe_z = interp.z;
  at.moved = true;
  at.x = interp.x;
  at.y = interp.y;
  at.z = interp.z;
}

ReEntry find_reentry(std::FILE* file, long from) {
  ReEntry at;
  track_reset(at);
  each_sent_line(file, [&](const Line& line, long number) {
    if (number < from) {
      track_line(line.text, number, at);
      return true;
    }
    // The first line sent from the resume line on: an arc there that leans on the motion word
    // of an earlier line would be cut as a straight line after the re-entry moves.
    const LineCodes codes = read_codes(line.text);
    if (codes.axis && !codes.motion && !codes.g92 && !codes.g99 && at.arc_line > 0) at.relies_on_arc = number;
    return false;
  });
  return at;
}

bool holds_stop(const char* text) {
  return any_word(text, [](const Word& w) {
    return is_code(w, 'm', "0") || is_code(w, 'm', "00") || is_code(w, 'm', "1") || is_code(w, 'm', "01");
  });
}

bool command_moves(const char* text) {
  return any_word(text, [](const Word& w) {
    return std::strchr("gxyzabc", std::tolower(static_cast<unsigned char>(w.text[0]))) != nullptr;
  });
}

int reentry_lines(const ReEntry& at, bool moves, char (&lines)[kReEntryLines][128]) {
  int n = 0;
  std::snprintf(lines[n++], sizeof lines[0], "N1 %s", at.relative_line > 0 ? "G91" : "G90");
  if (at.centre_mode != 0) std::snprintf(lines[n++], sizeof lines[0], "N1 %s", at.centre_mode == 1 ? "G90.1" : "G91.1");
  // A unit typed at a pause would turn every number of the way back into another place.
  if (at.units != 0) std::snprintf(lines[n++], sizeof lines[0], "N1 %s", at.units == 1 ? "G70" : "G71");
  const double plunge = at.plunge_feed > 0.0 ? at.plunge_feed : at.feed;
  if (moves) {
    const double travel = at.fastest_feed > 0.0 ? at.fastest_feed : at.feed;
    std::snprintf(lines[n++], sizeof lines[0], "N1 G1 Z%1.4f F%1.4f", at.safe_z, travel);
    std::snprintf(lines[n++], sizeof lines[0], "N1 G1 X%1.4f Y%1.4f F%1.4f", at.x, at.y, travel);
    std::snprintf(lines[n++], sizeof lines[0], "N1 G1 Z%1.4f F%1.4f", at.z, plunge);
  }
  // NOTE: a line that gives no F word runs at the feed in force; after the way down that is
  // the plunge feed, and after hand moves whatever the operator typed.
  if (at.feed > 0.0 && (!moves || plunge != at.feed)) std::snprintf(lines[n++], sizeof lines[0], "N1 F%1.4f", at.feed);
  return n;
}

TravelFault check_travel(std::FILE* file, long from, const Travel (&travel)[3]) {
  constexpr double kSlack = 1e-6;  // arcs computed to their ends may pass a limit by rounding alone
  TravelFault fault{};
  ReEntry at;
  track_reset(at);
  each_sent_line(file, [&](const Line& line, long number) {
    // The extents of this line's move alone, arcs with the points where they cross the axes.
    interp.job.extents = {HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
    track_line(line.text, number, at);
    if (at.origin_line == number && at.origin_g99) {
      fault.g99_line = number;
      return false;
    }
    const BoundingBox& box = interp.job.extents;
    if (number < from || box.x_min > box.x_max) return true;
    const double low[3] = {box.x_min, box.y_min, box.z_min};
    const double high[3] = {box.x_max, box.y_max, box.z_max};
    for (int a = 0; a < 3; ++a) {
      if (!travel[a].set) continue;
      const double below = travel[a].min - (low[a] + at.shift[a]);
      const double above = high[a] + at.shift[a] - travel[a].max;
      if (below <= kSlack && above <= kSlack) continue;
      fault.line = number;
      fault.axis = a;
      fault.lowest = below > kSlack;
      fault.limit = fault.lowest ? travel[a].min : travel[a].max;
      fault.past = fault.lowest ? below : above;
      return false;
    }
    return true;
  });
  return fault;
}
