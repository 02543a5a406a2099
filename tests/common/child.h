// child.h - waiting for a program under test, with a limit so that no test can hang.
#pragma once

#include <chrono>
#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>

// Waits for the child to end; past the limit it is killed. Returns its exit status, or -1
// when it did not exit by itself; *timed_out tells whether the limit ended it.
inline int wait_limited(pid_t child, std::chrono::seconds limit, bool* timed_out) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  *timed_out = false;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      *timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
