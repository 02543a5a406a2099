// window_title.cpp - the window title, on POSIX and on Windows.
#include "window_title.h"

#include <cstdlib>

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
// "C:\x", "\x", "/x" and "C:x" (relative to that drive's own folder, not to ours).
bool shown_as_given(const char* name) {
  return name[0] == '\\' || name[0] == '/' || (name[0] != '\0' && name[1] == ':');
}
char* working_folder() { return _getcwd(nullptr, 0); }
#else
constexpr char kSeparator = '/';
bool shown_as_given(const char* name) { return name[0] == '/'; }
char* working_folder() { return getcwd(nullptr, 0); }
#endif

}  // namespace

std::string window_title(const char* file_name) {
  std::string title = "Kerfdisplay - ";
  // An absolute name is shown as given; a relative one after the folder it is relative to.
  if (!shown_as_given(file_name)) {
    if (char* folder = working_folder()) {
      title += folder;
      title += kSeparator;
      std::free(folder);
    }
  }
  title += file_name;
  return title;
}
