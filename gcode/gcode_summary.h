// gcode_summary.h - the job summary of a G-code file: lines, moves, extents, feed length,
// cutting time, operator stops and pauses, for the viewer and for Kerfgen's own output.
#pragma once

#include <cstdio>
#include <string>

#include "gcode_interpreter.h"

// Reads the file quietly (no console output, no picture) and sums it up. Returns false when the
// file cannot be opened. Resets the interpreter's state.
bool summarise_file(const char* name, JobSummary& summary);

// Prints the summary as the console block that follows a file's reading messages: a
// millimetre file's unit, and every kind of word not followed, on one line.
void print_summary(std::FILE* out, const JobSummary& summary);

// What the window's title adds to the file name: " - in mm" for a millimetre file, and
// " - not followed: G81, # parameters" when the path is not the machine's; empty otherwise.
std::string summary_title(const JobSummary& summary);
