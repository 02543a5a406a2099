// guard.h - the one rule that keeps a cutting operation's loops finite: a bad step or an
// absurd count refuses the whole operation with one error comment, and the run goes on.
#pragma once

// No real job needs more passes, pecks, rings, rows or holes than this in one operation.
// NOTE: the fuzzing build lowers it, so that an input of a few commands at the limit stays
// quick to run and a runaway output still stands out.
#ifndef KERF_MAX_COUNT
#define KERF_MAX_COUNT 100000
#endif
constexpr long kMaxCount = KERF_MAX_COUNT;

// Loop counts taken with the loop's own arithmetic, so that a step too small to change a
// large value shows as endless rather than as the few steps that exact arithmetic would
// need. Counting stops at kMaxCount + 1: past that, too many and endless are the same.

// Times the body of `while (v > bound) v -= step;` runs (`v >= bound` when inclusive).
long count_down(double v, double step, double bound, bool inclusive = false);

// Times the body of `while (v < bound) v += step;` runs (`v <= bound` when inclusive).
long count_up(double v, double step, double bound, bool inclusive);

// Passes of a depth loop: one for each time `while (c - step > end) c -= step;` runs from
// c = start, and the final pass at the end depth.
long depth_passes(double start, double end, double step);

// A count worked out in real arithmetic (turns of a helix, say), as a loop count: beyond
// kMaxCount, or not a number, it reads kMaxCount + 1; below 0 it reads 0.
long count_of(double real);

// Cuts across a width as `while (step <= rest) rest -= step;` counts them, with one narrower
// last cut when at least 1e-6 is left (less is rounding, not metal).
struct Cuts {
  long whole;   // cuts of the full step, at most kMaxCount + 1
  double rest;  // what the whole cuts leave
  bool narrow;  // a last cut of `rest` follows them
  long count() const { return whole + (narrow ? 1 : 0); }
};
Cuts count_cuts(double width, double step);

// Each check writes "; error - <command>: <what is wrong>\n" and gives false when the rule is
// broken; the caller then writes nothing else.

// The step must be greater than 0 (a NaN step fails too).
bool step_ok(const char* command, const char* name, double step);

// The count must not exceed kMaxCount; `what` names the counted things ("rows").
bool count_ok(const char* command, const char* what, long long count);

// A count given in the script (holes in a ring, say): it must not be negative, nor exceed
// kMaxCount.
bool count_given_ok(const char* command, const char* what, long long count);

// The usual pair for an operation cut in depth passes: its step, then its pass count.
bool depth_ok(const char* command, const char* step_name, double step, double start, double end);

// The usual pair for an operation cut in rough passes across a width: cut_rough, then the
// count of cuts (`what`), which it leaves in `cuts`.
bool cuts_ok(const char* command, const char* what, double width, Cuts& cuts);

// The finishing passes of the rough-and-finish operations: numfinishcuts and cut_finish not
// below 0, numfinishcuts and repetitions at most kMaxCount.
bool finishing_ok(const char* command);
