// harness.cpp - child processes with a time limit, working directories, stdout capture.
#include "harness.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pwd.h>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

WorkDir::WorkDir() {
  std::string pattern = (fs::temp_directory_path() / "kerfsend-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

WorkDir::~WorkDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void WorkDir::write(const std::string& name, const std::string& content) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out << content;
}

Child::Child(const WorkDir& dir, const std::vector<std::string>& args, int stdin_fd, bool as_nobody) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  std::string empty = (dir.path() / ".empty-stdin").string();
  if (stdin_fd < 0) std::ofstream(empty).close();
  // Everything the child needs is made before fork: after it, only exec-safe calls.
  std::string program = KERFSEND_PROGRAM;
  std::string where = dir.path().string();
  std::vector<std::string> copies = args;
  copies.insert(copies.begin(), "Kerfsend");
#ifdef KERFSEND_WRAPPER
  // A Windows Kerfsend.exe runs through its wrapper (wine).
  copies.insert(copies.begin() + 1, program);
  program = KERFSEND_WRAPPER;
#endif
  std::vector<char*> argv;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  const passwd* nobody = as_nobody && geteuid() == 0 ? getpwnam("nobody") : nullptr;
  if (as_nobody && geteuid() == 0 && nobody == nullptr) throw std::runtime_error("no user nobody");
  uid_t nobody_uid = nobody ? nobody->pw_uid : 0;
  gid_t nobody_gid = nobody ? nobody->pw_gid : 0;
  if (nobody) {
    // The build may stand where nobody cannot reach it (a home folder under /root is private):
    // nobody runs a copy in the working directory, which goes with it.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::path copy = dir.path() / "Kerfsend";
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
    fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    program = copy.string();
  }
  pid_ = fork();
  if (pid_ == 0) {
    if (nobody && (setgroups(0, nullptr) != 0 || setgid(nobody_gid) != 0 || setuid(nobody_uid) != 0)) _exit(125);
    int in = stdin_fd >= 0 ? stdin_fd : open(empty.c_str(), O_RDONLY);
    if (chdir(where.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(pipe_fds[1], 1);
    dup2(pipe_fds[1], 2);
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipe_fds[1]);
  out_ = pipe_fds[0];
}

Child::~Child() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
}

void Child::signal(int sig) const {
  if (pid_ > 0) kill(pid_, sig);
}

bool Child::read_some(int timeout_ms) {
  pollfd p{out_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return false;
  char buffer[4096];
  ssize_t n = read(out_, buffer, sizeof buffer);
  if (n <= 0) return false;
  output_.append(buffer, static_cast<std::size_t>(n));
  return true;
}

bool Child::wait_output(const std::string& text, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (output_.find(text) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    read_some(static_cast<int>(left.count()));
  }
  return true;
}

int Child::finish(int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  int status = 0;
  for (;;) {
    while (read_some(0)) {
    }
    if (waitpid(pid_, &status, WNOHANG) == pid_) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return -1;
    }
    read_some(10);
  }
  pid_ = -1;
  while (read_some(0)) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Result run_kerfsend(const WorkDir& dir, const std::vector<std::string>& args, const std::string& input,
                 int timeout_ms) {
  dir.write(".stdin", input);
  int in = open((dir.path() / ".stdin").c_str(), O_RDONLY | O_CLOEXEC);
  Child child(dir, args, in);
  close(in);
  int status = child.finish(timeout_ms);
  return Result{status, child.output()};
}

std::string file_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Result run_shell(const std::string& command) {
  std::FILE* out = popen(command.c_str(), "r");
  if (out == nullptr) return Result{-1, ""};
  std::string text;
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;) text.append(block, n);
  int status = pclose(out);
  return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

CaptureStdout::CaptureStdout() {
  std::fflush(stdout);
  std::FILE* file = std::tmpfile();
  file_ = dup(fileno(file));
  std::fclose(file);
  saved_ = dup(STDOUT_FILENO);
  dup2(file_, STDOUT_FILENO);
}

CaptureStdout::~CaptureStdout() {
  std::fflush(stdout);
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
  close(file_);
}

std::string CaptureStdout::text() {
  std::fflush(stdout);
  std::string all;
  char buffer[4096];
  for (off_t at = 0;;) {
    ssize_t n = pread(file_, buffer, sizeof buffer, at);
    if (n <= 0) break;
    all.append(buffer, static_cast<std::size_t>(n));
    at += n;
  }
  return all;
}

Keyboard::Keyboard() {
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

Keyboard::~Keyboard() {
  close(master);
  close(slave);
}

void Keyboard::type(const std::string& keys) const {
  if (write(master, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
    throw std::runtime_error("typing failed");
  }
}

std::string Keyboard::echoed() const {
  std::string all;
  char buffer[256];
  for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) all.append(buffer, static_cast<std::size_t>(n));
  return all;
}
