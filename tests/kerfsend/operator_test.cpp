// operator_test.cpp - what the operator does at the bench, against the simulated controller:
// resumes that cannot be done, typos in the port and rate, tool changes, hand moves at a
// pause, files that are not G-code, the journal, and the pace without the pauses.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"
#include "resume.h"
#include "sim_controller.h"
#include "texts.h"

namespace {

// A Kerfgen job: a safe height, a cut, a tool change, another cut.
const std::string kJob =
    "; Kerfgen program\n"
    "n1 g90\n"
    "n2 g1 z0.1000 f20.0000\n"
    "n3 g1 x1.0000 y1.0000 f20.0000\n"
    "n4 g1 z-0.1000 f2.0000\n"
    "n5 g1 x2.0000 y1.0000 f8.0000\n"
    "n6 g1 z0.1000 f20.0000\n"
    "; Change mill bit diameter to: 0.250000 - press c to continue\n"
    ";\n"
    "n7   m01\n"
    "n8 g1 x3.0000 y2.0000 f20.0000\n"
    "n9 g1 z-0.1000 f2.0000\n";

std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Operator, ResumeThatCannotBeDoneSendsNothingAndSaysWhy) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string said;
  };
  const Case cases[] = {
      {{"-rabc", "-fjob.nc"}, "", "Unrecognized resume line: abc - the next download sends nothing\n\n"
                                  "No valid resume line - job.nc not sent\n"},
      {{"-r0", "-fjob.nc"}, "", "No valid resume line - job.nc not sent\n"},
      {{"-r99999999999999999999", "-fjob.nc"}, "", "No valid resume line - job.nc not sent\n"},
      {{"-r12O0", "-fjob.nc"}, "", "Unrecognized resume line: 12O0"},
      // The resume is kept past a name that was mistyped: job.nc is taken up at line 6 or not at all.
      {{"-r6", "-fmissing.nc", "-fjob.nc"}, "",
       "File missing.nc can't be found\nThe resume waits for the next download\n\nResume job.nc at line 6."},
      {{}, "r6\nfmissing.nc\nfjob.nc\n", "The resume waits for the next download\n\n-\nResume job.nc at line 6."},
      {{"-r", "-fjob.nc"}, "", "No journal job.nc.journal: no line to resume at - nothing sent\n"},
  };
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("job.nc", kJob);
  for (const Case& c : cases) {
    Result run = run_kerfsend(dir, c.args, c.input);
    EXPECT_TRUE(contains(run.output, c.said)) << run.output;
    EXPECT_EQ(run.status, 1) << run.output;
  }
  EXPECT_EQ(sim.received(), "") << "none of them sends anything";
}

TEST(Operator, UnknownPortDeviceOrRateRefusesTheDownload) {
  struct Case {
    std::string config;
    std::vector<std::string> args;
    std::string said;
  };
  const Case cases[] = {
      {"", {"-cCOM22", "-fjob.nc"}, "Unrecognized com channel: COM22\nPort not changed"},
      {"", {"-bfast", "-fjob.nc"}, "Unrecognized baud rate\nRate not changed"},
      {"", {"-c", "-fjob.nc"}, "No com channel given\n"},
      {"", {"-b", "-fjob.nc"}, "No baud rate given\n"},
      {"comchannel COM22\n", {"-fjob.nc"}, "\nThe port asked for is not known - job.nc not sent\n"},
      {"baudrate fast\n", {"-fjob.nc"}, "\nThe baud rate asked for is not known - job.nc not sent\n"},
      {"comdevice COM1\n", {"-fjob.nc"}, "ERROR: COM1 is not opened: its comdevice line in ksconfig.txt names no device\n"},
  };
  for (const Case& c : cases) {
    SimController sim;
    WorkDir dir;
    dir.write("ksconfig.txt", config_for(sim) + c.config);
    dir.write("job.nc", kJob);
    Result run = run_kerfsend(dir, c.args);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.output, c.said)) << run.output;
    EXPECT_FALSE(contains(run.output, "Serial Port setup error")) << "another port is not the remedy";
    EXPECT_EQ(sim.received(), "") << run.output;
  }
}

