// path_buffer.cpp - the tool path in blocks of float positions (12 bytes a vertex), each with the
// line strips of each colour that it holds, drawn one colour at a time; and the reduced path.
#include "path_buffer.h"

#include "window.h"
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
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

PFNGLMULTIDRAWARRAYSPROC multi_draw;

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
  blocks.clear();
  blocks.shrink_to_fit();
}

// Keeps the filled block: uploaded to a buffer object, or as it is. A refused upload gives up
// the whole path (its memory goes back to the driver) and keeps only the reduced one.
void keep_block() {
  Block& b = filling_block;
  b.first = filling_first;
  b.count = static_cast<long>(filling.size());
  if (complete && filling.size() >= 2) {
    // NOTE: the positions stay in the process's memory, not in buffer objects: the picture at
    // rest is worked out from them for each view (see reduce_step()), and a copy in the driver
    // as well would double what the path takes.
    b.memory = filling;
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

void path_drawing_set_up() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  long major = 0, minor = 0;
  if (version != nullptr) {
    char* rest = nullptr;
    major = std::strtol(version, &rest, 10);
    minor = *rest == '.' ? std::strtol(rest + 1, nullptr, 10) : 0;
  }
  multi_draw = major > 1 || (major == 1 && minor >= 4) ? proc<PFNGLMULTIDRAWARRAYSPROC>("glMultiDrawArrays") : nullptr;
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

namespace {

// The path as the view at rest shows it: each run of one colour with the vertices dropped that
// lie within half a pixel of the straight line that replaces them, as separate lines, one array
// for each colour, the job's done part apart.
constexpr double kPixelTolerance = 0.5;
constexpr long kScreenDrawVertices = 1 << 16;  // vertices a draw call takes at most

// The ends of its lines are the path's own vertices, kept as their numbers within their block
// (a block holds no more than 16 bits count), 4 bytes a line rather than 24 for its positions.
static_assert(kBlockVertices <= 65536, "a vertex's number in its block fits in 16 bits");
using Ends = std::vector<GLushort>;

struct ScreenPath {
  double m[16] = {};  // projection times model-view, column by column as OpenGL keeps them
  double pixels_x = 0, pixels_y = 0;  // half the viewport: pixels a unit of normalised device space
  long done = 0;
  std::vector<Ends> lines[2][kColours];  // [done part][colour][block]: pairs of ends
  void clear() {
    for (auto& part : lines)
      for (std::vector<Ends>& l : part) {
        l.clear();
        l.shrink_to_fit();
      }
  }
  long segments() const {
    std::size_t n = 0;
    for (const auto& part : lines)
      for (const std::vector<Ends>& l : part)
        for (const Ends& e : l) n += e.size() / 2;
    return static_cast<long>(n);
  }
};

ScreenPath shown_path;     // ready to draw, when shown_ready
ScreenPath building_path;  // under way, when building
bool shown_ready = false;
long shown_generation = 0;  // a new one each time a path for a view is ready
bool building = false;
bool no_room = false;      // memory ran out for it once: the reduced path stays at rest too
std::size_t at_block = 0;  // where building_path has come to
int at_colour = 0;
std::size_t at_strip = 0;

bool same_view(const ScreenPath& p, const double m[16], double pixels_x, double pixels_y, long done) {
  for (int k = 0; k < 16; ++k)
    if (p.m[k] != m[k]) return false;
  return p.pixels_x == pixels_x && p.pixels_y == pixels_y && p.done == done;
}

// The vertex in pixels of the viewport; false behind the eye, where no straight line on the
// screen stands for a straight line of the path.
bool to_pixels(const ScreenPath& p, const Position& v, double& x, double& y) {
  const double* m = p.m;
  double w = m[3] * v.x + m[7] * v.y + m[11] * v.z + m[15];
  if (!(w > 0)) return false;
  x = (m[0] * v.x + m[4] * v.y + m[8] * v.z + m[12]) / w * p.pixels_x;
  y = (m[1] * v.x + m[5] * v.y + m[9] * v.z + m[13]) / w * p.pixels_y;
  return std::isfinite(x) && std::isfinite(y);
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Vertices v[0] to v[n-1], a run of one colour, as lines into `out`. From an anchor the line is
// taken on to a further vertex while every vertex between lies within the tolerance of it: each
// such vertex allows the directions within a cone about its own (of half-angle asin(tol / its
// distance)), and the line must point into all of them and reach at least as far as the
// farthest, so that each dropped vertex lies beside the line, not past its end.
void reduce_run(const ScreenPath& p, const Position* block, long first, long n, Ends& out) {
  const Position* v = block + first;
  if (n < 2) return;
  long anchor = 0, end = -1;
  double ax = 0, ay = 0, ex = 0, ey = 0;
  bool anchor_ok = to_pixels(p, v[0], ax, ay), end_ok = false;
  bool cone = false;
  double rx = 0, ry = 0, lx = 0, ly = 0, reach = 0;  // the cone's right and left edge, the reach
  auto take = [&](double dx, double dy) {  // a vertex the line may later pass
    double d = std::sqrt(dx * dx + dy * dy);
    reach = std::fmax(reach, d);
    if (d <= kPixelTolerance) return;
    double sine = kPixelTolerance / d, cosine = std::sqrt(1 - sine * sine), ux = dx / d, uy = dy / d;
    double right_x = ux * cosine + uy * sine, right_y = uy * cosine - ux * sine;
    double left_x = ux * cosine - uy * sine, left_y = uy * cosine + ux * sine;
    if (!cone || cross(rx, ry, right_x, right_y) > 0) {
      rx = right_x;
      ry = right_y;
    }
    if (!cone || cross(left_x, left_y, lx, ly) > 0) {
      lx = left_x;
      ly = left_y;
    }
    cone = true;
  };
  for (long j = 1; j < n; ++j) {
    double x = 0, y = 0;
    bool ok = to_pixels(p, v[j], x, y);
    double dx = x - ax, dy = y - ay;
    bool extends = end >= 0 && anchor_ok && end_ok && ok &&
                   std::sqrt(dx * dx + dy * dy) >= reach &&
                   (!cone || (cross(rx, ry, dx, dy) >= 0 && cross(dx, dy, lx, ly) >= 0));
    if (end >= 0 && !extends) {
      out.push_back(static_cast<GLushort>(first + anchor));
      out.push_back(static_cast<GLushort>(first + end));
      anchor = end;
      ax = ex;
      ay = ey;
      anchor_ok = end_ok;
      cone = false;
      reach = 0;
      dx = x - ax;
      dy = y - ay;
    }
    end = j;
    ex = x;
    ey = y;
    end_ok = ok;
    if (anchor_ok && ok) take(dx, dy);
  }
  out.push_back(static_cast<GLushort>(first + anchor));
  out.push_back(static_cast<GLushort>(first + end));
}

}  // namespace

namespace {

// Called when the path's colours change.
void forget_screen_path() {
  shown_path.clear();
  building_path.clear();
  shown_ready = false;
  building = false;
  ++shown_generation;
}

}  // namespace

bool screen_path_for(const double model_view[16], const double projection[16], int viewport_width,
                     int viewport_height, long done) {
  if (!complete || keep_mask == 0 || no_room) return false;  // a small path is drawn whole
  double m[16];
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * model_view[c * 4 + k];
      m[c * 4 + r] = sum;
    }
  double px = viewport_width / 2.0, py = viewport_height / 2.0;
  if (shown_ready && same_view(shown_path, m, px, py, done)) return true;
  if (building && same_view(building_path, m, px, py, done)) return false;
  building_path.clear();
  // NOTE: a path for the last view that is too large to stand in while the view moves is only
  // memory: given back before the next is built, so that there are never two of them.
  if (shown_ready && !screen_path_small()) {
    shown_path.clear();
    shown_ready = false;
  }
  std::memcpy(building_path.m, m, sizeof m);
  building_path.pixels_x = px;
  building_path.pixels_y = py;
  building_path.done = done;
  building = true;
  at_block = 0;
  at_colour = 0;
  at_strip = 0;
  return false;
}

bool screen_path_building() { return building; }

bool screen_path_step(long vertices) {
  if (!building) return false;
  ScreenPath& p = building_path;
  try {
    while (vertices > 0 && at_block < blocks.size()) {
      const Block& b = blocks[at_block];
      const Strips& s = b.strips[at_colour];
      if (at_strip >= s.first.size()) {
        at_strip = 0;
        if (++at_colour == kColours) {
          at_colour = 0;
          ++at_block;
        }
        continue;
      }
      long first = s.first[at_strip], last = first + s.count[at_strip] - 1;
      ++at_strip;
      vertices -= last - first + 1;
      // The job's place splits the run: the done part ends at vertex `cut`.
      long cut = p.done - 1 - b.first;
      const Position* v = b.memory.data();
      if (p.lines[0][at_colour].size() < blocks.size())
        for (auto& part : p.lines)
          for (std::vector<Ends>& l : part) l.resize(blocks.size());
      if (cut > first) reduce_run(p, v, first, std::min(last, cut) - first + 1, p.lines[1][at_colour][at_block]);
      if (cut < last) {
        long from = std::max(first, cut);
        reduce_run(p, v, from, last - from + 1, p.lines[0][at_colour][at_block]);
      }
    }
  } catch (const std::bad_alloc&) {
    building_path.clear();  // without the room, the reduced path stays
    building = false;
    no_room = true;
    return false;
  }
  if (at_block < blocks.size()) return false;
  std::swap(shown_path, building_path);
  building_path.clear();
  shown_ready = true;
  ++shown_generation;
  building = false;
  return true;
}

long screen_path_segments() { return shown_ready ? shown_path.segments() : 0; }

long screen_path_generation() { return shown_generation; }

bool screen_path_small() {
  return shown_ready && complete && shown_path.segments() <= static_cast<long>(kReducedSegments);
}

void draw_path(PathForm form, bool travel, long done) {
  // NOTE: the path writes no depth. Where moves lie closer than a pixel, a smoothed line drawn
  // later and further back would fail the depth test against an earlier one and leave its
  // pixels dark: how a patch looked would then hang on the order its rows were cut in.
  glDepthMask(GL_FALSE);
  glEnableClientState(GL_VERTEX_ARRAY);
  if (total == 0) {
    // Before the reading: a short line of each colour, drawn as the path is (see warm_up()).
    static const Position line[2] = {{0, 0, 0}, {0, 0, 0}};
    Block b;
    for (Strips& s : b.strips) {
      s.first.push_back(0);
      s.count.push_back(2);
    }
    glVertexPointer(3, GL_FLOAT, 0, line);
    draw_strips(b.strips, true, 0, 2, false);
    glDrawArrays(GL_LINES, 0, 2);
  } else if (form == PathForm::Screen && shown_ready && complete) {
    for (int part : {1, 0}) {  // the done part first, so that what is still to be cut lies over it
      for (int c : kDrawOrder) {
        const std::vector<Ends>& l = shown_path.lines[part][c];
        if (c == kTravel && !travel) continue;
        set_colour(part == 1 ? kDoneColour : kColourOf[c]);
        long since_wait = 0;
        for (std::size_t k = 0; k < l.size() && k < blocks.size(); ++k) {
          if (l[k].empty()) continue;
          glVertexPointer(3, GL_FLOAT, 0, blocks[k].memory.data());
          glDrawElements(GL_LINES, static_cast<GLsizei>(l[k].size()), GL_UNSIGNED_SHORT, l[k].data());
          since_wait += static_cast<long>(l[k].size());
          if (since_wait < kScreenDrawVertices) continue;
          glFinish();  // as for the whole path: less of a software driver's memory in use
          since_wait = 0;
        }
      }
    }
  } else if ((form != PathForm::Whole && keep_mask != 0) || !complete) {
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
        glVertexPointer(3, GL_FLOAT, 0, b.memory.data());
        draw_strips(b.strips, travel, cut, b.count, done_part);
        glFinish();  // a software driver draws what it has gathered: less of its memory in use
      }
    }
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDepthMask(GL_TRUE);
}

bool path_recolour(const std::vector<unsigned char>& colours) {
  if (static_cast<long>(colours.size()) != total || total == 0) return false;
  try {
    // NOTE: the strips are made anew from the colours alone, as the reading made them; the
    // reduced path's pairs keep their order by end within each colour.
    std::vector<Block> recoloured(blocks.size());
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      int open = -1;
      for (long a = 1; a < blocks[k].count; ++a)
        extend_strips(recoloured[k].strips, open, static_cast<std::size_t>(a),
                      colours[static_cast<std::size_t>(blocks[k].first + a)] & 3);
    }
    std::vector<Kept> pairs;
    pairs.reserve(reduced_end.size());
    for (int c = 0; c < kColours; ++c)
      for (GLint k = reduced_first[c]; k < reduced_first[c] + reduced_count[c]; k += 2) {
        long end = reduced_end[static_cast<std::size_t>(k / 2)];
        pairs.push_back({reduced[static_cast<std::size_t>(k)], reduced[static_cast<std::size_t>(k) + 1], 0,
                         colours[static_cast<std::size_t>(end)] & 3, end});
      }
    std::sort(pairs.begin(), pairs.end(), [](const Kept& a, const Kept& b) { return a.end < b.end; });
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      shrink(recoloured[k].strips);
      for (int c = 0; c < kColours; ++c) blocks[k].strips[c] = std::move(recoloured[k].strips[c]);
    }
    kept = std::move(pairs);
    finish_reduced();
  } catch (const std::bad_alloc&) {
    return false;
  }
  // A path for the view worked out in the old colours is of no use now.
  forget_screen_path();
  return true;
}

