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
// path_reduced() is false when the reduced path is the whole one.
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

// The path for the view at rest, worked out in slices so that the window answers meanwhile:
// screen_path_for() tells whether it is ready for the view the matrices give (OpenGL's, with
// the viewport's size in pixels, and the job's place) and, when not, sets it under way (a path
// small enough to draw whole never is: false). Each screen_path_step() works on about
// `vertices` of the path's vertices; true when that finished it.
bool screen_path_for(const double model_view[16], const double projection[16], int viewport_width,
                     int viewport_height, long done);
bool screen_path_building();
bool screen_path_step(long vertices);
long screen_path_segments();
long screen_path_generation();  // changes each time a path for a view is ready
// The last path worked out for a view at rest has no more segments than the reduced one: it is
// the reduced path of a drag too (turned with the view, it is still the path, to a pixel or so).
bool screen_path_small();

// The path drawn again in the colours the simulated part gives it, one a vertex (for the segment
// that it ends): 0 to 3 for feed, clockwise, counter-clockwise and travel. False, changing
// nothing, when they are not the path's count or there is not the memory.
bool path_recolour(const std::vector<unsigned char>& colours);

// What draw_path() draws: the reduced path of the drag; the path for the view at rest (the
// reduced one until it is ready); every segment of the path.
enum class PathForm { Reduced, Screen, Whole };

// Draws the recorded path, one colour at a time, without writing depth (always the reduced
// path when the whole one could not be kept); `travel` false leaves the moves in the air out.
// The segments among the first `done` vertices are drawn in kDoneColour, under the rest.
void draw_path(PathForm form, bool travel, long done = 0);

// Visits the segments that draw_path(form, travel) draws (the job's done part as well), each as
// the path's numbers of the vertices at its two ends and their positions (three floats each);
// with first and last (else -1), only those whose two ends both lie among these vertices.
void visit_path_segments(PathForm form, bool travel, long first, long last,
                         const std::function<void(long from, long to, const float* a, const float* b)>& visit);
