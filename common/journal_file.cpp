// journal_file.cpp - the job journal's one line read back.
#include "journal_file.h"

#include <cstdio>
#include <cstring>

#include "files.h"

bool journal_name(const char* program, const char* ending, char* name, unsigned long size) {
  int length = std::snprintf(name, size, "%s%s", program, ending);
  return length > 0 && static_cast<unsigned long>(length) < size;
}

JournalRead journal_read(const char* program, long* confirmed, bool* complete) {
  char name[4096];
  if (!journal_name(program, ".journal", name, sizeof name)) return JournalRead::Missing;
  std::FILE* file = open_file(name, "r");
  if (file == nullptr) return JournalRead::Missing;
  char text[64] = "";
  bool read = std::fgets(text, sizeof text, file) != nullptr;
  std::fclose(file);
  long line = -1;
  char word[16] = "";
  int fields = read ? std::sscanf(text, "confirmed %ld %15s", &line, word) : 0;
  if (fields < 1 || line < 0 || (fields == 2 && std::strcmp(word, "complete") != 0)) return JournalRead::Damaged;
  *confirmed = line;
  *complete = fields == 2;
  return JournalRead::Found;
}
