// platform_posix.cpp - file identity and process replacement on POSIX.
#include "platform.h"

#include <climits>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

bool same_file(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return true;
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void replace_by_viewer(const char* output_name) {
  char name[] = "Kerfdisplay";
  std::string file(output_name);
  char* argv[] = {name, file.data(), nullptr};
  // NOTE: never the working directory: a job folder received from someone else could carry a
  // program of that name. The viewer installed beside Kerfgen comes first, then the search path.
  char self[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string beside(self, static_cast<size_t>(length));
    beside.replace(beside.rfind('/') + 1, std::string::npos, name);
    execv(beside.c_str(), argv);
  }
  execvp(name, argv);
}
