// files.h - opening the text files the programs read, and replacing a small file whole.
#pragma once

#include <cstdio>

// Opens a file for reading in text mode. A folder, which POSIX opens but which reads as
// nothing, is refused like a file that cannot be opened: nullptr either way, with errno set
// (EISDIR for a folder, on every system).
std::FILE* open_for_reading(const char* name);

// Why a file could not be opened, from errno after the attempt: "no such file", "no permission",
// "it is a folder", else the C library's text. `writing` names a missing folder instead.
const char* open_failure(int error, bool writing);

// True when the open file is a device (a terminal, /dev/zero) rather than a file on disk or a
// pipe: such a stream may never end.
bool is_device(std::FILE* file);

// Puts the file `from` in the place of `to` in one step, so that a reader finds either the old
// file or the new one, never a part; false when that failed.
bool replace_file(const char* from, const char* to);

// What tells one version of a file from another without reading it: its size and the time it
// was last written (seconds since 1970 and the nanoseconds of that second, 0 where the system
// keeps whole seconds only).
struct FileStamp {
  long long size;
  long long seconds;
  long nanoseconds;
};

// The stamp of an open file; false when the system gives none.
bool file_stamp(std::FILE* file, FileStamp& stamp);

bool same_stamp(const FileStamp& a, const FileStamp& b);
