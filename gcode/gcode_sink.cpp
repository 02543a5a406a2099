// gcode_sink.cpp - the sink's default drawing: a move as its end vertex, an arc as its chords.
#include "gcode_sink.h"

#include <cmath>

void plane_axes(int plane, int& a, int& b, int& c) {
  switch (plane) {
    case 2: a = 2, b = 0, c = 1; break;  // G18 turns Z towards X
    case 3: a = 1, b = 2, c = 0; break;  // G19 turns Y towards Z
    default: a = 0, b = 1, c = 2; break;
  }
}

void PathSink::move(const PathMove& m) {
  vertex(m.travel ? kTravelColour : kFeedColour, static_cast<float>(m.x), static_cast<float>(m.y),
         static_cast<float>(m.z));
}

void PathSink::arc(const PathArc& arc) {
  int a, b, c;
  plane_axes(arc.plane, a, b, c);
  const double start[3] = {arc.x0, arc.y0, arc.z0};
  const double end[3] = {arc.x, arc.y, arc.z};
  const Colour& colour = arc.travel ? kTravelColour : arc.clockwise ? kClockwiseColour : kCounterColour;
  for (int k = 1; k <= kArcSegments; ++k) {
    double theta = arc.start_angle + (k / static_cast<double>(kArcSegments)) * arc.sweep;
    double p[3];
    p[a] = arc.centre_a + arc.radius * std::cos(theta);
    p[b] = arc.centre_b + arc.radius * std::sin(theta);
    p[c] = start[c] + k * (end[c] - start[c]) / kArcSegments;
    vertex(colour, static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2]));
  }
}
