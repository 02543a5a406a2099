// rs274.h - finding the trusted interpreter and reading the numbers of its canonical calls, for
// every test that compares a reading with it.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// The rs274 program on the search path, or "" when the package is not installed.
inline std::string find_rs274() {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::filesystem::path candidate = std::filesystem::path(folder.empty() ? "." : folder) / "rs274";
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

// The numbers between the parentheses of a canonical call such as "STRAIGHT_FEED(1.0, 2.0, ...)".
inline std::vector<double> call_numbers(const std::string& line) {
  std::vector<double> numbers;
  const char* p = std::strchr(line.c_str(), '(');
  while (p != nullptr && *p != ')' && *p != '\0') {
    char* end = nullptr;
    double v = std::strtod(p + 1, &end);
    if (end == p + 1) break;
    numbers.push_back(v);
    p = end;
  }
  return numbers;
}
