// journal.cpp - the job journal, replaced whole each time it is written.
#include "journal.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "files.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kWriteEveryS = 0.25;  // a few times a second: often enough, never a cost
constexpr std::size_t kNameMax = 4096;

struct Journal {
  bool active;
  bool failed;  // reported already in this download
  char name[kNameMax];
  char temporary[kNameMax];
  long confirmed;
  bool stamped;
  FileStamp stamp;
  long written;  // the line the file holds, -1 before the first write
  Clock::time_point written_at;
};

Journal journal{};

bool name_for(const char* program, const char* ending, char (&name)[kNameMax]) {
  return journal_name(program, ending, name, sizeof name);
}

// Writes a file beside the journal and puts it in the journal's place, so that a power cut
// in the middle leaves the old journal, never half of a new one. Returns 0 or the error code.
int write_journal(bool complete) {
  std::FILE* file = std::fopen(journal.temporary, "w");
  if (file == nullptr) return errno;
  char text[160];
  journal_line(text, sizeof text, journal.confirmed, complete, journal.stamped ? &journal.stamp : nullptr);
  int written = std::fprintf(file, "%s\n", text);
  int code = written < 0 || std::fflush(file) != 0 ? errno : 0;
  if (std::fclose(file) != 0 && code == 0) code = errno;
  if (code == 0 && replace_file(journal.temporary, journal.name)) return 0;
  if (code == 0) code = errno != 0 ? errno : EIO;
  std::remove(journal.temporary);
  return code;
}

}  // namespace

void journal_begin(const char* program, long confirmed, const FileStamp* stamp) {
  journal = Journal{};
  journal.confirmed = confirmed;
  journal.stamped = stamp != nullptr;
  if (stamp != nullptr) journal.stamp = *stamp;
  journal.written = -1;
  journal.active = name_for(program, ".journal", journal.name) && name_for(program, ".journal.new", journal.temporary);
  if (!journal.active) std::printf("No journal for %s: the name is too long\n", program);
}

void journal_confirmed(long line) {
  journal.confirmed = line;
  if (std::chrono::duration<double>(Clock::now() - journal.written_at).count() >= kWriteEveryS) journal_save();
}

void journal_save(bool complete) {
  if (!journal.active || journal.failed) return;
  if (journal.written == journal.confirmed && !complete) return;
  journal.written_at = Clock::now();
  errno = 0;
  int code = write_journal(complete);
  if (code == 0) {
    journal.written = journal.confirmed;
    return;
  }
  journal.failed = true;
  std::printf("\nJournal %s cannot be written (%s): the place of the job is not kept\n", journal.name,
              std::strerror(code));
  // NOTE: an earlier run's journal left standing would lead -r to that run's place, past lines
  // this run never sent. Removing a file needs no room on a full disk.
  errno = 0;
  if (std::remove(journal.name) == 0) {
    std::printf("The journal of an earlier run is removed\n");
  } else if (errno != ENOENT) {
    std::printf("The journal of an earlier run cannot be removed (%s): take this job up again with -rN, not -r\n",
                std::strerror(errno));
  }
}

bool journal_writable(const char* program, int* error) {
  char name[kNameMax];
  if (!name_for(program, ".journal.new", name)) {
    *error = ENAMETOOLONG;
    return false;
  }
  errno = 0;
  std::FILE* file = std::fopen(name, "w");
  if (file == nullptr) {
    *error = errno != 0 ? errno : EIO;
    return false;
  }
  std::fclose(file);
  std::remove(name);
  return true;
}

long journal_last() { return journal.confirmed; }
