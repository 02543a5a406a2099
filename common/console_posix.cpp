// console_posix.cpp - single-key console input over termios and poll.
#include "console_keys.h"

#include <csignal>
#include <initializer_list>
#include <cstdio>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool stdin_is_tty = false;
int held = 0;              // console_hold() calls not yet undone
termios held_saved{};      // the terminal's mode before the hold
bool held_active = false;  // the hold changed the terminal's mode
bool catching = false;     // console_catch_interrupt() was called

void note_signal(int sig) { console_signal = sig; }

void restore_held() {
  if (held_active) tcsetattr(STDIN_FILENO, TCSANOW, &held_saved);
  held_active = false;
}

// A hold must not outlive the process: a terminal left without echo looks dead to its user.
void restore_and_die(int sig) {
  restore_held();
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

// Puts the terminal into single-key mode (no line editing, no echo) for the life of
// one object, so the terminal is never left raw between calls.
class KeyMode {
 public:
  KeyMode() {
    if (!stdin_is_tty || held_active || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  ~KeyMode() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  KeyMode(const KeyMode&) = delete;
  KeyMode& operator=(const KeyMode&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

}  // namespace

void keys_init() {
  stdin_is_tty = isatty(STDIN_FILENO) != 0;
  // NOTE: stdin is unbuffered so that what stdio holds and what poll() sees of the
  // descriptor never differ; a key test must not miss a byte that stdio read ahead.
  std::setvbuf(stdin, nullptr, _IONBF, 0);
}

int keys_read() {
  KeyMode mode;
  int c = std::getc(stdin);
  if (c != EOF) return c;
  // A signal caught without SA_RESTART ends the read with EINTR, which stdio reports as EOF.
  if (console_signal != 0) {
    std::clearerr(stdin);
    return CONSOLE_INTERRUPT;
  }
  return CONSOLE_END;
}

bool console_is_keyboard() { return stdin_is_tty; }

void keys_catch_interrupt() {
  struct sigaction action {};
  action.sa_handler = note_signal;
  sigemptyset(&action.sa_mask);
  // NOTE: no SA_RESTART, so that a read waiting for a key returns at the signal.
  action.sa_flags = 0;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  catching = true;
}

int keys_poll(bool* at_end) {
  KeyMode mode;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0 || (p.revents & (POLLIN | POLLHUP)) == 0) return CONSOLE_END;
  // Readable can also mean end of input.
  int c = std::getc(stdin);
  if (c != EOF) return c;
  std::clearerr(stdin);
  *at_end = true;
  return CONSOLE_END;
}

void console_hold(bool on) {
  if (!on) {
    if (held > 0 && --held == 0) restore_held();
    return;
  }
  if (held++ > 0 || !stdin_is_tty || tcgetattr(STDIN_FILENO, &held_saved) != 0) return;
  termios raw = held_saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  held_active = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  static bool handlers = false;
  if (held_active && !handlers) {
    handlers = true;
    // A program that catches the interrupt puts the terminal back itself, on its way out.
    if (!catching) {
      std::signal(SIGINT, restore_and_die);
      std::signal(SIGTERM, restore_and_die);
      std::signal(SIGHUP, restore_and_die);
    }
    std::signal(SIGQUIT, restore_and_die);
  }
}

int console_columns() {
  winsize size{};
  return isatty(STDOUT_FILENO) != 0 && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}
