// reader.h - the word and number readers of the script and the configuration file.
#pragma once

#include <cstddef>
#include <cstdio>

#include "gcode_reader.h"

// A word holds up to 255 characters; no keyword is that long, so a word cut there is never
// taken for one.
constexpr std::size_t kWordSize = 256;

enum class WordRead { End, Whole, Cut };

// Reads the next whitespace-delimited word. Cut: the word was longer than the buffer and its
// remaining characters are still in the stream. *length, when asked for, counts what was read
// (a NUL byte in the word included).
WordRead read_word(std::FILE* file, char (&word)[kWordSize], std::size_t* length = nullptr);

// Discards the rest of a word that read_word cut.
void skip_word_rest(std::FILE* file);

// Reads the next word whole (a longer word's remainder is discarded); false at end of file.
bool read_value_word(std::FILE* file, char (&word)[kWordSize]);

// read_value_word, lower-cased.
bool read_lower_word(std::FILE* file, char (&word)[kWordSize]);

// A number word as the C library's %lf reads it, when the whole word is the number. A word that
// is not wholly a number ("abc", "0.o5", "1..2", "12abc", "0,5") reads as NaN, so that it is
// refused like "nan" rather than taken as 0 or as its leading number (a feed of 0, a cut at the
// origin, a depth of 0 for a typed 0.05).
double to_real(const char* word);
bool is_number(const char* word);
// An integer word as %d reads it (its leading number); a word with no number reads as 0, and
// one beyond 32 bits is clamped to the nearest limit.
int to_integer(const char* word);

// The lower-case letter when the word is one of the accepted letters in either case, else 0.
char letter_in(const char* word, const char* accepted);

// The script being read, and the console echo of what is read from it.
struct Script {
  std::FILE* in;
  bool echo;
  bool ended;      // a read met the end of the script
  long newlines;   // line ends read from the script so far
  long word_line;  // the script line of the last word read from it, from 1
};

extern Script script;

// Prints text on the console when echo is on.
void echo(const char* text);

// Argument readers of the script: each reads one word and echoes it followed by a blank.
// At the end of the script they set script.ended and give 0 or an empty word.
double script_real();
int script_integer();
void script_word(char (&word)[kWordSize]);

// A pass-through line as written, up to the length the G-code reading takes of a line.
struct PassLine {
  char text[kLineChars + 1];
  std::size_t length;
};

// Copies a pass-through line to the output: its first word, already read into `word`
// (`length` bytes; `cut` when the rest of it is still in the script), lower-cased whole, then
// the rest of the script line as it stands and a newline. A carriage return before the line
// end (a script saved with DOS line ends) is dropped. The line written is kept in `line`, for
// the G-code reading to tell what it sets.
void copy_pass_through(std::FILE* out, const char* word, std::size_t length, bool cut, PassLine& line);
