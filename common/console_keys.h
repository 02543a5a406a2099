// console_keys.h - the key calls of one platform (console_posix.cpp, console_windows.cpp), under
// the console layer's keys kept for later and its end of input (console.cpp).
#pragma once

#include "console.h"

// Readies standard input for key reads.
void keys_init();

// Waits for one key and returns it (0-255), unechoed; CONSOLE_END at end of input.
int keys_read();

// The key that has arrived, taken; CONSOLE_END when there is none, with *at_end set when the
// input has ended. Never blocks.
int keys_poll(bool* at_end);