TEST(Operator, ToolChangeStopsWithItsCommentAndWaitsWithoutLimit) {
  SimController::Options slow;
  slow.line_delay_us = 600000;  // the controller holds the stop past the reply limit
  SimController sim(slow);
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim, "replytimeout 0.3\n"));
  dir.write("job.nc", kJob.substr(kJob.find("; Change"), kJob.find("n8 ") - kJob.find("; Change")));
  Child child(dir, {"-fjob.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000)) << child.output();
  EXPECT_TRUE(contains(child.output(), "\nProgram stop at line 3\n"
                                       "; Change mill bit diameter to: 0.250000 - press c to continue\nn7   m01\n"))
      << child.output();
  EXPECT_EQ(sim.received(), "") << "nothing before the operator has changed the tool";
  keys.type("c");
  EXPECT_EQ(child.finish(5000), 0) << child.output();
  EXPECT_EQ(sim.received(), "n7   m01\n");
  EXPECT_FALSE(contains(child.output(), "not answered")) << child.output();

  for (const char* stop : {"m0", "M00", "n5 m1 (stop)", "m01"}) EXPECT_TRUE(holds_stop(stop)) << stop;
  for (const char* other : {"m02", "m30", "m10", "g1 x1 (m1)", "n1 g0 x0"}) EXPECT_FALSE(holds_stop(other)) << other;
}

TEST(Operator, HandMovesAtAPauseAreUndoneOnlyAfterYes) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  std::string job = kJob.substr(0, kJob.find("n5 ")) + ":Look at the cut\n" + kJob.substr(kJob.find("n5 "));
  dir.write("job.nc", job);
  Child child(dir, {"-fjob.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000)) << child.output();
  keys.type("f");
  ASSERT_TRUE(child.wait_output(kEntry, 5000));
  keys.type("g1 z0.5 f10\r");
  ASSERT_TRUE(sim.wait_for("g1 z0.5 f10\n", 5000));
  keys.type("g1 x1.5 f10\r");
  ASSERT_TRUE(sim.wait_for("g1 x1.5 f10\n", 5000));
  const std::string way_back =
      "N1 G90\nN1 G90.1\nN1 G70\nN1 G1 Z0.1000 F20.0000\nN1 G1 X1.0000 Y1.0000 F20.0000\nN1 G1 Z-0.1000 F2.0000\n";
  keys.type("c");
  ASSERT_TRUE(child.wait_output("any other key to go back to the menu\n", 5000)) << child.output();
  EXPECT_TRUE(contains(child.output(), "The moves back to where the program stopped:\n  N1 G90\n  N1 G90.1\n"
                                       "  N1 G70\n  N1 G1 Z0.1000 F20.0000\n  N1 G1 X1.0000 Y1.0000 F20.0000\n"
                                       "  N1 G1 Z-0.1000 F2.0000\nOr go on from here, the tool where it stands (the "
                                       "pause may have been for setting it), with these lines alone:\n  N1 G90\n"
                                       "  N1 G90.1\n  N1 G70\n  N1 F2.0000\nPress 'y' to send the moves back and go on "
                                       "with line 7, 'h' to go on from here,"))
      << child.output();
  const std::string before = sim.received();
  keys.type("n");  // back to the menu: nothing is sent, and going on asks again
  ASSERT_TRUE(child.wait_output("to go back to the menu\n" + kMenu, 5000)) << child.output();
  keys.type("x");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(sim.received(), before);
  keys.type("y");
  ASSERT_TRUE(child.wait_output("Program stop at line 11\n", 5000)) << child.output();
  keys.type("c");
  EXPECT_EQ(child.finish(5000), 0) << child.output();
  const std::string sent = kJob.substr(kJob.find("n1 "), kJob.find("n5 ") - kJob.find("n1 "));
  EXPECT_EQ(sim.received(), sent + "g1 z0.5 f10\ng1 x1.5 f10\n" + way_back +
                                "n5 g1 x2.0000 y1.0000 f8.0000\nn6 g1 z0.1000 f20.0000\n" +
                                "n7   m01\nn8 g1 x3.0000 y2.0000 f20.0000\nn9 g1 z-0.1000 f2.0000\n")
      << "the way back goes out once, before the next line of the program";
  EXPECT_TRUE(contains(child.output(), "\nSent 9 lines in")) << "the way back is not counted as the program's";
}

TEST(Operator, FileThatIsNotGCodeIsRefusedBeforeItsFirstLine) {
  struct Case {
    const char* name;
    std::string content;
    std::string said;
  };
  const Case cases[] = {
      {"plate.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 17), "Line 1 of plate.png holds byte 0x89"},
      {"nul.nc", std::string("G1 X1\nG1\0 X2\n", 13), "Line 2 of nul.nc holds byte 0x00"},
      {"cr.nc", "G1 X1\rG1 X2\rG1 X3\r", "Line 1 of cr.nc holds byte 0x0D"},
      {"escape.nc", "; clear\x1b[2J\nG1 X1\n", "Line 1 of escape.nc holds byte 0x1B"},
      {"/dev/zero", "", "\n/dev/zero is a device, not a program file - nothing sent\n"},
  };
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  for (const Case& c : cases) {
    if (!c.content.empty()) dir.write(c.name, c.content);
    Result run = run_kerfsend(dir, {std::string("-f") + c.name}, "", 5000);
    EXPECT_EQ(run.status, 1) << c.name;
    EXPECT_TRUE(contains(run.output, c.said)) << run.output;
  }
  EXPECT_EQ(sim.received(), "");
  dir.write("accents.nc", "; Fr\xc3\xa4ser \xc3\x98 6 mm\r\nG1 X1\r\n");
  EXPECT_EQ(run_kerfsend(dir, {"-faccents.nc"}).status, 0) << "a comment is never sent: any text will do there";
  EXPECT_EQ(sim.received(), "G1 X1\n");
}

TEST(Operator, JournalKeepsThePlaceAndMinusRAloneResumesThere) {
  SimController::Options silent;
  silent.answer_lines = 4;
  WorkDir dir;
  dir.write("job.nc", kJob);
  {
    SimController sim(silent);
    dir.write("ksconfig.txt", config_for(sim, "replytimeout 0.2\n"));
    Result run = run_kerfsend(dir, {"-fjob.nc"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.output, "\nLine 6 was not answered within 0.2 s - download stopped\n"
                                     "4 of 9 lines sent (44%)"))
        << run.output;
    EXPECT_TRUE(contains(run.output, "Exit program\nTo go on from file line 6 later: Kerfsend -r6 -fjob.nc\n"))
        << run.output;
    EXPECT_EQ(read_text(dir.path() / "job.nc.journal").substr(0, 17), "confirmed 5 size ");
  }
  SimController sim;
  dir.write("ksconfig.txt", config_for(sim));
  Keyboard keys;
  Child child(dir, {}, keys.slave);
  keys.type("r\nfjob.nc\n");
  ASSERT_TRUE(child.wait_output("any other key to stop\n", 5000)) << child.output();
  EXPECT_TRUE(contains(child.output(), "\nJournal job.nc.journal: line 5 confirmed, resume at line 6\n"
                                       "\nResume job.nc at line 6. Re-entry moves:\n"))
      << child.output();
  keys.type("y");
  ASSERT_TRUE(child.wait_output(kMenu, 5000)) << child.output();  // the tool change
  keys.type("c");
  ASSERT_TRUE(child.wait_output("Sent 5 lines in", 5000)) << child.output();
  keys.type("e\n");
  EXPECT_EQ(child.finish(5000), 0) << child.output();
  EXPECT_EQ(sim.received(), "N1 G90\nN1 G90.1\nN1 G70\nN1 G1 Z0.1000 F20.0000\nN1 G1 X1.0000 Y1.0000 F20.0000\n"
                            "N1 G1 Z-0.1000 F2.0000\n" +
                                kJob.substr(kJob.find("n5 ")).erase(kJob.find("; Change") - kJob.find("n5 "),
                                                                     kJob.find("n7 ") - kJob.find("; Change")));
  EXPECT_EQ(read_text(dir.path() / "job.nc.journal").substr(0, 28), "confirmed 12 complete size 2");
  Result run = run_kerfsend(dir, {"-r", "-fjob.nc"});
  EXPECT_TRUE(contains(run.output, "\njob.nc was sent to its end (journal job.nc.journal): nothing to resume")) << run.output;
}

TEST(Operator, TimeSpentPausedIsNoPartOfThePace) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("job.nc", "G1 X1\n:One\nG1 X2\n:Two\nG1 X3\nG1 X4\n");
  Child child(dir, {"-fjob.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  keys.type("x");
  ASSERT_TRUE(child.wait_output(":Two\n", 5000));
  ASSERT_TRUE(child.wait_output(kMenu, 5000));
  // Counted, the 3 s pause would make the two lines left look like 3 s more; the lines
  // themselves take a fraction of a second, or a second on a loaded machine.
  const std::string& out = child.output();
  int elapsed = 0, left = 0;
  std::size_t at = out.find(":Two\nFile line 5 is next: 2 of 4 lines sent (50%), ");
  ASSERT_NE(at, std::string::npos) << out;
  ASSERT_EQ(std::sscanf(out.c_str() + at, ":Two\nFile line 5 is next: 2 of 4 lines sent (50%%), 00:%d elapsed, about 00:%d left",
                        &elapsed, &left), 2) << out;
  EXPECT_GE(elapsed, 3) << "the elapsed time is the whole time";
  EXPECT_LE(left, 1) << out;
  keys.type("x");
  EXPECT_EQ(child.finish(5000), 0);
}

TEST(Operator, StatusCommandAtAPauseEndsWhenTheControllerFallsQuiet) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));  // the full 1000 s limit
  dir.write("job.nc", ":Stop\nG1 X1\n");
  Child child(dir, {"-fjob.nc"}, keys.slave);
  ASSERT_TRUE(child.wait_output(kMenu, 5000));
  keys.type("f");
  ASSERT_TRUE(child.wait_output(kEntry, 5000));
  auto start = std::chrono::steady_clock::now();
  keys.type("s\r");
  ASSERT_TRUE(child.wait_output(kEntry + "s\ns\n-\n-", 3000)) << child.output();
  EXPECT_LT(seconds_since(start), 2.0);
  keys.type("c");
  EXPECT_EQ(child.finish(5000), 0);
  EXPECT_EQ(sim.received(), "s\nG1 X1\n");
}

}  // namespace

