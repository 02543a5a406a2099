// path_buffer.cpp - the tool path in blocks of float positions (12 bytes a vertex), each with the
// line strips of each colour that it holds, drawn one colour at a time; and the reduced path.
#include "path_buffer.h"

#include "window.h"
#include <GL/glext.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Position {
  float x, y, z;
};
static_assert(sizeof(Position) == 12, "three floats, with no padding");

// The path's colours, by index: travel is drawn first, so that cuts lie over it.
constexpr int kColours = 4;
constexpr int kTravel = 3;
const Colour kColourOf[kColours] = {kFeedColour, kClockwiseColour, kCounterColour, kTravelColour};
constexpr int kDrawOrder[kColours] = {kTravel, 0, 1, 2};

int colour_index(const Colour& c) {
  if (c.red > 0.5f) return c.green > 0.5f ? kTravel : 1;
  return c.green > 0.5f ? 2 : 0;
}

// 3 MiB a block: few draw calls, and a small buffer to fill while reading.
constexpr std::size_t kBlockVertices = 1 << 18;

// The reduced path keeps every so many vertices, between this many and twice as many: few
// enough to draw in a few hundredths of a second with software OpenGL.
constexpr std::size_t kReducedVertices = 1 << 16;

// Line strips of one colour, as glMultiDrawArrays takes them. Under flat shading a segment has
// the colour of its end, so a strip starts at the vertex before the first of its colour.
struct Strips {
  std::vector<GLint> first;
  std::vector<GLsizei> count;
};

struct Block {
  GLuint buffer = 0;              // 0 without buffer objects: the positions are in `memory`
  std::vector<Position> memory;
  Strips strips[kColours];
};

// Adds vertex `at` of colour c to the strips, `open` being the colour of the strip that ended
// at the vertex before (-1 for none).
void extend_strips(Strips (&strips)[kColours], int& open, std::size_t at, int c) {
  if (at == 0) return;  // the first vertex ends no segment
  Strips& s = strips[c];
  if (open == c) {
    ++s.count.back();
    return;
  }
  s.first.push_back(static_cast<GLint>(at - 1));
  s.count.push_back(2);
  open = c;
}

void shrink(Strips (&strips)[kColours]) {
  for (Strips& s : strips) {
    s.first.shrink_to_fit();
    s.count.shrink_to_fit();
  }
}

PFNGLGENBUFFERSPROC gen_buffers;
PFNGLBINDBUFFERPROC bind_buffer;
PFNGLBUFFERDATAPROC buffer_data;
PFNGLDELETEBUFFERSPROC delete_buffers;
PFNGLMULTIDRAWARRAYSPROC multi_draw;
bool use_buffers;

// The whole path.
std::vector<Block> blocks;
Block filling_block;
std::vector<Position> filling;
int open_colour = -1;
long total = 0;
bool complete = true;

// The reduced path: every stride-th vertex, and the last one.
struct Kept {
  Position p;
  int colour;
};
std::vector<Kept> kept;
long stride = 1;
Kept last{};
std::vector<Position> reduced;
Strips reduced_strips[kColours];

void forget_blocks() {
  for (Block& b : blocks)
    if (b.buffer != 0) delete_buffers(1, &b.buffer);
  blocks.clear();
  blocks.shrink_to_fit();
}

// Keeps the filled block: uploaded to a buffer object, or as it is. A refused upload gives up
// the whole path (its memory goes back to the driver) and keeps only the reduced one.
void keep_block() {
  Block& b = filling_block;
  if (complete && filling.size() >= 2) {
    if (use_buffers) {
      while (glGetError() != GL_NO_ERROR) {
      }
      gen_buffers(1, &b.buffer);
      bind_buffer(GL_ARRAY_BUFFER, b.buffer);
      buffer_data(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(filling.size() * sizeof(Position)),
                  filling.data(), GL_STATIC_DRAW);
      bind_buffer(GL_ARRAY_BUFFER, 0);
      if (glGetError() != GL_NO_ERROR) {
        delete_buffers(1, &b.buffer);
        complete = false;
      }
    } else {
      b.memory = filling;
    }
  }
  if (complete) {
    shrink(b.strips);
    blocks.push_back(std::move(b));
  } else {
    forget_blocks();
  }
  filling_block = Block{};
}

void keep_reduced(const Kept& k) {
  last = k;
  if (total % stride != 0) return;
  kept.push_back(k);
  if (kept.size() < 2 * kReducedVertices) return;
  // Every other one goes: those kept are the multiples of the doubled stride.
  for (std::size_t from = 0; from < kept.size(); from += 2) kept[from / 2] = kept[from];
  kept.resize(kept.size() / 2);
  stride *= 2;
}

