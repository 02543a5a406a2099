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

// The keys of the file: a word that is one of them is never taken for another key's value.
const char* const kKeys[] = {"baudrate", "comchannel", "promptchar", "comdevice", "replytimeout", "travel"};

bool is_key(const char* word) {
  for (const char* key : kKeys) {
    if (same_word(word, key)) return true;
  }
  return false;
}

// The words of the file, with one word put back for a key that found another key where its
// value should be.
struct ConfigWords {
  std::FILE* file;
  char held[kWordSize];
  WordRead held_read;
  bool holding;
};

WordRead next_word(ConfigWords& words, char (&word)[kWordSize]) {
  if (words.holding) {
    words.holding = false;
    std::memcpy(word, words.held, sizeof word);
    return words.held_read;
  }
  return read_word(words.file, word, sizeof word, nullptr);
}

// The value word after a key, or nullptr at the end of the file or when a key comes instead,
// which is then read as a key.
const char* value_word(ConfigWords& words, char (&word)[kWordSize], WordRead* read) {
  *read = next_word(words, word);
  if (*read == WordRead::End) return nullptr;
  if (is_key(word)) {
    std::memcpy(words.held, word, sizeof word);
    words.held_read = *read;
    words.holding = true;
    return nullptr;
  }
  return word;
}

// NOTE: a port whose comdevice line is incomplete is never opened on its default device: the
// operator named another one, and the default may lead to another machine.
void read_device(ConfigWords& words) {
  char name[kWordSize];
  char path[kWordSize];
  WordRead read;
  if (value_word(words, name, &read) == nullptr) {
    std::printf("comdevice needs a port name and a device\n");
    settings.port_unknown = true;
    return;
  }
  int port = port_index(name);
  if (port < 0) {
    settings.port_unknown = true;
    return;  // the next word is read as a key: a device path is skipped as any other word
  }
  if (value_word(words, path, &read) == nullptr) {
    std::printf("Device name for COM%d is missing\n", port + 1);
  } else if (read == WordRead::TooLong) {
    std::printf("Device name for COM%d is too long\n", port + 1);
  } else {
    serial_map_device(port, path);
    settings.no_device &= ~(1u << port);
    return;
  }
  settings.no_device |= 1u << port;
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

// A finite number, the whole word.
bool read_number(const char* word, double* value) {
  char* end = nullptr;
  *value = std::strtod(word, &end);
  return end != word && *end == '\0' && std::isfinite(*value) && std::fabs(*value) <= 1e9;
}

constexpr char kTravelAxes[] = "xyz";

// NOTE: a travel line that cannot be read leaves the machine without the limit the operator
// meant to set: the downloads are refused until the line is mended.
void read_travel(ConfigWords& words) {
  char axis[kWordSize];
  char low[kWordSize];
  char high[kWordSize];
  WordRead read;
  double min = 0.0;
  double max = 0.0;
  const char* letter = value_word(words, axis, &read);
  const char* at = letter != nullptr && letter[1] == '\0' ? std::strchr(kTravelAxes, std::tolower(letter[0])) : nullptr;
  if (at != nullptr && *at != '\0' && value_word(words, low, &read) != nullptr && read_number(low, &min) &&
      value_word(words, high, &read) != nullptr && read_number(high, &max) && min < max) {
    Travel& travel = settings.travel[at - kTravelAxes];
    travel.set = true;
    travel.min = min;
    travel.max = max;
    return;
  }
  std::printf("A travel line needs an axis (x, y or z), then its lowest and its highest place\n");
  settings.travel_unreadable = true;
}

}  // namespace

void reset_settings() {
  settings.port = 0;
  settings.baud_code = 9;
  settings.prompt = '-';
  settings.quiet = false;
  settings.port_error = false;
  settings.reply_limit_s = kReplyLimitDefault;
  settings.port_unknown = false;
  settings.rate_unknown = false;
  settings.no_device = 0;
  for (Travel& travel : settings.travel) travel = Travel{};
  settings.travel_unreadable = false;
  settings.config_found = false;
  settings.comdevice_given = false;
}

int port_index(const char* name) {
  int port = known_port(name);
  if (port >= 0) return port;
  std::printf("Unrecognized com channel: %s\n", name);
  return -1;
}

int baud_code_for(const char* text) {
  for (const BaudRate& rate : kBaudRates) {
    if (std::strcmp(text, rate.text) == 0) return rate.code;
  }
  std::printf("Unrecognized baud rate\n");
  return -1;
}

int baud_number(int code) {
  static const int numbers[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57200, 115200};
  return code >= 0 && code < 10 ? numbers[code] : 96;
}

void read_config(std::FILE* file) {
  ConfigWords words{};
  words.file = file;
  char word[kWordSize];
  char value[kWordSize];
  WordRead read;
  settings.config_found = true;
  while (next_word(words, word) != WordRead::End) {
    if (same_word(word, "baudrate")) {
      if (value_word(words, value, &read) == nullptr) continue;
      int code = baud_code_for(value);
      if (code < 0) settings.rate_unknown = true;
      else settings.baud_code = code;
    } else if (same_word(word, "comchannel")) {
      if (value_word(words, value, &read) == nullptr) continue;
      int port = port_index(value);
      if (port < 0) settings.port_unknown = true;
      else settings.port = port;
    } else if (same_word(word, "promptchar")) {
      int c = std::getc(file);
      while (c != EOF && std::isspace(c)) c = std::getc(file);
      if (c != EOF) settings.prompt = static_cast<char>(c);
    } else if (same_word(word, "comdevice")) {
      settings.comdevice_given = true;
      read_device(words);
    } else if (same_word(word, "replytimeout")) {
      if (value_word(words, value, &read) != nullptr) read_reply_limit(value);
    } else if (same_word(word, "travel")) {
      read_travel(words);
    }
  }
}
