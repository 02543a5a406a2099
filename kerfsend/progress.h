// progress.h - where a download stands: the status line on a terminal, and the progress
// lines printed at each pause and at the end.
#pragma once

#include <cstddef>

// Writes "1234 of 5000 lines sent (24%), 03:10 elapsed, about 09:45 left" (the time left only
// once a line has been sent) into text; sent lines of to_send after elapsed_s seconds, of which
// active_s were spent sending: the pace leaves the pauses out.
void format_progress(char* text, std::size_t size, long sent, long to_send, double elapsed_s, double active_s);

// Writes a time as "mm:ss", or "h:mm:ss" from an hour on.
void format_duration(char* text, std::size_t size, double seconds);

// A download of to_send lines begins now. On a terminal the status line is kept current
// from here until progress_end().
void progress_begin(long to_send);

// The file line that goes out next; hides the status line, since the echo follows.
void progress_line(long file_line);

// The line went out and was answered.
void progress_sent();

// Called while an answer is awaited, waited_s seconds so far: refreshes the status line,
// which names the waiting line after a few seconds.
void progress_waiting(double waited_s);

// Takes the status line off the screen before anything else is printed.
void progress_hide();

// Prints the progress as a line of its own (at a pause), with the file line that goes out
// next when it is given (not 0).
void progress_report(long next_line = 0);

// The download waits for the operator from progress_pause(true) to the matching
// progress_pause(false) (they nest): that time is not part of the pace.
void progress_pause(bool paused);

// The download is over: prints "Sent N lines in mm:ss" when every line went out.
void progress_end(bool complete);