void finish_reduced() {
  if (total > 0 && (total - 1) % stride != 0) kept.push_back(last);
  reduced.clear();
  reduced.reserve(kept.size());
  int open = -1;
  for (const Kept& k : kept) {
    extend_strips(reduced_strips, open, reduced.size(), k.colour);
    reduced.push_back(k.p);
  }
  shrink(reduced_strips);
  kept.clear();
  kept.shrink_to_fit();
}

template <typename T>
T proc(const char* name) {
  return reinterpret_cast<T>(glutGetProcAddress(name));
}

void draw_strips(const Strips (&strips)[kColours], bool travel) {
  for (int c : kDrawOrder) {
    const Strips& s = strips[c];
    if (s.first.empty() || (c == kTravel && !travel)) continue;
    glColor3f(kColourOf[c].red, kColourOf[c].green, kColourOf[c].blue);
    if (multi_draw != nullptr) {
      multi_draw(GL_LINE_STRIP, s.first.data(), s.count.data(), static_cast<GLsizei>(s.first.size()));
    } else {
      for (std::size_t k = 0; k < s.first.size(); ++k) glDrawArrays(GL_LINE_STRIP, s.first[k], s.count[k]);
    }
  }
}

}  // namespace

bool path_buffers_available() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  long major = 0, minor = 0;
  if (version != nullptr) {
    char* rest = nullptr;
    major = std::strtol(version, &rest, 10);
    minor = *rest == '.' ? std::strtol(rest + 1, nullptr, 10) : 0;
  }
  multi_draw = major > 1 || (major == 1 && minor >= 4) ? proc<PFNGLMULTIDRAWARRAYSPROC>("glMultiDrawArrays") : nullptr;
  use_buffers = false;
  if (major > 1 || (major == 1 && minor >= 5)) {
    gen_buffers = proc<PFNGLGENBUFFERSPROC>("glGenBuffers");
    bind_buffer = proc<PFNGLBINDBUFFERPROC>("glBindBuffer");
    buffer_data = proc<PFNGLBUFFERDATAPROC>("glBufferData");
    delete_buffers = proc<PFNGLDELETEBUFFERSPROC>("glDeleteBuffers");
    use_buffers = gen_buffers != nullptr && bind_buffer != nullptr && buffer_data != nullptr &&
                  delete_buffers != nullptr;
  }
  return use_buffers;
}

void BufferSink::vertex(const Colour& colour, float x, float y, float z) {
  if (filling.capacity() < kBlockVertices) filling.reserve(kBlockVertices);
  int c = colour_index(colour);
  Position p = {x, y, z};
  keep_reduced({p, c});
  ++total;
  // NOTE: a repeated point is kept: a smoothed line of no length still leaves a trace on the
  // picture.
  if (filling.size() == kBlockVertices) {
    keep_block();
    // NOTE: the next block starts at the last vertex of this one, so no segment is lost.
    Position joint = filling.back();
    filling.clear();
    filling.push_back(joint);
    open_colour = -1;
  }
  filling.push_back(p);
  extend_strips(filling_block.strips, open_colour, filling.size() - 1, c);
}

void BufferSink::end_path() {
  keep_block();
  filling.clear();
  filling.shrink_to_fit();
  finish_reduced();
}

long path_vertices() { return total; }
long reduced_vertices() { return static_cast<long>(reduced.size()); }
bool path_complete() { return complete; }

void draw_path(bool reduced_only, bool travel) {
  // NOTE: the path writes no depth. Where moves lie closer than a pixel, a smoothed line drawn
  // later and further back would fail the depth test against an earlier one and leave its
  // pixels dark: how a patch looked would then hang on the order its rows were cut in.
  glDepthMask(GL_FALSE);
  glEnableClientState(GL_VERTEX_ARRAY);
  if (use_buffers) bind_buffer(GL_ARRAY_BUFFER, 0);
  if (reduced_only || !complete) {
    glVertexPointer(3, GL_FLOAT, 0, reduced.data());
    draw_strips(reduced_strips, travel);
  } else {
    for (const Block& b : blocks) {
      if (b.buffer != 0) bind_buffer(GL_ARRAY_BUFFER, b.buffer);
      glVertexPointer(3, GL_FLOAT, 0, b.buffer != 0 ? nullptr : b.memory.data());
      draw_strips(b.strips, travel);
    }
  }
  if (use_buffers) bind_buffer(GL_ARRAY_BUFFER, 0);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDepthMask(GL_TRUE);
}
