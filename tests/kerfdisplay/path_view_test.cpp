// path_view_test.cpp - the path for a view at rest, in the viewer's own code without a window:
// which lines it leaves out for lying over others drawn after them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "first_view.h"
#include "path_buffer.h"

namespace {

constexpr long kCircle = 40000;  // segments a trace; three are more than a path drawn whole has

// The lines of the path for the viewer's first view of a 640 x 480 window (the eye 8 above the
// origin, looking down) with each trace in its colour (0 feed, 1 clockwise, 2 counter-clockwise).
long lines_for(const int (&colours)[3], long done, bool overlap) {
  std::vector<unsigned char> of_vertex(3 * (kCircle + 1));
  for (std::size_t v = 0; v < of_vertex.size(); ++v)
    of_vertex[v] = static_cast<unsigned char>(colours[v / (kCircle + 1)]);
  if (!path_recolour(of_vertex)) return -1;
  double model_view[16], projection[16];
  first_view(model_view, projection);
  screen_path_for(model_view, projection, kFirstViewport, 640, 480, done, overlap);
  while (screen_path_building() && !screen_path_wait(1)) continue;
  return screen_path_segments();
}

// A circle of radius 1 traced twice, then one of radius 0.5 once: a trace that lies over a later
// one is left out whatever the two colours are, and so is the job's done part under what is still
// to be cut; over the simulated part (no overlap) none is.
TEST(PathForTheView, LinesUnderLinesDrawnLaterAreLeftOutWhateverTheirColours) {
  BufferSink sink;
  for (int trace = 0; trace < 3; ++trace)
    for (long k = 0; k <= kCircle; ++k) {
      float a = static_cast<float>(2 * 3.14159265358979323846 * static_cast<double>(k) / kCircle);
      float r = trace < 2 ? 1.0f : 0.5f;
      sink.vertex(kFeedColour, r * std::cos(a), r * std::sin(a), 0);
    }
  sink.end_path();
  ASSERT_TRUE(path_reduced());

  const long one_colour = lines_for({0, 0, 0}, 0, true);
  ASSERT_GT(one_colour, 50);
  struct Case {
    int colours[3];
    long done;
  };
  for (const Case& c : {Case{{1, 2, 0}, 0}, Case{{2, 1, 0}, 0}, Case{{1, 1, 2}, 0}, Case{{0, 0, 0}, kCircle + 1}}) {
    SCOPED_TRACE(testing::Message() << c.colours[0] << c.colours[1] << c.colours[2] << " done " << c.done);
    long lines = lines_for(c.colours, c.done, true);
    EXPECT_GE(lines, one_colour - one_colour / 50);
    EXPECT_LE(lines, one_colour + one_colour / 50);
  }
  // Over the part both traces of the large circle are drawn.
  EXPECT_GT(lines_for({1, 2, 0}, 0, false), one_colour + one_colour / 5);
}

}  // namespace
