// geometry.cpp - directions, turns, arc centres and the period reduction.
#include "geometry.h"

#include <climits>
#include <cmath>
#include <cstdio>

#include "guard.h"
#include "params.h"

namespace {

// A chord longer than the diameter by less than this is taken as the diameter: the end points
// of a half circle, read from text, rarely lie exactly a diameter apart.
constexpr double kChordSnap = 0.000001;

// Two end distances of a centre arc may differ this much before the centre is refused.
constexpr double kCentreTolerance = 0.0002;

}  // namespace

double segment_direction(double x1, double y1, double x2, double y2) {
  double a = std::atan2(y2 - y1, x2 - x1);
  // A leg that runs exactly in -X, with a negative zero for its rise, still heads at +pi.
  return a == -kPi ? kPi : a;
}

double direction_difference(double a, double b) {
  double d = b - a;
  if (d < -kPi) d += 2 * kPi;
  if (d > kPi) d -= 2 * kPi;
  return d;
}

char direction_letter(double turn) {
  if (turn < 0) return 'c';
  if (turn > 0) return 'w';
  return params.climb == 'y' ? 'c' : 'w';
}

bool arc_centre(double x1, double y1, double x2, double y2, double r, char letter, Point* centre) {
  double dx = x2 - x1, dy = y2 - y1;
  double chord = std::sqrt(dx * dx + dy * dy);
  double theta = std::atan2(dy, dx);
  double mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
  if (2 * r < chord && chord - 2 * r < kChordSnap) chord = 2 * r;
  if (2 * r > chord) {
    double phi = letter == 'w' ? theta + kPi / 2 : letter == 'c' ? theta - kPi / 2 : theta;
    double h = std::sqrt(r * r - chord * chord / 4);
    *centre = Point{mx + h * std::cos(phi), my + h * std::sin(phi)};
    return true;
  }
  if (2 * r == chord) {
    *centre = Point{mx, my};
    return true;
  }
  std::printf("Error: Move distance is larger than arc diameter.\n");
  return false;
}

double centre_check(double x1, double y1, double i, double j, double x2, double y2) {
  double cx = i, cy = j;
  if (params.ij_mode == 'i') {
    cx = x1 + i;
    cy = y1 + j;
  }
  double r_end = std::sqrt((x2 - cx) * (x2 - cx) + (y2 - cy) * (y2 - cy));
  double r_start = std::sqrt((x1 - cx) * (x1 - cx) + (y1 - cy) * (y1 - cy));
  if (std::fabs(r_end - r_start) <= kCentreTolerance) return (r_end + r_start) / 2;
  std::printf("Error: Center distance discrepancy.\n");
  std::printf("Check center x,y values and ij_mode.\n");
  return 0;
}

double slope(double x1, double y1, double x2, double y2) {
  if (x2 == x1) return 0;
  return (y2 - y1) / (x2 - x1);
}

double period_reduction(double v, double p) {
  double q = v / p;
  // Truncated toward zero and held to what an int can show; a NaN quotient counts as 0.
  int n = 0;
  if (q >= INT_MAX)
    n = INT_MAX;
  else if (q <= INT_MIN)
    n = INT_MIN;
  else if (q == q)
    n = static_cast<int>(q);
  double m = v;
  // NOTE: the periods are taken off one at a time, so the result rounds as the repeated
  // subtraction does; a count beyond the loop limit (no angle of a real job) is reduced in one
  // step instead, so that no argument can hold the program here.
  if (n > kMaxCount)
    m = std::fmod(v, p);
  else
    for (int k = 0; k < n; ++k) m -= p;
  if (q < 0) {
    std::printf("\nquotient < 0\n");
  } else {
    std::printf("\nquotient >= 0\n");
  }
  std::printf("quotient = %lf\n", q);
  std::printf("integer = %d\n", n);
  std::printf("modulo = %lf\n", m);
  return q < 0 ? -m : m;
}
