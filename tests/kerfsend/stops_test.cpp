// stops_test.cpp - the ways a run ends or a wait is cut short, against the simulated controller:
// Ctrl-C and e leave the port to the next sender, keys that ended a wait are never sent, the
// viewer holds nothing of Kerfsend's, and the messages of files that cannot be sent.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "harness.h"
#include "sim_controller.h"
#include "texts.h"

namespace fs = std::filesystem;

namespace {

// The exclusive mode of the line the controller holds open: a network serial bridge keeps it
// past the sender's close, and then refuses every other user.
int exclusive(const SimController& sim) {
  int on = -1;
  ioctl(sim.slave_fd(), TIOCGEXCL, &on);
  return on;
}

TEST(Stops, CtrlCAndEWriteTheJournalNameTheLineAndFreeThePort) {
  struct Case {
    const char* what;
    const char* keys;  // typed at the pause menu before the signal; nullptr: Ctrl-C during a line
    bool ctrl_c;
    int status;
    std::string said;
  };
  const Case cases[] = {
      {"Ctrl-C during a line", nullptr, true, 130, "\nInterrupted (Ctrl-C) - download stopped\n"},
      {"Ctrl-C at the pause menu", "x", true, 130, "\nInterrupted (Ctrl-C) - download stopped\n"},
      {"Ctrl-C in command entry", "xf", true, 130, "\nInterrupted (Ctrl-C) - download stopped\n"},
      {"e at the pause menu", "xe", false, 1, "Exit program\n"},
      {"e in command entry", "xfe", false, 1, "program terminated\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimController::Options slow;
    slow.line_delay_us = 300000;
    SimController sim(slow);
    WorkDir dir;
    Keyboard keys;
    dir.write("ksconfig.txt", config_for(sim));
    dir.write("job.nc", "n1 g1 x1 f5\nn2 g1 x2\nn3 g1 x3\nn4 g1 x4\nn5 g1 x5\n");
    Child child(dir, {"-fjob.nc"}, keys.slave);
    ASSERT_TRUE(sim.wait_for("n2 g1 x2\n", 5000));
    EXPECT_EQ(exclusive(sim), 1) << "the port is the job's alone while it runs";
    if (c.keys != nullptr) {
      keys.type(std::string(c.keys, 1));
      ASSERT_TRUE(child.wait_output(kMenu, 3000)) << child.output();
      keys.type(c.keys + 1);
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    if (c.ctrl_c) child.signal(SIGINT);
    EXPECT_EQ(child.finish(5000), c.status) << child.output();
    EXPECT_TRUE(contains(child.output(), c.said + "To go on from file line 2 later: Kerfsend -r2 -fjob.nc\n"))
        << child.output();
    EXPECT_EQ(file_text(dir.path() / "job.nc.journal").rfind("confirmed 1 size ", 0), 0u)
        << "the line under way is not confirmed";
    EXPECT_EQ(sim.received(), "n1 g1 x1 f5\nn2 g1 x2\n");
    EXPECT_EQ(exclusive(sim), 0) << "the next sender finds the port free";
  }
}

TEST(Stops, KeysThatEndAWaitAreNeverSentNorAnEscapeSequence) {
  SimController::Options slow;
  slow.line_delay_us = 1000000;  // a long move
  SimController sim(slow);
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("job.nc", "n1 g1 x1 f5\nn2 g1 x2\nn3 g1 x3\n");
  Child child(dir, {"-fjob.nc"}, keys.slave);
  ASSERT_TRUE(sim.wait_for("n2 g1 x2\n", 5000));
  keys.type("xf");
  ASSERT_TRUE(child.wait_output(kEntry, 3000)) << child.output();
  keys.type("g0 z1\x1b[A\r");  // an arrow key: refused at once, the line under way or not
  ASSERT_TRUE(child.wait_output("\nCommand holds a control character - not sent\n-", 3000)) << child.output();
  keys.type("G0 Z1\r");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  keys.type("X3 Y0.5\r");  // typed while G0 Z1 waits for the line: it ends that wait
  ASSERT_TRUE(child.wait_output("command not sent, nor the keys typed after it\n-", 3000)) << child.output();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(sim.received(), "n1 g1 x1 f5\nn2 g1 x2\n") << "neither command, nor what followed it";
  keys.type("c");
  EXPECT_EQ(child.finish(5000), 0) << child.output();
  EXPECT_EQ(sim.received(), "n1 g1 x1 f5\nn2 g1 x2\nn3 g1 x3\n");
}

TEST(Stops, IdentificationAndCommandsAtThePromptEndOnAKey) {
  const std::string dropped = "\nA key ended the wait for the controller's answer - the keys typed meanwhile are dropped\n";
  // The identification is shown at once, with no prompts to wait for; a silent controller's
  // waits end on a key, and those keys are not the next command.
  const struct { long answer_lines; std::string typed, heard, said; } cases[] = {
      {-1, "i\n", "v", "\n-v"}, {0, "i\n", "v", dropped}, {0, "gx1\n", "n1 gx1\n", dropped + "\n-"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    SimController::Options options;
    options.answer_lines = c.answer_lines;
    SimController sim(options);
    WorkDir dir;
    Keyboard keys;
    dir.write("ksconfig.txt", config_for(sim));  // the full 1000 s limit
    Child child(dir, {}, keys.slave);
    auto start = std::chrono::steady_clock::now();
    keys.type(c.typed);
    ASSERT_TRUE(sim.wait_for(c.heard, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (c.answer_lines == 0) keys.type("gx9");
    ASSERT_TRUE(child.wait_output(c.said, 3000)) << child.output();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    keys.type("\ne\n");
    EXPECT_EQ(child.finish(3000), 0) << child.output();
    EXPECT_LT(seconds_since(start), 3.0);
    EXPECT_FALSE(contains(sim.received(), "gx9"));
  }
}

// A viewer that records which files it holds, beside a copy of Kerfsend.
TEST(Stops, ViewerKeepsNoneOfKerfsendsFilesAndOneThatCannotStartIsNamed) {
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("job.nc", "G1 X1\nG1 X2\n");
  fs::create_directory(dir.path() / "bin");
  fs::copy_file(KERFSEND_PROGRAM, dir.path() / "bin" / "Kerfsend");
  dir.write("bin/Kerfdisplay", "#!/bin/sh\nls -l /proc/$$/fd > held.txt\nsleep 2\n");
  fs::permissions(dir.path() / "bin" / "Kerfdisplay", fs::perms::owner_all);
  auto run = [&](const std::string& env, const std::string& args) {
    return run_shell("cd '" + dir.path().string() + "' && " + env + " bin/Kerfsend " + args + " </dev/null 2>&1");
  };
  Result first = run("DISPLAY=:99", "-w -fjob.nc");
  EXPECT_EQ(first.status, 0) << first.output;
  EXPECT_TRUE(contains(first.output, "\nKerfdisplay follows job.nc in its window\n")) << first.output;
  // While the viewer runs, the resume after a stop must find the port free.
  Result second = run("", "-fjob.nc");
  EXPECT_EQ(second.status, 0) << second.output;
  std::string held;
  for (int k = 0; k < 40 && held.empty(); ++k, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
    held = file_text(dir.path() / "held.txt");
  ASSERT_FALSE(held.empty());
  EXPECT_FALSE(contains(held, sim.device())) << held;
  EXPECT_FALSE(contains(held, "job.nc")) << held;
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\nG1 X1\nG1 X2\n");

  fs::remove(dir.path() / "held.txt");
  Result alone = run("env -u DISPLAY -u WAYLAND_DISPLAY", "-w -fjob.nc");
  EXPECT_EQ(alone.status, 0) << alone.output;
  EXPECT_TRUE(contains(alone.output, "\nNo viewer could start: there is no display to show its window on (DISPLAY "
                                     "is not set) - job.nc is sent without it\n"))
      << alone.output;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(fs::exists(dir.path() / "held.txt")) << "no viewer was started";
  dir.write("bin/Kerfdisplay", "#!/bin/sh\nexit 1\n");  // as one whose display cannot be opened
  Result ended = run("DISPLAY=:99", "-w -fjob.nc");
  EXPECT_TRUE(contains(ended.output, "\nNo viewer could start: Kerfdisplay ended at once with status 1 (a display it "
                                     "cannot open?) - job.nc is sent without it\n"))
      << ended.output;
}

TEST(Stops, FilesThatCannotBeSentAndJobsSentWholeOrStoppedInAnArcSayWhat) {
  SimController::Options silent;
  silent.answer_lines = 2;
  SimController sim(silent);
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim, "replytimeout 0.2\n"));
  dir.write("empty.nc", "");
  ASSERT_EQ(mkfifo((dir.path() / "pipe.nc").c_str(), 0600), 0);
  dir.write("arc.nc", "g1 x0 y1 f5\ng2 x1 y0 i0 j-1\nx0 y-1 i-1 j0\nx-1 y0 i0 j1\n");
  struct Case {
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {{"-fempty.nc"}, "\nempty.nc is empty - nothing sent\n"},
      {{"-fpipe.nc"}, "\npipe.nc is a pipe, not a program file - nothing sent\n"},
      // Line 3 goes on with the arc of line 2 and is refused as a resume line: the run's first line is named.
      {{"-farc.nc"}, "Exit program\nTo go on from file line 2 later: Kerfsend -r2 -farc.nc\n"},
  };
  for (const Case& c : cases) {
    Result run = run_kerfsend(dir, c.args, "", 5000);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.output, c.said)) << run.output;
  }
  EXPECT_EQ(file_text(dir.path() / "arc.nc.journal").rfind("confirmed 2 size ", 0), 0u);

  SimController answering;
  dir.write("ksconfig.txt", config_for(answering));
  dir.write("arc.nc.journal", "confirmed 4 complete\n");
  Result again = run_kerfsend(dir, {"-farc.nc"});
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_TRUE(contains(again.output, "\narc.nc went out whole last time (journal arc.nc.journal): it is sent again "
                                     "from line 1; -r is not needed\n"))
      << again.output;
  EXPECT_EQ(answering.received(), file_text(dir.path() / "arc.nc"));
}

}  // namespace
