// settings.h - Kerfsend's link settings, the port and baud tables, and ksconfig.txt.
#pragma once

#include <cstdio>

// How far an axis may go, in the program's units, measured from the origin the jobs use.
struct Travel {
  bool set;
  double min, max;
};

struct Settings {
  int port;              // COM1 = 0 ... COM13 = 12
  int baud_code;         // the serial layer's code; see baud_number()
  char prompt;           // what the controller ends each answer with
  bool quiet;            // reply waits print nothing after the echo
  bool port_error;       // a port call failed since the last set-up hint
  double reply_limit_s;  // how long each character of a reply is waited for, in seconds
  // A port or rate was named that is not known (a typo): downloads are refused until a known
  // one is chosen, rather than sent to another machine or at another rate.
  bool port_unknown;
  bool rate_unknown;
  unsigned no_device;    // one bit a port: its comdevice line names no usable device
  Travel travel[3];      // X, Y and Z; an axis without a travel line is not checked
  bool travel_unreadable;  // a travel line could not be read: downloads are refused
  // What ksconfig.txt holds, for the hint on choosing the port: a file to mend, not to replace.
  bool config_found;
  bool comdevice_given;
};

extern Settings settings;

constexpr double kReplyLimitDefault = 1000.0;

// Puts every setting back to its default: COM1, 115200, prompt "-", not quiet, 1000 s, no
// travel limits.
void reset_settings();

// The index of a port name, COM1 to COM13 in any case; any other name is reported and
// gives -1.
int port_index(const char* name);

// The baud code of a rate as typed ("2400" ... "115200"; "57200" stands for the code 8);
// any other text is reported and gives -1.
int baud_code_for(const char* text);

// The rate shown in messages for a baud code.
int baud_number(int code);

// Reads ksconfig.txt's keys from an open file to its end: baudrate, comchannel, promptchar,
// comdevice (a port name and the device it leads to), replytimeout (seconds) and travel (an
// axis, its lowest and its highest place). Other words
// are skipped. An unknown port or rate marks it unknown and changes nothing.
void read_config(std::FILE* file);
