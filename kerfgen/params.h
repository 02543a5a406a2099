// params.h - Kerfgen's global machining parameters, their keywords and the configuration file.
#pragma once

#include <cstdio>

// Lengths in inches, feeds in inches per minute. Operations read these at the moment they
// run, so a setting holds from its command to the end of the script.
struct Params {
  double mill_bit;
  double tool_radius;  // half the diameter last set by mill_bit or drill_bit
  double drill_bit;
  double depth_cut;
  double lathe_cut;
  double lift_height;
  double off_contact;
  double feedrate_cut;
  double feedrate_rough;
  double feedrate_finish;
  double feedrate_plunge;
  double feedrate_lathe;
  double feedrate_max;
  double cut_rough;
  double cut_finish;
  int numfinishcuts;
  int repetitions;
  char mill_mode;      // i, o, c: inside, outside, centred on the outline
  char thread_hand;    // r, l
  char arc_format;     // c: centre words i, j; r: radius word
  char verbose;        // y: column-aligned lines
  char re_wind;        // y: end the program with m30
  char distance_mode;  // a, i
  char ij_mode;        // a, i: arc centre words absolute or relative to the arc start
  char mill_dir;       // c clockwise, w counter-clockwise
  char climb;          // y, n
  char toolrad_comp;   // l, r, c
  char lift;           // y, n
  char reverse_path;   // y, n
  double surface_overlap;  // zig-zag rows of the surface operations stop this short of the outline
  double lathe_tool2;      // width of the grooving tool that lathe_pulley2 changes to
};

extern Params params;

// The number of degrees in one radian.
constexpr double kDegreesPerRadian = 57.29577951308232;

enum class ParamKind { Real, Integer, Letter };

// One parameter keyword: how its value is read, where it is stored and what the script
// command writes. The same table serves the script and the configuration file.
struct ParamDef {
  const char* keyword;
  ParamKind kind;
  double Params::*real;
  int Params::*integer;
  char Params::*letter;
  const char* confirmation;  // comment written by the script command
  const char* accepted;      // letters a letter parameter accepts
  char fallback;             // stored when the word is not one of them
  const char* error;         // error comment for such a word
  const char* modal_first;   // line the script command writes first for the first letter
  const char* modal_second;  // ... and for the second
  bool sets_tool_radius;
  bool script_only;          // not read from the configuration file
};

// Puts every parameter, and the writer state and home offsets that start with them, back
// to their start values.
void load_defaults();

// The parameter named by a lower-case keyword, or nullptr.
const ParamDef* find_param(const char* keyword);

// The k-th parameter keyword in table order, or nullptr past the last.
const char* param_keyword(std::size_t k);

// Stores a value and keeps the tool radius in step with the bit that was set.
void store_real(const ParamDef& def, double value);

// The lower-case letter a letter parameter takes from a word, or its fallback;
// *accepted tells which.
char letter_for(const ParamDef& def, const char* word, bool* accepted);

// The line a letter parameter writes before its confirmation ("g90\n"), or nullptr.
const char* modal_line(const ParamDef& def, char letter);

// Reads a configuration file of keyword-value pairs to its end. Nothing is written to the
// output; a bad letter is reported on the console.
void read_config(std::FILE* file);
