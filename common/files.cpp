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

std::FILE* open_file(const char* name, const char* mode) {
#ifdef _WIN32
  const char kPrivate[] = "N";
#else
  const char kPrivate[] = "e";
#endif
  char private_mode[16];
  if (std::strlen(mode) + sizeof kPrivate > sizeof private_mode) {
    errno = EINVAL;
    return nullptr;
  }
  std::strcpy(private_mode, mode);
  std::strcat(private_mode, kPrivate);
  return std::fopen(name, private_mode);
}

std::FILE* open_for_reading(const char* name) {
  std::FILE* file = open_file(name, "r");
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

bool is_pipe(const char* name) {
  struct stat st;
#ifdef _WIN32
  return stat(name, &st) == 0 && (st.st_mode & S_IFMT) == _S_IFIFO;
#else
  return stat(name, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
#endif
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
