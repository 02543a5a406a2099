// units_test.cpp - the line writers, the number readers and the loop counts, in-process.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "guard.h"
#include "params.h"
#include "reader.h"
#include "writer.h"
#include "written.h"

namespace {

using Lines = Written;

TEST_F(Lines, CompactLayout) {
  write_xy(1.5, -0.25, 5);
  write_z(-0.1, 3);
  write_arc_r(1, 2, 0.5, 5);
  write_arc_rz(1, 2, -0.05, 0.5, 5);
  write_arc_ij(1, 2, 0.25, -0.75, 5);
  write_arc_ijz(1, 2, -0.05, 0.25, -0.75, 5);
  EXPECT_EQ(text(),
            "n0 g1 x1.50000 y-0.25000 f5.00000\n"
            "n1 g1 z-0.10000 f3.00000\n"
            "n2 g3 x1.00000 y2.00000 r0.50000 f5.00000\n"
            "n3 g3 x1.00000 y2.00000 z-0.05000 r0.50000 f5.00000\n"
            "n4 g3 x1.00000 y2.00000 i0.25000 j-0.75000 f5.00000\n"
            "n5 g3 x1.00000 y2.00000 z-0.05000 i0.25000 j-0.75000 f5.00000\n");
}

TEST_F(Lines, VerboseLayoutKeepsTheColumns) {
  params.verbose = 'y';
  set_arc_word("g2");
  write_xy(0.1, -0.1, 5);
  write_z(-0.1, 3);
  write_arc_r(1, 2, 0.5, 5);
  write_arc_rz(1, 2, -0.05, 0.5, 5);
  write_arc_ij(1, 2, 0.25, -0.75, 5);
  write_arc_ijz(1, 2, -0.05, 0.25, -0.75, 12);
  EXPECT_EQ(text(),
            "n0    g1 x+0.100000 y-0.100000                       f5.000000 \n"
            "n1    g1                       z-0.100000            f3.000000\n"
            "n2    g2 x+1.000000 y+2.000000 r0.500000             f5.000000 \n"
            "n3    g2 x+1.000000 y+2.000000 z-0.050000 r0.500000             f5.000000 \n"
            "n4    g2 x+1.000000 y+2.000000 i+0.250000 j-0.750000 f5.000000 \n"
            "n5    g2 x+1.000000 y+2.000000 z-0.050000 i+0.250000 j-0.750000 f12.000000\n");
}

// The centre passed is the true one; after g91.1 it is written from the arc's start, which is
// the last position written (a helix's too), and g90.1 puts it back.
TEST_F(Lines, CentresFollowTheDeclaredModeFromTheArcStart) {
  write_xy(1, 1, 5);
  write_modal("g91.1\n");
  write_arc_ij(2, 2, 2, 1, 5);
  write_arc_ijz(0, 2, -0.1, 1, 2, 5);
  write_modal("g90.1\n");
  write_arc_ij(1, 1, 1, 2, 5);
  EXPECT_EQ(text(),
            "n0 g1 x1.00000 y1.00000 f5.00000\n"
            "g91.1\n"
            "n1 g3 x2.00000 y2.00000 i1.00000 j0.00000 f5.00000\n"
            "n2 g3 x0.00000 y2.00000 z-0.10000 i-1.00000 j0.00000 f5.00000\n"
            "g90.1\n"
            "n3 g3 x1.00000 y1.00000 i1.00000 j2.00000 f5.00000\n");
}

// An arc back to its start about the start itself moves nowhere: no line, no number; a helical
// one keeps its Z move. A whole circle about another centre is an arc all the same.
TEST_F(Lines, AnArcWithNoRadiusBackToItsStartIsLeftOut) {
  write_xy(1, 1, 5);
  write_arc_ij(1, 1, 1, 1, 5);
  write_arc_r(1.000004, 1, 0, 5);
  write_arc_ijz(1, 1, -0.1, 1, 1, 3);
  write_arc_rz(1, 1, -0.2, 0.000001, 3);
  write_arc_ij(1, 1, 1.5, 1, 5);
  EXPECT_EQ(text(),
            "n0 g1 x1.00000 y1.00000 f5.00000\n"
            "n1 g1 z-0.10000 f3.00000\n"
            "n2 g1 z-0.20000 f3.00000\n"
            "n3 g3 x1.00000 y1.00000 i1.50000 j1.00000 f5.00000\n");
}

TEST_F(Lines, StopsAndEndAreAlwaysPaddedAndEveryLineCounts) {
  write_stop();
  params.verbose = 'y';
  write_end();
  EXPECT_EQ(text(), ";\nn0    m01\n;\nn1    m30\n");
  EXPECT_EQ(writer.line, 2);
}

TEST_F(Lines, LastPositionIsThePassedValueNotThePrintedOne) {
  write_xy(1.000004, 2.000004, 5);
  write_z(7, 3);
  EXPECT_DOUBLE_EQ(writer.last_x, 1.000004);
  EXPECT_DOUBLE_EQ(writer.last_y, 2.000004);
  write_arc_ij(3, 4, 0, 0, 5);
  EXPECT_DOUBLE_EQ(writer.last_x, 3);
  EXPECT_DOUBLE_EQ(writer.last_y, 4);
}

TEST_F(Lines, ACommandIsWrittenWhole) {
  write_xy(1, 2, 5);
  command_begin();
  write_text("; %d %s %5.*f %ld\n", 7, "seven", 2, 7.0, 7L);
  write_arc_ij(3, 4, 0, 0, 5);
  EXPECT_EQ(text(), "n0 g1 x1.00000 y2.00000 f5.00000\n") << "held until the command ends";
  EXPECT_TRUE(command_end("cmd"));
  EXPECT_EQ(text(),
            "n0 g1 x1.00000 y2.00000 f5.00000\n"
            "; 7 seven  7.00 7\n"
            "n1 g3 x3.00000 y4.00000 i0.00000 j0.00000 f5.00000\n");
}

TEST_F(Lines, ANonFiniteNumberAnywhereUndoesTheWholeCommand) {
  write_xy(1, 2, 5);
  command_begin();
  write_xy(8, 9, 5);
  set_arc_word("g2");
  // A text argument and integers before the number must not hide it.
  write_text("; %s %d %*d r=%.4f\n", "circle", 1, 4, 2, 1e308 * 10);
  write_xy(5, 5, 5);
  EXPECT_FALSE(command_end("mill_circle"));
  write_arc_r(0, 1, 1, 5);
  EXPECT_EQ(text(),
            "n0 g1 x1.00000 y2.00000 f5.00000\n"
            "; error - mill_circle: a computed value is not a finite number\n"
            "n1 g3 x0.00000 y1.00000 r1.00000 f5.00000\n");
  command_begin();
  write_z(-std::numeric_limits<double>::quiet_NaN(), 3);
  EXPECT_FALSE(command_end("home"));
  EXPECT_EQ(writer.last_x, 0) << "the position of the last written line";
  EXPECT_EQ(writer.line, 2);
}

TEST(Numbers, ConvertAsTheCLibraryDoes) {
  EXPECT_DOUBLE_EQ(to_real("0.5"), 0.5);
  EXPECT_TRUE(std::isnan(to_real("abc"))) << "no number at all is refused, not taken as 0";
  EXPECT_TRUE(std::isnan(to_real(".")));
  // A typo in a number is refused rather than read as its leading part.
  for (const char* typo : {"12abc", "0.o5", "1..2", "0,5", "1e", "5-"})
    EXPECT_TRUE(std::isnan(to_real(typo))) << typo;
  EXPECT_DOUBLE_EQ(to_real("-.25"), -0.25);
  EXPECT_DOUBLE_EQ(to_real("1.5E+1"), 15);
  EXPECT_EQ(to_integer("3.7"), 3);
  EXPECT_EQ(to_integer("x"), 0);
  EXPECT_EQ(to_integer("-12"), -12);
}

TEST(Numbers, IntegersBeyondThirtyTwoBitsAreClamped) {
  EXPECT_EQ(to_integer("99999999999"), INT_MAX);
  EXPECT_EQ(to_integer("-99999999999"), INT_MIN);
  EXPECT_EQ(to_integer("999999999999999999999999999"), INT_MAX);
}

TEST(Numbers, ARealIsReadWholeHoweverLong) {
  std::string long_number = "1" + std::string(62, '0') + "5";  // 64 characters
  EXPECT_DOUBLE_EQ(to_real(long_number.c_str()), 1e63) << "not 1e62, its first 63 characters";
}

TEST(Letters, WholeWordInEitherCase) {
  EXPECT_EQ(letter_in("Y", "yn"), 'y');
  EXPECT_EQ(letter_in("n", "yn"), 'n');
  EXPECT_EQ(letter_in("yes", "yn"), 0);
  EXPECT_EQ(letter_in("", "yn"), 0);
  EXPECT_EQ(letter_in("x", "yn"), 0);
}

TEST(Words, ALongWordIsCutAndItsRestLeftInTheStream) {
  std::string text = std::string(300, 'a') + " next";
  std::FILE* file = fmemopen(text.data(), text.size(), "r");
  char word[kWordSize];
  EXPECT_EQ(read_word(file, word), WordRead::Cut);
  EXPECT_EQ(std::string(word), std::string(255, 'a'));
  skip_word_rest(file);
  EXPECT_EQ(read_word(file, word), WordRead::Whole);
  EXPECT_STREQ(word, "next");
  EXPECT_EQ(read_word(file, word), WordRead::End);
  std::fclose(file);
}

// The counts that operations loop over: whatever the width or step, the count is bounded and
// a refused count is seen as more than kMaxCount.
TEST(Counts, CutsAcrossAWidth) {
  Cuts narrow = count_cuts(0.25, 0.1);
  EXPECT_EQ(narrow.whole, 2);
  EXPECT_TRUE(narrow.narrow);
  EXPECT_NEAR(narrow.rest, 0.05, 1e-12);
  EXPECT_EQ(narrow.count(), 3);
  Cuts exact = count_cuts(0.25, 0.125);
  EXPECT_EQ(exact.count(), 2);
  EXPECT_FALSE(exact.narrow);
  // Less than 1e-6 left is rounding, not a cut.
  EXPECT_EQ(count_cuts(0.2000005, 0.1).count(), 2);
  EXPECT_EQ(count_cuts(0.200002, 0.1).count(), 3);
  EXPECT_EQ(count_cuts(-1, 0.1).count(), 0);
  EXPECT_EQ(count_cuts(NAN, 0.1).count(), 0);
  EXPECT_GT(count_cuts(INFINITY, 0.1).count(), kMaxCount);
  EXPECT_GT(count_cuts(1e300, 0.1).count(), kMaxCount);
  EXPECT_GT(count_cuts(1, 0).count(), kMaxCount);
}

TEST(Counts, RealCountsBeyondTheLimitOrNotANumber) {
  EXPECT_EQ(count_of(3), 3);
  EXPECT_EQ(count_of(kMaxCount), kMaxCount);
  EXPECT_EQ(count_of(-0.0), 0);
  EXPECT_EQ(count_of(-1e300), 0);
  EXPECT_EQ(count_of(1e300), kMaxCount + 1);
  EXPECT_EQ(count_of(INFINITY), kMaxCount + 1);
  EXPECT_EQ(count_of(NAN), kMaxCount + 1);
}

}  // namespace
