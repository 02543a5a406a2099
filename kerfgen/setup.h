// setup.h - machine set-up commands: home offsets, origin lines, backlash, entry and exit
// moves and the alignment procedure.
#pragma once

// Home offsets, set by home_shift and cleared by home_zero. The Z offset is the base of the
// safe height; X and Y are where `home` goes; A is kept but nothing reads it.
struct Home {
  double x, y, z, a;
};

extern Home home;

void home_reset();

// Height for every retract and travel move: the Z home offset plus lift_height, taken
// afresh at each use so that later settings apply.
double safe_height();

// Every operation starts and ends at the safe height: approach lifts there, travels over
// (x, y) and comes down to z, all at feedrate_max; retract lifts back.
void approach(double x, double y, double z);
void retract();

void home_shift(double x, double y, double z, double a);
void home_zero();
void home_set(double x, double y, double z, double a);
void go_home();
void entry_move(double x1, double y1, double x2, double y2, double z);
void exit_move(double x, double y);
void backlash(int x, int y, int z, int a);
void align();
