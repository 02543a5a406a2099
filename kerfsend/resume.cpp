// resume.cpp - the moves back to a resume line, the travel check, and what a line or a typed
// command does, through the one reading.
#include "resume.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "gcode_interpreter.h"
#include "gcode_resume.h"

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
  each_sent_line(file, 1, [&](const Line& line, long number) {
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
