// gcode_interpreter.cpp - tokenizer, word rules, modal state, arc interpolation, bounding box.
#include "gcode_interpreter.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
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
constexpr int kArcSegments = 32;  // every arc, whatever its size

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
// and the digits must match one of these exactly: G000, G1.0, G20 and M6 are unknown codes.
enum class Code {
  Rapid, Linear, Clockwise, CounterClockwise, Dwell,
  Inch, Millimetre, PlaneXY, PlaneXZ, PlaneYZ,
  DistanceAbsolute, DistanceIncremental, CentreAbsolute, CentreIncremental,
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
    {"17", Code::PlaneXY},   {"18", Code::PlaneXZ},   {"19", Code::PlaneYZ},
    {"90", Code::DistanceAbsolute}, {"91", Code::DistanceIncremental},
    {"90.1", Code::CentreAbsolute}, {"91.1", Code::CentreIncremental},
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

// What the words of one line set; I, J and R are not modal.
struct LineWords {
  double x, y, z;
  double i, j, r;
  bool radius_flag;  // an R word came last among R, I, J and K
  bool has_centre;   // an I, J or R word was met
  bool has_axis;     // an X, Y or Z word was met: without one a line moves nothing
  bool other_code;   // a G word this reader does not know: its coordinates are its arguments
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

void emit(PathSink& sink, const Colour& colour, double x, double y, double z) {
  sink.vertex(colour, static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void extend_box(BoundingBox& b, const BoundingBox& other) {
  extend_box(b, other.x_min, other.y_min, other.z_min);
  extend_box(b, other.x_max, other.y_max, other.z_max);
}

// What the viewer does not follow, each told once a file, at the first line that has it.
enum NotFollowed : unsigned {
  kIncremental = 1, kOtherPlane = 2, kNegativeRadius = 4, kNoNumber = 8,
};

bool first_time(NotFollowed kind) {
  if (interp.said & kind) return false;
  interp.said |= kind;
  return true;
}

unsigned noted_this_line;  // the kinds of unfollowed word already counted on the line read

// Keeps a kind of word not followed with the summary, each kind once with its first line and
// the lines that hold it, so that a check of the program knows where the reading stops being
// the machine's. what is fixed text.
void note_unfollowed(const char* what) {
  JobSummary& job = interp.job;
  int k = 0;
  while (k < job.unfollowed_kinds && std::strcmp(job.unfollowed[k].what, what) != 0) ++k;
  if (k == job.unfollowed_kinds) {
    if (k == kUnfollowedKinds) k = kUnfollowedKinds - 1;  // more kinds than rows: the last row counts them
    else job.unfollowed[job.unfollowed_kinds++] = {what, job.lines, 0};
  }
  if (noted_this_line & (1u << k)) return;
  noted_this_line |= 1u << k;
  ++job.unfollowed[k].lines;
}

// The canned cycles: modal, so that every later line with axis words repeats the cycle there
// until G80 or another motion word.
const char* const kCycles[] = {"G73", "G81", "G82", "G83", "G84", "G85", "G86", "G87", "G88", "G89"};

const char* cycle_name(const char* digits) {
  for (const char* name : kCycles)
    if (std::strcmp(name + 1, digits) == 0) return name;
  return nullptr;
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

void note_tool(const char* text) {
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
    return;
  }
}

void unrecognized(const Word& w) { say("Unrecognized Code - %.*s\n", w.length, w.start); }

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
  if (interp.feed > 0) job.minutes += length / interp.feed;
  else job.untimed_length += length;
}

void apply_code(Code code) {
  switch (code) {
    case Code::Rapid: interp.move = MoveKind::Rapid; break;
    case Code::Linear: interp.move = MoveKind::Linear; break;
    case Code::Clockwise: interp.move = MoveKind::Clockwise; break;
    case Code::CounterClockwise: interp.move = MoveKind::CounterClockwise; break;
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
    case Code::Stop: ++interp.job.stops; break;
    case Code::Ignored: case Code::End: break;
  }
}

// Applies one word; returns true for an end word, which ends the line and the program.
bool apply_word(const Word& w, LineWords& line) {
  const char* digits = w.text + 1;
  double v = 0;
  switch (w.text[0]) {
    case 'X': case 'x': case 'Y': case 'y': case 'Z': case 'z':
    case 'I': case 'i': case 'J': case 'j': case 'R': case 'r':
    case 'S': case 's': case 'F': case 'f':
      v = word_value(w.start + 1, w.length - 1);
      // NOTE: such a number would put an infinite or meaningless point into the picture and
      // the summary; leaving the word out keeps the rest of the line.
      if (!(std::fabs(v) <= kLargestNumber)) {
        say("Error: Number too large in line %ld - %c word ignored\n", interp.job.lines, w.text[0]);
        return false;
      }
      // NOTE: "X 1.5" is a letter and then a number that belongs to no word: reading the letter
      // as 0 would move the tool to 0.
      if (!has_digit(w.start + 1, w.length - 1)) {
        if (first_time(kNoNumber))
          say("%c without a number in line %ld - word ignored\n", w.text[0], interp.job.lines);
        return false;
      }
      break;
    default: break;
  }
  switch (w.text[0]) {
    case 'G': case 'g': {
      const CodeName* c = find_code(kGCodes, digits);
      if (c == nullptr) {
        unrecognized(w);
        line.other_code = true;
        if (const char* cycle = cycle_name(digits)) {
          note_unfollowed(cycle);
          interp.cycle_line = interp.job.lines;
        }
        if (std::strcmp(digits, "80") == 0) interp.cycle_line = 0;
        return false;
      }
      if (c->code == Code::DistanceIncremental) {
        note_unfollowed("G91");
        if (first_time(kIncremental))
          say("%.*s in line %ld not followed - distances are drawn as absolute\n", w.length, w.start,
              interp.job.lines);
      }
      if (c->code == Code::PlaneXZ || c->code == Code::PlaneYZ) {
        note_unfollowed(c->code == Code::PlaneXZ ? "G18" : "G19");
        if (first_time(kOtherPlane))
          say("%.*s in line %ld not followed - arcs are drawn in the XY plane\n", w.length, w.start,
              interp.job.lines);
      }
      // Another motion word ends a canned cycle's modal run.
      if (c->code < Code::Dwell) interp.cycle_line = 0;
      apply_code(c->code);
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
        apply_code(c->code);
      }
      return false;
    }
    case 'X': case 'x': line.x = v; line.has_axis = true; return false;
    case 'Y': case 'y': line.y = v; line.has_axis = true; return false;
    case 'Z': case 'z': line.z = v; line.has_axis = true; return false;
    case 'I': case 'i': line.i = v; line.radius_flag = false; line.has_centre = true; return false;
    case 'J': case 'j': line.j = v; line.radius_flag = false; line.has_centre = true; return false;
    case 'K': case 'k': line.radius_flag = false; return false;
    case 'R': case 'r': line.r = v; line.radius_flag = true; line.has_centre = true; return false;
    case 'S': case 's': interp.spindle = v; return false;
    case 'F': case 'f': interp.feed = v; return false;
    // A, B, C, K and P values are read and have no effect; T, N and O are ignored outright.
    case 'A': case 'a': case 'B': case 'b': case 'C': case 'c':
    case 'P': case 'p': case 'T': case 't':
    case 'N': case 'n': case 'O': case 'o':
      return false;
    default:
      unrecognized(w);
      return false;
  }
}

// The centre given as a point: its distances to the start and to the end must agree, else the
// radius is 0 and the arc's points all lie on the centre.
void radius_from_centre(double x0, double y0, double x1, double y1) {
  double d_end = std::sqrt((x1 - interp.centre_x) * (x1 - interp.centre_x) +
                           (y1 - interp.centre_y) * (y1 - interp.centre_y));
  double d_start = std::sqrt((x0 - interp.centre_x) * (x0 - interp.centre_x) +
                             (y0 - interp.centre_y) * (y0 - interp.centre_y));
  if (std::fabs(d_end - d_start) > 0.0002) {
    warning_box("Error: Center distance discrepancy", "Check center x,y,z values and ijk_mode");
    warn_arc("centre distance discrepancy");
    interp.radius = 0;
  } else {
    interp.radius = (d_end + d_start) / 2;
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

void draw_arc(const LineWords& line, bool clockwise, bool travel, PathSink& sink) {
  const double x0 = interp.x, y0 = interp.y, z0 = interp.z;
  const double x1 = line.x, y1 = line.y, z1 = line.z;
  if (line.radius_flag) {
    centre_from_radius(x0, y0, x1, y1, line.r, clockwise);
  } else {
    // An R word that K cancelled still names the centre: I and J, 0 when not given.
    if (line.has_centre) {
      bool incremental = interp.centre_mode == Mode::Incremental;
      interp.centre_x = incremental ? x0 + line.i : line.i;
      interp.centre_y = incremental ? y0 + line.j : line.j;
    }
    // Without R, I or J the arc keeps the last centre computed (the origin at start).
    radius_from_centre(x0, y0, x1, y1);
  }
  const double cx = interp.centre_x, cy = interp.centre_y, r = interp.radius;
  const double start = std::atan2(y0 - cy, x0 - cx);
  const double end = std::atan2(y1 - cy, x1 - cx);
  double sweep;
  // NOTE: the points, not the angles, tell a full circle: from Y-0 to Y0 about a centre on the
  // X axis the angles come out as -pi and pi.
  if (x0 == x1 && y0 == y1) sweep = clockwise ? -2 * kPi : 2 * kPi;
  else sweep = end - start;
  if (!clockwise && sweep < 0) sweep += 2 * kPi;
  if (clockwise && sweep > 0) sweep -= 2 * kPi;
  const Colour& colour = travel ? kTravelColour : clockwise ? kClockwiseColour : kCounterColour;
  BoundingBox arc = {x0, x0, y0, y0, z0, z0};  // kept in registers across the sink's calls
  for (int k = 1; k <= kArcSegments; ++k) {
    double theta = start + (k / static_cast<double>(kArcSegments)) * sweep;
    double px = cx + r * std::cos(theta);
    double py = cy + r * std::sin(theta);
    double pz = z0 + k * (z1 - z0) / kArcSegments;
    emit(sink, colour, px, py, pz);
    extend_box(arc, px, py, pz);
  }
  // The start is already in the box: it holds every earlier point and line end.
  extend_box(interp.box, arc);
  // The summary follows the curve: the points where it crosses the axes through its centre
  // reach further than the 32 points drawn.
  for (int quarter = 0; quarter < 4; ++quarter) {
    double turn = quarter * kPi / 2 - start;  // from the start to this axis, counter-clockwise
    turn = std::fmod(turn, 2 * kPi);
    if (turn < 0) turn += 2 * kPi;
    if (clockwise) turn = turn == 0 ? 0 : 2 * kPi - turn;
    if (turn <= std::fabs(sweep))
      extend_box(arc, cx + r * std::cos(quarter * kPi / 2), cy + r * std::sin(quarter * kPi / 2), z0);
  }
  // From the assumed start only the end is known: the arc drawn from the origin is a guess.
  if (interp.placed) extend_box(interp.job.extents, arc);
  else extend_box(interp.job.extents, x1, y1, z1);
  double along = r * std::fabs(sweep);
  count_move(std::sqrt(along * along + (z1 - z0) * (z1 - z0)), true);
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

bool interpret_line(const char* text, PathSink& sink) {
  ++interp.job.lines;
  noted_this_line = 0;
  // ":" lines are operator pauses and "%" marks the tape's ends: neither is a move.
  switch (text[0]) {
    case ':': ++interp.job.pauses; return false;
    case ';':
      interp.job.refused += is_error_comment(text) ? 1 : 0;
      note_tool(text);
      return false;
    case '\0': case '%': return false;
    default: break;
  }
  LineWords line = {interp.x, interp.y, interp.z, 0, 0, 0, false, false, false, false};
  const char* rest = text;
  do {
    rest = tokenize(rest, word_table);
    for (int k = 0; k < word_table.count; ++k)
      if (apply_word(word_table.words[k], line)) return true;
  } while (rest != nullptr);

  // NOTE: a line without coordinates (M5, F10, G17 after an arc) moves nothing; repeating the
  // motion word there would draw an arc from its end to its end, a whole circle.
  if (!line.has_axis) return false;
  // NOTE: with a G word not known here (the controller's g46 backlash, G99 new origin, a g92
  // with axes) the coordinates are that code's arguments, not a move; drawing one would show a
  // move the machine never makes.
  if (line.other_code) return false;
  // Kerfgen positions with g1 at its highest feed: a move cuts nothing when both its ends lie
  // above the work's top face.
  const bool travel = !interp.placed || (interp.z > 0 && line.z > 0);
  switch (interp.move) {
    case MoveKind::Rapid:
    case MoveKind::Linear: {
      emit(sink, travel ? kTravelColour : kFeedColour, line.x, line.y, line.z);
      double dx = line.x - interp.x, dy = line.y - interp.y, dz = line.z - interp.z;
      if (interp.placed) extend_box(interp.job.extents, interp.x, interp.y, interp.z);
      extend_box(interp.job.extents, line.x, line.y, line.z);
      count_move(std::sqrt(dx * dx + dy * dy + dz * dz), interp.move == MoveKind::Linear);
      break;
    }
    case MoveKind::Clockwise: draw_arc(line, true, travel, sink); break;
    case MoveKind::CounterClockwise: draw_arc(line, false, travel, sink); break;
    case MoveKind::Dwell:
    case MoveKind::None: break;
  }
  interp.x = line.x;
  interp.y = line.y;
  interp.z = line.z;
  interp.placed = true;
  extend_box(interp.box, line.x, line.y, line.z);
  return false;
}
