// link.cpp - opening the port, the error check, sending, and the reply wait.
#include "link.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "console.h"
#include "progress.h"
#include "serial.h"
#include "settings.h"
#include "text.h"

Session session;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQueueSize = 1024;
constexpr int kDrainQuietMs = 100;
constexpr int kDrainMax = 65536;  // a controller that never stops talking still ends the drain
// A wait is cut into slices of this length, so that a key and the status line can act while
// the controller takes its time; an answer that comes ends a slice at once.
constexpr int kSliceMs = 200;

char echo_text[kLineMax + 2];
// The start-up hint on choosing another port in ksconfig.txt fits the failure: not for a port
// that is in use or forbidden, where another port is not the remedy.
bool hint_fits = false;

// What went wrong, in the operator's words; nullptr where the system's words will do.
const char* cause(int code) {
  switch (code) {
    case EBUSY: return "in use by another program";
    case EACCES: case EPERM: return "no permission to open it";
    case ENOENT: case ENXIO: case ENODEV: return "no such device";
    case ENOTTY: case EINVAL: return "not a serial device";
    default: return nullptr;
  }
}

void report_open_failure(int port, int code) {
  const char* why = cause(code);
  std::printf("ERROR: COM%d (%s) cannot be opened: %s\n", port + 1, serial_device(port),
              why != nullptr ? why : std::strerror(code));
  hint_fits = code != EBUSY && code != EACCES && code != EPERM;
  if (code == EACCES || code == EPERM) {
    std::printf("  Add the user to the dialout group (sudo adduser $USER dialout), then log in again\n");
  } else if (code != EBUSY) {
    std::printf("  Name the device with the comdevice key in ksconfig.txt, e.g. comdevice COM%d %s\n", port + 1,
                kSerialExample);
  }
}

void open_chosen() {
  serial_write_wait(static_cast<int>(std::ceil(settings.reply_limit_s * 1000.0)));
  if ((settings.no_device >> settings.port & 1u) != 0) {
    std::printf("ERROR: COM%d is not opened: its comdevice line in ksconfig.txt names no device\n", settings.port + 1);
    settings.port_error = true;
    return;
  }
  if (serial_open(settings.port, kQueueSize, kQueueSize) < 0) {
    report_open_failure(settings.port, errno);
    settings.port_error = true;
    return;
  }
  session.open_port = settings.port;
  check(serial_baud(settings.port, settings.baud_code), settings.port);
}

void show(int c, char mode, char prompt) {
  if (mode == 'v' || (mode == 'e' && c == static_cast<unsigned char>(prompt))) {
    progress_hide();
    std::putchar(c);
  }
}

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// One character of a reply, waited for at most the reply limit. since: when the whole
// answer began to be awaited, for the status line.
Reply read_reply(int* c, bool key_ends, bool limit, Clock::time_point since) {
  int port = session.open_port;
  // What has come already needs no clock: most of an echo is read at once.
  if (serial_waiting(port) > 0) {
    *c = serial_getc(port, 0);
    return Reply::Done;
  }
  const Clock::time_point start = Clock::now();
  const double limit_ms = settings.reply_limit_s * 1000.0;
  for (;;) {
    if (console_interrupted() != 0) return Reply::Interrupted;
    double left_ms = limit_ms - ms_since(start);
    if (limit && left_ms <= 0.0) return Reply::TimedOut;
    int got = serial_getc(port, limit && left_ms < kSliceMs ? static_cast<int>(std::ceil(left_ms)) : kSliceMs);
    if (got >= 0) {
      *c = got;
      return Reply::Done;
    }
    if (got == kSerialFailed) {
      check(-1, port);
      return Reply::Lost;
    }
    if (key_ends && !console_ended() && console_keypressed()) return Reply::Key;
    progress_waiting(ms_since(since) / 1000.0);
  }
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
  hint_fits = true;
  if (port < 0) {
    std::printf("ERROR: serial port set-up failed: %s\n", std::strerror(code));
  } else if (code == EIO) {
    std::printf("ERROR: the line to COM%d (%s) went down: the controller is off or the cable is out\n", port + 1,
                serial_device(port));
  } else {
    std::printf("ERROR: COM%d (%s): %s\n", port + 1, serial_device(port), std::strerror(code));
  }
  serial_close(port);
  if (port == -1 || port == session.open_port) session.open_port = -1;
  settings.port_error = true;
  return result;
}

