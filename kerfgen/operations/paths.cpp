// paths.cpp - mill_path: the path file reader, the path's direction, its reversal and its cut.
#include "paths.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "geometry.h"
#include "guard.h"
#include "params.h"
#include "reader.h"
#include "setup.h"
#include "writer.h"

namespace {

// The smallest radius an r entry may give: anything less is written as r0.00000.
constexpr double kSmallestRadius = 0.000005;

struct PathLeg {
  Point start, end;
  Point centre;      // as read (c entry, absolute or relative as ij_mode says) or computed (r)
  double radius;     // as read (r entry) or computed (c entry)
  double heading;    // of the chord, start to end
  double turn;       // from the previous leg's heading; leg 0 follows the last leg
  char direction;    // c (g2) or w (g3)
  bool is_arc;
  bool centre_given;
  bool side_given;   // an i or o word fixed the direction
  int entry;         // where the path file gives it, for the messages
  int line;
};

// The path file being read, and where in it.
struct PathFile {
  std::FILE* in;
  const char* name;
  int entry;  // counted from 1, the first point being entry 1
  int line;   // of the path file, counted from 1, where the last word read stands
  char word[kWordSize];
  bool cut;   // the word was longer than the buffer: no number, whatever its start says
};

// A word of a path file or its name as an error comment shows it: a control byte of a binary
// file would break the comment's line (or the terminal that shows it), so it is spelt \xNN.
struct Shown {
  char text[4 * kWordSize];
};

Shown shown(const char* word) {
  Shown s{};
  std::size_t at = 0;
  for (const char* p = word; *p != '\0' && at + 5 < sizeof s.text; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < ' ' || c == 0x7f)
      at += static_cast<std::size_t>(std::snprintf(s.text + at, 5, "\\x%02x", c));
    else
      s.text[at++] = static_cast<char>(c);
  }
  s.text[at] = '\0';
  return s;
}

void report_no_leg(const PathFile& f) {
  write_text("; error - mill_path: path file \"%s\" holds no leg\n", shown(f.name).text);
}

// A number is a whole word that converts to a finite value; anything else in a number's place
// (a letter, "1.5x", "nan") would cut somewhere the drawing never meant.
bool to_number(const char* word, double* value) {
  char* end = nullptr;
  *value = std::strtod(word, &end);
  return end != word && *end == '\0' && std::isfinite(*value);
}

// The current word as a number, or false after reporting it.
bool word_number(PathFile& f, double* value) {
  if (!f.cut && to_number(f.word, value)) return true;
  write_text("; error - mill_path: path file \"%s\", entry %d: unexpected word \"%s\"\n",
             shown(f.name).text, f.entry, shown(f.word).text);
  return false;
}

// Reads the next word; false at the end of the file.
bool next_word(PathFile& f) {
  int c;
  while ((c = std::getc(f.in)) != EOF && std::isspace(c))
    if (c == '\n') ++f.line;
  if (c != EOF) std::ungetc(c, f.in);
  WordRead read = read_word(f.in, f.word);
  f.cut = read == WordRead::Cut;
  return read != WordRead::End;
}

bool report_short(const PathFile& f) {
  write_text("; error - mill_path: path file \"%s\" ends inside entry %d\n", shown(f.name).text,
             f.entry);
  return false;
}

// The next word as a number, or false after reporting the end of the file or the word.
bool next_number(PathFile& f, double* value) {
  return next_word(f) ? word_number(f, value) : report_short(f);
}

// After the first point: skips to what can begin a number or a word, and shows a letter (an arc
// entry straight after the first point). False at the end of the file.
bool look_ahead(PathFile& f) {
  int c;
  while ((c = std::getc(f.in)) != EOF && !std::isdigit(c) && !std::isalpha(c) && c != '+' &&
         c != '-' && c != '.') {
    if (c == '\n') ++f.line;
  }
  if (c == EOF) return false;
  std::ungetc(c, f.in);
  if (std::isalpha(c)) {
    std::printf("%c: ", c & 0x7f);
    std::printf("%d: isalpha\n", c);
  }
  return true;
}

