// job_view_test.cpp - the viewer showing a job's place: --line split and marked as the
// interpreter says, and --follow reading the journal that Kerfsend keeps, live and in pictures.
#include "viewer_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A square of feeds with a clockwise arc for one side, inside the box that the plunge's height
// and the origin make.
const char kSquare[] =
    "G0 Z0.5\n"                 // 1
    "G0 X0.5 Y0.5\n"            // 2
    "G1 Z-0.1 F10\n"            // 3
    "G1 X1.5\n"                 // 4
    "G1 Y1.5\n"                 // 5
    "G2 X0.5 Y1.5 I-0.5 J0\n"   // 6
    "G1 Y0.5\n"                 // 7
    "G0 Z0.5\n"                 // 8
    "M30\n";                    // 9

struct Counts {
  int grey = 0, coloured = 0, marker = 0;
  double column = 0, row = 0;  // the marker's centre
};

// Counted round the square alone, clear of the axes; the marker wherever it is.
Counts count(const Picture& p) {
  Counts c;
  int left, top, right, bottom;
  project(0.3, 2.1, left, top);
  project(1.7, 0.3, right, bottom);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const unsigned char* at = p.at(x, y);
      if (marker_magenta(at)) {
        ++c.marker;
        c.column += x;
        c.row += y;
      }
      if (x < left || x > right || y < top || y > bottom) continue;
      c.grey += done_grey(at);
      Hue h = hue(at);
      c.coloured += h == Hue::Red || h == Hue::Blue;
    }
  if (c.marker > 0) {
    c.column /= c.marker;
    c.row /= c.marker;
  }
  return c;
}

class JobView : public Viewer {
 protected:
  Picture picture(const std::vector<std::string>& args, std::string* out = nullptr) {
    std::vector<std::string> all = {"job.nc", "--png", "job.png"};
    all.insert(all.end(), args.begin(), args.end());
    fs::remove(dir_ / "job.png");
    ViewerRun r = run(all);
    EXPECT_EQ(r.status, 0) << r.out;
    if (out != nullptr) *out = r.out;
    Picture p;
    EXPECT_TRUE(load_png(dir_ / "job.png", p));
    return p;
  }
  // As Kerfsend writes it: a whole new file put in the old one's place.
  void journal(const std::string& text) {
    write("job.nc.journal.new", text);
    fs::rename(dir_ / "job.nc.journal.new", dir_ / "job.nc.journal");
  }
};

// More of the path is grey as N grows, less of it in its own colours, and the tool's marker
// stands where the console says, which is where the lines before N leave the tool.
TEST_F(JobView, LineDimsThePathBeforeItAndMarksTheTool) {
  write("job.nc", kSquare);
  struct Case {
    int line;
    double x, y, z;
    const char* said;
  } cases[] = {
      {1, 0, 0, 0, "Line 1 starts with the tool at X0.0000 Y0.0000 Z0.0000\n"},
      {5, 1.5, 0.5, -0.1, "Line 5 starts with the tool at X1.5000 Y0.5000 Z-0.1000\n"},
      {6, 1.5, 1.5, -0.1, "Line 6 starts with the tool at X1.5000 Y1.5000 Z-0.1000\n"},
      {7, 0.5, 1.5, -0.1, "Line 7 starts with the tool at X0.5000 Y1.5000 Z-0.1000\n"},
      {9, 0.5, 0.5, 0.5, "Line 9 starts with the tool at X0.5000 Y0.5000 Z0.5000\n"},
  };
  Counts before;
  before.grey = -1;
  before.coloured = 1 << 30;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::string out;
    Counts now = count(picture({"--line", std::to_string(c.line)}, &out));
    EXPECT_EQ(out.substr(out.size() - std::strlen(c.said) - 1), std::string("\n") + c.said);
    EXPECT_GT(now.grey, before.grey);
    EXPECT_LT(now.coloured, before.coloured);
    ASSERT_GT(now.marker, 20);
    int column, row;
    project(c.x, c.y, column, row, c.z);
    EXPECT_NEAR(now.column, column, 1.5);
    EXPECT_NEAR(now.row, row, 1.5);
    before = now;
  }
  EXPECT_EQ(before.coloured, 0);  // at the last line all of the path is done
}

