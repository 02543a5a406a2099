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

// A negative result of a serial call: says in words what went wrong on which device (a line
// that went down, a port in use, a missing device or one without permission, with the
// remedy), closes the port concerned and sets the port error flag. Returns the result
// unchanged.
int check(int result, int port);

// The first opening: the layer's set-up, then the chosen port at the chosen rate; when
// anything failed, the hint on how to choose another port.
void open_at_start();

// Closes the open port and opens the chosen one at the chosen rate (after c or b).
void reopen();

// The c and b commands and options: a port name or a baud rate text chosen from its table,
// then the port reopened; a new port is announced once it is open.
void choose_port(const char* name);
void choose_baud(const char* rate);

// Closes the open port, if any.
void close_link();

// True when the port is open; otherwise says so and returns false, so that nothing waits
// out the reply limit on a port that cannot answer.
bool port_ready();

enum class Reply {
  Done,      // sent; or the wait ended on the prompt character
  TimedOut,  // the limit passed: the controller took no data, or did not answer
  Key,       // a key was pressed during a download's wait (the key is left to be read)
  Lost,      // the port failed and is closed (reported through check())
  Garbled,   // the echo differs from what was sent (see echo_seen)
  Interrupted,  // Ctrl-C (console_interrupted()): the run is to end
};

// Sends the characters as they stand, nothing added. A line that takes no data for the
// reply limit gives TimedOut, the port left open; any other failure goes through check().
Reply send_text(const char* text, std::size_t length);
Reply send_text(const char* text);

// Reads the n echoed characters, then up to the prompt character unless the last of them
// was it already. Mode 'v' prints everything, 'e' only the prompt character, 'q' nothing;
// with the quiet flag on nothing after the echo is printed. Each character is waited for at
// most settings.reply_limit_s; a lost line goes through check().
// With sent (a line of a download), the echo is compared with sent character by character:
// at a difference the wait still runs to the prompt, keeping the link in step, and returns
// Garbled. A key pressed meanwhile ends every wait with Key (the key is left to be read; without
// sent, only a key of a keyboard, not the next byte of a script on standard input), and
// Ctrl-C with Interrupted. Without limit (a program stop, which the controller may hold until
// its own button is pressed) only an answer, a key, Ctrl-C or a lost line ends the wait.
Reply reply_wait(char prompt, int n, char mode, const char* sent = nullptr, bool limit = true);

// The echo read by the last reply_wait given a sent line (at most its n characters).
const char* echo_seen();

// Shows the controller's answer to something sent unasked for an answer of a known form (the
// identification): its first character is waited for at most the reply limit, then what comes
// is shown until the line falls quiet. A key (of a keyboard) ends it with Key, Ctrl-C with
// Interrupted.
Reply show_answer();

// Discards what the controller sends until it has been silent for a moment; with print, shows
// it as it comes instead.
void drain_replies(bool print = false);

// Sleeps for the given number of milliseconds.
void delay_ms(int milliseconds);
