// settings.cpp - the port and baud tables and the configuration file.
#include "settings.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "serial.h"
#include "text.h"

Settings settings;

namespace {

// Long enough for a device path; a longer word is refused rather than cut.
constexpr std::size_t kWordSize = kLineMax + 1;
// About eleven days: past that a reply limit is no limit, and the milliseconds still fit an int.
constexpr double kReplyLimitMax = 1.0e6;

struct BaudRate {
  const char* text;
  int code;
};

const BaudRate kBaudRates[] = {
    {"2400", 3}, {"4800", 4}, {"9600", 5}, {"19200", 6}, {"38400", 7}, {"57200", 8}, {"115200", 9},
};

// The index of COM1 to COM13 in any case, or -1.
int known_port(const char* name) {
  for (int k = 0; k < kSerialPorts; ++k) {
    char known[8];
    std::snprintf(known, sizeof known, "COM%d", k + 1);
    if (same_word(name, known)) return k;
  }
  return -1;
}

// The value word after a key, or nullptr at the end of the file.
const char* value_word(std::FILE* file, char (&word)[kWordSize], WordRead* read) {
  *read = read_word(file, word, sizeof word, nullptr);
  return *read == WordRead::End ? nullptr : word;
}

void read_device(std::FILE* file) {
  char name[kWordSize];
  char path[kWordSize];
  WordRead read;
  if (value_word(file, name, &read) == nullptr) return;
  int port = known_port(name);
  if (value_word(file, path, &read) == nullptr) return;
  if (port < 0) {
    std::printf("Unrecognized com channel: %s\n", name);
  } else if (read == WordRead::TooLong) {
    std::printf("Device name for COM%d is too long\n", port + 1);
  } else {
    serial_map_device(port, path);
  }
}

void read_reply_limit(const char* word) {
  char* end = nullptr;
  double seconds = std::strtod(word, &end);
  if (end == word || *end != '\0' || !std::isfinite(seconds) || seconds <= 0.0 || seconds > kReplyLimitMax) {
    std::printf("Unrecognized reply timeout: %s\n", word);
    return;
  }
  settings.reply_limit_s = seconds;
}

}  // namespace

void reset_settings() {
  settings.port = 0;
  settings.baud_code = 9;
  settings.prompt = '-';
  settings.quiet = false;
  settings.port_error = false;
  settings.reply_limit_s = kReplyLimitDefault;
}

int port_index(const char* name) {
  int port = known_port(name);
  if (port >= 0) return port;
  std::printf("Unrecognized com channel: %s\n", name);
  return 0;
}

int baud_code_for(const char* text) {
  for (const BaudRate& rate : kBaudRates) {
    if (std::strcmp(text, rate.text) == 0) return rate.code;
  }
  std::printf("Unrecognized baud rate\n");
  return 7;
}

int baud_number(int code) {
  static const int numbers[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57200, 115200};
  return code >= 0 && code < 10 ? numbers[code] : 96;
}

void read_config(std::FILE* file) {
  char word[kWordSize];
  char value[kWordSize];
  WordRead read;
  while (read_word(file, word, sizeof word, nullptr) != WordRead::End) {
    if (same_word(word, "baudrate")) {
      if (value_word(file, value, &read) != nullptr) settings.baud_code = baud_code_for(value);
    } else if (same_word(word, "comchannel")) {
      if (value_word(file, value, &read) != nullptr) settings.port = port_index(value);
    } else if (same_word(word, "promptchar")) {
      int c = std::getc(file);
      while (c != EOF && std::isspace(c)) c = std::getc(file);
      if (c != EOF) settings.prompt = static_cast<char>(c);
    } else if (same_word(word, "comdevice")) {
      read_device(file);
    } else if (same_word(word, "replytimeout")) {
      if (value_word(file, value, &read) != nullptr) read_reply_limit(value);
    }
  }
}