// A path of more vertices than one buffer holds, split in the first buffer and in the second:
// a zig-zag patch, grey below the line's row and blue above it.
TEST_F(JobView, LineSplitsALongPathWhereverItFalls) {
  constexpr int kRows = 70000;
  std::string program = "G0 X0.5 Y0.5\nG1 Z-0.1 F10\n";
  char line[64];
  for (int k = 0; k < kRows; ++k) {
    std::snprintf(line, sizeof line, "X%.1f Y%.6f\n", k % 2 == 0 ? 1.5 : 0.5, 0.5 + k * 1.0 / kRows);
    program += line;
  }
  write("job.nc", program);
  auto split_at = [&](const Picture& p, double split) {
    for (double y : {split - 0.15, split - 0.05, split + 0.05, split + 0.15}) {
      int column, row;
      project(1, y, column, row);
      EXPECT_EQ(done_grey(p.at(column, row)), y < split) << y;
      EXPECT_EQ(hue(p.at(column, row)) == Hue::Blue, y > split) << y;
    }
  };
  Picture rest;
  for (int at : {20000, 50000}) {
    SCOPED_TRACE(at);
    rest = picture({"--line", std::to_string(at + 3)});
    split_at(rest, 0.5 + at * 1.0 / kRows);
  }
  // The reduced path, drawn while the view is dragged, is split at the same place.
  std::string title = "Kerfdisplay - " + fs::canonical(dir_).string() + "/job.nc";
  Picture reduced;
  ViewerRun r = run({"job.nc", "--line", "50003"}, "", [&](pid_t) {
    LiveWindow window(title);
    if (!window.found()) return;
    window.look_until([&](const Picture& p) { return p.rgb == rest.rgb; });
    window.button(1, true);
    window.drag_to(320, 240);  // a motion that turns nothing: the same view, reduced
    reduced = window.look_until([&](const Picture& p) { return p.rgb != rest.rgb; });
    window.button(1, false);
    window.key(XK_Escape);
  });
  ASSERT_TRUE(reduced.width > 0 && reduced.rgb != rest.rgb) << "no reduced path while dragging";
  split_at(reduced, 0.5 + 50000.0 / kRows);
  EXPECT_EQ(r.status, 0);
}

