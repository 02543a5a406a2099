// windows_text.h - text as a Windows program writes it (lines ending in CR LF) beside the same
// text as the POSIX program writes it, for the tests that run the Windows programs.
#pragma once

#include <algorithm>
#include <string>

// The text with each CR LF turned into LF; *fault names the first line that ends in LF alone
// (left as it was when every line ends in CR LF).
inline std::string posix_text(const std::string& text, std::string* fault) {
  std::string out;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n') continue;
    if (text[k] == '\n' && (k == 0 || text[k - 1] != '\r') && fault->empty())
      *fault = "line " + std::to_string(std::count(text.begin(), text.begin() + static_cast<long>(k), '\n') + 1) +
               " ends in LF alone";
    out += text[k];
  }
  return out;
}

// The text with each LF turned into CR LF.
inline std::string windows_text(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}
