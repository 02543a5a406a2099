// kerfsend_wine_test.cpp - the Windows Kerfsend.exe under wine against the simulated controller.
// Wine's COM1 leads to a fixed link (set once in the prefix), which each test points at its
// own controller's pseudo-terminal; the tests that use it therefore run one at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "harness.h"
#include "sim_controller.h"
#include "texts.h"
#include "windows_text.h"

namespace fs = std::filesystem;

namespace {

// Points wine's COM1 at the controller; the link is replaced whole, never missing.
void lead_com1_to(const SimController& sim) {
  fs::path link = KERF_WINE_COM1;
  fs::path fresh = link.string() + ".new";
  fs::remove(fresh);
  fs::create_symlink(sim.device(), fresh);
  fs::rename(fresh, link);
}

// Console text as the POSIX program prints it; every line must end in CR LF.
std::string console_text(const std::string& text) {
  std::string fault;
  std::string out = posix_text(text, &fault);
  EXPECT_EQ(fault, "") << text;
  return out;
}

const std::string kPort = "COM1 (\\\\.\\COM1)";

TEST(Wine, DownloadSendsEachLineAtTheChosenRate) {
  SimController sim;
  lead_com1_to(sim);
  WorkDir dir;
  dir.write("part.nc", "; header comment\nG1 X1 ;cut\n\n  ;blank first\nG1 Y2\r\n;x\nG1 Z3");
  Result run = run_kerfsend(dir, {"-b9600", "-fpart.nc"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(sim.received(), "G1 X1 ;cut\n\n  ;blank first\nG1 Y2\nG1 Z3\n");
  EXPECT_EQ(console_text(run.output), kBanner + "\n-G1 X1 ;cut\n-\n-  ;blank first\n-G1 Y2\n-G1 Z3\n-\n"
                                    "Sent 5 lines in 00:00\n");
  termios mode{};
  ASSERT_EQ(tcgetattr(sim.slave_fd(), &mode), 0);
  EXPECT_EQ(cfgetospeed(&mode), static_cast<speed_t>(B9600));
  EXPECT_EQ(mode.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(mode.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "no parity, one stop bit, no flow control";
  // Written at the first line and replaced at the end: Windows replaces a file that exists only
  // when asked to.
  std::ifstream journal(dir.path() / "part.nc.journal", std::ios::binary);
  std::string kept((std::istreambuf_iterator<char>(journal)), std::istreambuf_iterator<char>());
  EXPECT_EQ(kept.substr(0, 26), "confirmed 7 complete size ");
  EXPECT_TRUE(kept.size() > 2 && kept.compare(kept.size() - 2, 2, "\r\n") == 0) << kept;
  EXPECT_FALSE(fs::exists(dir.path() / "part.nc.journal.new"));
}

TEST(Wine, SecondSenderIsRefusedAndAKeyOnAPipeEndsThePause) {
  SimController sim;
  lead_com1_to(sim);
  WorkDir dir;
  dir.write("job.nc", "G1 X1\n:Change to tool 2\nG1 X2\n");
  dir.write("other.nc", "G0 Z9\n");
  int keys[2];
  ASSERT_EQ(pipe(keys), 0);
  Child job(dir, {"-fjob.nc"}, keys[0]);
  close(keys[0]);
  ASSERT_TRUE(job.wait_output(windows_text(kMenu), 10000)) << job.output();

  Result second = run_kerfsend(dir, {"-fother.nc"});
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(contains(second.output, "ERROR: " + kPort + " cannot be opened: in use by another program\r\n"))
      << second.output;

  ASSERT_EQ(write(keys[1], "x", 1), 1);
  EXPECT_EQ(job.finish(10000), 0) << job.output();
  close(keys[1]);
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\n") << "nothing of the second sender in the middle of the job";
  EXPECT_EQ(run_kerfsend(dir, {"-fother.nc"}).status, 0) << "the port is free again once the job has ended";
}

TEST(Wine, KeyOnAPipeEndsTheWaitForASilentController) {
  SimController::Options silent;
  silent.answer_lines = 1;
  SimController sim(silent);
  lead_com1_to(sim);
  WorkDir dir;  // the full 1000 s limit: only the key can end the wait
  dir.write("part.nc", "G1 X1\nG1 X2\nG1 X3\n");
  int keys[2];
  ASSERT_EQ(pipe(keys), 0);
  Child child(dir, {"-fpart.nc"}, keys[0]);
  close(keys[0]);
  ASSERT_TRUE(sim.wait_for("G1 X2\n", 10000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(write(keys[1], "z", 1), 1);
  ASSERT_TRUE(child.wait_output(windows_text(kMenu), 3000)) << child.output();
  EXPECT_LT(seconds_since(start), 1.0);
  ASSERT_EQ(write(keys[1], "e", 1), 1);
  EXPECT_EQ(child.finish(10000), 1);
  close(keys[1]);
  EXPECT_EQ(sim.received(), "G1 X1\nG1 X2\n");
}

TEST(Wine, SilenceAndAHangUpEndTheRunWithinTheirLimits) {
  SimController::Options silent;
  silent.answer_lines = 2;
  SimController quiet(silent);
  lead_com1_to(quiet);
  WorkDir dir;
  dir.write("ksconfig.txt", "replytimeout 0.3\n");
  dir.write("part.nc", "G1 X1\nG1 X2\nG1 X3\nG1 X4\n");
  auto start = std::chrono::steady_clock::now();
  Result run = run_kerfsend(dir, {"-fpart.nc"});
  EXPECT_LT(seconds_since(start), 5.0);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(quiet.received(), "G1 X1\nG1 X2\nG1 X3\n");
  EXPECT_TRUE(contains(console_text(run.output), "\nLine 3 was not answered within 0.3 s - download stopped\n"))
      << run.output;

  SimController::Options hangup;
  hangup.hangup_after = 3;
  SimController gone(hangup);
  lead_com1_to(gone);
  dir.write("ksconfig.txt", "");  // the full 1000 s limit: only the hang-up can end it
  start = std::chrono::steady_clock::now();
  run = run_kerfsend(dir, {"-fpart.nc"});
  EXPECT_LT(seconds_since(start), 5.0);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(gone.received(), "G1 X1\nG1 X2\nG1 X3\n");
  EXPECT_TRUE(contains(console_text(run.output), "ERROR: the line to " + kPort + " went down")) << run.output;
}

}  // namespace
