// interpreter.h - Kerfgen's start, its command loop over the script, and its end.
#pragma once

// Runs Kerfgen as the command line asks; returns the exit status.
int kerfgen_main(int argc, char** argv);

// The command loop: reads `script.in` to its end and writes to `writer.out`, with the
// parameters as they stand.
void run_script();
