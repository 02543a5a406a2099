// path_buffer.h - the tool path as the window keeps it: positions only, in vertex buffer objects
// where OpenGL has them (1.5 or later), else in the process's memory, with the colours kept as
// ranges of one colour each; and a reduced copy of a few vertices for drawing while the view
// moves.
#pragma once

#include "gcode_sink.h"

// Looks for buffer objects (OpenGL 1.5) and multiple draws (1.4); call with a current context,
// before recording. Returns true when the path goes into buffer objects.
bool path_buffers_available();

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

// Draws the recorded path, one colour at a time, without writing depth; `reduced` draws the
// reduced path (always, when the whole one could not be kept); `travel` false leaves the moves
// in the air out. The segments among the first `done` vertices are drawn in kDoneColour, under
// the rest.
void draw_path(bool reduced, bool travel, long done = 0);
