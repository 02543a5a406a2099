// path_buffer.h - the tool path kept in vertex buffer objects (OpenGL 1.5), a few bytes a vertex,
// instead of in the display list, where the driver spends several times as much.
#pragma once

#include "sink.h"

// True when the window's OpenGL has buffer objects (1.5 or later); call with a current context.
bool path_buffers_available();

// Records the path as it is read, in blocks of vertices, each uploaded as soon as it is full.
class BufferSink : public PathSink {
 public:
  void vertex(const Colour& colour, float x, float y, float z) override;
  void end_path() override;
};

// Draws the recorded path: the same line strip, in the same order and colours, as the list did.
void draw_path_buffers();
