// gcode_interpreter.cpp - tokenizer, word rules, modal state, arc interpolation, bounding box.
#include "gcode_interpreter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <cctype>
#include <strings.h>

#include "gcode_messages.h"

Interp interp;

void interp_reset() {
  interp = Interp{};
  // Empty until the first move, so that the origin is not taken for part of the path.
  interp.job.extents = {HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL, HUGE_VAL, -HUGE_VAL};
}

namespace {

constexpr double kPi = 3.14159265358979323846;

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_number_char(char c) { return is_digit(c) || c == '.' || c == '+' || c == '-'; }

bool has_digit(const char* text, int length) {
  for (int k = 0; k < length; ++k)
    if (is_digit(text[k])) return true;
  return false;
}

// The length of "inf", "infinity" or "nan" (in any case) at the start of text, else 0.
int not_a_number_length(const char* text) {
  for (const char* name : {"infinity", "inf", "nan"}) {
    std::size_t n = std::strlen(name);
    if (strncasecmp(text, name, n) == 0) return static_cast<int>(n);
  }
  return 0;
}

// The codes after G and M. Every spelling accepted has both an upper- and a lower-case letter,
// and the digits must match one of these exactly: G000, G1.0 and M6 are unknown codes.
enum class Code {
  Rapid, Linear, Clockwise, CounterClockwise, Dwell,
  Inch, Millimetre, PlaneXY, PlaneXZ, PlaneYZ,
  DistanceAbsolute, DistanceIncremental, CentreAbsolute, CentreIncremental,
  SetOrigin, ClearOrigin, NewOrigin, CycleEnd, NoEffect,
  Stop, Ignored, End,
};

struct CodeName {
  const char* digits;
  Code code;
};

const CodeName kGCodes[] = {
    {"00", Code::Rapid},     {"0", Code::Rapid},
    {"01", Code::Linear},    {"1", Code::Linear},
    {"02", Code::Clockwise}, {"2", Code::Clockwise},
    {"03", Code::CounterClockwise}, {"3", Code::CounterClockwise},
    {"04", Code::Dwell},     {"4", Code::Dwell},
    {"70", Code::Inch},      {"71", Code::Millimetre},
    {"20", Code::Inch},      {"21", Code::Millimetre},
    {"17", Code::PlaneXY},   {"18", Code::PlaneXZ},   {"19", Code::PlaneYZ},
    {"90", Code::DistanceAbsolute}, {"91", Code::DistanceIncremental},
    {"90.1", Code::CentreAbsolute}, {"91.1", Code::CentreIncremental},
    {"92", Code::SetOrigin}, {"92.1", Code::ClearOrigin}, {"92.2", Code::ClearOrigin},
    {"99", Code::NewOrigin}, {"80", Code::CycleEnd},
    // Neither a move nor a change of where the tool goes: cutter compensation and tool
    // length off, path blending, feed and spindle modes, a canned cycle's return height.
    {"40", Code::NoEffect},  {"49", Code::NoEffect},  {"61", Code::NoEffect},
    {"61.1", Code::NoEffect}, {"64", Code::NoEffect}, {"93", Code::NoEffect},
    {"94", Code::NoEffect},  {"95", Code::NoEffect},  {"96", Code::NoEffect},
    {"97", Code::NoEffect},  {"98", Code::NoEffect},  {"28.1", Code::NoEffect},
    {"30.1", Code::NoEffect},
};

const CodeName kMCodes[] = {
    {"00", Code::Stop},    {"0", Code::Stop},    {"01", Code::Stop},    {"1", Code::Stop},
    {"02", Code::End},     {"2", Code::End},     {"30", Code::End},
    {"03", Code::Ignored}, {"3", Code::Ignored}, {"04", Code::Ignored}, {"4", Code::Ignored},
    {"05", Code::Ignored}, {"5", Code::Ignored},
};

template <std::size_t N>
const CodeName* find_code(const CodeName (&table)[N], const char* digits) {
  for (const CodeName& c : table)
    if (std::strcmp(c.digits, digits) == 0) return &c;
  return nullptr;
}

// What a G code that the reading does not follow does to its line.
enum class Effect {
  KeepsMove,  // takes no axis words: the line's move is still drawn, as programmed
  Arguments,  // its X, Y and Z are its arguments: nothing is drawn
  Cycle,      // a canned cycle: its arguments, and the lines after it repeat it until G80
  Straight,   // a curve or a thread to the end point: drawn straight, and modal
};

struct UnfollowedCode {
  const char* digits;  // without leading zeros: G081 is G81
  const char* what;
  Effect effect;
};

const UnfollowedCode kUnfollowedCodes[] = {
    {"73", "G73", Effect::Cycle},   {"74", "G74", Effect::Cycle},   {"81", "G81", Effect::Cycle},
    {"82", "G82", Effect::Cycle},   {"83", "G83", Effect::Cycle},   {"84", "G84", Effect::Cycle},
    {"85", "G85", Effect::Cycle},   {"86", "G86", Effect::Cycle},   {"87", "G87", Effect::Cycle},
    {"88", "G88", Effect::Cycle},   {"89", "G89", Effect::Cycle},
    {"41", "G41", Effect::KeepsMove}, {"42", "G42", Effect::KeepsMove},
    {"41.1", "G41.1", Effect::KeepsMove}, {"42.1", "G42.1", Effect::KeepsMove},
    {"43", "G43", Effect::KeepsMove}, {"43.2", "G43.2", Effect::KeepsMove},
    {"43.1", "G43.1", Effect::Arguments},
    {"54", "G54", Effect::KeepsMove}, {"55", "G55", Effect::KeepsMove},
    {"56", "G56", Effect::KeepsMove}, {"57", "G57", Effect::KeepsMove},
    {"58", "G58", Effect::KeepsMove}, {"59", "G59", Effect::KeepsMove},
    {"59.1", "G59.1", Effect::KeepsMove}, {"59.2", "G59.2", Effect::KeepsMove},
    {"59.3", "G59.3", Effect::KeepsMove},
    {"10", "G10", Effect::Arguments}, {"52", "G52", Effect::Arguments},
    {"53", "G53", Effect::Arguments}, {"28", "G28", Effect::Arguments},
    {"30", "G30", Effect::Arguments}, {"92.3", "G92.3", Effect::KeepsMove},
    {"5", "G5", Effect::Straight},  {"5.1", "G5.1", Effect::Straight},
    {"5.2", "G5.2", Effect::Straight}, {"5.3", "G5.3", Effect::Straight},
    {"33", "G33", Effect::Straight}, {"33.1", "G33.1", Effect::Arguments},
    {"76", "G76", Effect::Arguments}, {"72", "G72", Effect::Arguments},
    {"7", "G7", Effect::KeepsMove}, {"8", "G8", Effect::KeepsMove},
    {"17.1", "G17.1", Effect::KeepsMove}, {"18.1", "G18.1", Effect::KeepsMove},
    {"19.1", "G19.1", Effect::KeepsMove},
};

// The digits without leading zeros (one is kept before a point or alone).
const char* significant_digits(const char* digits) {
  while (digits[0] == '0' && is_digit(digits[1])) ++digits;
  return digits;
}

const UnfollowedCode* find_unfollowed(const char* digits) {
  const char* d = significant_digits(digits);
  for (const UnfollowedCode& c : kUnfollowedCodes)
    if (std::strcmp(c.digits, d) == 0) return &c;
  return nullptr;
}

// Names of G codes this reader does not know, kept for the whole run so that a summary copied
// out of interp.job still names them after the next file is read.
constexpr int kCodeNames = 64;
char code_names[kCodeNames][kWordChars + 2];
int code_names_used = 0;

const char* code_name(const char* text) {
  char name[kWordChars + 2];
  std::size_t n = 0;
  for (; text[n] != '\0' && n < kWordChars; ++n)
    name[n] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[n])));
  name[n] = '\0';
  for (int k = 0; k < code_names_used; ++k)
    if (std::strcmp(code_names[k], name) == 0) return code_names[k];
  if (code_names_used == kCodeNames) return "other G codes";
  std::memcpy(code_names[code_names_used], name, n + 1);
  return code_names[code_names_used++];
}

