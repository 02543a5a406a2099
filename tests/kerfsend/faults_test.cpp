// faults_test.cpp - the built Kerfsend against controllers and operators that misbehave: a
// second sender, Backspace, long comments, silence, a stalled line, a hang-up, missing and
// forbidden devices, a garbled echo; and the forms of the options.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "harness.h"
#include "sim_controller.h"
#include "texts.h"

namespace {

TEST(Faults, SecondSenderIsRefusedWhileAJobHoldsThePort) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("job.nc", "G1 X1\n:Change to tool 2\nG1 X2\n");
  dir.write("other.nc", "G0 Z9\n");
  Child job(dir, {"-fjob.nc"}, keys.slave);
  ASSERT_TRUE(job.wait_output(kMenu, 5000)) << job.output();

  Result second = run_kerfsend(dir, {"-fother.nc"});
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(contains(second.output, "ERROR: COM1 (" + sim.device() + ") cannot be opened: in use by another program\n"))
      << second.output;
  EXPECT_EQ(sim.received(), "G1 X1\n") << "nothing of the second sender in the middle of the job";

  keys.type("x");
  EXPECT_EQ(job.finish(5000), 0);
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\n");
  EXPECT_EQ(run_kerfsend(dir, {"-fother.nc"}).status, 0) << "the port is free again once the job has ended";
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\nG0 Z9\n");
}

TEST(Faults, BackspaceTakesBackWhatTheScreenShowsAndNoControlCharacterIsSent) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("part.nc", ":Stop\nG1 X2\n");
  Child child(dir, {"-fpart.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000));
  keys.type("f");
  ASSERT_TRUE(child.wait_output(kEntry, 5000));
  // DEL and BS both erase; Ctrl-A and Tab are dropped; erasing everything makes the next key
  // a first key again, so "q", Backspace, "c" continues.
  keys.type("g0 x1\x7f" "2\b\by\x01\t3\r");
  ASSERT_TRUE(sim.wait_for("\n", 5000));
  keys.type("q\x7f" "c");
  EXPECT_EQ(child.finish(5000), 0);
  EXPECT_EQ(sim.received(), "g0 y3\nG1 X2\n");
  EXPECT_TRUE(contains(child.output(), kEntry + "g0 x1\b \b2\b \b\b \by3\n-q\b \bc\n\n-G1 X2\n-")) << child.output();
}

TEST(Faults, TypedLineWithAControlCharacterIsNotSent) {
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  Result run = run_kerfsend(dir, {}, "gx1\x01y2\nnx2\x7f\ngx3\ty4\n");
  EXPECT_EQ(sim.received(), "n1 gx3\ty4\n") << "a tab is a blank; other control characters refuse the line";
  EXPECT_EQ(clocks_at_zero(run.output), kBanner + kUse + "\nCommand holds a control character - not sent\n\n-" +
                            "\nCommand holds a control character - not sent\n\n-\n-");
}

TEST(Faults, LongCommentAndPauseLinesAreNoReasonToRefuseAProgram) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("part.nc", ";" + std::string(2000, 'c') + "\nG1 X1\n:" + std::string(1500, 'p') + "\nG1 X2\n");
  Child child(dir, {"-fpart.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000)) << child.output();
  keys.type("x");
  EXPECT_EQ(child.finish(5000), 0);
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\n");
}

TEST(Faults, UnansweredLineIsReportedAndTheDownloadStopsAtThePauseMenu) {
  SimController::Options silent;
  silent.answer_lines = 2;
  SimController sim(silent);
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim, "replytimeout 0.2\n"));
  dir.write("part.nc", "G1 X1\nG1 X2\nG1 X3\nG1 X4\nG1 X5\n");
  auto start = std::chrono::steady_clock::now();
  Result run = run_kerfsend(dir, {"-fpart.nc", "-fpart.nc"});
  EXPECT_LT(seconds_since(start), 3.0);
  EXPECT_EQ(run.status, 1) << "nobody there to answer the pause menu: the run ends";
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\nG1 X3\n") << "no line sent blind after the unanswered one";
  EXPECT_EQ(clocks_at_zero(run.output), kBanner + "\n-G1 X1\n-G1 X2\n-\nLine 3 was not answered within 0.2 s - download stopped\n" +
                            "2 of 5 lines sent (40%), 00:00 elapsed, about 00:00 left\n" + kMenu +
                            "Exit program\nTo go on from file line 3 later: Kerfsend -r3 -fpart.nc\n");
}

