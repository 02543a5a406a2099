// text.cpp - bounded reading of words.
#include "text.h"

#include <cctype>

WordRead read_word(std::FILE* in, char* word, std::size_t size, int* after) {
  int c = std::getc(in);
  while (c != EOF && std::isspace(c)) c = std::getc(in);
  std::size_t length = 0;
  bool fits = true;
  for (; c != EOF && !std::isspace(c); c = std::getc(in)) {
    if (length + 1 < size) {
      word[length++] = static_cast<char>(c);
    } else {
      fits = false;
    }
  }
  word[length] = '\0';
  if (after != nullptr) *after = c;
  if (length == 0) return WordRead::End;
  return fits ? WordRead::Word : WordRead::TooLong;
}

bool same_word(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}
