// path_buffer.h - the tool path as the window keeps it: positions only, in the process's memory,
// with the colours kept as ranges of one colour each; a reduced copy of a few vertices for
// drawing while the view moves; and the path reduced to what the pixels of a view at rest show.
#pragma once

#include <functional>
#include <vector>

#include "gcode_sink.h"

// Looks for multiple draws (OpenGL 1.4); call with a current context, before recording.
void path_drawing_set_up();

// Records the path as it is read, in blocks of vertices, each uploaded as soon as it is full.
// Memory the driver refuses is noted (path_complete() turns false) and reading goes on: the
// reduced path is still kept.
class BufferSink : public PathSink {
 public:
  void vertex(const Colour& colour, float x, float y, float z) override;
  void end_path() override;
};

// The segments of the whole path, and of the reduced one that is drawn while the view moves;
// path_reduced() is false when the path is small enough to be drawn whole, always.
long path_segments();
long reduced_segments();
bool path_reduced();

// False when part of the path could not be kept (the driver ran out of memory): only the
// reduced path can then be drawn.
bool path_complete();

// False when even the reduced path cannot be drawn: the driver has too little memory left to draw.
bool path_drawable();

// The colour of the part of the path a job has done: the path's own colours dimmed to grey.
constexpr Colour kDoneColour = {0.4f, 0.4f, 0.4f};

// The path for the view at rest, worked out beside the window's thread so that the window
// answers meanwhile: screen_path_for() tells whether it is ready for the view the matrices give
// (OpenGL's, with the viewport, as glViewport takes it, and the window's size in pixels, and the
// job's place) and, when not, sets it under way (a path small enough to draw whole never is:
// false). `overlap` false keeps every line that lights the window, also those over others of
// their colour (for a path drawn over the part, which may hide some of them).
// screen_path_wait() waits for it up to `seconds`: true when it is then ready to draw.
// screen_path_cancel() gives up the one under way (the view moves on).
bool screen_path_for(const double model_view[16], const double projection[16], const int viewport[4],
                     int window_width, int window_height, long done, bool overlap);
bool screen_path_building();
bool screen_path_wait(double seconds);
void screen_path_cancel();
long screen_path_segments();
long screen_path_generation();  // changes each time a path for a view is ready
// The lines worked out for the last view at rest, before any was left out for lying over others
// or outside the window, are no more than the reduced path's: they are the path of a drag too
// (PathForm::Turned; turned with the view, they are still the path, to a pixel or so).
bool screen_path_small();

// The path drawn again in the colours the simulated part gives it, one a vertex (for the segment
// that it ends): 0 to 3 for feed, clockwise, counter-clockwise and travel. False, changing
// nothing, when they are not the path's count or there is not the memory.
bool path_recolour(const std::vector<unsigned char>& colours);

// What draw_path() draws: the reduced path of the drag; the path for the view at rest (the
// reduced one until it is ready); the lines worked out for the last view at rest, none left
// out, while the view moves (see screen_path_small()); every segment of the path.
enum class PathForm { Reduced, Screen, Turned, Whole };

// Draws the recorded path, one colour at a time, without writing depth (always the reduced
// path when the whole one could not be kept); `travel` false leaves the moves in the air out.
// The segments among the first `done` vertices are drawn in kDoneColour, under the rest.
// `depth_tested` false when nothing drawn before the path has written depth (no part shown).
void draw_path(PathForm form, bool travel, long done = 0, bool depth_tested = true);

// Visits the segments that draw_path(form, travel) draws (the job's done part as well), each as
// the path's numbers of the vertices at its two ends and their positions (three floats each);
// with first and last (else -1), only those whose two ends both lie among these vertices.
void visit_path_segments(PathForm form, bool travel, long first, long last,
                         const std::function<void(long from, long to, const float* a, const float* b)>& visit);
