// prompt_test.cpp - Kerfgen started without arguments at a terminal: the names are typed at
// the prompts, and the closing wait then waits for a real key press.
#include <gtest/gtest.h>

#include "child.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Reads the terminal until `wanted` has been shown, for at most five seconds.
bool shown(int terminal, std::string& screen, const std::string& wanted) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (screen.find(wanted) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pollfd p{terminal, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buffer[256];
    ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) return false;
    screen.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

void type(int terminal, const std::string& text) {
  ASSERT_EQ(write(terminal, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

TEST(Prompts, TheLineEndAfterTheOutputNameIsNoKeyPress) {
  char pattern[] = "/tmp/kerfgen-prompt-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  fs::path work = pattern;
  std::ofstream(work / "script.txt") << "home_zero\n";

  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(work.c_str()) != 0) _exit(126);
    execl(KERFGEN_PROGRAM, "Kerfgen", nullptr);
    _exit(127);
  }
  std::string screen;
  ASSERT_TRUE(shown(terminal, screen, "Enter input file name: ")) << screen;
  type(terminal, "script.txt\n");
  ASSERT_TRUE(shown(terminal, screen, "Enter output file name: ")) << screen;
  // Blanks after the name are part of what is left of the line too.
  type(terminal, "out.nc  \n");
  ASSERT_TRUE(shown(terminal, screen, "Press any key when done.")) << screen;

  usleep(300 * 1000);
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "Kerfgen ended without a key press";
  type(terminal, "k");
  bool timed_out = false;
  EXPECT_EQ(wait_limited(child, std::chrono::seconds(5), &timed_out), 0);
  EXPECT_FALSE(timed_out);
  close(terminal);
  EXPECT_TRUE(fs::exists(work / "out.nc"));
  fs::remove_all(work);
}

}  // namespace
