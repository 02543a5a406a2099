// journal_file.cpp - the job journal's one line, written and read back.
#include "journal_file.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "files.h"

namespace {

// A whole number of digits alone from *p, which then stands after it; false otherwise.
bool read_number(const char*& p, long long& value) {
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(p, &end, 10);
  if (errno != 0) return false;
  p = end;
  return true;
}

// The word at *p, followed by a blank, a line end or the end; *p then stands after the blank.
bool read_word(const char*& p, const char* word) {
  std::size_t n = std::strlen(word);
  if (std::strncmp(p, word, n) != 0 || (p[n] != ' ' && p[n] != '\0')) return false;
  p += n + (p[n] == ' ' ? 1 : 0);
  return true;
}

}  // namespace

bool journal_name(const char* program, const char* ending, char* name, unsigned long size) {
  int length = std::snprintf(name, size, "%s%s", program, ending);
  return length > 0 && static_cast<unsigned long>(length) < size;
}

void journal_line(char* text, unsigned long size, long confirmed, bool complete, const FileStamp* stamp) {
  int n = std::snprintf(text, size, "confirmed %ld%s", confirmed, complete ? " complete" : "");
  if (stamp != nullptr && n > 0 && static_cast<unsigned long>(n) < size)
    std::snprintf(text + n, size - static_cast<unsigned long>(n), " size %lld time %lld.%09ld", stamp->size,
                  stamp->seconds, stamp->nanoseconds);
}

JournalRead journal_read(const char* program, long* confirmed, bool* complete, bool* stamped, FileStamp* stamp) {
  char name[4096];
  if (!journal_name(program, ".journal", name, sizeof name)) return JournalRead::Missing;
  std::FILE* file = open_file(name, "r");
  if (file == nullptr) return JournalRead::Missing;
  char text[128] = "";
  bool read = std::fgets(text, sizeof text, file) != nullptr;
  std::fclose(file);
  if (!read) return JournalRead::Damaged;
  text[std::strcspn(text, "\r\n")] = '\0';
  const char* p = text;
  long long line = -1;
  if (!read_word(p, "confirmed") || !read_number(p, line) || line > 2147483647LL) return JournalRead::Damaged;
  if (*p == ' ') ++p;
  const bool whole = read_word(p, "complete");
  FileStamp found{};
  long long nanoseconds = 0;
  const bool has_stamp = *p != '\0';
  // NOTE: a journal of an earlier Kerfsend ends after the line (or "complete"): still read, and
  // the caller told that it names no program stamp.
  if (has_stamp) {
    if (!read_word(p, "size") || !read_number(p, found.size) || !read_word(p, "") || !read_word(p, "time") ||
        !read_number(p, found.seconds) || *p++ != '.' || !read_number(p, nanoseconds) || *p != '\0' ||
        nanoseconds > 999999999)
      return JournalRead::Damaged;
    found.nanoseconds = static_cast<long>(nanoseconds);
  }
  *confirmed = static_cast<long>(line);
  *complete = whole;
  if (stamped != nullptr) *stamped = has_stamp;
  if (stamp != nullptr) *stamp = found;
  return JournalRead::Found;
}

long journal_confirmed_line(const char* program, const FileStamp* stamp) {
  long confirmed = 0;
  bool complete = false;
  bool stamped = false;
  FileStamp kept{};
  if (journal_read(program, &confirmed, &complete, &stamped, &kept) != JournalRead::Found) return -1;
  if (stamped && !(stamp != nullptr && same_stamp(kept, *stamp))) return -1;
  return confirmed;
}