// What the words of one line set; I, J, K and R are not modal. Numbers as written, in the
// unit in force; where they take the tool is worked out once the whole line is read, since a
// G91 or G20 anywhere in the line holds for all of it.
struct LineWords {
  bool given[3];
  double axis[3];    // X, Y, Z
  double ijk[3];     // I, J, K
  double r;
  bool radius_flag;  // an R word came last among R, I, J and K
  bool has_axis;     // an X, Y or Z word was met: without one a line moves nothing
  bool arguments;    // a G word whose coordinates are its arguments: nothing moves
  bool motion;       // a motion word (G0 to G3) was met
  bool given_ijk[3];
  bool has_r;
  bool set_origin, clear_origin, new_origin;
  const char* cycle;     // a canned cycle's word (G81 ...), else nullptr
  const char* lathe;     // a G70 or G71 word, which a Q word makes a lathe cycle, else nullptr
  bool has_q;
  const char* straight;  // a curve word drawn straight (G5, G33), else nullptr
};

WordTable word_table;

// Written as selections rather than branches: arc points change direction all the time.
void extend_box(BoundingBox& b, double x, double y, double z) {
  b.x_max = x > b.x_max ? x : b.x_max;
  b.x_min = x < b.x_min ? x : b.x_min;
  b.y_max = y > b.y_max ? y : b.y_max;
  b.y_min = y < b.y_min ? y : b.y_min;
  b.z_max = z > b.z_max ? z : b.z_max;
  b.z_min = z < b.z_min ? z : b.z_min;
}

void extend_box(BoundingBox& b, const BoundingBox& other) {
  extend_box(b, other.x_min, other.y_min, other.z_min);
  extend_box(b, other.x_max, other.y_max, other.z_max);
}