namespace {

TEST(Operator, ProgramLeavingTheTravelIsRefusedNamingLineAxisAndHowFar) {
  struct Case {
    std::string program;
    std::string said;  // empty: sent
  };
  const Case cases[] = {
      {"n1 g1 z0.1 f5\nn2 g1 x12.25 y1\n", "\nLine 2 of job.nc goes 0.2500 past the travel of X (highest 12.0000)"},
      {"n1 g1 x0 y0 f5\n; the top of the arc\nn2 g2 x2 y0 i1 j0\n",
       "\nLine 3 of job.nc goes 0.1000 past the travel of Y (highest 0.9000)"},
      {"n1 g1 x5 f5\nn2 g92 x0\nn3 g1 x8\n", "\nLine 3 of job.nc goes 1.0000 past the travel of X (highest 12.0000)"},
      {"n1 g1 x5 f5\nn2 G99 x5 y0 z0 a0\nn3 g1 x8\n", "\nLine 3 of job.nc goes 1.0000 past the travel of X (highest 12.0000)"},
      // Relative moves add up; millimetres are checked against the travel in inches.
      {"n1 g1 x4 f5\ng91\nn2 g1 x4\nn3 x4.5\n", "\nLine 4 of job.nc goes 0.5000 past the travel of X (highest 12.0000)"},
      {"n1 g21 g1 x317.5 f100\n", "\nLine 1 of job.nc goes 0.5000 past the travel of X (highest 12.0000)"},
      {"n1 g21 g1 x304.8 y-25.4 z-76.2 f100\n", ""},
      {"n1 g1 z-3.5 f5\n", "\nLine 1 of job.nc goes 0.5000 past the travel of Z (lowest -3.0000)"},
      {"n1 g1 x-0.5 y0.9 z-3 f5\nn2 g1 x12 y-1 z2\n", ""},  // up to the limits is within them
  };
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim, "travel x -0.5 12\ntravel y -1 0.9\ntravel z -3 2\n"));
  for (const Case& c : cases) {
    dir.write("job.nc", c.program);
    std::string before = sim.received();
    Result run = run_kerfsend(dir, {"-fjob.nc"});
    if (c.said.empty()) {
      EXPECT_EQ(run.status, 0) << run.output;
      EXPECT_EQ(sim.received(), before + c.program);
    } else {
      EXPECT_TRUE(contains(run.output, c.said + " - nothing sent\n")) << run.output;
      EXPECT_EQ(sim.received(), before) << run.output;
    }
  }
}

}  // namespace