// Reads one leg entry whose first word is in f.word, starting at `at`.
bool read_leg(PathFile& f, Point at, PathLeg* leg) {
  *leg = PathLeg{};
  leg->start = at;
  leg->entry = f.entry;
  leg->line = f.line;
  char kind = letter_in(f.word, "rc");
  if (kind == 0) return word_number(f, &leg->end.x) && next_number(f, &leg->end.y);
  leg->is_arc = true;
  leg->centre_given = kind == 'c';
  double v[4];
  int count = kind == 'c' ? 4 : 3;
  int got = 0;
  if (!next_word(f)) return report_short(f);
  if (char side = letter_in(f.word, "io")) {
    // Inside a closed outline climb milling runs counter-clockwise, outside it clockwise.
    leg->side_given = true;
    leg->direction = (side == 'i') == (params.climb == 'y') ? 'w' : 'c';
  } else if (word_number(f, &v[got])) {
    ++got;
  } else {
    return false;
  }
  for (; got < count; ++got)
    if (!next_number(f, &v[got])) return false;
  if (kind == 'c') {
    leg->centre = Point{v[0], v[1]};
    leg->end = Point{v[2], v[3]};
  } else {
    leg->radius = v[0];
    leg->end = Point{v[1], v[2]};
  }
  return true;
}

// Reads the whole path; the number of legs, or 0 when the operation is refused (reported).
int read_path(PathFile& f, PathLeg* legs) {
  f.entry = 1;
  f.line = 1;
  if (!next_word(f)) {
    report_no_leg(f);
    return 0;
  }
  if (letter_in(f.word, "rc") != 0) {
    std::printf("Error: First entry in path file must be a point pair (x,y).\n");
    return 0;
  }
  Point at;
  if (!word_number(f, &at.x)) return 0;
  if (!next_word(f)) {
    report_no_leg(f);
    return 0;
  }
  if (!word_number(f, &at.y)) return 0;
  if (!look_ahead(f)) {
    report_no_leg(f);
    return 0;
  }
  int n = 0;
  for (f.entry = 2; next_word(f); ++f.entry) {
    PathLeg leg;
    if (!read_leg(f, at, &leg)) return 0;
    if (n == kMaxPathLegs) {
      write_text("; error - mill_path: path file \"%s\" holds more than %d legs\n",
                 shown(f.name).text, kMaxPathLegs);
      return 0;
    }
    legs[n++] = leg;
    at = leg.end;
  }
  if (n == 0) report_no_leg(f);
  return n;
}

// An arc entry that describes no arc refuses the whole path, naming the entry: a controller
// would stop at it, or cut a circle nobody drew.
bool report_no_arc(const PathFile& f, const PathLeg& leg, const char* what) {
  write_text("; error - mill_path: path file \"%s\", entry %d (line %d): %s\n", shown(f.name).text,
             leg.entry, leg.line, what);
  return false;
}

// Headings, turns, arc directions, and the centre or radius each arc entry left out, with the
// sum of the turns in *turns; false, reported, when an arc entry is no arc.
bool shape_legs(const PathFile& f, PathLeg* legs, int n, double* turns) {
  for (int i = 0; i < n; ++i)
    legs[i].heading = segment_direction(legs[i].start.x, legs[i].start.y, legs[i].end.x,
                                        legs[i].end.y);
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    PathLeg& leg = legs[i];
    leg.turn = direction_difference(legs[(i + n - 1) % n].heading, leg.heading);
    sum += leg.turn;
    if (!leg.is_arc) continue;
    if (!leg.side_given) leg.direction = direction_letter(leg.turn);
    if (leg.centre_given) {
      leg.radius =
          centre_check(leg.start.x, leg.start.y, leg.centre.x, leg.centre.y, leg.end.x, leg.end.y);
      if (leg.radius == 0)
        return report_no_arc(f, leg, "the centre is not as far from the end as from the start");
    } else if (!(leg.radius >= kSmallestRadius)) {
      // NOTE: r0.00000, or a negative radius, which a controller takes for the longer arc.
      return report_no_arc(f, leg, "the radius is not above 0");
    } else if (!arc_centre(leg.start.x, leg.start.y, leg.end.x, leg.end.y, leg.radius,
                           leg.direction, &leg.centre)) {
      return report_no_arc(f, leg, "the end is farther from the start than the diameter");
    }
  }
  *turns = sum;
  return true;
}