// Told once a file, at the first line that has it.
enum NotFollowed : unsigned {
  kNegativeRadius = 1, kNoNumber = 2, kCentreNote = 4,
};

bool first_time(NotFollowed kind) {
  if (interp.said & kind) return false;
  interp.said |= kind;
  return true;
}

// Every kind the reading does not follow is counted, a line once, and told at its first line
// (a code not known at all is told at every word, as "Unrecognized Code"): a second kind after
// the first must not pass in silence.
void not_followed(const char* what, const char* why) {
  JobSummary& job = interp.job;
  const long line = job.lines;
  for (int k = 0; k < job.unfollowed_kinds; ++k) {
    Unfollowed& u = job.unfollowed[k];
    if (std::strcmp(u.what, what) != 0) continue;
    if (u.last_line != line) ++u.lines;
    u.last_line = line;
    return;
  }
  if (why != nullptr) say("%s in line %ld not followed - %s\n", what, line, why);
  if (job.unfollowed_kinds == kUnfollowedKinds) {
    // The last row takes every kind past the table's end.
    Unfollowed& last = job.unfollowed[kUnfollowedKinds - 1];
    last.what = "other kinds";
    if (last.last_line != line) ++last.lines;
    last.last_line = line;
    return;
  }
  job.unfollowed[job.unfollowed_kinds++] = {what, line, 1, line};
}

const char* why_not(Effect effect) {
  switch (effect) {
    case Effect::KeepsMove: return "the moves are drawn as programmed";
    case Effect::Arguments: return "its line moves nothing here";
    case Effect::Cycle: return "the cycle is not drawn, up to G80 or the next motion word";
    case Effect::Straight: return "drawn as straight moves";
  }
  return "";
}

// NOTE: kept with the summary as well as said, so that Kerfgen can show the operator, at the
// end of its run, what would otherwise surface only at the machine.
void warn_arc(const char* what) {
  JobSummary& job = interp.job;
  if (job.warnings < kListedWarnings) job.warned[job.warnings] = {job.lines, what};
  ++job.warnings;
}

// "; error" in any case: how Kerfgen marks a command it refused.
bool is_error_comment(const char* text) { return strncasecmp(text, "; error", 7) == 0; }

// The comments in which Kerfgen names the tool: a mill or drill bit set up, or changed at a stop.
const char* const kToolComments[] = {
    "; Tool diameter set to ",
    "; Drill diameter set to ",
    "; Change mill bit diameter to: ",
    "; Change drill bit diameter to: ",
};

void note_tool(const char* text, PathSink& sink) {
  for (const char* start : kToolComments) {
    std::size_t n = std::strlen(start);
    if (std::strncmp(text, start, n) != 0) continue;
    const char* number = text + n;
    int length = 0;
    while (is_number_char(number[length])) ++length;
    if (length == 0) return;
    // A size no machine holds is kept as read, for the simulation to refuse by its line.
    interp.tool = word_value(number, length);
    interp.tool_line = interp.job.lines;
    sink.tool(interp.tool_line, interp.tool);
    return;
  }
}

void unrecognized(const Word& w) { say("Unrecognized Code - %.*s\n", w.length, w.start); }

// Words that no straight reading of the line can follow: parameters, expressions, polar words.
void scan_marks(const char* text) {
  CommentScan scan = {false, false};
  bool hash = false, bracket = false, polar = false;
  for (const char* p = text; *p != '\0' && *p != '\n'; ++p) {
    if (!is_program_text(*p, scan)) continue;
    hash = hash || *p == '#';
    bracket = bracket || *p == '[';
    polar = polar || *p == '@' || *p == '^';
  }
  if (hash) not_followed("# parameters", "their values are not known here");
  if (bracket) not_followed("[ expressions", "their values are not known here");
  if (polar) not_followed("polar words", "their moves are not drawn");
}

// The unit factor from the numbers of this line to the file's own unit.
double unit_factor() {
  if (interp.file_units == Units::Unset || interp.units == Units::Unset) return 1;
  if (interp.units == interp.file_units) return 1;
  return interp.units == Units::Millimetre ? 1 / 25.4 : 25.4;
}

// A move's length, and its time at the F word in force; feed marks g1, g2 and g3 moves. The
// move from the assumed start is counted as a move with no length.
void count_move(double length, bool feed) {
  JobSummary& job = interp.job;
  ++job.moves;
  if (!interp.placed) return;
  if (!feed) {
    job.rapid_length += length;
    return;
  }
  job.feed_length += length;
  double f = interp.feed * unit_factor();
  if (f > 0) job.minutes += length / f;
  else job.untimed_length += length;
}

