// guard.cpp - loop counts and the error comments of refused cutting operations.
#include "guard.h"

#include "params.h"
#include "writer.h"

long count_down(double v, double step, double bound, bool inclusive) {
  long n = 0;
  while (n <= kMaxCount && (inclusive ? v >= bound : v > bound)) {
    v -= step;
    ++n;
  }
  return n;
}

long count_up(double v, double step, double bound, bool inclusive) {
  long n = 0;
  while (n <= kMaxCount && (inclusive ? v <= bound : v < bound)) {
    v += step;
    ++n;
  }
  return n;
}

long depth_passes(double start, double end, double step) {
  double c = start;
  long n = 0;
  while (n <= kMaxCount && c - step > end) {
    c -= step;
    ++n;
  }
  return n + 1;
}

long count_of(double real) {
  if (!(real <= kMaxCount)) return kMaxCount + 1;
  return real > 0 ? static_cast<long>(real) : 0;
}

Cuts count_cuts(double width, double step) {
  Cuts cuts{0, width, false};
  while (cuts.whole <= kMaxCount && step <= cuts.rest) {
    cuts.rest -= step;
    ++cuts.whole;
  }
  cuts.narrow = cuts.rest >= 1e-6;
  return cuts;
}

bool step_ok(const char* command, const char* name, double step) {
  if (step > 0) return true;
  write_text("; error - %s: %s must be greater than 0\n", command, name);
  return false;
}

bool count_ok(const char* command, const char* what, long long count) {
  if (count <= kMaxCount) return true;
  write_text("; error - %s: more than %ld %s\n", command, kMaxCount, what);
  return false;
}

bool count_given_ok(const char* command, const char* what, long long count) {
  if (count >= 0) return count_ok(command, what, count);
  write_text("; error - %s: the number of %s must not be negative\n", command, what);
  return false;
}

bool depth_ok(const char* command, const char* step_name, double step, double start, double end) {
  return step_ok(command, step_name, step) &&
         count_ok(command, "depth passes", depth_passes(start, end, step));
}

bool cuts_ok(const char* command, const char* what, double width, Cuts& cuts) {
  if (!step_ok(command, "cut_rough", params.cut_rough)) return false;
  cuts = count_cuts(width, params.cut_rough);
  return count_ok(command, what, cuts.count());
}

bool finishing_ok(const char* command) {
  // The rough cuts stop numfinishcuts * cut_finish short of the finished size; a negative
  // allowance would carry them past it, into the part.
  const char* negative = params.numfinishcuts < 0 ? "numfinishcuts"
                         : params.cut_finish < 0  ? "cut_finish"
                                                  : nullptr;
  if (negative != nullptr) {
    write_text("; error - %s: %s must not be negative\n", command, negative);
    return false;
  }
  return count_ok(command, "finish cuts", params.numfinishcuts) &&
         count_ok(command, "repetitions", params.repetitions);
}
