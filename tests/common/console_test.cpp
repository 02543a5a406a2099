// console_test.cpp - the single-key layer with standard input a pipe and a pseudo-terminal.
#include "console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Puts a descriptor in place of standard input for one test and puts the old one back.
class StdinFrom {
 public:
  explicit StdinFrom(int fd) : saved_(dup(STDIN_FILENO)) {
    dup2(fd, STDIN_FILENO);
    std::clearerr(stdin);
    console_init();
  }
  ~StdinFrom() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
    std::clearerr(stdin);
  }
  StdinFrom(const StdinFrom&) = delete;
  StdinFrom& operator=(const StdinFrom&) = delete;

 private:
  int saved_;
};

bool readable(int fd, int milliseconds) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, milliseconds) == 1;
}

TEST(ConsolePipe, KeysAreBytesAndTheEndIsNoKey) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  StdinFrom in(fds[0]);
  EXPECT_FALSE(console_keypressed()) << "an open pipe with nothing in it is no key press";
  ASSERT_EQ(write(fds[1], "ab", 2), 2);
  EXPECT_TRUE(console_keypressed());
  EXPECT_TRUE(console_keypressed()) << "asking twice must not lose the key";
  EXPECT_EQ(console_getkey(), 'a');
  EXPECT_EQ(console_getkey(), 'b');
  close(fds[1]);
  EXPECT_FALSE(console_keypressed()) << "the end of input is no key press";
  EXPECT_EQ(console_getkey(), CONSOLE_END) << "a wait at the end of input returns at once";
  close(fds[0]);
}

TEST(ConsolePipe, KeyTestLeavesLineInputIntact) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  StdinFrom in(fds[0]);
  ASSERT_EQ(write(fds[1], "x part.nc\n", 10), 10);
  close(fds[1]);
  ASSERT_TRUE(console_keypressed());
  EXPECT_EQ(console_getkey(), 'x');
  char word[32] = "";
  ASSERT_EQ(std::scanf("%31s", word), 1);
  EXPECT_STREQ(word, "part.nc") << "stdio must see what the key test did not take";
  close(fds[0]);
}

TEST(ConsoleTerminal, KeyTestFindsAKeyWithoutEnter) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  StdinFrom in(slave);
  EXPECT_FALSE(console_keypressed());
  ASSERT_EQ(write(master, "q", 1), 1);
  bool found = false;
  for (int tries = 0; tries < 100 && !found; ++tries) {
    found = console_keypressed();
    if (!found) usleep(10000);
  }
  EXPECT_TRUE(found) << "a key without Enter is a key press on a terminal";
  EXPECT_EQ(console_getkey(), 'q');
  close(master);
  close(slave);
}

TEST(ConsoleTerminal, WaitTakesOneKeyUnechoedAndRestoresTheTerminal) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  StdinFrom in(slave);
  int key = 0;
  std::thread waiter([&] { key = console_getkey(); });
  // Type only once the wait has put the terminal into single-key mode.
  for (int tries = 0; tries < 200; ++tries) {
    termios mode{};
    tcgetattr(slave, &mode);
    if ((mode.c_lflag & ICANON) == 0) break;
    usleep(5000);
  }
  ASSERT_EQ(write(master, "k", 1), 1);
  waiter.join();
  EXPECT_EQ(key, 'k');
  EXPECT_FALSE(readable(master, 50)) << "the key must not be echoed";

  termios now{};
  ASSERT_EQ(tcgetattr(slave, &now), 0);
  EXPECT_NE(now.c_lflag & ICANON, 0u) << "line editing is back after the key";
  EXPECT_NE(now.c_lflag & ECHO, 0u) << "echo is back after the key";
  close(master);
  close(slave);
}

}  // namespace
