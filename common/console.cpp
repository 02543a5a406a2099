// console.cpp - the console layer's keys kept for later and its end of input, the same on every
// platform; the key calls themselves stand in console_<platform>.cpp.
#include "console_keys.h"

#include <cstdio>

namespace {

int pending = CONSOLE_END;  // the key that console_keypressed() found, not yet taken
bool ended = false;        // a read met the end of standard input

}  // namespace

volatile std::sig_atomic_t console_signal = 0;

void console_init() {
  ended = false;
  keys_init();
}

int console_getkey() {
  std::fflush(stdout);
  if (pending != CONSOLE_END) {
    int c = pending;
    pending = CONSOLE_END;
    return c;
  }
  if (console_signal != 0) return CONSOLE_INTERRUPT;
  int c = keys_read();
  if (c == CONSOLE_END) ended = true;
  return c;
}

void console_catch_interrupt() { keys_catch_interrupt(); }

int console_interrupted() { return static_cast<int>(console_signal); }

bool console_keypressed() {
  if (pending != CONSOLE_END) return true;
  bool at_end = false;
  pending = keys_poll(&at_end);
  if (at_end) ended = true;
  return pending != CONSOLE_END;
}

void console_drop_line() {
  int c = pending;
  pending = CONSOLE_END;
  while (c != '\n') {
    c = std::getc(stdin);
    if (c == EOF) {
      ended = true;
      return;
    }
  }
}

bool console_ended() { return ended; }
