// gcode_interpreter.h - the G-code interpreter: one line of text in, tool path vertices out.
#pragma once

#include "gcode_sink.h"

struct BoundingBox {
  double x_min, x_max, y_min, y_max, z_min, z_max;
};

// An arc line the reading questions: the controller may stop at it or cut another arc.
struct ArcWarning {
  long line;         // of the file, counted from 1
  const char* what;  // fixed text: which fault
};

// The arc warnings a summary keeps by line; the rest are only counted.
constexpr int kListedWarnings = 10;

// A kind of word that would change where the tool goes and that the reading does not follow
// (a canned cycle, a work offset, a # parameter ...): what was drawn and summed up there is not
// what the machine does.
struct Unfollowed {
  const char* what;  // fixed text naming the kind, as the summary prints it: "G81", "# parameters"
  long first_line;   // of the file, counted from 1
  long lines;        // how many lines hold it (a canned cycle: and continue its modal run)
  long last_line;    // the last line counted, so that a line counts once
};

// The kinds a summary can list; one more kind than this is counted in the last row.
constexpr int kUnfollowedKinds = 32;

// What the program asks of the machine, summed line by line while it is read. Lengths are in
// the file's own units, times in minutes at the F word in force (units per minute).
struct JobSummary {
  long lines;              // lines read, up to the one with the end word
  long moves;              // rapid, feed and arc lines that carry X, Y or Z
  // Of the moves alone (arcs by their curve), from the first position on: the assumed start
  // at the origin is not part of them. Meaningful when moves > 0.
  BoundingBox extents;
  double feed_length;      // g1, g2 and g3 moves, arcs by their real (helical) length
  double rapid_length;     // g0 moves: the machine's rapid rate is not known, so not timed
  double minutes;          // feed moves timed at their F word
  double untimed_length;   // feed moves made while F was 0 (no time can be given)
  long stops;              // m00 and m01 words
  long pauses;             // lines beginning with ":" (operator pauses)
  long refused;            // comment lines beginning "; error": commands Kerfgen refused
  long warnings;           // arc lines whose centre or radius does not fit their ends
  ArcWarning warned[kListedWarnings];  // the first of them
  // Every kind of word not followed, in the order first met: a check of the program (a travel
  // limit, a place to resume) can trust the reading only before the first of their first lines.
  Unfollowed unfollowed[kUnfollowedKinds];
  int unfollowed_kinds;
  // The first arc whose I and J read another way as offsets (G91.1) than as the place of the
  // centre, in a program that names no centre mode; 0 when none.
  long centre_note_line;
  Units units;  // the file's own unit (interp.file_units): Unset or Inch for inches
};

// Program-wide interpreter state: one file per run, so it is set once and never reset during a run.
struct Interp {
  double x, y, z;      // current position, in the file's own units
  MoveKind move;       // modal motion word
  Mode centre_mode;    // g90.1 / g91.1; anything but Incremental reads arc centres as absolute
  Mode distance_mode;  // g90 / g91: X, Y and Z of a g91 line are added to the position
  Units units;         // g70 / g20, g71 / g21: the unit the program's numbers are in now
  // The unit the path is drawn and summed up in: the first one the program names, unless a
  // move came first (then inch, the controller's own); Unset while neither happened. Numbers
  // written in the other unit are converted as they are read.
  Units file_units;
  int plane;           // 1, 2, 3 for g17, g18, g19; 0 unset (XY)
  double spindle;      // S word, recorded only
  double feed;         // F word, as written (in the unit in force a minute)
  // The last arc centre computed, kept between lines, in the axes of its plane (X Y, Z X, Y Z).
  double centre_x, centre_y;
  double radius;              // radius of the last arc line
  BoundingBox box;            // starts at zeros, so it always holds the origin
  // False until a line sets the position: until then the origin is only assumed, and the move
  // from it is drawn as travel and left out of the summary's extents, length and time.
  bool placed;
  unsigned said;  // the kinds of "not followed" message already given for this file
  JobSummary job;
  // The tool as Kerfgen's comments name it (its set-up and tool change lines): the diameter
  // named last and its line; 0 and 0 until the program names one.
  double tool;
  long tool_line;
  // The line of the canned cycle in force (G81 ...), whose modal run the lines after it
  // continue until G80 or another motion word; 0 when none.
  long cycle_line;
  // The kind of the unfollowed motion in force (that cycle, or a spline drawn straight): the
  // lines that continue it are counted with it. nullptr when none.
  const char* modal_unfollowed;
  // Where the program's origin now lies in the coordinates of its start, in the file's own
  // unit: what its G92 and G99 lines moved it by. Positions above are in the program's
  // present coordinates, as the controller reads the next line's numbers.
  double origin[3];
};

// The unit a path is drawn in, as the viewer names it: "inch" or "mm".
const char* unit_name(Units file_units);

extern Interp interp;

void interp_reset();

// The reading's state, put back as it was when the scope ends: for a reading aside (a look
// ahead, an index of the lines) that must leave the reading where it found it.
class KeptReading {
 public:
  KeptReading() : kept_(interp) {}
  ~KeptReading() { interp = kept_; }
  KeptReading(const KeptReading&) = delete;
  KeptReading& operator=(const KeptReading&) = delete;

 private:
  Interp kept_;
};

// The per-line word table. Words longer than kWordChars keep their first kWordChars characters
// in the table, which is all that code matching needs (no code is that long), while the value
// and the "Unrecognized Code" message use the whole word, so a long coordinate such as
// x+12.345678 loses no digit. A line with more than kMaxWords words is interpreted one full
// table after the other, so no word of it is lost.
constexpr int kMaxWords = 32;
constexpr int kWordChars = 9;

struct Word {
  char text[kWordChars + 1];
  const char* start;  // the whole word, inside the line
  int length;
};

struct WordTable {
  Word words[kMaxWords];
  int count;
};

// Comments in a line: the rest of it after ";", and text between "(" and ")".
struct CommentScan {
  bool in_parens;
  bool to_end;
};

// Steps the scan past c; true when c is program text rather than a comment or a comment mark.
bool is_program_text(char c, CommentScan& scan);

// Fills the table with the words of text, from its start. Returns where scanning stopped when
// the table is full and words remain, or nullptr at the end of the line or its comment.
const char* tokenize(const char* text, WordTable& table);

// The number after a word's letter, as the C library's atof reads it in the C locale, from
// exactly `length` characters (a word holds only digits, '.', '+' and '-'): a malformed number
// reads as 0, one too large for a double as an infinity, which the interpreter refuses.
double word_value(const char* number, int length);

// The largest number a word may hold: far past any machine, and small enough that no arc point
// computed from such numbers leaves the range of the float vertices.
constexpr double kLargestNumber = 1e30;

// The centre mode that a line's own g90.1 or g91.1 words set, read as interpret_line reads
// them (the last one counts; ":", "%" and ";" lines and comments hold none); Unset when none.
Mode centre_mode_set(const char* line);

// True when some word of the line passes the test, which sees the words in order (every word
// of the line when it never passes).
template <typename Test>
bool any_word(const char* text, Test test) {
  WordTable table;
  const char* rest = text;
  do {
    rest = tokenize(rest, table);
    for (int k = 0; k < table.count; ++k)
      if (test(table.words[k])) return true;
  } while (rest != nullptr);
  return false;
}

// Interprets one line (without its newline), emitting its vertices into sink, and counts it in
// interp.job. Blank lines and lines beginning with ";", ":" or "%" are not interpreted. Returns
// true when the line ends the program (M02, M2, M30 and their lower-case forms).
bool interpret_line(const char* line, PathSink& sink);
