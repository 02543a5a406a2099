// progress.cpp - the download's status line and progress lines.
#include "progress.h"

#include <chrono>
#include <cstdio>

#include "console.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRefreshS = 0.25;   // a few times a second: more would only cost
constexpr double kWaitNoteS = 3.0;   // from here on the status line names the waiting line

struct Progress {
  bool active;        // a download is under way
  bool terminal;      // standard output is a terminal: the status line is kept current
  bool shown;         // the status line stands below the text
  int columns;        // the terminal's width; the status line never wraps
  long to_send;
  long sent;
  long file_line;
  Clock::time_point start;
  Clock::time_point drawn;  // when the status line was last drawn
  int paused;               // pauses under way: one may begin inside another
  Clock::time_point paused_at;
  double paused_s;          // the time spent at pauses, the one under way not counted
};

Progress state{};

double elapsed_s() { return std::chrono::duration<double>(Clock::now() - state.start).count(); }

double active_s() {
  double paused = state.paused_s;
  if (state.paused > 0) paused += std::chrono::duration<double>(Clock::now() - state.paused_at).count();
  return elapsed_s() - paused;
}

void format_now(char* text, std::size_t size) {
  format_progress(text, size, state.sent, state.to_send, elapsed_s(), active_s());
}

// NOTE: the status line stands on the line below the text, reached with index and reverse
// index (which keep the column and scroll only when needed) and the saved cursor, so that the
// controller's echo, which may stop in the middle of a line, is never overwritten.
void draw(double waited_s) {
  char status[256];
  char head[64];
  std::snprintf(head, sizeof head, "File line %ld: ", state.file_line);
  format_now(status, sizeof status);
  char line[400];
  int length = std::snprintf(line, sizeof line, "%s%s", head, status);
  if (waited_s >= kWaitNoteS) {
    length = std::snprintf(line, sizeof line, "%s%s - no answer for %.0f s", head, status, waited_s);
  }
  if (length >= state.columns) length = state.columns - 1;
  if (!state.shown) std::fputs("\033D\033M", stdout);
  std::printf("\0337\033D\r%.*s\033[K\0338", length, line);
  std::fflush(stdout);
  state.shown = true;
  state.drawn = Clock::now();
}

bool due() { return std::chrono::duration<double>(Clock::now() - state.drawn).count() >= kRefreshS; }

}  // namespace

void format_duration(char* text, std::size_t size, double seconds) {
  long total = seconds > 0 ? static_cast<long>(seconds + 0.5) : 0;
  if (total >= 3600) {
    std::snprintf(text, size, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, size, "%02ld:%02ld", total / 60, total % 60);
  }
}

void format_progress(char* text, std::size_t size, long sent, long to_send, double elapsed, double active) {
  char spent[32];
  format_duration(spent, sizeof spent, elapsed);
  if (to_send <= 0) {  // a program that could not be counted (read from a pipe)
    std::snprintf(text, size, "%ld lines sent, %s elapsed", sent, spent);
    return;
  }
  long share = sent * 100 / to_send;
  if (sent <= 0) {
    std::snprintf(text, size, "%ld of %ld lines sent (%ld%%), %s elapsed", sent, to_send, share, spent);
    return;
  }
  char left[32];
  format_duration(left, sizeof left, active / static_cast<double>(sent) * static_cast<double>(to_send - sent));
  std::snprintf(text, size, "%ld of %ld lines sent (%ld%%), %s elapsed, about %s left", sent, to_send, share, spent,
                left);
}

void progress_begin(long to_send) {
  state = Progress{};
  state.active = true;
  state.to_send = to_send;
  state.start = Clock::now();
  state.columns = console_columns();
  state.terminal = state.columns > 20;
}

void progress_line(long file_line) {
  state.file_line = file_line;
  progress_hide();
}

void progress_sent() {
  ++state.sent;
  if (state.terminal && due()) draw(0.0);
}

void progress_waiting(double waited_s) {
  if (state.active && state.terminal && due()) draw(waited_s);
}

void progress_hide() {
  if (!state.shown) return;
  std::fputs("\0337\033D\r\033[K\0338", stdout);
  state.shown = false;
}

void progress_report(long next_line) {
  if (!state.active) return;
  progress_hide();
  char status[256];
  format_now(status, sizeof status);
  if (next_line > 0) std::printf("File line %ld is next: ", next_line);
  std::printf("%s\n", status);
}

void progress_pause(bool paused) {
  if (!state.active || (!paused && state.paused == 0)) return;
  if (paused && state.paused++ == 0) state.paused_at = Clock::now();
  if (!paused && --state.paused == 0) {
    state.paused_s += std::chrono::duration<double>(Clock::now() - state.paused_at).count();
  }
}

void progress_end(bool complete) {
  if (!state.active) return;
  progress_hide();
  if (complete) {
    char spent[32];
    format_duration(spent, sizeof spent, elapsed_s());
    std::printf("\nSent %ld %s in %s\n", state.sent, state.sent == 1 ? "line" : "lines", spent);
  }
  state.active = false;
}
