// files.h - opening the text files the programs read.
#pragma once

#include <cstdio>

// Opens a file for reading in text mode. A folder, which POSIX opens but which reads as
// nothing, is refused like a file that cannot be opened: nullptr either way, with errno set
// (EISDIR for a folder, on every system).
std::FILE* open_for_reading(const char* name);

// Why a file could not be opened, from errno after the attempt: "no such file", "no permission",
// "it is a folder", else the C library's text. `writing` names a missing folder instead.
const char* open_failure(int error, bool writing);
