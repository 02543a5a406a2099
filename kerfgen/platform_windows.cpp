// platform_windows.cpp - file identity and the hand-over to the viewer on Windows.
#include "platform.h"

#include "viewer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <windows.h>

namespace {

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
  std::string command = quoted_argument(viewer) + " " + quoted_argument(output_name);
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