void apply_code(Code code, LineWords& line) {
  switch (code) {
    case Code::Rapid: interp.move = MoveKind::Rapid; line.motion = true; break;
    case Code::Linear: interp.move = MoveKind::Linear; line.motion = true; break;
    case Code::Clockwise: interp.move = MoveKind::Clockwise; line.motion = true; break;
    case Code::CounterClockwise: interp.move = MoveKind::CounterClockwise; line.motion = true; break;
    case Code::Dwell: interp.move = MoveKind::Dwell; break;
    case Code::Inch: interp.units = Units::Inch; break;
    case Code::Millimetre: interp.units = Units::Millimetre; break;
    case Code::PlaneXY: interp.plane = 1; break;
    case Code::PlaneXZ: interp.plane = 2; break;
    case Code::PlaneYZ: interp.plane = 3; break;
    case Code::DistanceAbsolute: interp.distance_mode = Mode::Absolute; break;
    case Code::DistanceIncremental: interp.distance_mode = Mode::Incremental; break;
    case Code::CentreAbsolute: interp.centre_mode = Mode::Absolute; break;
    case Code::CentreIncremental: interp.centre_mode = Mode::Incremental; break;
    case Code::SetOrigin: line.set_origin = true; break;
    case Code::ClearOrigin: line.clear_origin = true; break;
    case Code::NewOrigin: line.new_origin = true; break;
    case Code::CycleEnd: interp.move = MoveKind::None; interp.cycle_line = 0; break;
    case Code::Stop: ++interp.job.stops; break;
    case Code::NoEffect: case Code::Ignored: case Code::End: break;
  }
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// What follows a letter that has no number of its own: blanks and then a number, or text.
const char* after_blanks(const Word& w) {
  const char* p = w.start + w.length;
  while (is_blank(*p)) ++p;
  return p;
}

// A G word this reader does not follow, or does not know: told, counted and its effect noted.
void other_g_code(const Word& w, LineWords& line) {
  const UnfollowedCode* u = find_unfollowed(w.text + 1);
  if (u == nullptr) {
    unrecognized(w);
    not_followed(code_name(w.text), nullptr);
    line.arguments = true;
    return;
  }
  not_followed(u->what, why_not(u->effect));
  switch (u->effect) {
    case Effect::KeepsMove: break;
    case Effect::Arguments: line.arguments = true; break;
    case Effect::Cycle: line.cycle = u->what; break;
    case Effect::Straight:
      line.straight = u->what;
      line.motion = true;
      interp.move = MoveKind::Linear;
      break;
  }
}

// Applies one word; returns true for an end word, which ends the line and the program, or for
// an O-word with more after it (flow control: the rest of the line is its own).
bool apply_word(const Word& w, LineWords& line, bool& o_word) {
  const char* digits = w.text + 1;
  double v = 0;
  switch (w.text[0]) {
    case 'X': case 'x': case 'Y': case 'y': case 'Z': case 'z':
    case 'I': case 'i': case 'J': case 'j': case 'K': case 'k': case 'R': case 'r':
    case 'S': case 's': case 'F': case 'f':
      v = word_value(w.start + 1, w.length - 1);
      // NOTE: such a number would put an infinite or meaningless point into the picture and
      // the summary; leaving the word out keeps the rest of the line.
      if (!(std::fabs(v) <= kLargestNumber)) {
        say("Error: Number too large in line %ld - %c word ignored\n", interp.job.lines, w.text[0]);
        return false;
      }
      // NOTE: "X 1.5" is a letter and then a number that belongs to no word: reading the letter
      // as 0 would move the tool to 0. A controller may read them as one word, so the line is
      // not followed; a # or [ after the letter is counted with the line's marks.
      if (!has_digit(w.start + 1, w.length - 1)) {
        const char* next = after_blanks(w);
        if (*next == '#' || *next == '[') return false;
        if (next != w.start + w.length && (is_number_char(*next)))
          not_followed("letters apart from their numbers", "the letter is left out");
        else if (first_time(kNoNumber))
          say("%c without a number in line %ld - word ignored\n", w.text[0], interp.job.lines);
        return false;
      }
      break;
    default: break;
  }
  switch (w.text[0]) {
    case 'G': case 'g': {
      const CodeName* c = find_code(kGCodes, digits);
      if (c == nullptr && digits[0] == '\0' && is_number_char(*after_blanks(w)) &&
          after_blanks(w) != w.start + w.length) {
        not_followed("letters apart from their numbers", "the letter is left out");
        line.arguments = true;
        return false;
      }
      if (c == nullptr) other_g_code(w, line);
      else apply_code(c->code, line);
      if (c != nullptr && std::strcmp(digits, "70") == 0) line.lathe = "G70 lathe cycles";
      if (c != nullptr && std::strcmp(digits, "71") == 0) line.lathe = "G71 lathe cycles";
      return false;
    }
    case 'M': case 'm': {
      const CodeName* c = find_code(kMCodes, digits);
      if (c == nullptr) {
        unrecognized(w);
      } else if (c->code == Code::End) {
        say("End of g-code file.\n");
        return true;
      } else {
        apply_code(c->code, line);
      }
      return false;
    }
    case 'X': case 'x': line.axis[0] = v; line.given[0] = line.has_axis = true; return false;
    case 'Y': case 'y': line.axis[1] = v; line.given[1] = line.has_axis = true; return false;
    case 'Z': case 'z': line.axis[2] = v; line.given[2] = line.has_axis = true; return false;
    case 'I': case 'i': line.ijk[0] = v; line.given_ijk[0] = true; line.radius_flag = false; return false;
    case 'J': case 'j': line.ijk[1] = v; line.given_ijk[1] = true; line.radius_flag = false; return false;
    case 'K': case 'k': line.ijk[2] = v; line.given_ijk[2] = true; line.radius_flag = false; return false;
    case 'R': case 'r': line.r = v; line.has_r = line.radius_flag = true; return false;
    case 'S': case 's': interp.spindle = v; return false;
    case 'F': case 'f': interp.feed = v; return false;
    case 'O': case 'o': {
      // A program number stands alone; an O-word with more after it (o100 sub, o<name> call,
      // o101 while [...]) is flow control, which a straight reading cannot follow.
      const char* next = after_blanks(w);
      if (*next != '\0' && *next != '\n' && *next != ';' && *next != '(') {
        not_followed("O-words", "the lines are read once, in the order written");
        o_word = true;
      }
      return false;
    }
    // A, B, C and P values are read and have no effect; T and N are ignored outright.
    case 'A': case 'a': case 'B': case 'b': case 'C': case 'c':
    case 'P': case 'p': case 'T': case 't':
    case 'N': case 'n':
      return false;
    default:
      line.has_q = line.has_q || w.text[0] == 'Q' || w.text[0] == 'q';
      unrecognized(w);
      return false;
  }
}

// The centre given as a point: its distances to the start and to the end must agree, else the
// radius is 0 and the arc's points all lie on the centre. All in the arc's plane.
bool centre_fits(double a0, double b0, double a1, double b1, double ca, double cb, double* radius) {
  double d_end = std::sqrt((a1 - ca) * (a1 - ca) + (b1 - cb) * (b1 - cb));
  double d_start = std::sqrt((a0 - ca) * (a0 - ca) + (b0 - cb) * (b0 - cb));
  *radius = (d_end + d_start) / 2;
  return std::fabs(d_end - d_start) <= 0.0002;
}

void radius_from_centre(double a0, double b0, double a1, double b1) {
  if (!centre_fits(a0, b0, a1, b1, interp.centre_x, interp.centre_y, &interp.radius)) {
    warning_box("Error: Center distance discrepancy", "Check center x,y,z values and ijk_mode");
    warn_arc("centre distance discrepancy");
    interp.radius = 0;
  }
}

constexpr double kDiameterSnap = 0.0001;

// The centre of an R arc, on the side that makes the arc at most half a circle; a negative R
// asks for the arc of more than half a circle, about the centre on the other side.
void centre_from_radius(double x0, double y0, double x1, double y1, double r, bool clockwise) {
  if (r < 0) {
    r = -r;
    clockwise = !clockwise;  // only the side of the centre changes, not the arc's direction
    if (first_time(kNegativeRadius))
      say("Negative R in line %ld - drawn as the arc of more than half a circle\n", interp.job.lines);
  }
  double chord = std::sqrt((x1 - x0) * (x1 - x0) + (y1 - y0) * (y1 - y0));
  double chord_angle = std::atan2(y1 - y0, x1 - x0);
  double diameter = 2 * r;
  // NOTE: a half circle's radius word is rounded when written (Kerfgen prints five decimals),
  // so its chord may exceed the diameter by some millionths: up to a ten-thousandth is taken
  // as a half circle, as a controller takes it, rather than drawn about a stale centre.
  if (chord > diameter && chord - diameter < kDiameterSnap) chord = diameter;
  double mx = (x0 + x1) / 2;
  double my = (y0 + y1) / 2;
  if (diameter > chord) {
    double direction = clockwise ? chord_angle - kPi / 2 : chord_angle + kPi / 2;
    double offset = std::sqrt(r * r - chord * chord / 4);
    interp.centre_x = mx + offset * std::cos(direction);
    interp.centre_y = my + offset * std::sin(direction);
  } else if (diameter == chord) {
    interp.centre_x = mx;
    interp.centre_y = my;
  } else {
    // NOTE: the centre keeps its previous value and the arc is still drawn with it.
    say("Error: Move distance is larger than arc diameter.\n");
    warn_arc("move distance larger than the arc diameter");
  }
  interp.radius = r;
}

// NOTE: the HB617 and Kerfgen read I and J as the centre's place, other controllers as its
// offset from the start. In a program that names neither, an arc that fits both ways (a whole
// circle always does) is drawn the first way, and the other is told once.
void note_centre_mode(const LineWords& line, const double (&s)[3], const double (&e)[3], int pa, int pb,
                      double f) {
  if (interp.centre_mode != Mode::Unset || line.radius_flag || (interp.said & kCentreNote)) return;
  double ca = s[pa] + line.ijk[pa] * f, cb = s[pb] + line.ijk[pb] * f;
  double radius;
  if (ca == interp.centre_x && cb == interp.centre_y) return;  // both readings agree
  if (!centre_fits(s[pa], s[pb], e[pa], e[pb], ca, cb, &radius)) return;
  interp.said |= kCentreNote;
  interp.job.centre_note_line = interp.job.lines;
  const char* const kAxisLetter = "XYZ";
  say("Arc in line %ld read with I, J and K as the centre's place (no G90.1 or G91.1 in the "
      "program); read as offsets from the start (G91.1) it would turn about %c %.4f %c %.4f with "
      "radius %.4f\n",
      interp.job.lines, kAxisLetter[pa], ca, kAxisLetter[pb], cb, radius);
}

// The arc from the position to e, in the plane in force, handed to the sink whole.
void draw_arc(const LineWords& line, const double (&e)[3], double f, bool clockwise, bool travel,
              PathSink& sink) {
  int pa, pb, pc;
  plane_axes(interp.plane, pa, pb, pc);
  const double s[3] = {interp.x, interp.y, interp.z};
  const double a0 = s[pa], b0 = s[pb], a1 = e[pa], b1 = e[pb];
  if (line.radius_flag) {
    centre_from_radius(a0, b0, a1, b1, line.r * f, clockwise);
  } else {
    // An R word that K cancelled still names the centre: I and J, 0 when not given.
    if (line.given_ijk[pa] || line.given_ijk[pb] || line.has_r) {
      bool incremental = interp.centre_mode == Mode::Incremental;
      interp.centre_x = incremental ? a0 + line.ijk[pa] * f : line.ijk[pa] * f;
      interp.centre_y = incremental ? b0 + line.ijk[pb] * f : line.ijk[pb] * f;
      note_centre_mode(line, s, e, pa, pb, f);
    }
    // Without R, I or J the arc keeps the last centre computed (the origin at start).
    radius_from_centre(a0, b0, a1, b1);
  }
  const double ca = interp.centre_x, cb = interp.centre_y, r = interp.radius;
  const double start = std::atan2(b0 - cb, a0 - ca);
  const double end = std::atan2(b1 - cb, a1 - ca);
  double sweep;
  // NOTE: the points, not the angles, tell a full circle: from Y-0 to Y0 about a centre on the
  // X axis the angles come out as -pi and pi.
  if (a0 == a1 && b0 == b1) sweep = clockwise ? -2 * kPi : 2 * kPi;
  else sweep = end - start;
  if (!clockwise && sweep < 0) sweep += 2 * kPi;
  if (clockwise && sweep > 0) sweep -= 2 * kPi;
  // Handed on and summed up where the program began: an origin line moves no tool.
  const double* o = interp.origin;
  const double S[3] = {s[0] + o[0], s[1] + o[1], s[2] + o[2]};
  const double E[3] = {e[0] + o[0], e[1] + o[1], e[2] + o[2]};
  const double CA = ca + o[pa], CB = cb + o[pb];
  sink.arc({interp.job.lines, clockwise, travel, interp.plane == 0 ? 1 : interp.plane, S[0], S[1], S[2], E[0],
            E[1], E[2], CA, CB, r, start, sweep, interp.feed * f});
  // The box follows the curve: its start and end, and the points where it crosses the axes
  // through its centre, which reach further than any chord's end.
  BoundingBox arc = {S[0], S[0], S[1], S[1], S[2], S[2]};
  for (int quarter = 0; quarter < 4; ++quarter) {
    double turn = quarter * kPi / 2 - start;  // from the start to this axis, counter-clockwise
    turn = std::fmod(turn, 2 * kPi);
    if (turn < 0) turn += 2 * kPi;
    if (clockwise) turn = turn == 0 ? 0 : 2 * kPi - turn;
    if (turn > std::fabs(sweep)) continue;
    double p[3];
    p[pa] = CA + r * std::cos(quarter * kPi / 2);
    p[pb] = CB + r * std::sin(quarter * kPi / 2);
    p[pc] = S[pc];
    extend_box(arc, p[0], p[1], p[2]);
  }
  // An arc that misses its end (a stale centre) still passes its last point.
  {
    double p[3];
    p[pa] = CA + r * std::cos(start + sweep);
    p[pb] = CB + r * std::sin(start + sweep);
    p[pc] = E[pc];
    extend_box(arc, p[0], p[1], p[2]);
  }
  extend_box(interp.box, arc);
  // From the assumed start only the end is known: the arc drawn from the origin is a guess.
  if (interp.placed) extend_box(interp.job.extents, arc);
  else extend_box(interp.job.extents, E[0], E[1], E[2]);
  double along = r * std::fabs(sweep);
  count_move(std::sqrt(along * along + (e[pc] - s[pc]) * (e[pc] - s[pc])), true);
}

}  // namespace