namespace {

TEST(Operator, CommandTypedWhileALineIsCarriedOutWaitsForThatLineFirst) {
  SimController::Options slow;
  slow.line_delay_us = 500000;  // a long move: the prompt comes well after the echo
  SimController sim(slow);
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("job.nc", "n1 g1 x1 f5\nn2 g1 x2\nn3 g1 x3\n");
  Child child(dir, {"-fjob.nc"}, keys.slave);
  ASSERT_TRUE(sim.wait_for("n2 g1 x2\n", 5000));
  keys.type("x");
  ASSERT_TRUE(child.wait_output(kMenu, 3000)) << child.output();
  keys.type("f");
  ASSERT_TRUE(child.wait_output(kEntry, 3000)) << child.output();
  keys.type("m5\r");
  ASSERT_TRUE(sim.wait_for("m5\n", 5000));
  // The line's prompt, then the command's: a key before the command's would end its wait.
  ASSERT_TRUE(child.wait_output("m5\n-\n-", 5000)) << child.output();
  keys.type("c");
  EXPECT_EQ(child.finish(10000), 0) << child.output();
  EXPECT_EQ(sim.received(), "n1 g1 x1 f5\nn2 g1 x2\nm5\nn3 g1 x3\n");
  EXPECT_TRUE(contains(child.output(), kEntry + "m5\n-\n-c\n\n-n3 g1 x3\n-\nSent 3 lines")) << child.output();
}

}  // namespace

