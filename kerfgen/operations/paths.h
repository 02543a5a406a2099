// paths.h - milling along a contour read from a path file.
#pragma once

#include <cstdio>

// The longest path a path file may hold; a longer one is refused.
constexpr int kMaxPathLegs = 1000;

// Cuts the path in `path` (opened and closed by the caller; `name` is its name for the
// messages) along the tool centre, from start_depth down to end_depth. Sets mill_dir from the
// path's general direction and leaves the arc word of its last arc.
void mill_path(double start_depth, double end_depth, const char* name, std::FILE* path);
