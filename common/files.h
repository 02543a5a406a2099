// files.h - opening the text files the programs read.
#pragma once

#include <cstdio>

// Opens a file for reading in text mode. A folder, which POSIX opens but which reads as
// nothing, is refused like a file that cannot be opened: nullptr either way.
std::FILE* open_for_reading(const char* name);