// What draw_path() draws, segment by segment, for the pick: the same choice of form as it makes.
void visit_path_segments(PathForm form, bool travel, long first, long last,
                         const std::function<void(long from, long to, const float* a, const float* b)>& visit) {
  if (total == 0) return;
  const long lo = first < 0 ? 0 : first, hi = last < 0 ? total - 1 : last;
  if (form == PathForm::Screen && shown_ready && complete) {
    // Block by block, each colour's lines while the block's vertices are still in the cache.
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      const Block& b = blocks[k];
      for (const auto& part : shown_path.lines)
        for (int c = 0; c < kColours; ++c) {
          if ((c == kTravel && !travel) || k >= part[c].size()) continue;
          const Ends& e = part[c][k];
          for (std::size_t j = 0; j + 1 < e.size(); j += 2) {
            // The vertices a few lines on asked for now: they come from memory meanwhile.
            if (j + 17 < e.size()) {
              __builtin_prefetch(&b.memory[e[j + 16]]);
              __builtin_prefetch(&b.memory[e[j + 17]]);
            }
            const long from = b.first + e[j], to = b.first + e[j + 1];
            if (from >= lo && to <= hi) visit(from, to, &b.memory[e[j]].x, &b.memory[e[j + 1]].x);
          }
        }
    }
  } else if ((form != PathForm::Whole && keep_mask != 0) || !complete) {
    for (int c = 0; c < kColours; ++c) {
      if (c == kTravel && !travel) continue;
      for (GLint k = reduced_first[c]; k < reduced_first[c] + reduced_count[c]; k += 2) {
        const long to = reduced_end[static_cast<std::size_t>(k / 2)];
        if (to - 1 >= lo && to <= hi)
          visit(to - 1, to, &reduced[static_cast<std::size_t>(k)].x, &reduced[static_cast<std::size_t>(k) + 1].x);
      }
    }
  } else {
    // The blocks follow one another along the path: from the first that reaches past `lo`.
    auto from_block = std::partition_point(blocks.begin(), blocks.end(),
                                           [&](const Block& b) { return b.first + b.count - 1 <= lo; });
    for (auto block = from_block; block != blocks.end() && block->first < hi; ++block) {
      const Block& b = *block;
      // The segments that end at the block's vertices `from` + 1 to `to`.
      const long from = std::max(lo - b.first, 0L), to = std::min(hi - b.first, b.count - 1);
      for (int c = 0; c < kColours; ++c) {
        if (c == kTravel && !travel) continue;
        const Strips& s = b.strips[c];
        // The strips of a colour follow one another along the block: the first that reaches past `from`.
        std::size_t k = 0, beyond = s.first.size();
        while (k < beyond) {
          const std::size_t mid = k + (beyond - k) / 2;
          if (s.first[mid] + s.count[mid] - 1 <= from) k = mid + 1;
          else beyond = mid;
        }
        for (; k < s.first.size() && s.first[k] < to; ++k) {
          const long strip_end = s.first[k] + s.count[k] - 1;
          for (long j = std::max(static_cast<long>(s.first[k]), from) + 1; j <= std::min(strip_end, to); ++j)
            visit(b.first + j - 1, b.first + j, &b.memory[static_cast<std::size_t>(j - 1)].x,
                  &b.memory[static_cast<std::size_t>(j)].x);
        }
      }
    }
  }
}
