// gcode_resume.cpp - the state of the machine before a resume line, through the one reading,
// and Kerfsend's rules on a resume there.
#include "gcode_resume.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstring>

#include "gcode_messages.h"

namespace {

constexpr char kAxes[] = "xyz";

// The interpreter hands over the path in single precision; the positions it keeps in double
// are what counts here, and no arc need be broken into chords. An arc's Z runs straight from
// end to end, so the line ends hold the highest point.
class NoPath : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override {}
  void end_path() override {}
  void move(const PathMove&) override {}
  void arc(const PathArc&) override {}
};

bool is_arc(MoveKind move) { return move == MoveKind::Clockwise || move == MoveKind::CounterClockwise; }

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

std::string format(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, pattern, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(&text[0], text.size() + 1, pattern, again);
  va_end(again);
  return text;
}

}  // namespace

bool is_code(const Word& w, char letter, const char* digits) {
  return std::tolower(static_cast<unsigned char>(w.text[0])) == letter && std::strcmp(w.text + 1, digits) == 0;
}

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

long long tell_offset(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<long long>(ftello(file));
#endif
}

bool seek_offset(std::FILE* file, long long offset) {
  std::clearerr(file);
#ifdef _WIN32
  return _fseeki64(file, offset, SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

ReadingPlace reading_start() {
  ReadingPlace place{};
  place.line = 1;
  place.offset = 0;
  track_reset(place.at);
  place.state = interp;
  return place;
}

ReEntry find_reentry_from(std::FILE* file, const ReadingPlace& place, long from, Ahead* ahead) {
  ReEntry at = place.at;
  interp = place.state;
  if (place.line > 1) seek_offset(file, place.offset);
  Ahead look{};
  look.read = true;
  Interp kept{};
  each_sent_line(file, place.line, [&](const Line& line, long number) {
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

ReEntry find_reentry(std::FILE* file, long from, Ahead* ahead) {
  return find_reentry_from(file, reading_start(), from, ahead);
}

Ahead look_ahead(std::FILE* file, long from, const ReEntry& at) {
  Ahead look{};
  look.read = true;
  KeptReading keep;
  each_sent_line(file, 1, [&](const Line& line, long number) { return number < from || look_at(line, number, at, look); });
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
  each_sent_line(file, 1, [&](const Line& line, long number) {
    if (number < from) return true;
    if (number > to) return false;
    const LineCodes codes = read_codes(line.text);
    if (codes.g92 || codes.g99) found = number;
    return found == 0;
  });
  return found;
}

ResumeVerdict judge_resume(std::FILE* file, const ReadingPlace& place, long from, long confirmed,
                           const std::vector<long>* origin_lines) {
  ResumeVerdict verdict{};
  verdict.from = from;
  verdict.confirmed = confirmed;
  verdict.at = find_reentry_from(file, place, from, &verdict.ahead);
  // The lines from there would be cut as a straight line after the re-entry; without a feed no
  // re-entry move can be made.
  if (verdict.ahead.continues_line > 0) verdict.refusal = ResumeRefusal::ContinuesRun;
  else if (verdict.at.moved && verdict.at.feed <= 0.0) verdict.refusal = ResumeRefusal::NoFeed;
  if (verdict.refusal != ResumeRefusal::None) return verdict;
  if (const Unfollowed* unread = unfollowed_before(from)) verdict.unfollowed = *unread;
  // NOTE: the journal shows the controller past a line that sets an origin: it holds that
  // origin, while the re-entry is reckoned in the one before.
  if (confirmed < from) return verdict;
  if (origin_lines != nullptr) {
    auto at = std::lower_bound(origin_lines->begin(), origin_lines->end(), from);
    if (at != origin_lines->end() && *at <= confirmed) verdict.origin_line = *at;
  } else {
    seek_offset(file, 0);
    verdict.origin_line = origin_line_between(file, from, confirmed);
  }
  return verdict;
}

std::string resume_refusal_text(const ResumeVerdict& verdict, const char* name) {
  switch (verdict.refusal) {
    case ResumeRefusal::ContinuesRun:
      return format("Line %ld of %s continues the %s of line %ld without a motion word of its own - cannot resume "
                    "there",
                    verdict.ahead.continues_line, name, verdict.ahead.cycle ? "canned cycle" : "arc",
                    verdict.ahead.run_line);
    case ResumeRefusal::NoFeed:
      return format("No feed rate before line %ld of %s - cannot resume there", verdict.from, name);
    case ResumeRefusal::None:
      break;
  }
  return "";
}

std::string resume_unfollowed_text(const ResumeVerdict& verdict, const char* name) {
  if (verdict.unfollowed.what == nullptr) return "";
  return format("Line %ld of %s holds %s, which the reading does not follow: where the tool stands before line "
                "%ld, and the modes in force there, are not known for sure",
                verdict.unfollowed.first_line, name, verdict.unfollowed.what, verdict.from);
}

std::string resume_origin_text(const ResumeVerdict& verdict, const char* name) {
  if (verdict.origin_line == 0) return "";
  return format("Line %ld of %s sets an origin, and its journal shows line %ld confirmed: the controller holds "
                "that origin already, while the re-entry to line %ld is reckoned before it",
                verdict.origin_line, name, verdict.confirmed, verdict.from);
}

std::string resume_origin_note(const ReEntry& at) {
  if (at.origin_line == 0) return "";
  return format("Line %ld sets an origin with %s: it must still hold on the controller", at.origin_line,
                at.origin_g99 ? "G99" : "g92");
}

std::string resume_by_hand_text(const ReEntry& at, const char* name) {
  return format("%s has no Z move before it: no re-entry moves are computed.\nBring the tool to X%1.4f Y%1.4f by hand",
                name, at.x, at.y);
}
