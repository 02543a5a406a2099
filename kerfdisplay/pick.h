// pick.h - the moves of the tool path under the mouse, found from the path as the window draws
// it (the path for the view at rest, or the drag's reduced path), then among the path's own
// segments that each drawn line stands for. No window system here: the window hands over its
// matrices and the ways to visit the path.
#pragma once

#include <functional>
#include <vector>

#include "vertex_lines.h"

// The view as its pixels see it: projection times model-view (OpenGL's, column by column), the
// pixels a unit of normalised device space each way, and the mouse in pixels from the
// viewport's centre, upward positive.
struct PickView {
  double m[16];
  double pixels_x, pixels_y;
  double mouse_x, mouse_y;
};

PickView pick_view(const double model_view[16], const double projection[16], int viewport_width,
                   int viewport_height, double mouse_x, double mouse_y);

// Called for a segment with the path's numbers of its two ends' vertices and their positions
// (three floats each).
using SegmentVisit = std::function<void(long from, long to, const float* a, const float* b)>;
// Visits segments of the path among the vertices first to last (both -1: all of them).
using SegmentSource = std::function<void(long first, long last, const SegmentVisit& visit)>;

// A segment of the path near the mouse: the vertex that ends it, how many pixels it passes
// from the mouse, and how far from the eye its nearest point lies.
struct PathHit {
  long vertex;
  double pixels;
  double depth;
};

// How far the pick reaches, in pixels, and how much farther than the nearest a move may pass and
// still count as under the mouse (moves drawn over one another, a pass below a pass).
constexpr double kPickReach = 5;
constexpr double kPickSame = 1;

// The path's own segments under the mouse: each drawn segment within reach (it stands within
// half a pixel for the path's own segments between its ends) is looked at as those segments,
// from `whole`, and those within reach and within kPickSame of the nearest are returned, the
// nearest to the mouse first, to a quarter of a pixel; of those as near, the nearest to the eye
// first, then in the path's order. Empty when none is within reach.
std::vector<PathHit> path_hits(const PickView& view, const SegmentSource& drawn, const SegmentSource& whole);

// The moves the hits belong to, each file line once, in the order of its first hit: the runs of
// the path's vertices that their lines made.
std::vector<VertexLines::Run> moves_of(const std::vector<PathHit>& hits, const VertexLines& lines);
