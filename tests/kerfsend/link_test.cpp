// link_test.cpp - the serial layer, the error check and the reply wait, in-process against
// the simulated controller.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <termios.h>

#include "harness.h"
#include "link.h"
#include "serial.h"
#include "settings.h"
#include "sim_controller.h"

namespace {


// COM1 leads to the simulated controller and is open at 115200.
class LinkTest : public ::testing::Test {
 protected:
  explicit LinkTest(const SimController::Options& options = {}) : sim(options) {
    reset_link();
    serial_map_device(0, sim.device().c_str());
    CaptureStdout quiet;
    open_at_start();
  }
  ~LinkTest() override { reset_link(); }

  // Sends a line and waits for its answer; returns what the wait printed.
  std::string exchange(const std::string& text, int n, char mode, Reply* reply = nullptr) {
    CaptureStdout out;
    EXPECT_EQ(send_text(text.c_str()), Reply::Done);
    Reply r = reply_wait(settings.prompt, n, mode);
    if (reply != nullptr) *reply = r;
    return out.text();
  }

  SimController sim;
};

TEST_F(LinkTest, PortIsRawEightBitsNoParityOneStopAtTheChosenRate) {
  ASSERT_EQ(session.open_port, 0);
  termios mode{};
  ASSERT_EQ(tcgetattr(sim.slave_fd(), &mode), 0);
  EXPECT_EQ(mode.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(mode.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(mode.c_cflag & CLOCAL, 0u);
  EXPECT_NE(mode.c_cflag & CREAD, 0u);
  EXPECT_EQ(mode.c_iflag & (IXON | IXOFF | ICRNL), 0u) << "no software flow control, no translation";
  EXPECT_EQ(mode.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_EQ(cfgetospeed(&mode), static_cast<speed_t>(B115200));

  EXPECT_EQ(serial_baud(0, 8), 0) << "the code that messages show as 57200";
  ASSERT_EQ(tcgetattr(sim.slave_fd(), &mode), 0);
  EXPECT_EQ(cfgetospeed(&mode), static_cast<speed_t>(B57600));
  EXPECT_LT(serial_baud(0, 10), 0) << "a code outside the table is a failure, not a silent rate";
  EXPECT_LT(serial_baud(1, 5), 0) << "a port that is not open";
  EXPECT_LT(serial_setup(-1, 1, 0, 8), 0) << "only 8N1 is offered";
}

TEST_F(LinkTest, ReplyWaitModes) {
  EXPECT_EQ(exchange("G1 X1\n", 5, 'v'), "G1 X1\n-");
  EXPECT_EQ(exchange("G1 X1\n", 5, 'e'), "-") << "mode e shows only the prompt character";
  EXPECT_EQ(exchange("G1 X1\n", 6, 'q'), "");
  EXPECT_EQ(exchange("G1 X1\n", 0, 'v'), "G1 X1\n-") << "n = 0 shows everything up to the prompt";
  settings.quiet = true;
  EXPECT_EQ(exchange("G1 X1\n", 5, 'v'), "G1 X1") << "quiet: the echo, nothing after it";
  settings.quiet = false;
  // The wait must end on the prompt each time, or the next line would read an old answer.
  EXPECT_EQ(exchange("G1 X2\n", 5, 'v'), "G1 X2\n-");
}

TEST_F(LinkTest, OnlyTheFirstNewlineOfAnAnswerIsShown) {
  CaptureStdout out;
  sim.say("ok\r\n\n\nstill\n-");
  EXPECT_EQ(reply_wait('-', 0, 'v'), Reply::Done);
  EXPECT_EQ(out.text(), "ok\r\nstill-");
}

TEST_F(LinkTest, EchoEndingInThePromptEndsTheWait) {
  CaptureStdout out;
  sim.say("ab-");
  EXPECT_EQ(reply_wait('-', 3, 'v'), Reply::Done);
  EXPECT_EQ(out.text(), "ab-");
}

TEST_F(LinkTest, PromptCharacterAboveAsciiIsFound) {
  CaptureStdout out;
  sim.say("x\xb0");
  EXPECT_EQ(reply_wait('\xb0', 0, 'e'), Reply::Done) << "a char that is negative when signed";
  EXPECT_EQ(out.text(), "\xb0");
}

class SilentController : public LinkTest {
 protected:
  SilentController() : LinkTest(options()) {}
  static SimController::Options options() {
    SimController::Options o;
    o.answer_lines = 0;
    return o;
  }
};

TEST_F(SilentController, ShortLimitIsHonouredToTheMillisecond) {
  settings.reply_limit_s = 0.03;
  auto start = std::chrono::steady_clock::now();
  Reply reply = Reply::Done;
  exchange("G1 X1\n", 5, 'v', &reply);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(reply, Reply::TimedOut);
  EXPECT_GE(seconds, 0.03);
  EXPECT_LT(seconds, 0.08) << "not rounded up to the device's tenth of a second";
}

TEST_F(SilentController, WaitEndsAtTheLimitAndSleepsMeanwhile) {
  settings.reply_limit_s = 0.3;
  std::clock_t cpu = std::clock();
  auto start = std::chrono::steady_clock::now();
  Reply reply = Reply::Done;
  EXPECT_EQ(exchange("G1 X1\n", 5, 'v', &reply), "");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu_seconds = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  EXPECT_EQ(reply, Reply::TimedOut);
  EXPECT_GE(seconds, 0.29);
  EXPECT_LT(seconds, 2.0);
  EXPECT_LT(cpu_seconds, 0.05) << "the wait must block in the read, not poll in a loop";
  EXPECT_EQ(session.open_port, 0) << "a silent controller is no broken port";
}

class HangingUp : public LinkTest {
 protected:
  HangingUp() : LinkTest(options()) {}
  static SimController::Options options() {
    SimController::Options o;
    o.hangup_after = 1;
    return o;
  }
};

TEST_F(HangingUp, LostLineEndsTheWaitAtOnceAndClosesThePort) {
  auto start = std::chrono::steady_clock::now();
  Reply reply = Reply::Done;
  std::string out = exchange("G1 X1\n", 5, 'v', &reply);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
  EXPECT_EQ(reply, Reply::Lost);
  EXPECT_EQ(out, "ERROR: the line to COM1 (" + sim.device() + ") went down: the controller is off or the cable is out\n")
      << "the cause is the line going down, not the choice of port";
  EXPECT_EQ(session.open_port, -1);
  CaptureStdout quiet;
  EXPECT_EQ(send_text("G1\n"), Reply::Lost) << "nothing is sent on a closed port";
  EXPECT_FALSE(port_ready());
  EXPECT_EQ(quiet.text(), "\nSerial port COM1 is not open\n");
}

TEST(LinkStart, PortThatCannotOpenIsNamedWithItsCauseAndNothingElseIsCalledOnIt) {
  reset_link();
  serial_map_device(0, "/nonexistent/ttyS0");
  serial_map_device(1, "/dev/null");  // opens, but is no serial line
  CaptureStdout out;
  open_at_start();
  settings.port = 1;
  reopen();
  EXPECT_EQ(out.text(),
            "ERROR: COM1 (/nonexistent/ttyS0) cannot be opened: no such device\n"
            "  Name the device with the comdevice key in ksconfig.txt, e.g. comdevice COM1 /dev/ttyUSB0\n"
            "\nSerial Port setup error - set default serial port\n"
            "by creating file called ksconfig.txt with single line\n"
            "containing:    comchannel comx \n\n-"
            "ERROR: COM2 (/dev/null) cannot be opened: not a serial device\n"
            "  Name the device with the comdevice key in ksconfig.txt, e.g. comdevice COM2 /dev/ttyUSB0\n")
      << "one message a port, no baud call on a port that is not open";
  EXPECT_EQ(session.open_port, -1);
  reset_link();
}

TEST(LinkStart, SecondOpeningOfAHeldLineIsRefusedAsInUse) {
  SimController sim;
  reset_link();
  serial_map_device(0, sim.device().c_str());
  serial_map_device(1, sim.device().c_str());  // another name for the same line
  CaptureStdout out;
  open_at_start();
  ASSERT_EQ(session.open_port, 0);
  EXPECT_LT(serial_open(1, 1024, 1024), 0);
  EXPECT_EQ(errno, EBUSY);
  settings.port = 1;
  reopen();  // lets COM1 go first: then the line is free
  EXPECT_EQ(session.open_port, 1);
  EXPECT_EQ(out.text(), "");
  reset_link();
}

TEST(LinkStart, ReopenMovesToTheNewPortAndLetsTheOldOneGo) {
  SimController first, second;
  reset_link();
  serial_map_device(0, first.device().c_str());
  serial_map_device(3, second.device().c_str());
  {
    CaptureStdout quiet;
    open_at_start();
    settings.port = 3;
    reopen();
    EXPECT_EQ(quiet.text(), "");
  }
  EXPECT_EQ(session.open_port, 3);
  EXPECT_EQ(serial_getc(0, 0), kSerialFailed) << "COM1 is closed, not left open behind";
  EXPECT_EQ(send_text("M30\n"), Reply::Done);
  EXPECT_TRUE(second.wait_for("M30\n", 2000));
  EXPECT_EQ(first.received(), "");
  reset_link();
}

}  // namespace
