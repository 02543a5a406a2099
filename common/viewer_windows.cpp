// viewer_windows.cpp - the viewer found and started on Windows.
#include "viewer.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <windows.h>

namespace {

const char kViewer[] = "Kerfdisplay.exe";

std::string failure;

bool is_file(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

// NOTE: a search by CreateProcess itself would look in the working directory.
std::string find_viewer() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  if (length > 0 && length < sizeof self) {
    std::string beside(self, length);
    beside.replace(beside.find_last_of("\\/") + 1, std::string::npos, kViewer);
    if (is_file(beside)) return beside;
  }
  const char* search_path = std::getenv("PATH");
  char found[MAX_PATH];
  if (search_path != nullptr && SearchPathA(search_path, kViewer, nullptr, sizeof found, found, nullptr) > 0)
    return found;
  return "";
}

std::string quoted_argument(const std::string& text) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    backslashes = c == '\\' ? backslashes + 1 : 0;
    out += c;
  }
  out.append(backslashes, '\\');
  return out + "\"";
}

const char* viewer_failure() { return failure.c_str(); }

bool start_viewer(const std::vector<std::string>& args) {
  std::string viewer = find_viewer();
  if (viewer.empty()) {
    failure = "Kerfdisplay was found neither beside Kerfsend nor on the search path";
    return false;
  }
  std::string command = quoted_argument(viewer);
  for (const std::string& a : args) command += " " + quoted_argument(a);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::fflush(nullptr);
  // Without a console of its own the viewer's messages go nowhere; its window is all it shows.
  // NOTE: no handle is inherited (FALSE), so the viewer never holds the port or the job's files.
  if (!CreateProcessA(viewer.c_str(), command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                      &startup, &process)) {
    failure = "No viewer could start: it could not be run (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}
