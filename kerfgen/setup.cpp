// setup.cpp - the set-up commands and the operator-guided alignment procedure.
#include "setup.h"

#include "params.h"
#include "writer.h"

Home home;

void home_reset() { home = Home{0, 0, 0, 0}; }

double safe_height() { return home.z + params.lift_height; }

void approach(double x, double y, double z) {
  retract();
  write_xy(x, y, params.feedrate_max);
  write_z(z, params.feedrate_max);
}

void retract() { write_z(safe_height(), params.feedrate_max); }

void home_shift(double x, double y, double z, double a) { home = Home{x, y, z, a}; }

void home_zero() {
  write_text("n%d g92\n", next_line());
  home_reset();
}

void home_set(double x, double y, double z, double a) {
  write_text("; Set new origin at x=%.4f y=%.4f z=%.4f a=%.4f\n", x, y, z, a);
  write_text("n%d G99 x%.4f y%.4f z%.4f a%.4f\n", next_line(), x, y, z, a);
}

void go_home() {
  retract();
  write_xy(home.x, home.y, params.feedrate_max);
  write_z(home.z, params.feedrate_plunge);
}

void entry_move(double x1, double y1, double x2, double y2, double z) {
  retract();
  write_xy(x1, y1, params.feedrate_max);
  write_z(z, params.feedrate_plunge);
  write_xy(x2, y2, params.feedrate_cut);
}

void exit_move(double x, double y) {
  write_xy(x, y, params.feedrate_cut);
  retract();
}

void backlash(int x, int y, int z, int a) {
  write_text("; Output backlash settings\n");
  write_text("n%d g46x%d\n", next_line(), x);
  write_text("n%d g46y%d\n", next_line(), y);
  write_text("n%d g46z%d\n", next_line(), z);
  write_text("n%d g46a%d\n", next_line(), a);
}

// The operator touches the bit to the work on each axis in turn and presses c at each ":"
// line; every g92 then sets the origin where the tool stands. The moves are fixed text: they
// follow neither the feeds, nor verbose, nor the home offsets.
void align() {
  static const char* const kSteps[] = {
      "; Machine Alignment Procedure:\n",
      ";   Mill bit end should be to the left, below work piece top (-0.10)\n",
      ";   and beyond work piece minimum Y position (+0.10)\n",
      ";   Now move x, y and z in positive direction to take out backlash\n",
      ":   Align X Axis - Move piece left on x until bit touches work piece - then press c\n",
      "n%d g1 x-0.020 f6.0\n",
      "n%d g1 y-0.700 f6.0\n",
      "n%d g1 y-0.680 f6.0\n",
      "n%d g1 x0.600 f6.0\n",
      ":   Align Y Axis - Move y axis in until it touches piece - then press c to continue\n",
      "n%d g92\n",
      "n%d g1 y-0.020 f6.0\n",
      "n%d g1 x-0.620 f6.0\n",
      "n%d g1 x-0.600 f6.0\n",
      "n%d g1 y0.00 f2.0\n",
      "n%d g92\n",
      "n%d g1 z0.300 f6.0\n",
      "n%d g1 z0.280 f6.0\n",
      "n%d g1 x0.500 f6.0\n",
      "n%d g1 y0.500 f6.0\n",
      ": Align Z Axis - Move z axis down until it touches piece - then press c to continue\n",
      "n%d g92\n",
      "n%d g1 z0.020 f6.0\n",
  };
  for (const char* step : kSteps) {
    if (step[0] == 'n')
      write_text(step, next_line());
    else
      write_text("%s", step);
  }
  // The only lines that follow the tool: the bit's radius less half an inch.
  double m = params.mill_bit / 2 - 0.5;
  write_text("n%d g1 x%.4f f6.0\n", next_line(), m);
  write_text("n%d g1 y%.4f f6.0\n", next_line(), m);
  write_text("n%d g1 z0.00 f1.0\n", next_line());
  write_text("n%d g92\n", next_line());
}
