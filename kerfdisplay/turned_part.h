// turned_part.h - the part a lathe program turns: the bar's radius along X less the deepest cut
// the tool reaches there, a solid of revolution about the bar's axis, and its diameters by range.
#pragma once

#include <cstdio>
#include <vector>

#include "simulation.h"

// The bar turns about an axis along X at Y = surface + radius, Z 0: the tool moves in the plane
// Z 0, across the bar in Y, a larger Y deeper into the work.
struct TurnedPart {
  double x_min, x_max;  // the bar's ends
  double radius;        // the bar's, before any cut
  double surface;       // the Y of the bar's surface
  double nose;          // the tool's nose radius; 0 for a point
  int n;                // cells along X
  double dx;
  std::vector<double> deepest;  // each cell's deepest tip Y at its centre, the surface where untouched
  double radius_at(int i) const;
};

// One piece of the part along the axis (a bar cut through falls into several): its outline from
// end to end, X rising, each point's radius more than 0.
struct OutlinePoint {
  double x, r;
};
using Outline = std::vector<OutlinePoint>;
std::vector<Outline> turned_outline(const TurnedPart& part);

// --stock-diameter, --surface and --nose, as the viewer's option table hands them over: 0; 2 for
// a value that is no number; 1, after saying why, for a size of no use.
int set_bar_diameter(const char* value, SimOptions& options);
int set_bar_surface(const char* value, SimOptions& options);
int set_tool_nose(const char* value, SimOptions& options);

// The turned part of a lathe program into part.turned, part.stock the bar's box. False, after
// saying why, when it cannot be made (the bar not given, nothing cut, too many cells, no memory).
bool simulate_turned(const char* name, const SimOptions& options, Part& part);

// The closed surface: the outline turned about the axis, each piece's ends capped.
constexpr int kTurnedSides = 96;
void mesh_turned(const TurnedPart& part, TriangleSink& sink);

// The block the console shows for it, with the finished diameters by X range.
void print_turned(std::FILE* out, const Part& part);
