// reader_test.cpp - reading whole files: skipped lines, the end word, long lines, CR-LF files,
// files that cannot be read, the progress line, and Kerfgen's own output read back.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pty.h>
#include <string>
#include <unistd.h>

#include "gcode_reader.h"
#include "recording_sink.h"

namespace {

class ReadFile : public FileTest {
 protected:
  // Reads text as a file; returns the console output.
  std::string read(const std::string& text, bool* opened = nullptr) {
    write(text);
    return read_named(name_, opened);
  }
  std::string read_named(const std::string& name, bool* opened = nullptr) {
    interp_reset();
    sink_ = RecordingSink();
    testing::internal::CaptureStdout();
    bool ok = read_gcode_file(name.c_str(), sink_);
    if (opened != nullptr) *opened = ok;
    return testing::internal::GetCapturedStdout();
  }
  std::string header() const { return "Generating Tool Path for " + name_ + "\n\n"; }

  RecordingSink sink_;
};

TEST_F(ReadFile, PathStartsBlueAtTheOriginAndEndsOnce) {
  EXPECT_EQ(read("G1 X1 Y1\n"), header());
  ASSERT_EQ(sink_.vertices.size(), 2u);
  EXPECT_TRUE(same_colour(sink_.vertices[0].colour, kFeedColour));
  EXPECT_EQ(sink_.vertices[0].x, 0.0f);
  EXPECT_EQ(sink_.ends, 1);
  EXPECT_EQ(read(""), header());  // an empty file: the origin alone
  EXPECT_EQ(sink_.vertices.size(), 1u);
  EXPECT_EQ(sink_.ends, 1);
}

TEST_F(ReadFile, BlankAndCommentLinesAreSkipped) {
  // A skipped line in arc mode would otherwise be an arc; a line of spaces is not skipped.
  EXPECT_EQ(read("G1 X1\n\n;G20 X9\n\r\nX2\n;\n"), header());
  ASSERT_EQ(sink_.vertices.size(), 3u);
  EXPECT_EQ(sink_.vertices[2].x, 2.0f);
  read("G1 X1\n \n");
  EXPECT_EQ(sink_.vertices.size(), 2u);  // interpreted, but holds no coordinate
}

TEST_F(ReadFile, EndWordStopsReadingAndLastLineNeedsNoNewline) {
  EXPECT_EQ(read("G1 X1\nX2 M30\nX3\nG20\n"), header() + "End of g-code file.\n");
  EXPECT_EQ(sink_.vertices.size(), 2u);
  EXPECT_EQ(read("G1 X1\nX2"), header());
  EXPECT_EQ(sink_.vertices.size(), 3u);
}

TEST_F(ReadFile, WindowsLineEndsReadLikeUnixOnes) {
  EXPECT_EQ(read("G2 X2 Y0 I1 J0\r\n\r\nG1 X3\r\n"), header());
  EXPECT_EQ(sink_.vertices.size(), 34u);  // the blank line drew no second circle
  EXPECT_EQ(interp.x, 3.0);
}

TEST_F(ReadFile, TailOfAnOverLongLineIsIgnored) {
  std::string comment_tail = "G1 X1 (" + std::string(600, '-') + ") X9\n";
  std::string long_word = "G1 Y" + std::string(495, '0') + "5\n";  // 500 characters
  EXPECT_EQ(read(comment_tail + "Y2\n" + long_word + "X4\n"),
            header() + "Line too long - text after 499 characters ignored\n"
                       "Line too long - text after 499 characters ignored\n");
  ASSERT_EQ(sink_.vertices.size(), 5u);
  EXPECT_EQ(sink_.vertices[1].x, 1.0f);  // not the X9 past the cut
  EXPECT_EQ(sink_.vertices[2].y, 2.0f);
  EXPECT_EQ(sink_.vertices[3].y, 0.0f);  // the last digit of the word is past the cut
  EXPECT_EQ(sink_.vertices[4].x, 4.0f);
  // Exactly 499 characters is still a whole line, also with a Windows line end.
  std::string fits = "G1 Y" + std::string(494, '0') + "5";
  EXPECT_EQ(read(fits + "\n" + fits + "\r\n"), header());
  EXPECT_EQ(sink_.vertices[1].y, 5.0f);
  // What is left off is only comment text (or blanks): nothing to report.
  std::string semicolon = "G1 X1 ;" + std::string(600, '-') + "\r\n";
  std::string parens = "G1 X2 (" + std::string(600, '-') + ")  \r\n";
  std::string whole = ";" + std::string(600, 'X') + "\n:" + std::string(600, 'Y') + "\n";
  EXPECT_EQ(read(semicolon + parens + whole + "X3"), header());
  ASSERT_EQ(sink_.vertices.size(), 4u);
  EXPECT_EQ(sink_.vertices[3].x, 3.0f);
}

TEST_F(ReadFile, BinaryJunkNeitherHangsNorCrashes) {
  std::string junk;
  for (unsigned k = 0; k < 300000; ++k) junk += static_cast<char>((k * 239u) % 256u);
  read(junk);
  EXPECT_EQ(sink_.ends, 1);
}

TEST_F(ReadFile, MissingFileAndFolderCannotBeOpened) {
  bool opened = true;
  std::string missing = (folder_ / "none.nc").string();
  EXPECT_EQ(read_named(missing, &opened), "\nCan't open input file " + missing + ": no such file.\n");
  EXPECT_FALSE(opened);
  EXPECT_TRUE(sink_.vertices.empty());
  EXPECT_EQ(read_named(folder_.string(), &opened),
            "\nCan't open input file " + folder_.string() + ": it is a folder.\n");
  EXPECT_FALSE(opened);
}

TEST_F(ReadFile, ProgressOnATerminalOnlyAndClearedAtTheEnd) {
  std::string program;
  for (int k = 0; k < 20000; ++k) program += "G1 X" + std::to_string(k % 7) + "\n";
  write(program);
  double interval = progress_interval_seconds;
  progress_interval_seconds = 0;  // every check shows the share read
  EXPECT_EQ(read_named(name_), header());  // not a terminal: nothing extra

  int terminal, screen;
  ASSERT_EQ(openpty(&terminal, &screen, nullptr, nullptr, nullptr), 0);
  std::fflush(stdout);
  int console = dup(1);
  dup2(screen, 1);
  interp_reset();
  sink_ = RecordingSink();
  bool opened = read_gcode_file(name_.c_str(), sink_);
  std::fflush(stdout);
  dup2(console, 1);
  close(console);
  close(screen);
  progress_interval_seconds = interval;
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<std::size_t>(n));
  close(terminal);
  ASSERT_TRUE(opened);
  // A terminal turns "\n" into "\r\n" on the way out.
  std::string start = "Generating Tool Path for " + name_ + "\r\n\r\n\rReading ";
  ASSERT_EQ(shown.substr(0, start.size()), start);
  EXPECT_NE(shown.find("\rReading  61%"), std::string::npos);  // 4 checks: 12288 lines of 20000
  std::string cleared = "\r            \r";
  ASSERT_GE(shown.size(), cleared.size());
  EXPECT_EQ(shown.substr(shown.size() - cleared.size()), cleared);
  EXPECT_EQ(sink_.vertices.size(), 20001u);
}

// Kerfgen's alignment procedure: its three ":" pauses name axes in words ("Move piece left on
// x until ...") that would read as a move to X = 0.
TEST_F(ReadFile, AlignmentPausesDrawNoMove) {
  std::string script = (folder_ / "align.txt").string();
  std::ofstream(script) << "mill_line c 1 1 2 1 0 -0.1\nalign\n";
  std::string command = std::string("cd '") + folder_.string() + "' && timeout 20 '" KERFGEN_PROGRAM
                        "' align.txt job.nc </dev/null >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string out = read_named(name_);
  EXPECT_EQ(out.find("Unrecognized Code - A"), std::string::npos) << out;
  // One vertex a g1 line and the origin's: the pauses' words ("Move piece left on x") draw
  // no move to X 0.
  std::size_t moves = 0;
  std::ifstream program(name_);
  for (std::string line; std::getline(program, line);) moves += line.find(" g1 ") != std::string::npos;
  EXPECT_EQ(sink_.vertices.size(), moves + 1);
  EXPECT_EQ(interp.job.pauses, 3);
}

}  // namespace