TEST(Faults, KeyEndsTheWaitForASilentControllerAndKeysAreNotEchoed) {
  SimController::Options silent;
  silent.answer_lines = 1;
  SimController sim(silent);
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));  // the full 1000 s limit: only the key can end the wait
  dir.write("part.nc", "G1 X1\nG1 X2\nG1 X3\n");
  Child child(dir, {"-fpart.nc"}, keys.slave);
  ASSERT_TRUE(sim.wait_for("G1 X2\n", 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  auto start = std::chrono::steady_clock::now();
  keys.type("z");
  ASSERT_TRUE(child.wait_output(kMenu, 3000)) << child.output();
  EXPECT_LT(seconds_since(start), 1.0);
  EXPECT_EQ(keys.echoed(), "") << "a key typed during the wait is not shown by the terminal";
  keys.type("e");
  EXPECT_EQ(child.finish(5000), 1);
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\n");
  EXPECT_EQ(clocks_at_zero(child.output()), kBanner + "\n-G1 X1\n-\nProgram paused\n" +
                                "1 of 3 lines sent (33%), 00:00 elapsed, about 00:00 left\n" + kMenu +
                                "Exit program\nTo go on from file line 2 later: Kerfsend -r2 -fpart.nc\n");
}

TEST(Faults, ContinueAfterAKeyDuringALineWaitsForThatLinesAnswerFirst) {
  SimController::Options slow;
  slow.line_delay_us = 600000;  // a long move: the prompt comes well after the echo
  SimController sim(slow);
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("part.nc", "G1 X1\nG1 X2\nG1 X3\n");
  Child child(dir, {"-fpart.nc"}, keys.slave);
  ASSERT_TRUE(sim.wait_for("G1 X2\n", 5000));
  keys.type("x");
  ASSERT_TRUE(child.wait_output(kMenu, 3000)) << child.output();
  keys.type("c");
  EXPECT_EQ(child.finish(10000), 0) << child.output();
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\nG1 X3\n");
  EXPECT_FALSE(contains(child.output(), "differs")) << "the late prompt is not taken for the next line's echo";
  EXPECT_TRUE(contains(child.output(), kMenu + "\n\n--G1 X3\n-\nSent 3 lines in")) << child.output();
}

TEST(Faults, WriteToALineThatTakesNoDataIsLimitedAndReported) {
  SimController::Options stalling;
  stalling.read_lines = 1;
  SimController sim(stalling);
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim, "replytimeout 0.3\n"));
  // A long line after the stop: what room the kernel still makes now and then is not enough.
  dir.write("part.nc", "G1 X1\n:Stop\nG1 X2 (" + std::string(1000, 'c') + ")\nG1 X3\n");
  Child child(dir, {"-fpart.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000));
  ASSERT_GT(sim.fill_line(), 0);
  auto start = std::chrono::steady_clock::now();
  keys.type("x");
  ASSERT_TRUE(child.wait_output("download stopped\n", 3000)) << child.output();
  EXPECT_LT(seconds_since(start), 1.5);
  EXPECT_TRUE(contains(child.output(), "\nLine 3 could not be sent: the controller took no data for 0.3 s - download stopped\n"
                                       "1 of 3 lines sent (33%), "))
      << child.output();
  keys.type("e");
  EXPECT_EQ(child.finish(5000), 1);
}

TEST(Faults, HangUpIsReportedAsTheLineGoingDown) {
  SimController::Options hangup;
  hangup.hangup_after = 3;
  SimController sim(hangup);
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));  // the full 1000 s limit: only the hang-up can end it
  std::string program;
  for (int k = 1; k <= 10; ++k) program += "G1 X" + std::to_string(k) + "\n";
  dir.write("part.nc", program);
  dir.write("two.nc", "G1 Y1\n");
  auto start = std::chrono::steady_clock::now();
  Result run = run_kerfsend(dir, {"-fpart.nc", "-ftwo.nc"});
  EXPECT_LT(seconds_since(start), 5.0);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\nG1 X3\n");
  // The echo of the third line is lost with the line; the error follows the second's prompt.
  EXPECT_TRUE(contains(run.output, "G1 X2\n-ERROR: the line to COM1 (" + sim.device() +
                                       ") went down: the controller is off or the cable is out\n"
                                       "\nSerial port COM1 is not open - download of part.nc stopped at line 3\n"
                                       "To go on from file line 3 later: Kerfsend -r3 -fpart.nc\n"
                                       "\nSerial port COM1 is not open - two.nc not sent\n"))
      << run.output;
  EXPECT_FALSE(contains(run.output, "Com port selection")) << run.output;
}

