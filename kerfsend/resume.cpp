// resume.cpp - the state of the machine before a resume line, through the viewer's interpreter.
#include "resume.h"

#include <cctype>
#include <cmath>
#include <cstring>

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

bool is_arc(MoveKind move) { return move == MoveKind::Clockwise || move == MoveKind::CounterClockwise; }

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

// What the words of a line say of it beside the reading: whether it sets an origin, and its
// axes.
struct LineCodes {
  bool g92, g99, axis;
};

LineCodes read_codes(const char* text) {
  LineCodes codes{};
  any_word(text, [&](const Word& w) {
    if (is_code(w, 'g', "92")) codes.g92 = true;
    if (is_code(w, 'g', "99")) codes.g99 = true;
    const char* axis = std::strchr(kAxes, std::tolower(static_cast<unsigned char>(w.text[0])));
    if (axis == nullptr || *axis == '\0') return false;
    // As the interpreter does, a number past any machine (inf, nan, 1e400) leaves its word
    // out: it must never reach a re-entry line.
    if (std::fabs(word_value(w.start + 1, w.length - 1)) <= kLargestNumber) codes.axis = true;
    return false;
  });
  return codes;
}

// The interpreter's messages (an unknown code, an arc's centre) are the viewer's; the
// controller answers for itself.
void quiet_interpret(const char* text, long number) {
  std::FILE* saved = message_stream;
  message_stream = nullptr;
  // NOTE: the reading numbers the lines it is given, and it is given only the lines that are
  // sent: told the file line, the lines it names (a word it does not follow, the canned cycle
  // in force) are the file's.
  interp.job.lines = number - 1;
  NoPath path;
  interpret_line(text, path);
  message_stream = saved;
}

// One line of a look from a place on, read on the reading's state; false once the look has
// seen the first line that moves or sets a motion of its own.
bool look_at(const Line& line, long number, const ReEntry& at, Ahead& ahead) {
  const LineCodes codes = read_codes(line.text);
  if (ahead.first_line == 0) {
    ahead.first_line = number;
    ahead.sets_origin = codes.g92 || codes.g99;
  }
  if (line.text[0] == '\0') return true;
  const MoveKind before = interp.move;
  const long cycle_before = interp.cycle_line;
  // With no motion in force, whatever motion the reading holds after the line is the line's own.
  interp.move = MoveKind::None;
  quiet_interpret(line.text, number);
  const bool own = interp.move != MoveKind::None || (interp.cycle_line != 0 && interp.cycle_line != cycle_before);
  if (interp.move == MoveKind::None) interp.move = before;
  if (own) return false;
  if (!codes.axis || codes.g92 || codes.g99) return true;  // moves nothing: the run goes on past it
  if (cycle_before != 0 && interp.cycle_line == cycle_before) {
    ahead.continues_line = number;
    ahead.run_line = cycle_before;
    ahead.cycle = true;
  } else if (is_arc(before)) {
    ahead.continues_line = number;
    ahead.run_line = at.arc_line;
  }
  return false;
}

}  // namespace

void track_reset(ReEntry& at) {
  at = ReEntry{};
  interp_reset();
}

void track_line(const char* text, long number, ReEntry& at) {
  if (text[0] == '\0') return;  // nothing the controller acts on
  const LineCodes codes = read_codes(text);
  if (codes.g92 || codes.g99) {
    at.origin_line = number;
    at.origin_g99 = codes.g99;
  }
  const double z_before = interp.z;
  const double origin_z = interp.origin[2];
  const MoveKind move_before = interp.move;
  quiet_interpret(text, number);
  // NOTE: the reading holds the origins (g92, G99): the tool stays where it is and takes other
  // numbers, and so does the highest Z reached, which a re-entry lifts to.
  at.safe_z -= interp.origin[2] - origin_z;
  if (!codes.g92 && !codes.g99) {
    const bool feed_move = codes.axis && interp.move != MoveKind::Rapid && interp.move != MoveKind::Dwell;
    if (feed_move && interp.feed > at.fastest_feed) at.fastest_feed = interp.feed;
    if (feed_move && interp.z < z_before) at.plunge_feed = interp.feed;
    if (interp.z != z_before) at.z_moved = true;
  }
  // The run begins where the arc motion came in, or changed direction: that line has its word.
  if (!is_arc(interp.move)) at.arc_line = 0;
  else if (interp.move != move_before || at.arc_line == 0) at.arc_line = number;
  at.feed = interp.feed;
  auto mode = [](Mode m) { return m == Mode::Absolute ? 1 : m == Mode::Incremental ? 2 : 0; };
  at.distance_mode = mode(interp.distance_mode);
  at.centre_mode = mode(interp.centre_mode);
  at.units = interp.units == Units::Inch ? 1 : interp.units == Units::Millimetre ? 2 : 0;
  if (!codes.axis && !codes.g92 && !codes.g99) return;  // a line of modes or a word alone moves nothing
  if (!at.moved || interp.z > at.safe_z) at.safe_z = interp.z;
  at.moved = true;
  at.x = interp.x;
  at.y = interp.y;
  at.z = interp.z;
}

