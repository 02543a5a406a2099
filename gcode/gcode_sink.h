// gcode_sink.h - where the interpreter hands what the program does: moves, arcs, stops, comments,
// tools and origins, each with its file line; by default drawn as coloured vertices.
#pragma once

enum class MoveKind { None, Rapid, Linear, Clockwise, CounterClockwise, Dwell };
enum class Mode { Unset, Absolute, Incremental };
enum class Units { Unset, Inch, Millimetre };

// Each channel is 0 or 1: the path has only four colours.
struct Colour {
  float red, green, blue;
};

constexpr Colour kFeedColour = {0.0f, 0.0f, 1.0f};       // rapid and linear moves
constexpr Colour kClockwiseColour = {1.0f, 0.0f, 0.0f};  // g2 arcs
constexpr Colour kCounterColour = {0.0f, 1.0f, 0.0f};    // g3 arcs
// Moves in the air (both ends above Z 0, the work's top face) and the jump from the assumed
// start at the origin to the program's first position.
constexpr Colour kTravelColour = {1.0f, 1.0f, 0.0f};

// Every arc is drawn as this many chords, whatever its size.
constexpr int kArcSegments = 32;

// A straight move. Places handed to a sink are in the file's own unit and in the coordinates the
// program began in: a G92 or G99 moves the origin, not the tool, so the path goes on unbroken.
struct PathMove {
  long line;       // of the file, counted from 1
  MoveKind kind;   // Rapid or Linear
  bool travel;     // in the air, or the jump from the assumed start
  double x, y, z;  // the end
  double feed;     // the F word in force, in the file's own unit a minute
};

// An arc in the plane G17, G18 or G19 selects: a, b are the plane's two axes in the order the
// arc turns in (X Y, Z X, Y Z), c the third, along which a helix climbs.
struct PathArc {
  long line;
  bool clockwise;
  bool travel;
  int plane;                         // 1 XY, 2 XZ, 3 YZ
  double x0, y0, z0;                 // the start
  double x, y, z;                    // the end, exactly as programmed
  double centre_a, centre_b;         // in the plane's axes
  double radius;                     // 0 when the centre does not fit the ends
  double start_angle, sweep;         // radians, about the centre in the plane; sweep < 0 clockwise
  double feed;
};

// Where a plane's axes (a, b, c) lie among X, Y and Z.
void plane_axes(int plane, int& a, int& b, int& c);

// The window records into a display list; the tests, the simulation and the benchmark record
// or count. Only vertex() and end_path() must be given: every other call draws by default what
// the path always showed, so a sink that wants more (a line's place, the arc whole) overrides it.
class PathSink {
 public:
  virtual ~PathSink() = default;
  virtual void vertex(const Colour& colour, float x, float y, float z) = 0;
  virtual void end_path() = 0;
  virtual void move(const PathMove& m);
  // Broken into kArcSegments chords, each its end as a vertex.
  virtual void arc(const PathArc& a);
  virtual void stop(long line) { (void)line; }  // m0, m1
  virtual void comment(long line, const char* text) { (void)line, (void)text; }
  virtual void tool(long line, double diameter) { (void)line, (void)diameter; }
  // The program's origin moved (G92, G99): the tool, unmoved, now stands at (x, y, z) of the
  // program's new coordinates.
  virtual void origin(long line, double x, double y, double z) { (void)line, (void)x, (void)y, (void)z; }
};
