// circles.h - circles cut as stacked full circles, round pockets cleared by rings, and helices.
#pragma once

// r is the tool-centre radius: the script's radius corrected for mill_mode by the caller.
void mill_circle(double xo, double yo, double r, double start_depth, double end_depth);
// Clears the disc of the given radius; the caller has made sure it is wider than the tool.
void mill_circle_surface(double xo, double yo, double radius, double start_depth,
                         double end_depth);
// Sets the shared arc word from mill_mode and climb; it stays set for later commands.
void mill_circle_helix(double xo, double yo, double diameter, double start_depth,
                       double end_depth);
