// platform.cpp - the warning box as a console message, and the window title, on POSIX.
#include "platform.h"

#include <climits>
#include <unistd.h>

#include "messages.h"

void warning_box(const char* title, const char* text) { say("%s\n%s\n", title, text); }

std::string window_title(const char* file_name) {
  std::string title = "Kerfdisplay - ";
  // An absolute name is shown as given; a relative one after the folder it is relative to.
  char folder[PATH_MAX];
  if (file_name[0] != '/' && getcwd(folder, sizeof folder) != nullptr) {
    title += folder;
    title += '/';
  }
  title += file_name;
  return title;
}
