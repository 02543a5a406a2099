// pipe_stdin.cpp - runs the Windows program named by its arguments with a Windows pipe as its
// standard input, into which it copies its own standard input as that arrives, and exits with
// the program's status. Wine gives a program a POSIX pipe as a pipe that cannot be looked into;
// through this one a program sees its keys arrive as it would on Windows.
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

HANDLE pipe_in = nullptr;

DWORD WINAPI copy_input(void*) {
  char buffer[256];
  DWORD n = 0;
  HANDLE from = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(from, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    DWORD written = 0;
    if (!WriteFile(pipe_in, buffer, n, &written, nullptr)) break;
  }
  CloseHandle(pipe_in);  // the end of input reaches the program
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command;
  for (int k = 1; k < argc; ++k) command += std::string(k > 1 ? " " : "") + "\"" + argv[k] + "\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE pipe_out = nullptr;
  if (argc < 2 || !CreatePipe(&pipe_out, &pipe_in, &inherit, 0)) return 125;
  SetHandleInformation(pipe_in, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = pipe_out;
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
    return 126;
  CloseHandle(pipe_out);
  CreateThread(nullptr, 0, copy_input, nullptr, 0, nullptr);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  return static_cast<int>(status);
}
