// gcode_sink.h - where the interpreter hands its tool path: coloured vertices, then its end.
#pragma once

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

// The window records into a display list; the tests and the benchmark record or count.
class PathSink {
 public:
  virtual ~PathSink() = default;
  virtual void vertex(const Colour& colour, float x, float y, float z) = 0;
  virtual void end_path() = 0;
};