bool is_program_text(char c, CommentScan& scan) {
  if (scan.to_end) return false;
  if (scan.in_parens) {
    scan.in_parens = c != ')';
    return false;
  }
  if (c == ';') scan.to_end = true;
  if (c == '(') scan.in_parens = true;
  return !scan.to_end && !scan.in_parens;
}

// A table refill always resumes at a word, outside every comment, so the scan starts afresh.
const char* tokenize(const char* text, WordTable& table) {
  table.count = 0;
  CommentScan scan = {false, false};
  const char* p = text;
  for (;;) {
    char c = *p;
    if (c == '\0' || c == '\n') return nullptr;
    if (!is_program_text(c, scan)) {
      if (scan.to_end) return nullptr;
      ++p;
      continue;
    }
    if (!is_letter(c)) {
      ++p;
      continue;
    }
    if (table.count == kMaxWords) return p;
    const char* start = p++;
    while (is_number_char(*p)) ++p;
    // X inf and X nan are numbers that no machine can reach, not an X of 0 and three more words.
    if (p - start <= 2 && (p - start == 1 || p[-1] == '+' || p[-1] == '-'))
      p += not_a_number_length(p);
    Word& w = table.words[table.count++];
    w.start = start;
    w.length = static_cast<int>(p - start);
    std::size_t kept = w.length < kWordChars ? static_cast<std::size_t>(w.length) : kWordChars;
    std::memcpy(w.text, start, kept);
    w.text[kept] = '\0';
  }
}

