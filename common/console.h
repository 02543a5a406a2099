// console.h - single-key console input shared by Kerfgen and Kerfsend.
//
// On a terminal a key is read unechoed and without waiting for Enter. When standard
// input is a pipe or a file (scripts, CI, tests), a key press is a byte that can be
// read and the end of input is no key press. Line and word input (scanf, fgets on
// stdin) may be mixed freely with these calls.
#pragma once

// Returned by console_getkey() when standard input has ended: each program decides
// what a wait for a key means when nobody can answer it.
constexpr int CONSOLE_END = -1;
// Returned by console_getkey() when the wait was interrupted (Ctrl-C) after
// console_catch_interrupt().
constexpr int CONSOLE_INTERRUPT = -2;

// NOTE: a terminal is in single-key mode only while one of these calls runs, so that it is
// never left raw; a key typed at another time is echoed by the terminal as usual, and is still
// found by the next call.

// Call once before any console input.
void console_init();

// Waits for one key and returns it (0-255), unechoed; CONSOLE_END at end of input.
// Standard output is flushed first, so every prompt is seen before the wait.
int console_getkey();

// True when a key is waiting to be read; never blocks. A key found here is taken by
// the next console_getkey(), not by stdio reads of stdin.
bool console_keypressed();

// Discards what is left of the line being typed, up to and with its line end, after a word
// was read from it: the Enter that ended a typed name is not a key press. Waits for nothing
// on a terminal, where a typed line arrives whole.
void console_drop_line();

// From here on Ctrl-C (and, on POSIX, a hang-up or a termination request) does not end the
// process: it is noted, a wait for a key returns CONSOLE_INTERRUPT, and the program ends in
// its own time, putting its things in order first.
void console_catch_interrupt();

// The signal that interrupted the program (SIGINT for Ctrl-C), or 0.
int console_interrupted();

// True when standard input is a keyboard (a terminal or a console) rather than a pipe or a
// file, whose bytes are typed ahead by a script rather than pressed to interrupt.
bool console_is_keyboard();

// True once standard input has ended (a wait or a key test met its end), so that a loop
// that runs until a key is pressed can stop when no key can come any more.
bool console_ended();

// Keeps a terminal in single-key mode without echo from console_hold(true) to the matching
// console_hold(false) (calls nest), so that keys typed while a program waits on something
// else are neither shown nor lost, and key tests cost no mode switches. The terminal is put
// back also when the process is ended by a signal.
void console_hold(bool on);

// The width of the terminal that standard output shows on, in characters; 0 when standard
// output is not a terminal (a pipe, a file), where nothing is redrawn in place.
int console_columns();