void open_at_start() {
  check(serial_open(-1, 1, 1), -1);
  check(serial_setup(-1, 0, 0, 8), -1);
  open_chosen();
  // NOTE: a ksconfig.txt that is there is mended, never made anew: its other lines (the
  // comdevice line above all) would be lost with a file of a single line.
  if (settings.port_error && hint_fits) {
    std::printf("\nSerial Port setup error - set default serial port\n");
    if (settings.comdevice_given) {
      std::printf("by mending the comdevice line in ksconfig.txt (keep its other lines)\n\n-");
    } else if (settings.config_found) {
      std::printf("by adding to ksconfig.txt a line\n");
      std::printf("containing:    comchannel comx \n\n-");
    } else {
      std::printf("by creating file called ksconfig.txt with single line\n");
      std::printf("containing:    comchannel comx \n\n-");
    }
  }
  settings.port_error = false;
  hint_fits = false;
}

void reopen() {
  close_link();
  open_chosen();
}

void choose_port(const char* name) {
  int port = name[0] == '\0' ? -1 : port_index(name);
  if (port < 0) {
    if (name[0] == '\0') std::printf("No com channel given\n");
    std::printf("Port not changed: no download until a known port is chosen\n");
    settings.port_unknown = true;
    return;
  }
  settings.port = port;
  settings.port_unknown = false;
  reopen();
  if (session.open_port >= 0) {
    std::printf("Com channel set to COM%d,%d,N,1\n", settings.port + 1, baud_number(settings.baud_code));
  }
}

void choose_baud(const char* rate) {
  int code = rate[0] == '\0' ? -1 : baud_code_for(rate);
  if (code < 0) {
    if (rate[0] == '\0') std::printf("No baud rate given\n");
    std::printf("Rate not changed: no download until a known rate is chosen\n");
    settings.rate_unknown = true;
    return;
  }
  settings.baud_code = code;
  settings.rate_unknown = false;
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

Reply send_text(const char* text, std::size_t length) {
  int port = session.open_port;
  if (port < 0) return Reply::Lost;
  for (std::size_t k = 0; k < length; ++k) {
    if (serial_putc(port, static_cast<unsigned char>(text[k])) < 0) {
      if (errno == ETIMEDOUT) return Reply::TimedOut;
      check(-1, port);
      return Reply::Lost;
    }
  }
  return Reply::Done;
}

Reply send_text(const char* text) { return send_text(text, std::strlen(text)); }

const char* echo_seen() { return echo_text; }

Reply reply_wait(char prompt, int n, char mode, const char* sent, bool limit) {
  if (session.open_port < 0) return Reply::Lost;
  const Clock::time_point since = Clock::now();
  // NOTE: no wait holds the operator: a key ends every one, a typed command's and the
  // identification's as well as a program line's. Commands read from a file or a pipe are a
  // script typed ahead, not keys pressed to stop a wait.
  const bool key_ends = sent != nullptr || console_is_keyboard();
  const int p = static_cast<unsigned char>(prompt);
  bool garbled = false;
  int c = -1;
  echo_text[0] = '\0';
  for (int k = 0; k < n; ++k) {
    Reply r = read_reply(&c, key_ends, limit, since);
    if (r != Reply::Done) return r;
    show(c, mode, prompt);
    if (sent != nullptr && k <= kLineMax) {
      echo_text[k] = static_cast<char>(c);
      echo_text[k + 1] = '\0';
      if (c != static_cast<unsigned char>(sent[k])) garbled = true;
    }
  }
  const Reply done = garbled ? Reply::Garbled : Reply::Done;
  if (n > 0 && c == p) return done;
  // The controller may answer a line end with a blank line or two; one is enough on screen.
  bool newline_seen = false;
  // The controller keeps us waiting here while it carries out the line: the console shows
  // the line by then.
  std::fflush(stdout);
  for (;;) {
    Reply r = read_reply(&c, key_ends, limit, since);
    if (r != Reply::Done) return r;
    if (!settings.quiet && !(c == '\n' && newline_seen)) show(c, mode, prompt);
    if (c == '\n') newline_seen = true;
    if (c == p) return done;
  }
}

Reply show_answer() {
  if (session.open_port < 0) return Reply::Lost;
  int c = -1;
  Reply r = read_reply(&c, console_is_keyboard(), true, Clock::now());
  if (r != Reply::Done) return r;
  show(c, 'v', settings.prompt);
  drain_replies(true);
  return Reply::Done;
}

void drain_replies(bool print) {
  int port = session.open_port;
  if (port < 0) return;
  for (int k = 0; k < kDrainMax; ++k) {
    int c = serial_getc(port, kDrainQuietMs);
    if (c == kSerialFailed) check(-1, port);
    if (c < 0) return;
    if (print) show(c, 'v', settings.prompt);
  }
}

void delay_ms(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
