// files.cpp - opening the text files the programs read.
#include "files.h"

#include <sys/stat.h>

std::FILE* open_for_reading(const char* name) {
  std::FILE* file = std::fopen(name, "r");
  struct stat st;
  if (file != nullptr && fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(file);
    return nullptr;
  }
  return file;
}
