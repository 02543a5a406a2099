// console_end_test.cpp - the end of standard input as the key layer reports it.
#include "console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace {

// Puts a pipe's read end in place of standard input for one test and puts the old one back.
class StdinFromPipe {
 public:
  StdinFromPipe() {
    EXPECT_EQ(pipe(fds_), 0);
    saved_ = dup(STDIN_FILENO);
    dup2(fds_[0], STDIN_FILENO);
    std::clearerr(stdin);
    console_init();
  }
  ~StdinFromPipe() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
    close(fds_[0]);
    if (fds_[1] >= 0) close(fds_[1]);
    std::clearerr(stdin);
  }
  StdinFromPipe(const StdinFromPipe&) = delete;
  StdinFromPipe& operator=(const StdinFromPipe&) = delete;
  void type(const char* keys) { EXPECT_EQ(write(fds_[1], keys, 1), 1); }
  void end() {
    close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
  int saved_ = -1;
};

TEST(ConsoleEnd, KeyTestFindsTheEndAndTheKeysBeforeIt) {
  StdinFromPipe in;
  EXPECT_FALSE(console_keypressed());
  EXPECT_FALSE(console_ended()) << "an open pipe with nothing in it has not ended";
  in.type("k");
  in.end();
  EXPECT_TRUE(console_keypressed());
  EXPECT_FALSE(console_ended()) << "a key still waits before the end";
  EXPECT_EQ(console_getkey(), 'k');
  EXPECT_FALSE(console_keypressed());
  EXPECT_TRUE(console_ended());
  EXPECT_TRUE(console_ended()) << "it stays ended";
  console_init();
  EXPECT_FALSE(console_ended()) << "a new start forgets the end";
}

TEST(ConsoleEnd, WaitAtTheEndReportsIt) {
  StdinFromPipe in;
  in.end();
  EXPECT_EQ(console_getkey(), CONSOLE_END);
  EXPECT_TRUE(console_ended());
}

}  // namespace
