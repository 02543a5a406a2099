// files.h - opening the text files the programs read, and replacing a small file whole.
#pragma once

#include <cstdio>

// Opens a file for reading in text mode. A folder, which POSIX opens but which reads as
// nothing, is refused like a file that cannot be opened: nullptr either way.
std::FILE* open_for_reading(const char* name);

// True when the open file is a device (a terminal, /dev/zero) rather than a file on disk or a
// pipe: such a stream may never end.
bool is_device(std::FILE* file);

// Puts the file `from` in the place of `to` in one step, so that a reader finds either the old
// file or the new one, never a part; false when that failed.
bool replace_file(const char* from, const char* to);
