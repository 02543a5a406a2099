// interactive.h - the command loop at the "-" prompt and the machine functions it offers.
#pragma once

// Runs commands typed at the prompt until 'e' or the end of input; returns the exit status.
int interactive_loop();

// Closes the port and gives the exit status: 0 when every download was completed and the
// port is open at the end, 1 otherwise; 128 + the signal after Ctrl-C (130).
int finish_run();

// Closes the port after the operator ended the run at a pause (or by Ctrl-C there): status 1,
// or 128 + the signal. The port is closed on every way out, so that its exclusive mode never
// outlives the run.
int exit_run();

// Switches the four auxiliary outputs on and off in turn, each for on_ms milliseconds,
// until a key is pressed.
void aux_test(int on_ms);

// The vacuum pick-and-place head on the X axis. after is the character that ended the
// command word.
void vacuum_head(int after);

void print_help();