// Sets mill_dir from the path's general direction, for this and later commands, and warns
// where that direction, mill_mode and climb disagree.
void report_direction(double path_direction) {
  double degrees = path_direction * kDegreesPerRadian;
  if (path_direction < 0) {
    params.mill_dir = 'c';
    std::printf("\nGeneral milling direction is CLOCKWISE %f degrees.\n", degrees);
  } else if (path_direction > 0) {
    params.mill_dir = 'w';
    std::printf("\nGeneral milling direction is COUNTERCLOCKWISE %f degrees.\n", degrees);
  } else {
    std::printf("\nCannot determine general milling direction, path_direction = %f\n", degrees);
  }
  char mode = params.mill_mode, dir = params.mill_dir;
  bool climb = params.climb == 'y';
  if (mode == 'o' && dir == 'c' && !climb)
    std::printf("\nConflict: CLOCKWISE path, OUTSIDE mill_mode, standard milling.\n");
  if (mode == 'o' && dir == 'w' && climb)
    std::printf("\nConflict: COUNTERCLOCKWISE path, OUTSIDE mill_mode, climb milling.\n");
  if (mode == 'i' && dir == 'c' && climb)
    std::printf("\nConflict: CLOCKWISE path, INSIDE mill_mode, climb milling.\n");
  if (mode == 'i' && dir == 'w' && !climb)
    std::printf("\nConflict: COUNTERCLOCKWISE path, INSIDE mill_mode, standard milling.\n");
}

bool is_closed(const PathLeg* legs, int n) {
  return legs[0].start.x == legs[n - 1].end.x && legs[0].start.y == legs[n - 1].end.y;
}

// Runs the path backwards. A closed path then starts with its first straight leg; an open one
// starts where it ended, since any other start would break the chain of legs.
void reverse_legs(PathLeg* legs, int n) {
  bool closed = is_closed(legs, n);
  std::reverse(legs, legs + n);
  if (closed) {
    int k = 0;
    while (k < n && legs[k].is_arc) ++k;
    if (k < n) std::rotate(legs, legs + k, legs + n);
  }
  for (int i = 0; i < n; ++i) {
    PathLeg& leg = legs[i];
    leg.turn = -leg.turn;
    if (params.ij_mode != 'a') {
      // A relative centre stays where it was, measured from the new start.
      leg.centre.x = leg.start.x + leg.centre.x - leg.end.x;
      leg.centre.y = leg.start.y + leg.centre.y - leg.end.y;
    }
    std::swap(leg.start, leg.end);
    leg.direction = leg.direction == 'c' ? 'w' : 'c';
  }
}

// Where the centre of a c entry is: the file gives it from the arc's start under ij_mode i.
Point true_centre(const PathLeg& leg) {
  if (params.ij_mode == 'a') return leg.centre;
  return Point{leg.start.x + leg.centre.x, leg.start.y + leg.centre.y};
}

void cut_legs(const PathLeg* legs, int n) {
  double feed = params.feedrate_cut;
  for (int i = 0; i < n; ++i) {
    const PathLeg& leg = legs[i];
    if (!leg.is_arc) {
      write_xy(leg.end.x, leg.end.y, feed);
      continue;
    }
    set_arc_word(leg.direction == 'c' ? "g2" : "g3");
    if (leg.centre_given)
      write_arc_ij(leg.end.x, leg.end.y, true_centre(leg).x, true_centre(leg).y, feed);
    else
      write_arc_r(leg.end.x, leg.end.y, leg.radius, feed);
  }
}

}  // namespace

void mill_path(double sd, double ed, const char* name, std::FILE* path) {
  double dc = params.depth_cut;
  if (!depth_ok("mill_path", "depth_cut", dc, sd, ed)) return;
  write_text("; Mill_path: Start/End Depth: %.4f %.4f, \"%s\"\n", sd, ed, shown(name).text);
  PathLeg legs[kMaxPathLegs];
  PathFile f{path, name, 0, 0, {}, false};
  int n = read_path(f, legs);
  if (n == 0) return;
  double turns = 0;
  if (!shape_legs(f, legs, n, &turns)) return;
  report_direction(turns);
  std::printf("\n; Number of legs in path = %d\n", n);
  if (params.reverse_path == 'y') {
    std::printf("\nmillpath operation \"%s\" has been reversed by the user.\n", name);
    reverse_legs(legs, n);
  }
  Point start = legs[0].start;
  bool closed = is_closed(legs, n);
  approach(start.x, start.y, sd + params.off_contact);
  double c = sd;
  while (c - dc > ed) {
    c -= dc;
    write_z(c, params.feedrate_plunge);
    cut_legs(legs, n);
    // An open path ends away from its start: back over the start for the next pass. A closed
    // one is cut on continuously.
    if (!closed) approach(start.x, start.y, c + params.off_contact);
  }
  write_z(ed, params.feedrate_plunge);
  cut_legs(legs, n);
  retract();
}