double word_value(const char* number, int length) {
  static const double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = number;
  const char* end = number + length;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
  std::uint64_t mantissa = 0;
  int significant = 0;
  int fraction = 0;
  bool any_digit = false;
  bool fits = true;
  auto take = [&](char c) {
    any_digit = true;
    if (mantissa == 0 && c == '0') return;
    if (significant == 19) {
      fits = false;
      return;
    }
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
    ++significant;
  };
  for (; p < end && is_digit(*p); ++p) take(*p);
  if (p < end && *p == '.') {
    for (++p; p < end && is_digit(*p); ++p) {
      take(*p);
      ++fraction;
    }
  }
  if (!any_digit && p == end) return 0;
  // Both operands exact and one correctly rounded division: the same double as strtod gives.
  if (any_digit && fits && mantissa <= (std::uint64_t{1} << 53) && fraction <= 22) {
    double v = static_cast<double>(mantissa) / kPowers[fraction];
    return negative ? -v : v;
  }
  char copy[kWordChars + 500];
  std::size_t n = static_cast<std::size_t>(length) < sizeof copy - 1 ? static_cast<std::size_t>(length)
                                                                     : sizeof copy - 1;
  std::memcpy(copy, number, n);
  copy[n] = '\0';
  return std::strtod(copy, nullptr);
}

