// path_buffer.cpp - the tool path in vertex buffer objects: float positions and a byte colour
// per vertex, one line strip per block.
#include "path_buffer.h"

#include "window.h"
#include <GL/glext.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct PackedVertex {
  float x, y, z;
  GLubyte rgba[4];
};
static_assert(sizeof(PackedVertex) == 16, "positions and colour, with no padding");

// 1 MiB a block: few draw calls, and a small buffer to fill while reading.
constexpr std::size_t kBlockVertices = 1 << 16;

PFNGLGENBUFFERSPROC gen_buffers;
PFNGLBINDBUFFERPROC bind_buffer;
PFNGLBUFFERDATAPROC buffer_data;

struct Block {
  GLuint buffer;
  GLsizei count;
};

std::vector<PackedVertex> filling;
std::vector<Block> blocks;

void upload() {
  if (filling.size() < 2) return;  // a lone vertex draws nothing
  Block b{0, static_cast<GLsizei>(filling.size())};
  gen_buffers(1, &b.buffer);
  bind_buffer(GL_ARRAY_BUFFER, b.buffer);
  buffer_data(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(filling.size() * sizeof(PackedVertex)),
              filling.data(), GL_STATIC_DRAW);
  bind_buffer(GL_ARRAY_BUFFER, 0);
  blocks.push_back(b);
}

template <typename T>
T proc(const char* name) {
  return reinterpret_cast<T>(glutGetProcAddress(name));
}

}  // namespace

bool path_buffers_available() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (version == nullptr) return false;
  char* rest = nullptr;
  long major = std::strtol(version, &rest, 10);
  long minor = *rest == '.' ? std::strtol(rest + 1, nullptr, 10) : 0;
  if (major < 1 || (major == 1 && minor < 5)) return false;
  gen_buffers = proc<PFNGLGENBUFFERSPROC>("glGenBuffers");
  bind_buffer = proc<PFNGLBINDBUFFERPROC>("glBindBuffer");
  buffer_data = proc<PFNGLBUFFERDATAPROC>("glBufferData");
  return gen_buffers != nullptr && bind_buffer != nullptr && buffer_data != nullptr;
}

void BufferSink::vertex(const Colour& colour, float x, float y, float z) {
  if (filling.capacity() < kBlockVertices) filling.reserve(kBlockVertices);
  // NOTE: a repeated point is kept: a smoothed line of no length still leaves a trace on the
  // picture, and the picture must stay as the display list drew it.
  auto channel = [](float c) { return static_cast<GLubyte>(c > 0.5f ? 255 : 0); };
  PackedVertex v = {x, y, z, {channel(colour.red), channel(colour.green), channel(colour.blue), 255}};
  if (filling.size() == kBlockVertices) {
    upload();
    // NOTE: the next strip starts at the last vertex of this one, so no segment is lost; under
    // flat shading a segment takes the colour of its end, so the repeated start's colour is moot.
    PackedVertex joint = filling.back();
    filling.clear();
    filling.push_back(joint);
  }
  filling.push_back(v);
}

void BufferSink::end_path() {
  upload();
  filling.clear();
  filling.shrink_to_fit();
}

void draw_path_buffers() {
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  for (const Block& b : blocks) {
    bind_buffer(GL_ARRAY_BUFFER, b.buffer);
    glVertexPointer(3, GL_FLOAT, sizeof(PackedVertex), nullptr);
    glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(PackedVertex),
                   reinterpret_cast<const void*>(offsetof(PackedVertex, rgba)));
    glDrawArrays(GL_LINE_STRIP, 0, b.count);
  }
  bind_buffer(GL_ARRAY_BUFFER, 0);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}
