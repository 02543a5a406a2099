// download.h - sending a G-code program line by line, with its pauses and the pause menu.
#pragma once

enum class Outcome {
  Done,    // everything was done
  Failed,  // it could not be done, or not all of it; the run goes on
  Exit,    // the operator ended the run: the process ends with status 1
};

// Waits for a key and returns it; the end of standard input counts as 'e', so that a
// program never runs on past an operator stop with nobody there.
int operator_key();

// Sends a program file to the controller: comment lines (";") are skipped, pause lines
// (":") stop for the operator, a key press pauses before the next line.
Outcome download(const char* name);
