// platform_posix.cpp - file identity and the hand-over to the viewer on POSIX.
#include "platform.h"

#include "viewer.h"

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
  std::string viewer = find_viewer();
  if (!viewer.empty()) execv(viewer.c_str(), argv);
}
