// geometry.h - plane geometry of the contour operations: directions, turns and arc centres.
#pragma once

// Angles are radians.
constexpr double kPi = 3.141592653589793;

struct Point {
  double x, y;
};

// The direction of the vector from (x1, y1) to (x2, y2), in (-pi, pi].
double segment_direction(double x1, double y1, double x2, double y2);

// b - a brought into [-pi, pi]: the turn from direction a to direction b.
double direction_difference(double a, double b);

// The arc direction a turn asks for: 'c' (clockwise) for a right turn, 'w' for a left one; going
// straight on, climb milling decides.
char direction_letter(double turn);

// The centre of the shorter arc of radius r from (x1, y1) to (x2, y2), turning clockwise
// (letter c) or counter-clockwise (w). False, with a console message and *centre untouched,
// when the chord is longer than the diameter.
bool arc_centre(double x1, double y1, double x2, double y2, double r, char letter, Point* centre);

// The radius of an arc from (x1, y1) to (x2, y2) whose centre words are i, j (read as ij_mode
// says): the mean of the two end distances, or 0 with a console message when they differ.
double centre_check(double x1, double y1, double i, double j, double x2, double y2);

// dy / dx of the segment, or 0 for a vertical one.
double slope(double x1, double y1, double x2, double y2);

// v with the period p taken off as many whole times as v / p holds it, printing the working on
// the console. A negative quotient gives -v.
double period_reduction(double v, double p);
