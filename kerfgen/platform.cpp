// platform.cpp - what Kerfgen asks of the operating system that is the same on every system.
#include "platform.h"

#include <cstdio>
#include <ctime>

// NOTE: written out rather than through asctime, whose day of the month some C libraries
// give as "08" where the C standard has " 8"; a header must read the same on every system.
const char* local_time_text() {
  static const char days[] = "SunMonTueWedThuFriSat";
  static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  static char text[64];
  std::time_t now = std::time(nullptr);
  const std::tm* t = std::localtime(&now);
  if (t == nullptr) return "?\n";
  std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", days + 3 * (t->tm_wday % 7),
                months + 3 * (t->tm_mon % 12), t->tm_mday, t->tm_hour, t->tm_min, t->tm_sec, 1900 + t->tm_year);
  return text;
}
