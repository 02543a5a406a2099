// fuzz_input.h - what the fuzz targets share: splitting an input into its files, and a private
// working folder for the files a target must write.
#pragma once

#include <string>
#include <unistd.h>

// The next part of an input whose parts are separated by "\0\1": up to the separator or the end.
inline std::string take_part(const char*& at, const char* end) {
  const char* from = at;
  while (at < end && !(at[0] == '\0' && at + 1 < end && at[1] == '\1')) ++at;
  std::string part(from, at);
  if (at < end) at += 2;
  return part;
}

// Moves into a fresh folder under /tmp, once for the process; false when that fails.
inline bool in_private_folder(const char* name_pattern) {
  static const bool entered = [name_pattern] {
    std::string folder = name_pattern;
    return mkdtemp(&folder[0]) != nullptr && chdir(folder.c_str()) == 0;
  }();
  return entered;
}