// Line numbers that are not lines of the program end the run with a message, never a picture.
TEST_F(JobView, LineOutsideTheProgramIsRefused) {
  write("job.nc", kSquare + std::string("; after the end\n"));
  struct Case {
    std::vector<std::string> args;
    const char* said;  // the end of the output
  } cases[] = {
      {{"--line", "0"}, "\nThe --line option needs a file line number from 1 on, not 0.\n"},
      {{"--line", "-3"}, "\nThe --line option needs a file line number from 1 on, not -3.\n"},
      {{"--line", "4x"}, "\nThe --line option needs a file line number from 1 on, not 4x.\n"},
      {{"--line", "99999999999999999999"},
       "\nThe --line option needs a file line number from 1 on, not 99999999999999999999.\n"},
      {{"--line", "10"}, "\nLine 10 is past the end of the program, whose last line is 9.\n"},
      {{"--line", "3", "--follow"},
       "\nThe --line and --follow options each show a place of the job: give one of them.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    std::vector<std::string> args = {"job.nc", "--png", "job.png"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ViewerRun r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), std::strlen(c.said))), c.said);
    EXPECT_FALSE(fs::exists(dir_ / "job.png"));
  }
}

// --follow draws what the journal says: "confirmed N" as --line N+1 does, a complete job all
// grey, and no journal, or one that cannot be read, as the plain path.
TEST_F(JobView, FollowDrawsTheJournalsPlace) {
  write("job.nc", kSquare);
  Picture plain = picture({});
  Picture sixth = picture({"--line", "6"});
  Picture all_done = picture({"--line", "9"});
  struct Case {
    const char* journal;  // nullptr: none
    const Picture& shown;
  } cases[] = {
      {nullptr, plain},
      {"confirmed 5\n", sixth},
      {"confirmed 5", sixth},
      {"confirmed 8\n", all_done},
      {"confirmed 3 complete\n", all_done},
      {"confirmed 400\n", all_done},
      {"", plain},
      {"confirmed five\n", plain},
      {"confirmed 5 done\n", plain},
      {"\x01\xff garbage", plain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.journal == nullptr ? "none" : c.journal);
    fs::remove(dir_ / "job.nc.journal");
    if (c.journal != nullptr) journal(c.journal);
    Picture p = picture({"--follow"});
    EXPECT_TRUE(p.rgb == c.shown.rgb);
  }
  // A journal of ten megabytes is read no further than its first line.
  {
    std::FILE* f = std::fopen((dir_ / "job.nc.journal").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("confirmed 5\n", f);
    std::vector<char> block(1 << 20, 'x');
    for (int k = 0; k < 10; ++k) std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
    EXPECT_TRUE(picture({"--follow"}).rgb == sixth.rgb);
  }
  // A folder where the journal would be.
  fs::remove(dir_ / "job.nc.journal");
  fs::create_directory(dir_ / "job.nc.journal");
  EXPECT_TRUE(picture({"--follow"}).rgb == plain.rgb);
}

// The window follows the journal as it changes, in its picture and its title: before the job,
// as lines are confirmed (twice in one second, to the same length), when the journal goes and
// comes back, and at the end. Still, it uses no processor time.
TEST_F(JobView, FollowingWindowRedrawsAsTheJournalChangesAndIdlesWhenItDoesNot) {
  write("job.nc", kSquare);
  std::string base = "Kerfdisplay - " + fs::canonical(dir_).string() + "/job.nc";
  std::vector<std::string> missing;
  double used = -1;
  ViewerRun r = run({"job.nc", "--follow"}, "", [&](pid_t child) {
    struct Step {
      const char* journal;  // nullptr: removed
      std::string title;
      int coloured_at_most, grey_at_least;
    } steps[] = {
        {nullptr, " - no job journal yet", 1 << 30, 0},
        {"confirmed 4\n", " - line 4 of 9 (44%)", 1 << 30, 1},
        {"confirmed 5\n", " - line 5 of 9 (55%)", 1 << 30, 1},
        {nullptr, " - no job journal yet", 1 << 30, 0},
        {"confirmed 7\n", " - line 7 of 9 (77%)", 1 << 30, 1},
        {"confirmed 7 zz\n", " - the job journal cannot be read", 1 << 30, 0},
        {"confirmed 9 complete\n", " - line 9 of 9 (100%), complete", 0, 1},
    };
    for (const Step& s : steps) {
      if (s.journal == nullptr) fs::remove(dir_ / "job.nc.journal");
      else journal(s.journal);
      LiveWindow window(base + s.title);
      if (!window.found()) {
        missing.push_back(s.title);
        continue;
      }
      Picture p = window.look_until([&](const Picture& seen) {
        Counts c = count(seen);
        return c.coloured <= s.coloured_at_most && c.grey >= s.grey_at_least;
      });
      Counts c = count(p);
      EXPECT_LE(c.coloured, s.coloured_at_most) << s.title;
      EXPECT_EQ(c.marker > 0, s.grey_at_least > 0) << s.title;
    }
    LiveWindow window(base + " - line 9 of 9 (100%), complete");
    if (!window.found()) return;
    // Past the seconds in which a rewrite could hide from the clock: only a look at the file.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    double before = processor_seconds(child);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    used = processor_seconds(child) - before;
    std::printf("Processor time of a still window following its job: %.3f s in 3 s\n", used);
    window.key(XK_Escape);
  });
  EXPECT_TRUE(missing.empty()) << "no window titled ..." << missing[0];
  EXPECT_GE(used, 0);
  EXPECT_LT(used, 0.05);
  EXPECT_EQ(r.status, 0);
}

}  // namespace