Mode centre_mode_set(const char* text) {
  Mode mode = Mode::Unset;
  if (text[0] == ':' || text[0] == '%' || text[0] == ';') return mode;
  any_word(text, [&](const Word& w) {
    const CodeName* c = w.text[0] == 'G' || w.text[0] == 'g' ? find_code(kGCodes, w.text + 1) : nullptr;
    if (c != nullptr && c->code == Code::CentreAbsolute) mode = Mode::Absolute;
    if (c != nullptr && c->code == Code::CentreIncremental) mode = Mode::Incremental;
    return false;
  });
  return mode;
}

const char* unit_name(Units file_units) { return file_units == Units::Millimetre ? "mm" : "inch"; }

namespace {

// An origin line (G92, G92.1, G99): the tool stays where it is and takes other coordinates.
// G92 names the present place (bare, it becomes the origin), G99 puts the origin at the place
// given; both take their numbers as written, whatever G91 says.
void move_origin(const LineWords& line, double f, PathSink& sink) {
  const double now[3] = {interp.x, interp.y, interp.z};
  double to[3] = {now[0], now[1], now[2]};
  for (int a = 0; a < 3; ++a) {
    if (line.set_origin) to[a] = line.given[a] ? line.axis[a] * f : line.has_axis ? now[a] : 0;
    else if (line.new_origin) to[a] = line.given[a] ? now[a] - line.axis[a] * f : now[a];
    else to[a] = now[a] + interp.origin[a];
    if (!(std::fabs(interp.origin[a] + now[a] - to[a]) <= kLargestNumber)) {
      say("Error: Number too large in line %ld - %c word ignored\n", interp.job.lines, "XYZ"[a]);
      to[a] = now[a];
    }
    interp.origin[a] += now[a] - to[a];
  }
  interp.x = to[0];
  interp.y = to[1];
  interp.z = to[2];
  sink.origin(interp.job.lines, to[0], to[1], to[2]);
}

}  // namespace

