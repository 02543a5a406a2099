// command_line_test.cpp - the viewer's command line: options in any order, what it refuses, the
// picture file checked before the reading, the reasons a file cannot be opened, and the name
// typed at the prompt.
#include "viewer_harness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// Refused command lines end at once with status 2 and the usage, with no window and no display.
TEST_F(Viewer, RefusedCommandLinesPrintTheUsage) {
  write("job.nc", "G1 X1\n");
  struct Case {
    std::vector<std::string> args;
    const char* first_line;
  } cases[] = {
      {{"--png=OUT.png", "job.nc"}, "\nUnknown option --png=OUT.png.\n"},
      {{"job.nc", "-png", "out.png"}, "\nUnknown option -png.\n"},
      {{"--PNG", "out.png", "job.nc"}, "\nUnknown option --PNG.\n"},
      {{"job.nc", "other.nc"}, "\nOne file at a time: other.nc is a second file name.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first_line);
    ViewerRun r = run(c.args, "", nullptr, {"DISPLAY"});
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind(std::string(c.first_line) + "Usage: Kerfdisplay [FILE] [OPTION]...\n", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("  --view top|front|side|iso"), std::string::npos);
  }
  ViewerRun r = run({"job.nc", "--view", "under"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "\nThe --view option needs one of top, front, side and iso, not under.\n");
  EXPECT_FALSE(fs::exists(dir_ / "out.png"));
}

// Options before the file, the picture's folder checked before the file is read, and the
// reason a file cannot be opened.
TEST_F(Viewer, PictureTargetAndOpenFailuresAreToldFirst) {
  write("job.nc", "G1 X1\n");
  fs::create_directory(dir_ / "folder");
  ViewerRun r = run({"--png", "out.png", "job.nc"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(dir_ / "out.png"));
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"job.nc", "--png", "none/out.png"}, "\nCan't write picture file none/out.png: no such folder.\n"},
      {{"job.nc", "--png", "folder"}, "\nCan't write picture file folder: it is a folder.\n"},
      {{"folder", "--png", "x.png"}, "\nCan't open input file folder: it is a folder.\n"},
  };
  for (const Case& c : cases) {
    r = run(c.args, "", nullptr, {"DISPLAY"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, std::string(kBanner) + c.message);
  }
  EXPECT_FALSE(fs::exists(dir_ / "x.png"));
}

// The name typed at the prompt is the whole line, spaces and all.
TEST_F(Viewer, TypedNameIsTheWholeLine) {
  write("my file.nc", "G1 X1\n");
  ViewerRun r = run({"--png", "typed.png"}, "\n  my file.nc \n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("Generating Tool Path for my file.nc\n"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(dir_ / "typed.png"));
}

// --path writes every vertex as text, with no display: the assumed start as line 0, the kinds
// by move (travel in the air and from the start), arcs by their 32 chords; the console says what
// a --png run says.
TEST_F(Viewer, PathAsTextWithoutADisplay) {
  write("job.nc", "G0 Z1\nG0 X1\nG1 Z-1 F5\nG90.1 G2 X-1 Y0 I0 J0\nG0 X0 Z0.5\n; the end\n");
  ViewerRun r = run({"job.nc", "--path", "out.csv"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.rfind(std::string(kBanner) + "Generating Tool Path for job.nc\n\n\nJob summary\n", 0), 0u) << r.out;
  std::ifstream csv(dir_ / "out.csv");
  std::vector<std::string> rows;
  for (std::string row; std::getline(csv, row);) rows.push_back(row);
  ASSERT_EQ(rows.size(), 38u);
  const std::pair<std::size_t, const char*> wanted[] = {
      {0, "line,kind,x,y,z"},
      {1, "0,travel,0.000000,0.000000,0.000000"},
      {2, "1,travel,0.000000,0.000000,1.000000"},
      {3, "2,travel,1.000000,0.000000,1.000000"},
      {4, "3,feed,1.000000,0.000000,-1.000000"},
      {20, "4,cw,0.000000,-1.000000,-1.000000"},  // half-way round, below the centre
      {36, "4,cw,-1.000000,0.000000,-1.000000"},
      {37, "5,rapid,0.000000,0.000000,0.500000"},
  };
  for (const auto& w : wanted) EXPECT_EQ(rows[w.first], w.second) << w.first;
  r = run({"job.nc", "--path", "no-folder/out.csv"}, "", nullptr, {"DISPLAY"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, std::string(kBanner) + "\nCan't write path file no-folder/out.csv: no such folder.\n");
}

}  // namespace
