// platform.cpp - the warning box as a console message, and the window title, on POSIX.
#include "platform.h"

#include <climits>
#include <cstdio>
#include <unistd.h>

void warning_box(const char* title, const char* text) { std::printf("%s\n%s\n", title, text); }

std::string window_title(const char* file_name) {
  char folder[PATH_MAX];
  std::string title = "Kerfdisplay - ";
  if (getcwd(folder, sizeof folder) != nullptr) title += folder;
  title += '/';
  title += file_name;
  return title;
}
