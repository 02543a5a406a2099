// lathe.h - turning with the lathe tool carried on X (along the work) and Y (across it, a
// larger Y deeper): diameters, tapers, rounded corners and pulley grooves.
#pragma once

// Passes from X x2 to X x1, each lathe_cut deeper than the one before, the last at y2.
void lathe_diameter(double x1, double y1, double x2, double y2);
// A taper from (x2, y2) to (x1, y1), reached by ever steeper passes.
void lathe_slope(double x1, double y1, double x2, double y2);
// A taper from (x, y2) at the given angle in degrees.
void lathe_angle(double x, double y1, double y2, double angle);
// Rounds the corner at (x, y) with quarter arcs of radius r.
void lathe_radius(double x, double y, double r);
// A V-groove with an optional shoulder beside it.
void lathe_pulley(double p1, double p2, double p3, double p4, double p5, double p6, double p7,
                  double p8);
// One or two stepped sections, each with a V-groove cut by a second, narrower tool.
void lathe_pulley2(double q1, double q2, double q3, double q4, double q5, double q6, double q7,
                   double q8, double q9, double q10);