TEST(Faults, MissingDeviceIsNamedWithTheRemedyAndNoPortIsClaimed) {
  WorkDir dir;
  dir.write("ksconfig.txt", "comdevice COM2 /nonexistent/tty\nreplytimeout 30\n");
  dir.write("part.nc", "G1 X1\n");
  auto start = std::chrono::steady_clock::now();
  Result run = run_kerfsend(dir, {"-ccom2", "-fpart.nc"});
  EXPECT_LT(seconds_since(start), 5.0);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.output, "ERROR: COM2 (/nonexistent/tty) cannot be opened: no such device\n"
                                   "  Name the device with the comdevice key in ksconfig.txt, e.g. comdevice COM2 "
                                   "/dev/ttyUSB0\n\nSerial port COM2 is not open - part.nc not sent\n"))
      << run.output;
  EXPECT_FALSE(contains(run.output, "Com channel set to COM2")) << "COM2 never opened";
}

TEST(Faults, DeviceWithoutPermissionPointsToTheDialoutGroup) {
  if (geteuid() == 0 && getpwnam("nobody") == nullptr) GTEST_SKIP() << "run as root, and no user nobody to run as";
  WorkDir dir;
  dir.write("locked", "");
  chmod((dir.path() / "locked").c_str(), 0);
  dir.write("ksconfig.txt", "comdevice COM1 " + (dir.path() / "locked").string() + "\n");
  Child child(dir, {"-h"}, -1, true);
  EXPECT_EQ(child.finish(5000), 1);
  EXPECT_TRUE(contains(child.output(), "ERROR: COM1 (" + (dir.path() / "locked").string() +
                                           ") cannot be opened: no permission to open it\n"
                                           "  Add the user to the dialout group (sudo adduser $USER dialout), then "
                                           "log in again\n"))
      << child.output();
}

TEST(Faults, GarbledEchoStopsBeforeTheNextLine) {
  SimController::Options garbling;
  garbling.garble_at = 9;  // the X of the second line
  SimController sim(garbling);
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("part.nc", "G1 X1\nG1 X2\nG1 X3\n");
  Result run = run_kerfsend(dir, {"-fpart.nc"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\n");
  EXPECT_EQ(clocks_at_zero(run.output), kBanner + "\n-G1 X1\n-G1 #2\n-\nLine 2: the controller's echo differs from the line sent" +
                            " - download stopped\n  sent:   G1 X2\n  echoed: G1 #2\n" +
                            "1 of 3 lines sent (33%), 00:00 elapsed, about 00:00 left\n" + kMenu +
                            "Exit program\nTo go on from file line 2 later: Kerfsend -r2 -fpart.nc\n");
}

TEST(Faults, GarbledEchoThenContinueGoesOnWithTheNextLine) {
  SimController::Options garbling;
  garbling.garble_at = 3;
  SimController sim(garbling);
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("part.nc", "G1 X1\nG1 X2\n");
  Child child(dir, {"-fpart.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000));
  keys.type("x");
  EXPECT_EQ(child.finish(5000), 1) << "the run reports that a line went wrong";
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\n");
}

TEST(Options, ValueInTheNextArgumentHelpAndLineEnds) {
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("p.nc", "G1 X1\n");
  Result run = run_kerfsend(dir, {"-f", "p.nc", "--help", "-f", "gone.nc"});
  EXPECT_EQ(sim.received(), "G1 X1\n");
  EXPECT_TRUE(contains(clocks_at_zero(run.output), "\n-G1 X1\n-\nSent 1 line in 00:00\nCommand options:\n\n")) << run.output;
  EXPECT_TRUE(contains(run.output, "  Press any key to pause output \n\nFile gone.nc can't be found\n")) << run.output;
}

TEST(Options, PromptTakesTheHelpTextsFormsAndTheRestOfALineIsNoKey) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("p.nc", "G1 X1\n");
  Child child(dir, {}, keys.slave);
  // A blank after the name, a name after a blank, and the -f form, each typed at the prompt.
  const char* typed[] = {"fp.nc \n", "f p.nc\n", "-fp.nc\n"};
  for (int k = 0; k < 3; ++k) {
    keys.type(typed[k]);
    ASSERT_TRUE(sim.wait_for(k == 0 ? "G1 X1\n" : k == 1 ? "G1 X1\nG1 X1\n" : "G1 X1\nG1 X1\nG1 X1\n", 5000));
    ASSERT_TRUE(child.wait_output("Sent 1 line in 00:00\n\n-", 5000));
  }
  keys.type("-h\n");
  ASSERT_TRUE(child.wait_output("Command options:", 5000));
  keys.type("e\n");
  EXPECT_EQ(child.finish(5000), 0);
  EXPECT_FALSE(contains(child.output(), "Program paused")) << child.output();
}

}  // namespace
