// link.cpp - opening the port, the error check, sending, and the reply wait.
#include "link.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "serial.h"
#include "settings.h"

Session session;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQueueSize = 1024;
constexpr int kDrainQuietMs = 100;
constexpr int kDrainMax = 65536;  // a controller that never stops talking still ends the drain

void open_chosen() {
  if (check(serial_open(settings.port, kQueueSize, kQueueSize), settings.port) >= 0) {
    session.open_port = settings.port;
  }
  check(serial_baud(settings.port, settings.baud_code), settings.port);
}

void show(int c, char mode, char prompt) {
  if (mode == 'v' || (mode == 'e' && c == static_cast<unsigned char>(prompt))) std::putchar(c);
}

// One character of a reply, waited for at most the reply limit.
Reply read_reply(int* c) {
  int port = session.open_port;
  // What has come already needs no clock: most of an echo is read at once.
  if (serial_waiting(port) > 0) {
    *c = serial_getc(port, 0);
    return Reply::Prompt;
  }
  const Clock::time_point start = Clock::now();
  const double limit_ms = settings.reply_limit_s * 1000.0;
  // The device waits in steps of its own; the clock decides when the limit has passed.
  int got = serial_getc(port, static_cast<int>(std::ceil(limit_ms)));
  while (got == kSerialNone) {
    double left_ms = limit_ms - std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (left_ms <= 0.0) return Reply::TimedOut;
    got = serial_getc(port, static_cast<int>(std::ceil(left_ms)));
  }
  if (got == kSerialFailed) {
    check(-1, port);
    return Reply::Lost;
  }
  *c = got;
  return Reply::Prompt;
}

}  // namespace

void reset_link() {
  serial_reset();
  reset_settings();
  session.open_port = -1;
  session.failed = false;
}

int check(int result, int port) {
  if (result >= 0) return result;
  int code = errno;
  std::printf("ERROR: %s: %d\n", "Com port selection maybe wrong or in use by another application", code);
  serial_close(port);
  if (port == -1 || port == session.open_port) session.open_port = -1;
  settings.port_error = true;
  return result;
}

void open_at_start() {
  check(serial_open(-1, 1, 1), -1);
  check(serial_setup(-1, 0, 0, 8), -1);
  open_chosen();
  if (settings.port_error) {
    std::printf("\nSerial Port setup error - set default serial port\n");
    std::printf("by creating file called ksconfig.txt with single line\n");
    std::printf("containing:    comchannel comx \n\n-");
    settings.port_error = false;
  }
}

void reopen() {
  close_link();
  open_chosen();
}

void choose_port(const char* name) {
  settings.port = port_index(name);
  reopen();
  std::printf("Com channel set to COM%d,%d,N,1\n", settings.port + 1, baud_number(settings.baud_code));
}

void choose_baud(const char* rate) {
  settings.baud_code = baud_code_for(rate);
  reopen();
}

void close_link() {
  if (session.open_port < 0) return;
  int port = session.open_port;
  session.open_port = -1;
  check(serial_close(port), port);
}

bool port_ready() {
  if (session.open_port >= 0) return true;
  std::printf("\nSerial port COM%d is not open\n", settings.port + 1);
  return false;
}

bool send_text(const char* text, std::size_t length) {
  int port = session.open_port;
  if (port < 0) return false;
  for (std::size_t k = 0; k < length; ++k) {
    if (check(serial_putc(port, static_cast<unsigned char>(text[k])), port) < 0) return false;
  }
  return true;
}

bool send_text(const char* text) { return send_text(text, std::strlen(text)); }

Reply reply_wait(char prompt, int n, char mode) {
  if (session.open_port < 0) return Reply::Lost;
  const int p = static_cast<unsigned char>(prompt);
  int c = -1;
  for (int k = 0; k < n; ++k) {
    Reply r = read_reply(&c);
    if (r != Reply::Prompt) return r;
    show(c, mode, prompt);
  }
  if (n > 0 && c == p) return Reply::Prompt;
  // The controller may answer a line end with a blank line or two; one is enough on screen.
  bool newline_seen = false;
  // The controller keeps us waiting here while it carries out the line: the console shows
  // the line by then.
  std::fflush(stdout);
  for (;;) {
    Reply r = read_reply(&c);
    if (r != Reply::Prompt) return r;
    if (!settings.quiet && !(c == '\n' && newline_seen)) show(c, mode, prompt);
    if (c == '\n') newline_seen = true;
    if (c == p) return Reply::Prompt;
  }
}

void drain_replies() {
  int port = session.open_port;
  if (port < 0) return;
  for (int k = 0; k < kDrainMax; ++k) {
    int c = serial_getc(port, kDrainQuietMs);
    if (c == kSerialFailed) check(-1, port);
    if (c < 0) return;
  }
}

void delay_ms(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
