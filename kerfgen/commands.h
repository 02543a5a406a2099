// commands.h - the script's command table: each command word with the kinds of its
// arguments in reading order and the handler that acts on them.
#pragma once

#include "reader.h"

struct ParamDef;

// The arguments of one command, in reading order within each kind.
struct Args {
  double real[12];
  int integer[4];
  char word[2][kWordSize];
};

struct Command {
  const char* word;
  // Argument kinds in reading order: r real, i integer, w word (echoed "%s "), f file name
  // (a word echoed "%s \n"). nullptr: the handler reads its own arguments.
  const char* kinds;
  void (*run)(const Args& args);
  const char* announce;  // printed on the console before the arguments are read, or nullptr
};

// The command named by a lower-case word, or nullptr.
const Command* find_command(const char* word);

// The command or parameter keyword one or two letters away from a lower-case word (a letter
// added, dropped, changed, or two neighbours swapped), the nearest first; nullptr when none is.
const char* nearest_keyword(const char* word);

// The viewer request, set by `toolpath`.
extern bool viewer_requested;

// Reads the command's arguments and runs it. Bad arguments (the script ending too soon, a
// number that is not finite) become one error comment and the command writes nothing else.
void run_command(const Command& command);

// A parameter keyword: reads its value, stores it and writes its confirmation comment.
void run_param(const ParamDef& def);
