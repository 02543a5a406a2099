// reader.cpp - word and number readers over C streams, in the C locale.
#include "reader.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>

Script script;

namespace {

// Integer words are converted from their first 63 characters.
constexpr std::size_t kNumberLength = 63;

// Characters of the script are read through these two, so that its line ends are counted
// for the error comments that name a script line.
int get(std::FILE* file) {
  int c = std::getc(file);
  if (c == '\n' && file == script.in) ++script.newlines;
  return c;
}

void unget(int c, std::FILE* file) {
  if (c == '\n' && file == script.in) --script.newlines;
  std::ungetc(c, file);
}

}  // namespace

void skip_word_rest(std::FILE* file) {
  int c;
  while ((c = get(file)) != EOF && !std::isspace(c)) {
  }
  if (c != EOF) unget(c, file);
}

WordRead read_word(std::FILE* file, char (&word)[kWordSize], std::size_t* length_read) {
  int c;
  do {
    c = get(file);
  } while (c != EOF && std::isspace(c));
  if (file == script.in) script.word_line = script.newlines + 1;
  std::size_t length = 0;
  while (c != EOF && !std::isspace(c)) {
    if (length == kWordSize - 1) {
      unget(c, file);
      word[length] = '\0';
      if (length_read != nullptr) *length_read = length;
      return WordRead::Cut;
    }
    word[length++] = static_cast<char>(c);
    c = get(file);
  }
  if (c != EOF) unget(c, file);
  word[length] = '\0';
  if (length_read != nullptr) *length_read = length;
  return length == 0 ? WordRead::End : WordRead::Whole;
}

bool read_value_word(std::FILE* file, char (&word)[kWordSize]) {
  WordRead read = read_word(file, word);
  if (read == WordRead::Cut) skip_word_rest(file);
  return read != WordRead::End;
}

bool read_lower_word(std::FILE* file, char (&word)[kWordSize]) {
  if (!read_value_word(file, word)) return false;
  for (char* p = word; *p != '\0'; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  return true;
}

// The number words' first 63 characters, as the conversions see them.
static void number_part(const char* word, char (&number)[kNumberLength + 1]) {
  std::size_t length = strnlen(word, kNumberLength);
  std::memcpy(number, word, length);
  number[length] = '\0';
}

bool is_number(const char* word) {
  char* end = nullptr;
  std::strtod(word, &end);
  return end != word && *end == '\0';
}

double to_real(const char* word) {
  char* end = nullptr;
  double value = std::strtod(word, &end);
  if (end == word || *end != '\0') return std::numeric_limits<double>::quiet_NaN();
  return value;
}

int to_integer(const char* word) {
  char number[kNumberLength + 1];
  number_part(word, number);
  // %d itself is undefined beyond the range of int; strtoll reads the same prefix.
  char* end = nullptr;
  long long value = std::strtoll(number, &end, 10);
  if (end == number) return 0;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

char letter_in(const char* word, const char* accepted) {
  if (word[0] == '\0' || word[1] != '\0') return 0;
  char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(word[0])));
  return std::strchr(accepted, letter) != nullptr ? letter : 0;
}

void echo(const char* text) {
  if (script.echo) std::fputs(text, stdout);
}

void script_word(char (&word)[kWordSize]) {
  if (!read_value_word(script.in, word)) {
    script.ended = true;
    return;
  }
  echo(word);
  echo(" ");
}

double script_real() {
  char word[kWordSize];
  script_word(word);
  return script.ended ? 0 : to_real(word);
}

int script_integer() {
  char word[kWordSize];
  script_word(word);
  return script.ended ? 0 : to_integer(word);
}

void copy_pass_through(std::FILE* out, const char* word, std::size_t length, bool cut, PassLine& line) {
  line.length = 0;
  auto put = [&](int c) {
    std::fputc(c, out);
    if (line.length < sizeof line.text - 1) line.text[line.length++] = static_cast<char>(c);
  };
  for (std::size_t i = 0; i < length; ++i) put(std::tolower(static_cast<unsigned char>(word[i])));
  int c;
  if (cut) {
    while ((c = get(script.in)) != EOF && !std::isspace(c)) put(std::tolower(c));
    if (c != EOF) unget(c, script.in);
  }
  while ((c = get(script.in)) != EOF && c != '\n') {
    if (c == '\r') {
      int next = get(script.in);
      if (next == '\n' || next == EOF) break;
      unget(next, script.in);
    }
    put(c);
  }
  std::fputc('\n', out);
  line.text[line.length] = '\0';
}
