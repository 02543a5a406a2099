// link.h - the exchange with the controller: opening the port, sending, and the reply wait.
#pragma once

#include <cstddef>

// What the run has done, for its exit status.
struct Session {
  int open_port;  // the port that is open, or -1
  bool failed;    // something asked for was not done: a download, a line left unanswered
};

extern Session session;

// Puts the session, the settings and the serial layer back to their start (for tests).
void reset_link();

// A negative result of a serial call: reports it with the system's error code, closes the
// port concerned and sets the port error flag. Returns the result unchanged.
int check(int result, int port);

// The first opening: the layer's set-up, then the chosen port at the chosen rate; when
// anything failed, the hint on how to choose another port.
void open_at_start();

// Closes the open port and opens the chosen one at the chosen rate (after c or b).
void reopen();

// The c and b commands and options: a port name or a baud rate text chosen from its table,
// then the port reopened; a new port is also announced.
void choose_port(const char* name);
void choose_baud(const char* rate);

// Closes the open port, if any.
void close_link();

// True when the port is open; otherwise says so and returns false, so that nothing waits
// out the reply limit on a port that cannot answer.
bool port_ready();

// Sends the characters as they stand, nothing added. A failure goes through check() and
// closes the port.
bool send_text(const char* text, std::size_t length);
bool send_text(const char* text);

enum class Reply { Prompt, TimedOut, Lost };

// Reads the n echoed characters, then up to the prompt character unless the last of them
// was it already. Mode 'v' prints everything, 'e' only the prompt character, 'q' nothing;
// with the quiet flag on nothing after the echo is printed. Each character is waited for at
// most settings.reply_limit_s; a lost line goes through check().
Reply reply_wait(char prompt, int n, char mode);

// Discards what the controller sends until it has been silent for a moment.
void drain_replies();

// Sleeps for the given number of milliseconds.
void delay_ms(int milliseconds);
