// files.cpp - opening the text files the programs read, and replacing a small file whole.
#include "files.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

bool is_folder(const char* name) {
  struct stat st;
  return stat(name, &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::FILE* open_for_reading(const char* name) {
  std::FILE* file = std::fopen(name, "r");
  struct stat st;
  if (file != nullptr && fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  // Windows refuses a folder as if it were forbidden.
  if (file == nullptr && is_folder(name)) errno = EISDIR;
  return file;
}

const char* open_failure(int error, bool writing) {
  switch (error) {
    case ENOENT: return writing ? "no such folder" : "no such file";
    case EACCES: case EPERM: case EROFS: return "no permission";
    case EISDIR: return "it is a folder";
    default: return std::strerror(error);
  }
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

bool file_stamp(std::FILE* file, FileStamp& stamp) {
  struct stat st;
  if (fstat(fileno(file), &st) != 0) return false;
  stamp.size = static_cast<long long>(st.st_size);
  stamp.seconds = static_cast<long long>(st.st_mtime);
#ifdef _WIN32
  stamp.nanoseconds = 0;
#else
  stamp.nanoseconds = static_cast<long>(st.st_mtim.tv_nsec);
#endif
  return true;
}

bool same_stamp(const FileStamp& a, const FileStamp& b) {
  return a.size == b.size && a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}
