// console_keys.h - the key calls of one platform (console_posix.cpp, console_windows.cpp), under
// the console layer's keys kept for later and its end of input (console.cpp).
#pragma once

#include <csignal>

#include "console.h"

// The signal noted by the platform's interrupt handler, 0 before any.
extern volatile std::sig_atomic_t console_signal;

// Readies standard input for key reads.
void keys_init();

// Waits for one key and returns it (0-255), unechoed; CONSOLE_END at end of input,
// CONSOLE_INTERRUPT once console_signal is set.
int keys_read();

// Installs the handler that sets console_signal.
void keys_catch_interrupt();

// The key that has arrived, taken; CONSOLE_END when there is none, with *at_end set when the
// input has ended. Never blocks.
int keys_poll(bool* at_end);
