// harness.h - running the built Kerfsend as a user runs it, and catching what the core prints.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

// A fresh working directory, removed at the end of the test.
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& content) const;

 private:
  std::filesystem::path path_;
};

// A running Kerfsend with its console (standard output and error) on a pipe.
class Child {
 public:
  // stdin_fd is given to the child as its standard input; -1 gives it an empty file.
  // as_nobody: a test run as root runs the child as the unprivileged user nobody, so that
  // permissions hold for it as for an operator.
  Child(const WorkDir& dir, const std::vector<std::string>& args, int stdin_fd, bool as_nobody = false);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads the console until it contains text; false after timeout_ms.
  bool wait_output(const std::string& text, int timeout_ms);
  // Waits for the end; a child that overruns timeout_ms is killed and -1 returned.
  int finish(int timeout_ms);
  const std::string& output() const { return output_; }
  // Sends the running child a signal (SIGINT: Ctrl-C at its terminal).
  void signal(int sig) const;

 private:
  bool read_some(int timeout_ms);

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

struct Result {
  int status;
  std::string output;
};

// Runs Kerfsend to its end with the given text as standard input (a file).
Result run_kerfsend(const WorkDir& dir, const std::vector<std::string>& args, const std::string& input = "",
                 int timeout_ms = 10000);

// The whole text of a file; empty when there is none.
std::string file_text(const std::filesystem::path& path);

// Runs a shell command line (a copy of Kerfsend with its environment set, say) to its end;
// the status is the shell's.
Result run_shell(const std::string& command);

// Catches what the core prints on standard output while it lives.
class CaptureStdout {
 public:
  CaptureStdout();
  ~CaptureStdout();
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;
  std::string text();

 private:
  int saved_ = -1;
  int file_ = -1;
};

// A pseudo-terminal as Kerfsend's standard input: the test types on its master side, and
// reads there what the terminal itself echoes.
struct Keyboard {
  Keyboard();
  ~Keyboard();
  Keyboard(const Keyboard&) = delete;
  Keyboard& operator=(const Keyboard&) = delete;
  void type(const std::string& keys) const;
  // What the terminal has echoed of the typed keys so far.
  std::string echoed() const;
  int master = -1;
  int slave = -1;
};
