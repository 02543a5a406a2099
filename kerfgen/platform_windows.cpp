// platform_windows.cpp - file identity and the hand-over to the viewer on Windows.
#include "platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <windows.h>

namespace {

const char kViewer[] = "Kerfdisplay.exe";

// NOTE: stat gives no inode number here, and one device number a drive, so a file is known by
// its volume and its index on the volume instead.
bool identify(const char* name, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool known = GetFileInformationByHandle(file, info) != 0;
  CloseHandle(file);
  return known;
}

bool is_file(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The viewer installed beside the running program, else the first on the search path; never
// the working directory, where a job folder received from someone else could hold a program
// of that name (a search by CreateProcess itself would look there).
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

// One argument as the C run-time of the started program splits its command line: quoted,
// with the backslashes before the closing quote doubled.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : text) {
    backslashes = c == '\\' ? backslashes + 1 : 0;
    out += c;
  }
  out.append(backslashes, '\\');
  return out + "\"";
}

}  // namespace

bool same_file(const char* a, const char* b) {
  if (std::strcmp(a, b) == 0) return true;
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return identify(a, &ia) && identify(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

// NOTE: the C run-time's exec calls start the new program beside this one and return to the
// caller at once, and split a name with blanks into several arguments; the viewer is started
// with its name quoted instead, waited for, and its exit status made this program's own.
void replace_by_viewer(const char* output_name) {
  std::string viewer = find_viewer();
  if (viewer.empty()) return;
  std::string command = quoted(viewer) + " " + quoted(output_name);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::fflush(nullptr);
  if (!CreateProcessA(viewer.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process))
    return;
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  std::exit(static_cast<int>(status));
}
