// part_view.h - the simulated part in the window: its surface shaded and lit, coloured by
// depth, with the stock's sides and bottom.
#pragma once

#include "simulation.h"

// Keeps what OpenGL needs to draw the part (the surface through the cells' centres, at most
// kShownCells along a side, each shown cell the deepest of those it stands for); false when
// there is not enough memory.
constexpr int kShownCells = 500;
bool part_view_build(const Part& part);

// Draws the part under the current model-view matrix, behind any line drawn at its surface.
void draw_part();