namespace {

// Runs job.nc to its pause, types each command at it, then the keys that go on; returns what
// the controller received and what was shown.
Result at_the_pause(const std::string& program, const std::vector<std::string>& typed, const std::string& keys_after,
                    std::string& received) {
  SimController sim;
  WorkDir dir;
  Keyboard keys;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("job.nc", program);
  Child child(dir, {"-fjob.nc"}, keys.slave);
  EXPECT_TRUE(child.wait_output(kMenu, 5000)) << child.output();
  keys.type("f");
  EXPECT_TRUE(child.wait_output(kEntry, 5000));
  std::string sent = sim.received();
  for (const std::string& command : typed) {
    keys.type(command + "\r");
    sent += command + "\n";
    EXPECT_TRUE(sim.wait_for(sent, 5000)) << sim.received();
  }
  keys.type(keys_after);
  int status = child.finish(5000);
  received = sim.received();
  return Result{status, child.output()};
}

// A mode or a feed typed at a pause holds for that pause alone: the program's go out again,
// the controller's defaults where it set none, before the program goes on.
TEST(Operator, ModesAndFeedTypedAtAPauseHoldOnlyForThePause) {
  const std::string job = "n1 g1 z0.1 f20\nn2 g1 x1 y1\nn3 g1 z-0.1 f2\n:Look\nn4 g2 x2 y1 r0.5\n";
  const std::string before = "n1 g1 z0.1 f20\nn2 g1 x1 y1\nn3 g1 z-0.1 f2\n";
  const std::string modes = "N1 G90\nN1 G90.1\nN1 G70\nN1 F2.0000\n";
  struct Case {
    const char* typed;
    std::string then;  // what goes out before line 5
  };
  const Case cases[] = {{"f100", modes}, {"g71", modes}, {"g91.1", modes}, {"g91", modes}, {"m5", ""}};
  struct Effect {
    const char* typed;
    bool moves, modes;
  };
  // Read word by word: a code the reading does not know (g28 homes) may do either.
  for (const Effect& e : {Effect{"g1 z0.5 f10", true, true}, Effect{"g0 x1", true, false}, Effect{"f100", false, true},
                          Effect{"g90", false, true}, Effect{"G28", true, true}, Effect{"m5", false, false},
                          Effect{"g4 p1", false, false}, Effect{"s", false, false}}) {
    EXPECT_EQ(typed_effect(e.typed).moves, e.moves) << e.typed;
    EXPECT_EQ(typed_effect(e.typed).modes, e.modes) << e.typed;
  }
  for (const Case& c : cases) {
    std::string received;
    Result run = at_the_pause(job, {c.typed}, "c", received);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(received, before + c.typed + "\n" + c.then + "n4 g2 x2 y1 r0.5\n") << c.typed;
  }
}

// At Kerfgen's alignment pause the way back would undo the alignment: 'h' goes on from where
// the tool stands, with the modes alone. Inside an arc run no way back is sent at all.
TEST(Operator, GoOnFromHereAtAnAlignmentAndNoWayBackInsideAnArcRun) {
  const std::string align = "n1 g1 z0.5 f20\n: Align Z Axis - Move z axis down until it touches piece\nn2 g92\n"
                            "n3 g1 z0.1 f20\n";
  std::string received;
  Result run = at_the_pause(align, {"g1 z0.22 f1"}, "ch", received);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(contains(run.output, "'h' to go on from here, any other key to go back to the menu\n")) << run.output;
  EXPECT_EQ(received, "n1 g1 z0.5 f20\ng1 z0.22 f1\nN1 G90\nN1 G90.1\nN1 G70\nN1 F20.0000\nn2 g92\nn3 g1 z0.1 f20\n");

  const std::string arcs = "n1 g1 z0.1 f20\nn2 g1 x1 y0\nn3 g1 z-0.1 f2\nn4 g2 x0 y-1 i0 j0 f5\n:Look\n"
                           "x-1 y0 i0 j0\n";
  run = at_the_pause(arcs, {"g0 z1"}, "ce", received);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(contains(run.output, "\nLine 6 of job.nc continues the arc of line 4 without a motion word of its own: "
                                   "after moves of Kerfsend's own it would be cut as a straight line - no way back "
                                   "there\nEnd the job (e) and take it up again at line 4: Kerfsend -r4 -fjob.nc\n" +
                                       kMenu))
      << run.output;
  EXPECT_EQ(received, "n1 g1 z0.1 f20\nn2 g1 x1 y0\nn3 g1 z-0.1 f2\nn4 g2 x0 y-1 i0 j0 f5\ng0 z1\n");

  // After a word the reading does not follow, the way back is a guess, and asked as one.
  const std::string drilled = "n1 g1 z0.1 f20\nn2 g81 x1 y1 z-0.2 r0.1\nn3 g80\nn4 g1 x2 y1\n:Look\nn5 g1 x3\n";
  run = at_the_pause(drilled, {"g0 z1"}, "cne", received);
  EXPECT_TRUE(contains(run.output, "\nLine 2 of job.nc holds G81, which the reading does not follow: these moves may "
                                   "not lead to where the program stopped\n"))
      << run.output;
  EXPECT_TRUE(contains(run.output, "Press 'y' to send the moves back all the same and go on with line 6,")) << run.output;
  EXPECT_EQ(received, drilled.substr(0, drilled.find(':')) + "g0 z1\n");
}

// The journal names the program's size and time: a journal that another version of the
// program, or another run, left is not resumed from.
TEST(Operator, JournalOfAnotherRunOrVersionIsNotResumedFrom) {
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  const std::string job = "n1 g1 z0.1 f5\nn2 g1 x1\nn3 g1 x2\nn4 g1 x3\nn5 g92 x0\nn6 g1 x1\n";
  dir.write("job.nc", job);
  dir.write("job.nc.journal", "confirmed 2\n");  // as an earlier Kerfsend wrote it
  Result run = run_kerfsend(dir, {"-r", "-fjob.nc"}, "y");
  EXPECT_TRUE(contains(run.output, "\nJournal job.nc.journal names no size and time of job.nc (an earlier Kerfsend "
                                   "wrote it): whether the program changed since cannot be told\n"
                                   "\nJournal job.nc.journal: line 2 confirmed, resume at line 3\n"))
      << run.output;
  EXPECT_EQ(run.status, 0) << run.output;
  // Line 5's origin was confirmed by the run just made: a resume before it must be asked for.
  run = run_kerfsend(dir, {"-r4", "-fjob.nc"}, "n");
  EXPECT_TRUE(contains(run.output, "\nLine 5 of job.nc sets an origin, and its journal shows line 6 confirmed: the "
                                   "controller holds that origin already, while the re-entry to line 4 is reckoned "
                                   "before it\nPress 'y' to resume at line 4 all the same, any other key to stop\n"
                                   "Resume cancelled - nothing sent\n"))
      << run.output;
  std::filesystem::rename(dir.path() / "job.nc.journal", dir.path() / "kept.journal");
  dir.write("job.nc", job + "n7 g1 x2\n");
  std::filesystem::rename(dir.path() / "kept.journal", dir.path() / "job.nc.journal");
  run = run_kerfsend(dir, {"-r", "-fjob.nc"}, "y");
  EXPECT_TRUE(contains(run.output, "\nJournal job.nc.journal was kept for job.nc of 60 bytes, written ")) << run.output;
  EXPECT_TRUE(contains(run.output, ", and it is now of 69 bytes, written ")) << run.output;
  EXPECT_TRUE(contains(run.output, ": the program changed since - nothing sent\n")) << run.output;

  // A journal that cannot be written: the earlier one goes, and -r finds none to follow.
  const std::string sent = sim.received();
  dir.write("job.nc.journal", "confirmed 2\n");
  std::filesystem::create_directory(dir.path() / "job.nc.journal.new");
  run = run_kerfsend(dir, {"-r", "-fjob.nc"});
  EXPECT_TRUE(contains(run.output, "\nNo journal can be written beside job.nc (Is a directory): journal "
                                   "job.nc.journal may be an earlier run's - nothing sent\n"))
      << run.output;
  run = run_kerfsend(dir, {"-fjob.nc"});
  EXPECT_TRUE(contains(run.output, "\nJournal job.nc.journal cannot be written (Is a directory): the place of the job "
                                   "is not kept\nThe journal of an earlier run is removed\n"))
      << run.output;
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "job.nc.journal"));
  EXPECT_EQ(sim.received(), sent + job + "n7 g1 x2\n") << "only the whole program, from line 1";
}

}  // namespace
