// gcode_reader.h - reads a G-code file line by line into the interpreter.
#pragma once

#include "gcode_sink.h"

// The longest line interpreted, in characters; the rest of a longer line is ignored.
constexpr int kLineChars = 499;

// How often, at most, a terminal's progress line is refreshed while a file is read.
extern double progress_interval_seconds;

// Records the whole tool path of the file into sink, starting with the blue vertex at the origin
// and ending with sink.end_path(), and sums the job up in interp.job. Prints progress and errors
// through say() (standard output). Returns false, after printing "Can't open input file" and the
// reason, when the file cannot be opened (or is a folder).
bool read_gcode_file(const char* name, PathSink& sink);

// The same from a fresh interpreter state, saying nothing on the console: a second reading of
// a file already read and reported (its summary, the simulated part). False when the file
// cannot be opened.
bool read_gcode_quietly(const char* name, PathSink& sink);
