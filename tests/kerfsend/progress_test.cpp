// progress_test.cpp - the progress lines, and resuming a program at a line: the re-entry
// found through the interpreter, and what the controller receives.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness.h"
#include "progress.h"
#include "resume.h"
#include "sim_controller.h"
#include "texts.h"

namespace {

std::string progress(long sent, long to_send, double elapsed, double active = -1.0) {
  char text[160];
  format_progress(text, sizeof text, sent, to_send, elapsed, active < 0.0 ? elapsed : active);
  return text;
}

TEST(Progress, ShareElapsedAndTimeLeftAtThePaceSoFar) {
  EXPECT_EQ(progress(1234, 5000, 190.0), "1234 of 5000 lines sent (24%), 03:10 elapsed, about 09:40 left")
      << "190 s for 1234 lines leaves 3766 lines at 0.154 s: 580 s";
  EXPECT_EQ(progress(0, 5000, 2.0), "0 of 5000 lines sent (0%), 00:02 elapsed") << "no pace before the first line";
  EXPECT_EQ(progress(5000, 5000, 775.0), "5000 of 5000 lines sent (100%), 12:55 elapsed, about 00:00 left");
  EXPECT_EQ(progress(10, 20, 4000.0), "10 of 20 lines sent (50%), 1:06:40 elapsed, about 1:06:40 left");
  EXPECT_EQ(progress(7, 0, 1.0), "7 lines sent, 00:01 elapsed") << "a program that could not be counted";
  EXPECT_EQ(progress(2, 28, 10.0, 2.0), "2 of 28 lines sent (7%), 00:10 elapsed, about 00:26 left")
      << "an 8 s pause is no part of the pace";
}

// Runs the lines before `from` of a program text through find_reentry.
ReEntry reentry(const std::string& program, long from) {
  std::string copy = program;
  std::FILE* file = fmemopen(copy.data(), copy.size(), "r");
  CaptureStdout quiet;
  ReEntry at = find_reentry(file, from);
  std::fclose(file);
  return at;
}

TEST(Resume, PositionHighestZAndFeedBeforeTheLine) {
  const std::string program =
      "; a comment g1 z9 is no move\n"
      "n1 g1 z0.2 f11\n"
      "n2 g1 x1 y1\n"
      ":Change to tool 2 z5\n"
      "n3 g1 z-0.05 f3\n"
      "n4 g3 x2 y2 i1 j2\n"
      "n5 g1 x5 y5 z1\n";
  ReEntry at = reentry(program, 7);
  EXPECT_TRUE(at.moved);
  EXPECT_DOUBLE_EQ(at.x, 2.0);
  EXPECT_DOUBLE_EQ(at.y, 2.0);
  EXPECT_DOUBLE_EQ(at.z, -0.05);
  EXPECT_DOUBLE_EQ(at.safe_z, 0.2) << "comment and pause lines are never sent, so never reached";
  EXPECT_DOUBLE_EQ(at.feed, 3.0);

  EXPECT_FALSE(reentry(program, 2).moved) << "only a comment before line 2";
  EXPECT_FALSE(reentry(program, 1).moved);

  char lines[kReEntryLines][128];
  ASSERT_EQ(reentry_lines(at, true, lines), 6);
  EXPECT_STREQ(lines[0], "N1 G90");
  EXPECT_STREQ(lines[1], "N1 G90.1") << "the controller's defaults where the program set none";
  EXPECT_STREQ(lines[2], "N1 G70");
  EXPECT_STREQ(lines[3], "N1 G1 Z0.2000 F11.0000") << "lift and travel at the fastest feed";
  EXPECT_STREQ(lines[4], "N1 G1 X2.0000 Y2.0000 F11.0000");
  EXPECT_STREQ(lines[5], "N1 G1 Z-0.0500 F3.0000") << "down at the last plunge feed";
}

TEST(Resume, G92MovesTheOriginToTheTool) {
  ReEntry at = reentry("n1 g1 x1 y1 z0.5 f4\nn2 g92\nn3 g1 x0.5 z-0.1\n", 4);
  EXPECT_DOUBLE_EQ(at.x, 0.5);
  EXPECT_DOUBLE_EQ(at.y, 0.0);
  EXPECT_DOUBLE_EQ(at.z, -0.1);
  EXPECT_DOUBLE_EQ(at.safe_z, 0.0) << "0.5 above the old origin is where the new one is";
  at = reentry("n1 g1 x1 y1 z0.5 f4\nn2 G92 Z2\n", 3);
  EXPECT_DOUBLE_EQ(at.x, 1.0);
  EXPECT_DOUBLE_EQ(at.z, 2.0);
  EXPECT_DOUBLE_EQ(at.safe_z, 2.0);
  EXPECT_EQ(reentry("n1 g1 x1 f4\nn2 G99 x0 y0 z0 a0\nn3 g1 x2\n", 4).origin_line, 2);
}

// Lines as Kerfgen writes them: header comments, numbered lower-case moves, a tool change.
const std::string kProgram =
    "; Kerfgen program\n"
    "; mill_bit set to 0.250000\n"
    "n1 g90\n"
    "n2 g1 z0.1000 f11.0000\n"
    "n3 g1 x1.0000 y1.0000 f11.0000\n"
    "n4 g1 z0.0100 f11.0000\n"
    "n5 g1 z-0.0500 f3.0000\n"
    "n6 g1 x2.0000 y1.0000 f5.0000\n"
    ":Change to tool 2\n"
    "n7 g1 z0.1000 f11.0000\n"
    "n8 g1 x3.0000 y2.0000 f11.0000\n"
    "n9 g1 z-0.0500 f3.0000\n"
    "n10 g2 x4.0000 y2.0000 i3.5000 j2.0000 f5.0000\n"
    "n11 g1 z0.1000 f11.0000\n";

const std::string kReEntry =
    "N1 G90\nN1 G90.1\nN1 G70\nN1 G1 Z0.1000 F11.0000\nN1 G1 X3.0000 Y2.0000 F11.0000\nN1 G1 Z-0.0500 F3.0000\n";

TEST(Resume, ReEntryMovesThenTheProgramFromTheLine) {
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("part.nc", kProgram);
  Result run = run_kerfsend(dir, {"-r13", "-fpart.nc"}, "y");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(sim.received(), kReEntry + "n10 g2 x4.0000 y2.0000 i3.5000 j2.0000 f5.0000\nn11 g1 z0.1000 f11.0000\n")
      << "line by line: the moves back, then line 13 on; the tool change before it is not repeated";
  EXPECT_NE(run.output.find("\nResume part.nc at line 13. Re-entry moves:\n"
                            "  N1 G90\n  N1 G90.1\n  N1 G70\n  N1 G1 Z0.1000 F11.0000\n"
                            "  N1 G1 X3.0000 Y2.0000 F11.0000\n  N1 G1 Z-0.0500 F3.0000\n"
                            "Press 'y' to send them and go on with line 13, any other key to stop\n"
                            "\n-N1 G90\n-N1 G90.1\n-N1 G70\n-N1 G1 Z0.1000 F11.0000\n-"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\nSent 2 lines in 00:00\n"), std::string::npos) << "the share counts from line 13";
}

TEST(Resume, NothingIsSentWithoutTheOperatorsYesAndAtThePrompt) {
  SimController sim;
  WorkDir dir;
  dir.write("ksconfig.txt", config_for(sim));
  dir.write("part.nc", kProgram);
  Result run = run_kerfsend(dir, {"-r", "13", "-fpart.nc"}, "n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(sim.received(), "");
  EXPECT_NE(run.output.find("any other key to stop\nResume cancelled - nothing sent\n"), std::string::npos);

  run = run_kerfsend(dir, {"-r99", "-fpart.nc", "-r0"});
  EXPECT_NE(run.output.find("\npart.nc has no line 99 - nothing sent\nUnrecognized resume line: 0 - the next download sends nothing\n"),
            std::string::npos)
      << run.output;

  // At the prompt; the resume line holds for one download only: the next one starts at
  // line 1 again, up to the tool change.
  Keyboard keys;
  Child child(dir, {}, keys.slave);
  keys.type("r14\nfpart.nc\n");
  ASSERT_TRUE(child.wait_output("any other key to stop\n", 5000)) << child.output();
  keys.type("y");
  ASSERT_TRUE(child.wait_output("Sent 1 line in 00:00\n\n-", 5000)) << child.output();
  keys.type("fpart.nc\n");
  ASSERT_TRUE(child.wait_output("Press 'f'", 5000)) << child.output();
  keys.type("e");
  EXPECT_EQ(child.finish(5000), 1);
  std::string sent = kProgram.substr(0, kProgram.find(":Change"));
  sent = sent.substr(sent.find("n1 "));
  EXPECT_EQ(sim.received(), "N1 G90\nN1 G90.1\nN1 G70\nN1 G1 Z0.1000 F11.0000\nN1 G1 X4.0000 Y2.0000 F11.0000\n"
                            "N1 G1 Z-0.0500 F3.0000\n"
                            "N1 F5.0000\n"
                            "n11 g1 z0.1000 f11.0000\n" + sent);
}

}  // namespace

namespace {

std::vector<std::string> reentry_text(const std::string& program, long from) {
  char lines[kReEntryLines][128];
  const int count = reentry_lines(reentry(program, from), true, lines);
  return std::vector<std::string>(lines, lines + count);
}

TEST(Resume, ModesInForceAndTheFeedsOfTheProgramGoBeforeTheMoves) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(reentry_text("n1 g90.1\nn2 g1 z0.1 f30\nn3 g1 x1 y1\nn4 g1 z-0.1 f2\nn5 g1 x2 f7\n", 6),
            (Lines{"N1 G90", "N1 G90.1", "N1 G70", "N1 G1 Z0.1000 F30.0000", "N1 G1 X2.0000 Y1.0000 F30.0000",
                   "N1 G1 Z-0.1000 F2.0000", "N1 F7.0000"}))
      << "the line resumed at cuts at the feed in force, not at the plunge feed";
  EXPECT_EQ(reentry_text("g91.1\ng71\nn2 g1 z0.1 f6\nn4 g0 z-0.1\n", 5),
            (Lines{"N1 G90", "N1 G91.1", "N1 G71", "N1 G1 Z0.1000 F6.0000", "N1 G1 X0.0000 Y0.0000 F6.0000",
                   "N1 G1 Z-0.1000 F6.0000"}))
      << "a rapid plunge gives no plunge feed: the last feed stands in";
  EXPECT_EQ(reentry_text("n1 g1 z0.1 f5\nn2 m30\nn3 g1 x4 z-0.2\n", 4).back(), "N1 G1 Z-0.2000 F5.0000")
      << "the download goes on past m30, and so does the reading";
}

TEST(Resume, PlaceOrModeThatCannotBeKnownRefusesOrAsksForTheHand) {
  struct Case {
    std::string program;
    const char* from;
    std::string said;
    std::string sent;
  };
  const Case cases[] = {
      {"n1 g1 z0.1 f5\ng81 x1 y1 z-0.1 r0.1\nn2 g1 x1\nn3 g1 x1\n", "-r4",
       "\nLine 2 of job.nc holds G81, which the reading does not follow: where the tool stands before line 4, and "
       "the modes in force there, are not known for sure\nPress 'y' to resume at line 4 all the same",
       ""},
      // G91 is followed: the way back goes to X 1, and the program's G91 holds again after it.
      {"n1 g1 z0.1 f5\ng91\nn2 g1 x1\nn3 g1 x1\n", "-r4", "\nResume job.nc at line 4. Re-entry moves:\n",
       "N1 G90\nN1 G90.1\nN1 G70\nN1 G1 Z0.1000 F5.0000\nN1 G1 X1.0000 Y0.0000 F5.0000\nN1 G1 Z0.1000 F5.0000\n"
       "N1 G91\nn3 g1 x1\n"},
      {"n1 g1 z0.1 f5\nn2 g2 x1 y1 i0.5 j0.5\n; on\nx0 y-1 i-1 j0\n", "-r3",
       "\nLine 4 of job.nc continues the arc of line 2 without a motion word of its own - cannot resume there", ""},
      {"n1 g1 x1 f5\nn2 g1 x2 y1\nn3 g1 x3\n", "-r3",
       "job.nc has no Z move before it: no re-entry moves are computed.\nBring the tool to X2.0000 Y1.0000 by hand.",
       "N1 G90\nN1 G90.1\nN1 G70\nN1 F5.0000\nn3 g1 x3\n"},
      {"n1 g1 x1 y1 z0.5 f4\nn2 g92\nn3 g1 x0.5 z-0.1\nn4 g1 x1\n", "-r4",
       "\nLine 2 sets an origin with g92: it must still hold on the controller\n",
       "N1 G90\nN1 G90.1\nN1 G70\nN1 G1 Z0.0000 F4.0000\nN1 G1 X0.5000 Y0.0000 F4.0000\nN1 G1 Z-0.1000 F4.0000\n"
       "n4 g1 x1\n"},
      // Nothing moves before line 2, but the mode of line 1 must hold there all the same.
      {"n1 g71\nn2 g1 x1 f5\n", "-r2", "\nResume job.nc at line 2. No line before it moves the tool; the modes go out "
       "first:\n", "N1 G90\nN1 G90.1\nN1 G71\nn2 g1 x1 f5\n"},
  };
  for (const Case& c : cases) {
    SimController sim;
    WorkDir dir;
    dir.write("ksconfig.txt", config_for(sim));
    dir.write("job.nc", c.program);
    Result run = run_kerfsend(dir, {c.from, "-fjob.nc"}, "y");
    EXPECT_TRUE(contains(run.output, c.said)) << run.output;
    EXPECT_EQ(sim.received(), c.sent) << run.output;
  }
}

}  // namespace

namespace {

// The look from a place on, as a resume and the way back take it: a move that leans on the
// motion of an arc run or a canned cycle before it, and a next line that sets an origin.
TEST(Resume, LookAheadFindsModalRunsAndOriginLines) {
  struct Case {
    std::string program;
    long from;
    long continues, run;
    bool cycle, origin;
  };
  const std::string arcs = "n1 g1 z-0.1 f5\nn2 g2 x0 y-1 i0 j0\n; on\nf4\nx-1 y0 i0 j0\nn5 g3 x0 y1 i0 j0\n";
  const std::string drill = "n1 g1 z0.1 f5\nn2 g81 x1 y1 z-0.2 r0.1\nn3 x2 y2\nn4 g80\nn5 x3 y3\n";
  const Case cases[] = {
      {arcs, 3, 5, 2, false, false},  // past a comment and a feed alone: the move leans on line 2's g2
      {arcs, 6, 0, 0, false, false},  // a motion word of its own
      {arcs + "n6 g92 x0\nx1 y0 i0 j0\n", 7, 8, 6, false, true},  // a g92 moves nothing: the run goes on
      {drill, 3, 3, 2, true, false},
      {drill, 5, 0, 0, false, false},  // g80 ended the cycle, the g1 motion holds
      {"n1 g1 x1 f5\n:Align\nn2 g92\nn3 g1 x2\n", 2, 0, 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program + " from " + std::to_string(c.from));
    std::string copy = c.program;
    std::FILE* file = fmemopen(copy.data(), copy.size(), "r");
    Ahead ahead{};
    find_reentry(file, c.from, &ahead);
    std::fclose(file);
    EXPECT_EQ(ahead.continues_line, c.continues);
    EXPECT_EQ(ahead.run_line, c.run);
    EXPECT_EQ(ahead.cycle, c.cycle);
    EXPECT_EQ(ahead.sets_origin, c.origin);
  }
}

// What the reading does not follow is never passed over without a 'y' to a question that names
// it: the travel check, a resume after it, and a resume inside a canned cycle's run.
TEST(Resume, WhatTheReadingDoesNotFollowIsPassedOnlyWithAYes) {
  const std::string drill = "n1 g1 z0.1 f5\nn2 g1 x1 y1\nn3 g81 x1 y1 z-0.2 r0.1\nn4 x2 y2\nn5 g80\nn6 g1 x3\n";
  const std::string travel = "travel x -1 9\n";
  struct Case {
    std::string config, from, input, said;
    bool sent;  // the program from line `from` went out
  };
  const Case cases[] = {
      {travel, "-r1", "", "\nLine 3 of job.nc holds G81, which the reading does not follow: the travel is not checked "
                          "from there on\nPress 'y' to send job.nc without the travel check from line 3 on, any other "
                          "key to stop\nTravel not checked - job.nc not sent\n", false},
      {travel, "-r1", "y", "Press 'y' to send job.nc without the travel check", true},
      {"travel x -1 0.5\n", "-r1", "", "\nLine 2 of job.nc goes 0.5000 past the travel of X (highest 0.5000) - nothing",
       false},  // found before the cycle: that place is sure
      {"", "-r6", "y", "\nLine 3 of job.nc holds G81, which the reading does not follow: where the tool stands before "
                       "line 6, and the modes in force there, are not known for sure\nPress 'y' to resume at line 6 "
                       "all the same, any other key to stop\n\nResume job.nc at line 6.", false},
      {"", "-r6", "yy", "Resume job.nc at line 6. Re-entry moves:\n", true},
      {"", "-r4", "yy", "\nLine 4 of job.nc continues the canned cycle of line 3 without a motion word of its own - "
                        "cannot resume there, nothing sent\n", false},
  };
  for (const Case& c : cases) {
    SimController sim;
    WorkDir dir;
    dir.write("ksconfig.txt", config_for(sim, c.config));
    dir.write("job.nc", drill);
    Result run = run_kerfsend(dir, {c.from, "-fjob.nc"}, c.input);
    EXPECT_TRUE(contains(run.output, c.said)) << run.output;
    const std::string rest = c.from == "-r1" ? drill : "n6 g1 x3\n";
    EXPECT_EQ(sim.received().size() >= rest.size() && sim.received().compare(sim.received().size() - rest.size(),
                                                                          rest.size(), rest) == 0,
              c.sent)
        << sim.received();
    if (!c.sent) {
      EXPECT_EQ(sim.received(), "") << run.output;
    }
  }
}

}  // namespace
