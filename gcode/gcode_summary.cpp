// gcode_summary.cpp - sums up a G-code file through the interpreter and prints the sum.
#include "gcode_summary.h"

#include <cmath>

#include "gcode_messages.h"
#include "gcode_reader.h"

namespace {

class NoSink : public PathSink {
 public:
  void vertex(const Colour&, float, float, float) override {}
  void end_path() override {}
};

// h:mm:ss, rounded to the second.
void print_time(std::FILE* out, double minutes) {
  double seconds = std::round(minutes * 60);
  if (!(seconds < 1e12)) {
    std::fprintf(out, "%.3g h", minutes / 60);
    return;
  }
  long long s = static_cast<long long>(seconds);
  std::fprintf(out, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
}

}  // namespace

bool summarise_file(const char* name, JobSummary& summary) {
  NoSink sink;
  const bool opened = read_gcode_quietly(name, sink);
  summary = interp.job;
  return opened;
}

void print_summary(std::FILE* out, const JobSummary& s) {
  std::fprintf(out, "\nJob summary\n");
  std::fprintf(out, "  Lines read:      %ld\n", s.lines);
  std::fprintf(out, "  Moves:           %ld\n", s.moves);
  // Inch, the controller's own unit, goes without saying, as in every program Kerfgen writes.
  if (s.units == Units::Millimetre) std::fprintf(out, "  Unit:            mm (lengths as the file writes them)\n");
  if (s.moves > 0) {
    const BoundingBox& e = s.extents;
    std::fprintf(out, "  X from %.4f to %.4f\n", e.x_min, e.x_max);
    std::fprintf(out, "  Y from %.4f to %.4f\n", e.y_min, e.y_max);
    std::fprintf(out, "  Z from %.4f to %.4f\n", e.z_min, e.z_max);
  }
  std::fprintf(out, "  Feed length:     %.4f\n", s.feed_length);
  if (s.rapid_length > 0) std::fprintf(out, "  Rapid length:    %.4f (not timed)\n", s.rapid_length);
  std::fprintf(out, "  Cutting time:    ");
  print_time(out, s.minutes);
  std::fprintf(out, " (h:mm:ss at the F words)\n");
  if (s.untimed_length > 0)
    std::fprintf(out, "  Not timed:       %.4f of feed moves at F 0\n", s.untimed_length);
  std::fprintf(out, "  Operator stops:  %ld (m00, m01)\n", s.stops);
  std::fprintf(out, "  Operator pauses: %ld (\":\" lines)\n", s.pauses);
  if (s.refused > 0) std::fprintf(out, "  Refused commands: %ld (see '; error' lines)\n", s.refused);
  if (s.warnings > 0) {
    std::fprintf(out, "  Arc warnings:    %ld (arcs a controller may not cut as drawn)\n", s.warnings);
    long listed = s.warnings < kListedWarnings ? s.warnings : kListedWarnings;
    for (long k = 0; k < listed; ++k)
      std::fprintf(out, "    line %ld: %s\n", s.warned[k].line, s.warned[k].what);
    if (s.warnings > listed) std::fprintf(out, "    and %ld more\n", s.warnings - listed);
  }
  if (s.unfollowed_kinds > 0) {
    std::fprintf(out, "  Not followed: ");
    for (int k = 0; k < s.unfollowed_kinds; ++k) {
      const Unfollowed& u = s.unfollowed[k];
      std::fprintf(out, "%s%s on %ld line%s, first line %ld", k > 0 ? "; " : "", u.what, u.lines,
                   u.lines == 1 ? "" : "s", u.first_line);
    }
    std::fprintf(out, "\n");
  }
}

std::string summary_title(const JobSummary& s) {
  std::string tail;
  if (s.units == Units::Millimetre) tail += " - in mm";
  if (s.unfollowed_kinds == 0) return tail;
  tail += " - not followed: ";
  for (int k = 0; k < s.unfollowed_kinds; ++k) {
    if (k > 0) tail += ", ";
    tail += s.unfollowed[k].what;
  }
  return tail;
}
