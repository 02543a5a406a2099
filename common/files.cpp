// files.cpp - opening the text files the programs read, and replacing a small file whole.
#include "files.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#endif

std::FILE* open_for_reading(const char* name) {
  std::FILE* file = std::fopen(name, "r");
  struct stat st;
  if (file != nullptr && fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}

bool is_device(std::FILE* file) {
  struct stat st;
  return fstat(fileno(file), &st) == 0 && S_ISCHR(st.st_mode);
}

bool replace_file(const char* from, const char* to) {
#ifdef _WIN32
  // NOTE: the C library's rename refuses an existing target on Windows.
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(from, to) == 0;
#endif
}