ReEntry find_reentry(std::FILE* file, long from, Ahead* ahead) {
  ReEntry at;
  track_reset(at);
  Ahead look{};
  look.read = true;
  Interp kept{};
  each_sent_line(file, [&](const Line& line, long number) {
    if (number < from) {
      track_line(line.text, number, at);
      return true;
    }
    if (look.first_line == 0) kept = interp;
    return look_at(line, number, at, look);
  });
  // The reading goes on from the state before line `from`, as the download does.
  if (look.first_line != 0) interp = kept;
  if (ahead != nullptr) *ahead = look;
  return at;
}

Ahead look_ahead(std::FILE* file, long from, const ReEntry& at) {
  Ahead look{};
  look.read = true;
  const Interp kept = interp;
  each_sent_line(file, [&](const Line& line, long number) { return number < from || look_at(line, number, at, look); });
  interp = kept;
  return look;
}

const Unfollowed* unfollowed_before(long before) {
  const JobSummary& job = interp.job;
  // In the order first met: the first kind is the first line.
  if (job.unfollowed_kinds > 0 && job.unfollowed[0].first_line < before) return &job.unfollowed[0];
  return nullptr;
}

long origin_line_between(std::FILE* file, long from, long to) {
  long found = 0;
  each_sent_line(file, [&](const Line& line, long number) {
    if (number < from) return true;
    if (number > to) return false;
    const LineCodes codes = read_codes(line.text);
    if (codes.g92 || codes.g99) found = number;
    return found == 0;
  });
  return found;
}

bool holds_stop(const char* text) {
  return any_word(text, [](const Word& w) {
    return is_code(w, 'm', "0") || is_code(w, 'm', "00") || is_code(w, 'm', "1") || is_code(w, 'm', "01");
  });
}

TypedEffect typed_effect(const char* text) {
  TypedEffect effect{};
  const Interp kept = interp;
  any_word(text, [&](const Word& w) {
    const int letter = std::tolower(static_cast<unsigned char>(w.text[0]));
    if (std::strchr("xyzabc", letter) != nullptr) effect.moves = true;
    if (letter == 'f') effect.modes = true;
    if (letter != 'g') return false;
    // The G word alone, read on the reading's state: a motion word, a mode, or neither, a code
    // the reading does not know (a homing g28, say), which may do both.
    // Every mode unset first, so that one the word sets shows even where it is in force.
    interp.move = MoveKind::None;
    interp.distance_mode = interp.centre_mode = Mode::Unset;
    interp.units = Units::Unset;
    interp.plane = 0;
    quiet_interpret(w.text, 1);
    const MoveKind move = interp.move;
    const bool mode = interp.distance_mode != Mode::Unset || interp.centre_mode != Mode::Unset ||
                      interp.units != Units::Unset || interp.plane != 0;
    interp = kept;
    if (move == MoveKind::Dwell) return false;  // a dwell waits, and sets nothing
    const bool known = move != MoveKind::None || mode;
    effect.moves = effect.moves || move != MoveKind::None || !known;
    effect.modes = effect.modes || mode || !known;
    return false;
  });
  interp = kept;
  return effect;
}

int reentry_lines(const ReEntry& at, bool moves, char (&lines)[kReEntryLines][128]) {
  int n = 0;
  // NOTE: every mode goes out, the controller's defaults where the program set none: a g91,
  // g91.1 or g71 typed at a pause, or between a stop and a resume, must not hold for the
  // program, and would turn every number of the way back into another place.
  const bool relative = at.distance_mode == 2;
  std::snprintf(lines[n++], sizeof lines[0], "N1 %s", relative && !moves ? "G91" : "G90");
  std::snprintf(lines[n++], sizeof lines[0], "N1 %s", at.centre_mode == 2 ? "G91.1" : "G90.1");
  std::snprintf(lines[n++], sizeof lines[0], "N1 %s", at.units == 2 ? "G71" : "G70");
  const double plunge = at.plunge_feed > 0.0 ? at.plunge_feed : at.feed;
  if (moves) {
    const double travel = at.fastest_feed > 0.0 ? at.fastest_feed : at.feed;
    std::snprintf(lines[n++], sizeof lines[0], "N1 G1 Z%1.4f F%1.4f", at.safe_z, travel);
    std::snprintf(lines[n++], sizeof lines[0], "N1 G1 X%1.4f Y%1.4f F%1.4f", at.x, at.y, travel);
    std::snprintf(lines[n++], sizeof lines[0], "N1 G1 Z%1.4f F%1.4f", at.z, plunge);
    if (relative) std::snprintf(lines[n++], sizeof lines[0], "N1 G91");
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
    const BoundingBox& box = interp.job.extents;
    if (number < from || box.x_min > box.x_max) return true;
    // The extents are in the coordinates the program began in, in its own unit; the travel is
    // the machine's, in inches.
    const double inch = interp.file_units == Units::Millimetre ? 1 / 25.4 : 1;
    const double low[3] = {box.x_min * inch, box.y_min * inch, box.z_min * inch};
    const double high[3] = {box.x_max * inch, box.y_max * inch, box.z_max * inch};
    for (int a = 0; a < 3; ++a) {
      if (!travel[a].set) continue;
      const double below = travel[a].min - low[a];
      const double above = high[a] - travel[a].max;
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
