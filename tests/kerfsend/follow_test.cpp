// follow_test.cpp - Kerfsend -w: the viewer, found beside Kerfsend, follows the job by the journal
// that Kerfsend writes while it sends to the simulated controller, across a stop and a resume.
#include "viewer_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "sim_controller.h"

namespace {

const char kJob[] =
    "G0 Z0.5\nG0 X0.5 Y0.5\nG1 Z-0.1 F10\nG1 X1.5\nG1 Y1.5\nG1 X0.5\nG1 Y0.5\nG0 Z0.5\nM30\n";

std::string read_text(const fs::path& name) {
  std::ifstream file(name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Grey pixels on the square's sides (the path done) and whether the tool is marked.
void look_at(const Picture& p, int& grey_count, bool& marked) {
  grey_count = 0;
  marked = false;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) marked = marked || marker_magenta(p.at(x, y));
  for (double t = 0.55; t < 1.5; t += 0.01)
    for (auto [x, y] : {std::pair{t, 0.5}, std::pair{1.5, t}, std::pair{t, 1.5}, std::pair{0.5, t}}) {
      int column, row;
      project(x, y, column, row, -0.1);
      bool near = false;
      for (int d = -2; d <= 2; ++d) near = near || done_grey(p.at(column + d, row)) || done_grey(p.at(column, row + d));
      grey_count += near;
    }
}

// Kerfsend stops when the controller falls silent: the window shows the lines confirmed; a
// second Kerfsend resumes and ends the job: the same window shows it complete.
TEST(Follow, MinusWStartsTheViewerThatFollowsTheJobAcrossAStopAndAResume) {
  ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "the viewer needs an X display (xvfb-run)";
  WorkDir dir;
  dir.write("job.nc", kJob);
  std::string base = "Kerfdisplay - " + fs::canonical(dir.path()).string() + "/job.nc";
  std::string stopped_title;
  {
    SimController::Options silent;
    silent.answer_lines = 4;
    SimController sim(silent);
    dir.write("ksconfig.txt", "comdevice COM1 " + sim.device() + "\nreplytimeout 0.2\n");
    Result run = run_kerfsend(dir, {"-w", "-fjob.nc"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("\nKerfdisplay follows job.nc in its window\n"), std::string::npos) << run.output;
    long confirmed = 0;
    ASSERT_EQ(std::sscanf(read_text(dir.path() / "job.nc.journal").c_str(), "confirmed %ld", &confirmed), 1);
    stopped_title = base + " - line " + std::to_string(confirmed) + " of 9 (" + std::to_string(confirmed * 100 / 9) + "%)";
  }
  LiveWindow stopped(stopped_title);
  ASSERT_TRUE(stopped.found()) << "no window titled " << stopped_title;
  int grey_count = 0;
  bool marked = false;
  Picture p = stopped.look_until([&](const Picture& seen) {
    look_at(seen, grey_count, marked);
    return grey_count > 50 && marked;
  });
  EXPECT_GT(grey_count, 50);  // a side or more
  EXPECT_LT(grey_count, 3 * 95);  // not all of it
  EXPECT_TRUE(marked);

  SimController sim;
  dir.write("ksconfig.txt", "comdevice COM1 " + sim.device() + "\n");
  Result run = run_kerfsend(dir, {"-r", "-fjob.nc"}, "y");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(read_text(dir.path() / "job.nc.journal").substr(0, 26), "confirmed 9 complete size ");
  LiveWindow complete(base + " - line 9 of 9 (100%), complete");
  EXPECT_TRUE(complete.found()) << "the window did not follow the resumed job to its end";
  if (complete.found()) complete.key(XK_Escape);
  else stopped.key(XK_Escape);
}

// Without a viewer beside Kerfsend or on the search path, the job is sent without one, and a
// program of the viewer's name in the working directory is never run: -w on the command line
// and w at the prompt alike.
TEST(Follow, WithoutAViewerTheJobIsSentAlone) {
  WorkDir dir;
  SimController sim;
  dir.write("ksconfig.txt", "comdevice COM1 " + sim.device() + "\n");
  dir.write("job.nc", kJob);
  dir.write("Kerfdisplay", "#!/bin/sh\ntouch ran\n");
  fs::permissions(dir.path() / "Kerfdisplay", fs::perms::owner_all);
  fs::create_directory(dir.path() / "bin");
  fs::copy_file(KERFSEND_PROGRAM, dir.path() / "bin" / "Kerfsend");
  dir.write("typed.txt", "w\nfjob.nc\ne\n");
  for (const char* asked : {"-w -fjob.nc </dev/null", "<typed.txt"}) {
    SCOPED_TRACE(asked);
    fs::remove(dir.path() / "job.nc.journal");
    Result run = run_shell("cd '" + dir.path().string() + "' && PATH=/usr/bin:/bin:.: bin/Kerfsend " + asked + " 2>&1");
    const std::string& text = run.output;
    EXPECT_EQ(run.status, 0) << text;
    EXPECT_NE(text.find("\nKerfdisplay was found neither beside Kerfsend nor on the search path - job.nc is sent "
                        "without it\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(read_text(dir.path() / "job.nc.journal").substr(0, 26), "confirmed 9 complete size ");
  }
  EXPECT_FALSE(fs::exists(dir.path() / "ran"));
}

// The viewer's word on starting the job at a line it picks is Kerfsend's own: each sentence it
// quotes (a refusal, a question, a note) is what Kerfsend -rN says on the same file, with the
// same journal beside it.
TEST_F(Viewer, PickSaysOfAResumeWhatKerfsendSays) {
  struct Case {
    std::string program;
    const char* journal;  // nullptr: none
    double x, y, z;       // a point of the move clicked
    long line;            // its line
  };
  const std::string cycle = "g1 z0.1 f5\ng81 x1 y1 z-0.1 r0.1\ng80\ng1 x-1 y-1\ng92 x0 y0\ng1 x0.5 y0 z-0.1\ng1 x1.5\n";
  const Case cases[] = {
      {"g91.1\ng1 z0.1 f10\ng1 x1 y0\ng1 z-0.1 f3\ng2 x0 y-1 i-1 j0 f5\n; on\nx-1 y0 i0 j1\ng1 z0.1\n", nullptr,
       -0.7071, -0.7071, -0.1, 7},
      {"g91.1\ng1 z0.1\ng1 x1 y1\ng1 z-0.1\ng1 x-1\n", nullptr, 0, 1, -0.1, 5},  // moves, no feed
      {cycle, "confirmed 6\n", -0.5, -0.5, 0.1, 4},
      {cycle, "confirmed 6\n", 0, -1, -0.1, 7},
      {"g1 x1 f5\ng1 x2 y1\ng1 x3\n", nullptr, 2.5, 1, 0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    write("job.nc", c.program);
    fs::remove(dir_ / "job.nc.journal");
    if (c.journal != nullptr) write("job.nc.journal", c.journal);
    const std::string base = "Kerfdisplay - " + fs::canonical(dir_).string() + "/job.nc" +
                             (c.program == cycle ? " - not followed: G81" : "");
    const std::string picked = "\nLine " + std::to_string(c.line) + ": ";
    ViewerRun r = run({"job.nc"}, "", [&](pid_t) {
      LiveWindow window(base);
      if (!window.found()) return;
      window.look_until([](const Picture& q) { return blue_spread(q).count > 10 || yellow_count(q) > 10; });
      int x, y;
      project(c.x, c.y, x, y, c.z);
      window.button(1, true, x, y);
      window.button(1, false, x, y);
      // Once the title names the line, all that the pick says is on the console.
      window.title_until([&](const std::string& t) { return t != base; });
      window.key(XK_Escape);
    });
    const std::size_t at = r.out.find(picked);
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string said = r.out.substr(at);
    // The sentences quoted from Kerfsend: after "refuses: ", "asks first: " and "says: ", to the
    // line's closing full stop.
    std::vector<std::string> quoted;
    for (const char* lead : {" refuses: ", "Kerfsend asks first: ", "Kerfsend says: "})
      for (std::size_t k = said.find(lead); k != std::string::npos; k = said.find(lead, k + 1)) {
        const std::size_t from = k + std::strlen(lead), end = said.find(".\n", from);
        quoted.push_back(said.substr(from, end - from));
      }
    ASSERT_FALSE(quoted.empty()) << said;

    WorkDir work;
    work.write("job.nc", c.program);
    if (c.journal != nullptr) work.write("job.nc.journal", c.journal);
    SimController sim;
    work.write("ksconfig.txt", "comdevice COM1 " + sim.device() + "\n");
    Result sent = run_kerfsend(work, {"-r" + std::to_string(c.line), "-fjob.nc"}, "yyy");
    std::string kerfsend = sent.output;
    for (char& ch : kerfsend)
      if (ch == '\n') ch = ' ';  // the by-hand note stands on two lines there
    for (const std::string& q : quoted) EXPECT_NE(kerfsend.find(q), std::string::npos) << q << "\n" << sent.output;
  }
}

}  // namespace
