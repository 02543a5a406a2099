// pockets.h - round pockets cleared by a spiral of half circles about the origin.
#pragma once

// Directions are 'c' (clockwise) or 'w' (counter-clockwise), already checked by the caller.
// The first depth is recorded in the comment only; the whole pocket is cut at `depth`.
void mill_pocket(double diameter, char rough_direction, char finish_direction, double first_depth,
                 double depth);
