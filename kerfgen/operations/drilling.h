// drilling.h - holes drilled in one plunge or by pecking, and grids of holes.
#pragma once

// Positions and depths are absolute; a hole goes from the start depth down to the end depth.
void drill_hole(double x, double y, double start_depth, double end_depth);
void mill_hole(double x, double y, double start_depth, double end_depth);
// withdraw: y lifts clear to the start depth after each peck, n only by peck_up.
void peck_drill(char withdraw, double x, double y, double peck_down, double peck_up,
                double start_depth, double end_depth);
void drill_array(double x, double y, double width, double height, double x_step, double y_step,
                 double start_depth, double end_depth);
