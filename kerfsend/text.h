// text.h - bounded reading of words and lines, so that no input can overrun a buffer.
#pragma once

#include <cstddef>
#include <cstdio>

#include "program_lines.h"  // a program's lines: Line, read_line, is_sent

enum class WordRead { Word, TooLong, End };

// Reads one whitespace-separated word of at most size - 1 characters. *after gets the
// character that ended it (a blank or a line end, which is taken from the stream) or EOF.
// A longer word is read to its end and reported as TooLong.
WordRead read_word(std::FILE* in, char* word, std::size_t size, int* after);

// Compares two words without regard to case.
bool same_word(const char* a, const char* b);