bool interpret_line(const char* text, PathSink& sink) {
  ++interp.job.lines;
  const long number = interp.job.lines;
  // ":" lines are operator pauses and "%" marks the tape's ends: neither is a move.
  switch (text[0]) {
    case ':': ++interp.job.pauses; return false;
    case ';':
      interp.job.refused += is_error_comment(text) ? 1 : 0;
      note_tool(text, sink);
      sink.comment(number, text);
      return false;
    case '\0': case '%': return false;
    default: break;
  }
  scan_marks(text);
  LineWords line{};
  const long stops = interp.job.stops;
  const Units units = interp.units;
  bool o_word = false;
  const char* rest = text;
  do {
    rest = tokenize(rest, word_table);
    for (int k = 0; k < word_table.count && !o_word; ++k)
      if (apply_word(word_table.words[k], line, o_word)) return true;
  } while (rest != nullptr && !o_word);
  if (interp.job.stops != stops) sink.stop(number);
  if (o_word) return false;
  // NOTE: G70 and G71 are the HB617's inch and millimetre; with a Q word (the profile's
  // subroutine) they are other controllers' lathe cycles, and the unit stays as it was.
  if (line.lathe != nullptr && line.has_q) {
    interp.units = units;
    not_followed(line.lathe, "its line moves nothing here");
    return false;
  }

  if (interp.file_units == Units::Unset) {
    if (interp.units != Units::Unset) interp.file_units = interp.units;
    else if (line.has_axis) interp.file_units = Units::Inch;
    interp.job.units = interp.file_units;
  }
  const double f = unit_factor();
  if (line.motion || line.cycle != nullptr) {
    interp.cycle_line = line.cycle != nullptr ? number : 0;
    interp.modal_unfollowed = line.cycle != nullptr ? line.cycle : line.straight;
    if (line.cycle != nullptr) interp.move = MoveKind::None;
  }
  if (interp.move == MoveKind::None && interp.cycle_line == 0 && line.straight == nullptr)
    interp.modal_unfollowed = nullptr;  // G80
  // A G99 beside a canned cycle is the cycle's return to R, not the HB617's new origin.
  if (line.new_origin && line.cycle != nullptr) line.new_origin = false;
  if (line.set_origin || line.new_origin || line.clear_origin) {
    move_origin(line, f, sink);
    return false;
  }
  // NOTE: a line without coordinates (M5, F10, G17 after an arc) moves nothing; repeating the
  // motion word there would draw an arc from its end to its end, a whole circle. A G2 or G3
  // line with only its centre is that whole circle, on purpose.
  const bool arc = interp.move == MoveKind::Clockwise || interp.move == MoveKind::CounterClockwise;
  int pa, pb, pc;
  plane_axes(interp.plane, pa, pb, pc);
  const bool circle = arc && line.motion && !line.radius_flag && (line.given_ijk[pa] || line.given_ijk[pb]);
  if (!line.has_axis && !circle) return false;
  // NOTE: with a G word not known here (the controller's g46 backlash, a G10 or G28) the
  // coordinates are that code's arguments, not a move; drawing one would show a move the
  // machine never makes. The lines of a canned cycle's run are its holes, not moves.
  if (line.arguments || line.cycle != nullptr) return false;
  if (!line.motion && interp.modal_unfollowed != nullptr) {
    not_followed(interp.modal_unfollowed, "");
    if (interp.cycle_line != 0) return false;
  }
  const double now[3] = {interp.x, interp.y, interp.z};
  const bool incremental = interp.distance_mode == Mode::Incremental;
  double to[3];
  const double* o = interp.origin;
  for (int a = 0; a < 3; ++a) {
    to[a] = !line.given[a] ? now[a] : incremental ? now[a] + line.axis[a] * f : line.axis[a] * f;
    // NOTE: relative moves and origins add up line after line; a place past any machine would
    // turn into an infinite vertex, so the word is left out as a number too large is.
    if (!(std::fabs(to[a] + o[a]) <= kLargestNumber)) {
      say("Error: Number too large in line %ld - %c word ignored\n", number, "XYZ"[a]);
      to[a] = now[a];
    }
  }
  // Where the program began: what is drawn and summed up.
  const double from[3] = {now[0] + o[0], now[1] + o[1], now[2] + o[2]};
  const double end[3] = {to[0] + o[0], to[1] + o[1], to[2] + o[2]};
  // Kerfgen positions with g1 at its highest feed: a move cuts nothing when both its ends lie
  // above the work's top face.
  const bool travel = !interp.placed || (now[2] > 0 && to[2] > 0);
  switch (interp.move) {
    case MoveKind::Rapid:
    case MoveKind::Linear: {
      sink.move({number, interp.move, travel, end[0], end[1], end[2], interp.feed * f});
      double dx = to[0] - now[0], dy = to[1] - now[1], dz = to[2] - now[2];
      if (interp.placed) extend_box(interp.job.extents, from[0], from[1], from[2]);
      extend_box(interp.job.extents, end[0], end[1], end[2]);
      count_move(std::sqrt(dx * dx + dy * dy + dz * dz), interp.move == MoveKind::Linear);
      break;
    }
    case MoveKind::Clockwise: draw_arc(line, to, f, true, travel, sink); break;
    case MoveKind::CounterClockwise: draw_arc(line, to, f, false, travel, sink); break;
    case MoveKind::Dwell:
    case MoveKind::None: break;
  }
  interp.x = to[0];
  interp.y = to[1];
  interp.z = to[2];
  interp.placed = true;
  extend_box(interp.box, end[0], end[1], end[2]);
  return false;
}
