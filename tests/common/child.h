// child.h - running and waiting for a program under test, with a limit so that no test can hang.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

// Where a program runs and what it reads and writes: standard input from a file, standard
// output and error into files (emptied first), and NAME=VALUE entries set in its environment.
struct ChildSetup {
  std::string folder;
  std::string input, output, errors;
  std::vector<std::string> environment;
};

// Runs the program with args as its argv (args[0] its name) and waits for it as wait_limited
// does. Exit status 126 means the folder or a file could not be opened, 127 that the program
// could not be started.
inline int run_limited(const std::string& program, std::vector<std::string> args,
                       const ChildSetup& setup, std::chrono::seconds limit, bool* timed_out) {
  pid_t child = fork();
  if (child == 0) {
    if (chdir(setup.folder.c_str()) != 0) _exit(126);
    int in = open(setup.input.c_str(), O_RDONLY);
    int out = open(setup.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(setup.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const std::string& entry : setup.environment) {
      std::size_t equals = entry.find('=');
      setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return wait_limited(child, limit, timed_out);
}
