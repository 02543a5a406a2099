// texts.h - what Kerfsend shows that every test of the built program looks for, and the
// configuration that leads COM1 to a simulated controller.
#pragma once

#include <chrono>
#include <regex>
#include <string>

#include "sim_controller.h"

inline const std::string kBanner = "HB617G DNC Program V1.09\nType 'e' to exit, 'h' for help)\n";
inline const std::string kUse = "  Use COM1,115200,N,1 - change using c or b commands\n\n-";
inline const std::string kMenu = "Press 'f' to enter a command,'e' to exit or any other key to continue\n";
inline const std::string kEntry = "Enter G Code command, 'c' to continue or 'e' to exit\n-";

inline std::string config_for(const SimController& sim, const std::string& more = "") {
  return "comdevice COM1 " + sim.device() + "\n" + more;
}

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// What Kerfsend printed with its clock readings (elapsed, left, "Sent ... in") read as 00:00: a
// job of a fraction of a second may still see a second go by on a loaded machine.
inline std::string clocks_at_zero(const std::string& text) {
  static const std::regex clock("(\\d+:)?\\d\\d:\\d\\d(?= elapsed| left|\\n)");
  return std::regex_replace(text, clock, "00:00");
}
