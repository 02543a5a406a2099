// path_buffer.cpp - the tool path in blocks of float positions (12 bytes a vertex), each with the
// line strips of each colour that it holds, drawn one colour at a time; and the reduced path.
#include "path_buffer.h"

#include "window.h"
#include <GL/glext.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
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

// 768 KiB a block: a small buffer to fill while reading, and (see draw_path()) little of a
// software driver's memory in use while it is drawn.
constexpr std::size_t kBlockVertices = 1 << 16;

// What drawing a block may take beside the path, in the driver.
constexpr std::size_t kDrawingRoom = std::size_t{128} << 20;

// The reduced path keeps between this many segments and twice as many: few enough to draw in a
// few hundredths of a second with software OpenGL.
constexpr std::size_t kReducedSegments = 1 << 15;

// Line strips of one colour, as glMultiDrawArrays takes them. Under flat shading a segment has
// the colour of its end, so a strip starts at the vertex before the first of its colour.
struct Strips {
  std::vector<GLint> first;
  std::vector<GLsizei> count;
};

struct Block {
  GLuint buffer = 0;              // 0 without buffer objects: the positions are in `memory`
  std::vector<Position> memory;
  long first = 0;                 // the path's vertex that is the block's first
  long count = 0;                 // its vertices
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
long filling_first = 0;  // the path's vertex that is filling's first
int open_colour = -1;
long total = 0;
bool complete = true;
bool drawable = true;

// The reduced path: a share of the path's own segments, drawn as separate lines, so that what
// it shows lies on the path. Which segments is a hash of their number, not every so many: a path
// of arcs, each of the same number of points, would show one and the same piece of each.
struct Kept {
  Position from, to;
  std::uint32_t hash;
  int colour;
  long end;  // the path's vertex that ends it
};
std::vector<Kept> kept;
std::uint32_t keep_mask = 0;  // a segment is kept when its hash has none of these bits
Position previous{};
std::vector<Position> reduced;  // pairs of ends, one colour after the other
std::vector<long> reduced_end;  // a pair's end vertex in the path, rising within each colour
GLint reduced_first[kColours];
GLsizei reduced_count[kColours];

std::uint32_t mix(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352dU;
  h ^= h >> 15;
  h *= 0x846ca68bU;
  h ^= h >> 16;
  return h;
}

void forget_blocks() {
  for (Block& b : blocks)
    if (b.buffer != 0) delete_buffers(1, &b.buffer);
  blocks.clear();
  blocks.shrink_to_fit();
  glFinish();  // the driver may keep deleted buffers until what it has queued is done
}

// Keeps the filled block: uploaded to a buffer object, or as it is. A refused upload gives up
// the whole path (its memory goes back to the driver) and keeps only the reduced one.
void keep_block() {
  Block& b = filling_block;
  b.first = filling_first;
  b.count = static_cast<long>(filling.size());
  if (complete && filling.size() >= 2) {
    if (use_buffers) {
      for (int k = 0; k < 16 && glGetError() != GL_NO_ERROR; ++k) {  // errors of others
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
    // NOTE: the driver needs memory of its own to draw, and does not say when it has none: it
    // crashes. The path takes no more once that room would be gone.
    if (complete) {
      void* room = std::malloc(kDrawingRoom);
      complete = room != nullptr;
      std::free(room);
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

// Vertex `total` of colour c at p: the segment that it ends.
void keep_reduced(const Position& p, int c) {
  Position from = previous;
  previous = p;
  if (total == 0) return;
  std::uint32_t hash = mix(static_cast<std::uint32_t>(total));
  if ((hash & keep_mask) != 0) return;
  // Room for all it will ever hold, so that it needs no memory while the path takes it all.
  if (kept.capacity() < 2 * kReducedSegments) kept.reserve(2 * kReducedSegments);
  kept.push_back({from, p, hash, c, total});
  if (kept.size() < 2 * kReducedSegments) return;
  // About half go: those whose hash has the next bit as well.
  keep_mask = keep_mask * 2 + 1;
  std::size_t to = 0;
  for (const Kept& k : kept)
    if ((k.hash & keep_mask) == 0) kept[to++] = k;
  kept.resize(to);
}

void finish_reduced() {
  reduced.clear();
  reduced.reserve(2 * kept.size());
  reduced_end.clear();
  reduced_end.reserve(kept.size());
  for (int c = 0; c < kColours; ++c) {
    reduced_first[c] = static_cast<GLint>(reduced.size());
    for (const Kept& k : kept) {
      if (k.colour != c) continue;
      reduced.push_back(k.from);
      reduced.push_back(k.to);
      reduced_end.push_back(k.end);
    }
    reduced_count[c] = static_cast<GLsizei>(reduced.size()) - reduced_first[c];
  }
  kept.clear();
  kept.shrink_to_fit();
}

template <typename T>
T proc(const char* name) {
  return reinterpret_cast<T>(glutGetProcAddress(name));
}

void set_colour(const Colour& c) { glColor3f(c.red, c.green, c.blue); }

void draw_all(const Strips& s) {
  if (multi_draw != nullptr) {
    multi_draw(GL_LINE_STRIP, s.first.data(), s.count.data(), static_cast<GLsizei>(s.first.size()));
  } else {
    for (std::size_t k = 0; k < s.first.size(); ++k) glDrawArrays(GL_LINE_STRIP, s.first[k], s.count[k]);
  }
}

// The part the job has done is the block's vertices 0 to `cut` (below 1: none of its segments).
// `done_part` draws that part, in the done colour; else the rest, in the path's colours.
void draw_strips(const Strips (&strips)[kColours], bool travel, long cut, long vertices, bool done_part) {
  bool all_done = cut >= vertices - 1;
  if (done_part ? cut < 1 : all_done) return;
  if (done_part) set_colour(kDoneColour);
  for (int c : kDrawOrder) {
    const Strips& s = strips[c];
    if (s.first.empty() || (c == kTravel && !travel)) continue;
    if (!done_part) set_colour(kColourOf[c]);
    if (cut < 1 || all_done) {
      draw_all(s);
      continue;
    }
    // The one block the job's place falls in: each strip split there.
    for (std::size_t k = 0; k < s.first.size(); ++k) {
      long first = s.first[k], last = first + s.count[k] - 1;
      if (done_part && cut > first)
        glDrawArrays(GL_LINE_STRIP, static_cast<GLint>(first), static_cast<GLsizei>(std::min(last, cut) - first + 1));
      if (!done_part && last > cut) {
        long from = std::max(first, cut);
        glDrawArrays(GL_LINE_STRIP, static_cast<GLint>(from), static_cast<GLsizei>(last - from + 1));
      }
    }
  }
}

// Memory ran out for the whole path: what it holds goes back, and only the reduced path stays.
void give_up() {
  complete = false;
  forget_blocks();
  filling_block = Block{};
  filling.clear();
  filling.shrink_to_fit();
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
  int c = colour_index(colour);
  Position p = {x, y, z};
  try {
    keep_reduced(p, c);
  } catch (const std::bad_alloc&) {
    give_up();
    keep_reduced(p, c);  // else not even the reduced path has room: the caller tells so
  }
  ++total;
  if (!complete) return;
  try {
    if (filling.capacity() < kBlockVertices) filling.reserve(kBlockVertices);
    // NOTE: a repeated point is kept: a smoothed line of no length still leaves a trace on the
    // picture.
    if (filling.size() == kBlockVertices) {
      keep_block();
      if (!complete) return;
      // NOTE: the next block starts at the last vertex of this one, so no segment is lost.
      Position joint = filling.back();
      filling.clear();
      filling.push_back(joint);
      filling_first += static_cast<long>(kBlockVertices) - 1;
      open_colour = -1;
    }
    filling.push_back(p);
    extend_strips(filling_block.strips, open_colour, filling.size() - 1, c);
  } catch (const std::bad_alloc&) {
    give_up();
  }
}

void BufferSink::end_path() {
  try {
    if (complete) keep_block();
  } catch (const std::bad_alloc&) {
    give_up();
  }
  filling.clear();
  filling.shrink_to_fit();
  try {
    finish_reduced();
  } catch (const std::bad_alloc&) {
    give_up();
    finish_reduced();
  }
  if (!complete) {
    void* room = std::malloc(kDrawingRoom);
    drawable = room != nullptr;
    std::free(room);
  }
}

long path_segments() { return total > 0 ? total - 1 : 0; }
long reduced_segments() { return static_cast<long>(reduced.size() / 2); }
bool path_reduced() { return keep_mask != 0; }
bool path_complete() { return complete; }
bool path_drawable() { return drawable; }

void draw_path(bool reduced_only, bool travel, long done) {
  // NOTE: the path writes no depth. Where moves lie closer than a pixel, a smoothed line drawn
  // later and further back would fail the depth test against an earlier one and leave its
  // pixels dark: how a patch looked would then hang on the order its rows were cut in.
  glDepthMask(GL_FALSE);
  glEnableClientState(GL_VERTEX_ARRAY);
  if (use_buffers) bind_buffer(GL_ARRAY_BUFFER, 0);
  if (total == 0) {
    // Before the reading: a short line of each colour, from memory as the reduced path is
    // drawn and from a buffer where there are buffers (see warm_up()).
    static const Position line[2] = {{0, 0, 0}, {0, 0, 0}};
    Block b;
    for (Strips& s : b.strips) {
      s.first.push_back(0);
      s.count.push_back(2);
    }
    glVertexPointer(3, GL_FLOAT, 0, line);
    draw_strips(b.strips, true, 0, 2, false);
    glDrawArrays(GL_LINES, 0, 2);
    if (use_buffers) {
      gen_buffers(1, &b.buffer);
      bind_buffer(GL_ARRAY_BUFFER, b.buffer);
      buffer_data(GL_ARRAY_BUFFER, sizeof line, line, GL_STATIC_DRAW);
      glVertexPointer(3, GL_FLOAT, 0, nullptr);
      draw_strips(b.strips, true, 0, 2, false);
      delete_buffers(1, &b.buffer);
    }
  } else if ((reduced_only && keep_mask != 0) || !complete) {
    glVertexPointer(3, GL_FLOAT, 0, reduced.data());
    for (bool done_part : {true, false}) {
      for (int c : kDrawOrder) {
        if (reduced_count[c] == 0 || (c == kTravel && !travel)) continue;
        // The pairs of the colour whose ends lie among the done vertices come first.
        auto from = reduced_end.begin() + reduced_first[c] / 2;
        auto to = from + reduced_count[c] / 2;
        GLint split = static_cast<GLint>(2 * (std::lower_bound(from, to, done) - reduced_end.begin()));
        GLint first = done_part ? reduced_first[c] : split;
        GLint end = done_part ? split : reduced_first[c] + reduced_count[c];
        if (end <= first) continue;
        set_colour(done_part ? kDoneColour : kColourOf[c]);
        glDrawArrays(GL_LINES, first, end - first);
      }
    }
  } else {
    // The done part first, so that what is still to be cut lies over it.
    for (bool done_part : {true, false}) {
      for (const Block& b : blocks) {
        long cut = done - 1 - b.first;
        if (done_part ? cut < 1 : cut >= b.count - 1) continue;
        if (b.buffer != 0) bind_buffer(GL_ARRAY_BUFFER, b.buffer);
        glVertexPointer(3, GL_FLOAT, 0, b.buffer != 0 ? nullptr : b.memory.data());
        draw_strips(b.strips, travel, cut, b.count, done_part);
        glFinish();  // a software driver draws what it has gathered: less of its memory in use
      }
    }
  }
  if (use_buffers) bind_buffer(GL_ARRAY_BUFFER, 0);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDepthMask(GL_TRUE);
}
