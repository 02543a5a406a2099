// send_bench.cpp - Kerfsend's download speed and processor time against the simulated
// controller, beside a minimal echo loop over the same kind of pseudo-terminal.
//
// Usage: kerfsend_bench [lines [earlier-Kerfsend]]   (default 10000 lines)
// With an earlier build of Kerfsend, it is measured in the same turns as the built one, so
// that a change can be judged on a shared machine whose speed varies from run to run.
// For each controller delay (0 ms and 2 ms a line) each sender sends the same program seven
// or three times, the senders taking turns; each is a child process, measured alike (wall clock here,
// processor time from wait4): the minimal loop (this program run again: one write a line,
// then read until the prompt has come) and the built Kerfsend (-f, its console to /dev/null;
// its keyboard /dev/null, then a pseudo-terminal). The medians are printed.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "sim_controller.h"

namespace fs = std::filesystem;

namespace {

struct Figures {
  double seconds;      // wall-clock time of the whole run
  double cpu_seconds;  // processor time of the sender's process
  bool complete;       // the sender ended well and the controller received the whole program
};

// The least a sender can do for each line: one write, then read the echo and the prompt.
int minimal_loop(const char* device, const char* program) {
  int fd = open(device, O_RDWR | O_NOCTTY);
  if (fd < 0) return 1;
  termios mode{};
  tcgetattr(fd, &mode);
  cfmakeraw(&mode);
  tcsetattr(fd, TCSANOW, &mode);
  std::ifstream in(program);
  char buffer[4096];
  for (std::string line; std::getline(in, line);) {
    line += '\n';
    if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 1;
    // Lines hold '-' signs themselves: count the echo, then one more for the prompt.
    for (std::size_t got = 0; got < line.size() + 1;) {
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return 1;
      got += static_cast<std::size_t>(n);
    }
  }
  close(fd);
  return 0;
}

// keys_on_terminal: the child's standard input is a pseudo-terminal, as at the bench, where
// the key test between lines switches the terminal's mode; otherwise it is /dev/null.
Figures run_child(const std::vector<std::string>& args, const fs::path& dir, std::size_t expected, int delay_us,
                  bool device_argument, bool keys_on_terminal = false) {
  SimController::Options options;
  options.line_delay_us = delay_us;
  SimController sim(options);
  std::ofstream(dir / "ksconfig.txt") << "comdevice COM1 " << sim.device() << "\n";
  std::vector<std::string> copies = args;
  if (device_argument) copies.push_back(sim.device());
  std::vector<char*> argv;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string where = dir.string();
  int keyboard = -1, terminal = -1;
  if (keys_on_terminal) openpty(&keyboard, &terminal, nullptr, nullptr, nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(keys_on_terminal ? terminal : null, 0);
    dup2(null, 1);
    if (keyboard >= 0) close(keyboard);
    if (chdir(where.c_str()) != 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage use{};
  wait4(child, &status, 0, &use);
  if (keys_on_terminal) {
    close(keyboard);
    close(terminal);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
               static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
  bool complete = WIFEXITED(status) && WEXITSTATUS(status) == 0 && sim.received().size() == expected;
  return Figures{seconds, cpu, complete};
}

// The median of each figure on its own: on a shared machine one run in a few is disturbed.
Figures median_of(const std::vector<Figures>& runs) {
  std::vector<double> seconds, cpu;
  bool complete = true;
  for (const Figures& f : runs) {
    seconds.push_back(f.seconds);
    cpu.push_back(f.cpu_seconds);
    complete = complete && f.complete;
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(cpu.begin(), cpu.end());
  return Figures{seconds[seconds.size() / 2], cpu[cpu.size() / 2], complete};
}

void report(const char* sender, int delay_us, int count, const Figures& f) {
  std::printf("%-14s %5.1f ms %10.0f %14.2f %9.2f%%  %s\n", sender, delay_us / 1000.0, count / f.seconds,
              f.cpu_seconds / count * 1e6, 100.0 * f.cpu_seconds / f.seconds, f.complete ? "" : "INCOMPLETE");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--loop") == 0) return minimal_loop(argv[3], argv[2]);
  int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  const char* earlier = argc > 2 ? argv[2] : nullptr;
  if (count < 1 || count > 10000000) {
    std::fprintf(stderr, "usage: kerfsend_bench [lines]\n");
    return 2;
  }
  std::string pattern = (fs::temp_directory_path() / "kerfsend-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  fs::path dir = pattern;
  std::size_t size = 0;
  {
    // Lines as Kerfgen writes them.
    std::ofstream out(dir / "bench.nc");
    char text[80];
    for (int k = 0; k < count; ++k) {
      int n = std::snprintf(text, sizeof text, "n%d g1 x%.5f y%.5f f5.00000\n", k, (k % 400) * 0.01, -(k % 130) * 0.02);
      out << text;
      size += static_cast<std::size_t>(n);
    }
  }
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string program = (dir / "bench.nc").string();
  std::printf("%d lines, %zu bytes a line on average\n\n", count, size / static_cast<std::size_t>(count));
  std::printf("%-14s %8s %10s %14s %10s\n", "sender", "delay", "lines/s", "CPU us/line", "CPU");
  bool complete = true;
  for (int delay_us : {0, 2000}) {
    const int repeats = delay_us == 0 ? 7 : 3;  // the quick runs are the noisy ones
    std::vector<Figures> base, sent, keyed, old_sent, old_keyed;
    for (int k = 0; k < repeats; ++k) {
      base.push_back(run_child({self, "--loop", program}, dir, size, delay_us, true));
      sent.push_back(run_child({KERFSEND_PROGRAM, "-fbench.nc"}, dir, size, delay_us, false));
      keyed.push_back(run_child({KERFSEND_PROGRAM, "-fbench.nc"}, dir, size, delay_us, false, true));
      if (earlier != nullptr) {
        old_sent.push_back(run_child({earlier, "-fbench.nc"}, dir, size, delay_us, false));
        old_keyed.push_back(run_child({earlier, "-fbench.nc"}, dir, size, delay_us, false, true));
      }
    }
    Figures b = median_of(base), s = median_of(sent), t = median_of(keyed);
    report("minimal loop", delay_us, count, b);
    report("Kerfsend", delay_us, count, s);
    report("  keys on tty", delay_us, count, t);
    if (earlier != nullptr) {
      report("earlier build", delay_us, count, median_of(old_sent));
      report("  keys on tty", delay_us, count, median_of(old_keyed));
    }
    std::printf("%-14s %5.1f ms %9.0f%%\n\n", "Kerfsend/loop", delay_us / 1000.0, 100.0 * b.seconds / s.seconds);
    complete = complete && b.complete && s.complete && t.complete;
  }
  fs::remove_all(dir);
  return complete ? 0 : 1;
}
