// path_buffer.cpp - the tool path in blocks of float positions (12 bytes a vertex), each with the
// line strips of each colour that it holds, drawn one colour at a time; and the reduced path.
#include "path_buffer.h"

#include "window.h"
#include <GL/glext.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
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
constexpr std::size_t kReducedSegments = 1 << 14;
// A path of fewer segments is drawn whole, at rest and while the view moves.
constexpr long kWholeSegments = 1 << 16;

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
bool path_reduced() { return path_segments() >= kWholeSegments; }
bool path_complete() { return complete; }
bool path_drawable() { return drawable; }

namespace {

// The path as the view at rest shows it. Within each run of one colour the vertices are dropped
// that lie within half a pixel of the straight line that then replaces them. Of the lines so
// made, one is then left out that lights no pixel of the window, or that lies, all of it, within
// about a third of a pixel of lines of its colour already kept: where a thousand turns of a
// helix cross the same pixels, a smoothed line over pixels that others of its colour light
// already shows nothing new. Separate lines, one array for each colour and block, the job's done
// part apart.
constexpr double kPixelTolerance = 0.5;
constexpr std::size_t kScreenDrawVertices = 1 << 16;  // vertices a draw call takes at most

// What the kept lines reach is a grid of cells an eighth of a pixel wide (fewer for a window so
// large that a grid of each colour would take more than this many cells) over the window, and a
// fringe round it that a smoothed line just outside still lights. A line reaches the cells its
// points fall in, one a cell along it, and a kept line the cells beside those too: a line all of
// whose cells are reached lies within sqrt(5) cells (plus one between its points) of a kept one.
// For lines lying over others drawn later, a kept line reaches only the cells it passes through:
// a line all of whose points lie in cells so reached lies within a cell or so of later ones (see
// leave_out_hidden()).
constexpr int kCellsPerPixel = 8;
constexpr double kGridCells = 1 << 25;
constexpr double kFringePixels = 2;

// The ends of its lines are the path's own vertices, kept as their numbers within their block
// (a block holds no more than 16 bits count), 4 bytes a line rather than 24 for its positions.
static_assert(kBlockVertices <= 65536, "a vertex's number in its block fits in 16 bits");
using Ends = std::vector<GLushort>;

// Lines of the path by [done part][colour][block], as pairs of ends.
struct Lines {
  std::vector<Ends> of[2][kColours];
  void clear() {
    for (auto& part : of)
      for (std::vector<Ends>& l : part) {
        l.clear();
        l.shrink_to_fit();
      }
  }
  long segments() const {
    std::size_t n = 0;
    for (const auto& part : of)
      for (const std::vector<Ends>& l : part)
        for (const Ends& e : l) n += e.size() / 2;
    return static_cast<long>(n);
  }
};

struct ScreenPath {
  double m[16] = {};  // projection times model-view, column by column as OpenGL keeps them
  double pixels_x = 0, pixels_y = 0;  // half the viewport: pixels a unit of normalised device space
  double window[4] = {};  // the part of the viewport the window shows: left, bottom, right, top
  long done = 0;
  bool overlap = true;  // lines lying over others of their colour may be left out
  Lines rest;           // what the view at rest draws
  bool rest_ready = false;  // rest holds it (else it was given back)
  // Every line worked out, none left out, while they are no more than the reduced path's: the
  // path of a drag from this view (turned, it is still the path, to a pixel or so). While the
  // path is worked out, every line.
  Lines turned;
  bool turned_whole = true;
  void clear() {
    rest.clear();
    turned.clear();
  }
  // What gives a vertex's x and y in pixels of the viewport, and its w.
  double row_x[4] = {}, row_y[4] = {}, row_w[4] = {};
  void set_rows() {
    for (int k = 0; k < 4; ++k) {
      row_x[k] = m[4 * k] * pixels_x;
      row_y[k] = m[4 * k + 1] * pixels_y;
      row_w[k] = m[4 * k + 3];
    }
  }
  // Vertex v in pixels of the viewport; false behind the eye, where no straight line on the
  // screen stands for a straight line of the path.
  bool to_pixels(const Position& v, double& x, double& y) const {
    double w = row_w[0] * v.x + row_w[1] * v.y + row_w[2] * v.z + row_w[3];
    double inverse = 1 / w;
    x = (row_x[0] * v.x + row_x[1] * v.y + row_x[2] * v.z + row_x[3]) * inverse;
    y = (row_y[0] * v.x + row_y[1] * v.y + row_y[2] * v.z + row_y[3]) * inverse;
    return (w > 0) & (std::fabs(x) < 1e15) & (std::fabs(y) < 1e15);
  }
};

ScreenPath shown_path;     // ready to draw, when shown_ready
ScreenPath building_path;  // under way, when building
bool shown_ready = false;
long shown_generation = 0;  // a new one each time a path for a view is ready
bool building = false;
bool no_room = false;      // memory ran out for it once: the reduced path stays at rest too

// Room for things each written before it is read: not cleared as it is taken (for the grids and
// a run's vertices in pixels, megabytes each time a path for a view is worked out).
template <typename T>
struct Room {
  std::unique_ptr<T[]> data;
  std::size_t size = 0;
  void take(std::size_t n) {
    if (n <= size) return;
    data.reset(new T[n]);
    size = n;
  }
  void release() {
    data.reset();
    size = 0;
  }
};

// The cells the kept lines of one colour of one part reach, a bit each, while a path is built.
struct Grid {
  double left = 0, bottom = 0, cells = kCellsPerPixel;  // where the first cell lies; cells a pixel
  int columns = 0, rows = 0, words = 0;                  // words of 64 cells a row
  Room<std::uint64_t> bits;  // cleared as each piece of the work begins
  bool narrow = false;  // a kept line reaches only the cells it passes through
  // Over `window`; the words it needs.
  std::size_t set(const double window[4], bool only_through) {
    narrow = only_through;
    double width = window[2] - window[0] + 2 * kFringePixels, height = window[3] - window[1] + 2 * kFringePixels;
    cells = std::fmin(kCellsPerPixel, std::floor(std::sqrt(kGridCells / std::fmax(1.0, width * height))));
    cells = std::fmax(cells, 1.0);
    left = window[0] - kFringePixels;
    bottom = window[1] - kFringePixels;
    columns = static_cast<int>(std::ceil(width * cells));
    rows = static_cast<int>(std::ceil(height * cells));
    words = (columns + 4 + 63) / 64;
    return static_cast<std::size_t>(words) * static_cast<std::size_t>(rows + 3);
  }
  // NOTE: taken on the window's thread, as its other memory is: what a thread of its own takes
  // stays that thread's, beside the rest, once given back.
  void take(std::size_t size) { bits.take(size); }
  void clear() { std::fill(bits.data.get(), bits.data.get() + bits.size, 0); }
  void release() { bits.release(); }
};

bool same_view(const ScreenPath& p, const double m[16], double pixels_x, double pixels_y,
               const double window[4], long done, bool overlap) {
  for (int k = 0; k < 16; ++k)
    if (p.m[k] != m[k]) return false;
  for (int k = 0; k < 4; ++k)
    if (p.window[k] != window[k]) return false;
  return p.pixels_x == pixels_x && p.pixels_y == pixels_y && p.done == done && p.overlap == overlap;
}

double cross(double ax, double ay, double bx, double by) { return ax * by - ay * bx; }

// Whether the line from (x0, y0) to (x1, y1), in pixels, is drawn at rest: it lights a pixel of
// the window, and (when lines may be left out) some point of it, one every two cells, lies in a
// cell that no kept line reaches; then the cells along it, one every cell, and those beside
// them (on a narrow grid, those it passes through on to the next), are marked as reached.
bool keep_line(Grid& g, bool overlap, double x0, double y0, double x1, double y1) {
  x0 = (x0 - g.left) * g.cells;
  y0 = (y0 - g.bottom) * g.cells;
  x1 = (x1 - g.left) * g.cells;
  y1 = (y1 - g.bottom) * g.cells;
  double dx = x1 - x0, dy = y1 - y0, t0 = 0, t1 = 1;
  bool inside = x0 >= 0 && y0 >= 0 && x1 >= 0 && y1 >= 0 && x0 <= g.columns && x1 <= g.columns &&
                y0 <= g.rows && y1 <= g.rows;
  if (!inside) {
    // Only the part of it over the grid (Liang and Barsky's clipping).
    auto clip = [&t0, &t1](double p, double q) {
      if (p == 0) return q >= 0;
      double r = q / p;
      if (p < 0) {
        if (r > t1) return false;
        t0 = std::fmax(t0, r);
      } else {
        if (r < t0) return false;
        t1 = std::fmin(t1, r);
      }
      return true;
    };
    if (!clip(-dx, x0) || !clip(dx, g.columns - x0) || !clip(-dy, y0) || !clip(dy, g.rows - y0)) return false;
  }
  if (!overlap) return true;
  // NOTE: the grid has a border of a cell on the left and below and of three on the right and
  // two above, so that a line clipped to its edge, and the cells beside it, need no bounds
  // checked.
  double top_x = g.columns + 1.0, top_y = g.rows + 1.0;
  double ax = x0 + 1, ay = y0 + 1, bx = x1 + 1, by = y1 + 1;
  if (!inside) {
    ax = std::fmin(std::fmax(x0 + t0 * dx + 1, 1.0), top_x);
    ay = std::fmin(std::fmax(y0 + t0 * dy + 1, 1.0), top_y);
    bx = std::fmin(std::fmax(x0 + t1 * dx + 1, 1.0), top_x);
    by = std::fmin(std::fmax(y0 + t1 * dy + 1, 1.0), top_y);
  }
  dx = bx - ax;
  dy = by - ay;
  double length = std::max(std::fabs(dx), std::fabs(dy));
  // The points in cells, as fixed-point numbers of 32 bits after the point.
  constexpr double kOne = 4294967296.0;
  std::uint64_t* b = g.bits.data.get();
  std::size_t words = static_cast<std::size_t>(g.words);
  auto at = [b, words](std::int64_t x, std::int64_t y, std::uint64_t*& word) {
    std::size_t column = static_cast<std::size_t>(x >> 32), row = static_cast<std::size_t>(y >> 32);
    word = b + row * words + (column >> 6);
    return column & 63;
  };
  std::int64_t x = static_cast<std::int64_t>(ax * kOne), y = static_cast<std::int64_t>(ay * kOne);
  long points = static_cast<long>(length * 0.5) + 1;
  double step = 1 / static_cast<double>(points);
  std::int64_t sx = static_cast<std::int64_t>(dx * step * kOne), sy = static_cast<std::int64_t>(dy * step * kOne);
  bool fresh = false;
  for (long k = points; k >= 0 && !fresh; --k) {  // its far end first: where a new piece goes on
    std::uint64_t* word;
    std::size_t bit = at(x + sx * k, y + sy * k, word);
    fresh = ((*word >> bit) & 1) == 0;
  }
  if (!fresh) return false;  // all of it lies over kept lines of its colour
  points = static_cast<long>(length) + 1;
  step = 1 / static_cast<double>(points);
  sx = static_cast<std::int64_t>(dx * step * kOne);
  sy = static_cast<std::int64_t>(dy * step * kOne);
  if (g.narrow) {
    auto mark = [&at](std::int64_t px, std::int64_t py) {
      std::uint64_t* word;
      std::size_t bit = at(px, py, word);
      *word |= std::uint64_t{1} << bit;
    };
    for (long k = 0; k <= points; ++k) {
      std::int64_t px = x + sx * k, py = y + sy * k;
      mark(px, py);
      // The cells it may pass through on its way to the next point: that one across each way.
      mark(px + sx, py);
      mark(px, py + sy);
    }
    return true;
  }
  // Its points step less than a cell each way, so that those in one row fall in a run of
  // columns: each row's run is marked at once, a word at a time, widened by a cell, and in the
  // rows either side as it is.
  auto mark = [b, words](std::size_t row, std::size_t from, std::size_t to) {
    auto set = [b, words](std::size_t in_row, std::size_t low, std::size_t high) {
      std::uint64_t* r = b + in_row * words;
      std::size_t first = low >> 6, last = high >> 6;
      std::uint64_t head = ~std::uint64_t{0} << (low & 63), tail = ~std::uint64_t{0} >> (63 - (high & 63));
      if (first == last) {
        r[first] |= head & tail;
        return;
      }
      r[first] |= head;
      for (std::size_t k = first + 1; k < last; ++k) r[k] = ~std::uint64_t{0};
      r[last] |= tail;
    };
    set(row, from - 1, to + 1);
    set(row - 1, from, to);
    set(row + 1, from, to);
  };
  std::size_t row = static_cast<std::size_t>(y >> 32), from = static_cast<std::size_t>(x >> 32), to = from;
  for (long k = 1; k <= points; ++k) {
    std::size_t column = static_cast<std::size_t>((x + sx * k) >> 32), in_row = static_cast<std::size_t>((y + sy * k) >> 32);
    if (in_row != row) {
      mark(row, from, to);
      row = in_row;
      from = to = column;
    }
    from = std::min(from, column);
    to = std::max(to, column);
  }
  mark(row, from, to);
  return true;
}

// Where the kept lines of a piece of the work lie, in pixels, and how many they are.
struct Box {
  double left = HUGE_VAL, bottom = HUGE_VAL, right = -HUGE_VAL, top = -HUGE_VAL;
  long lines = 0;
  void add(double x, double y) {
    left = std::min(left, x);
    bottom = std::min(bottom, y);
    right = std::max(right, x);
    top = std::max(top, y);
  }
  double area() const { return lines == 0 ? 0 : (right - left + 1) * (top - bottom + 1); }
};
double overlap(const Box& a, const Box& b) {
  double width = std::min(a.right, b.right) - std::max(a.left, b.left) + 1;
  double height = std::min(a.top, b.top) - std::max(a.bottom, b.bottom) + 1;
  return width > 0 && height > 0 ? width * height : 0;
}

// What one thread working out the path for a view has of its own: the cells its kept lines
// reach, room for a run's vertices in pixels, the count of the lines it has worked out (while the
// two together are few, they are a drag's path too), where the kept lines of the piece it works
// out lie, and which lines its half of the test for lines over later ones keeps. A cache line or
// more apart, so that neither thread's writes slow the other.
struct Pixel {
  double x, y;
  bool seen;  // in front of the eye
};
struct alignas(64) Worker {
  Grid grid;
  Room<Pixel> at;
  long lines = 0;
  Box box;
  std::vector<bool> keeps;  // of each line of the path for the view, whether it is drawn
};
Worker workers[2];

// Vertices v[0] to v[n-1], a run of one colour, as lines into `out` (those drawn at rest, whose
// cells the worker's grid holds) and `turned` (every line, none left out, while they are few).
// From an anchor the line is taken on to a further vertex while every vertex between lies within
// the tolerance of it: each such vertex allows the directions within a cone about its own (of
// half-angle asin(tol / its distance)), and the line must point into all of them and reach at
// least as far as the farthest, so that each dropped vertex lies beside the line, not past its
// end. Each line so made is then drawn or left out (keep_line()).
// NOTE: built twice where the loader picks the build for the processor: with fused
// multiply-adds and instructions of three operands it takes about a fifth less time.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
__attribute__((target_clones("arch=x86-64-v3", "default")))
#endif
void reduce_run(const ScreenPath& p, const Position* block, long first, long n, Ends& out, Ends& turned, Worker& w) {
  const Position* v = block + first;
  if (n < 2) return;
  w.at.take(static_cast<std::size_t>(n));
  Pixel* at = w.at.data.get();
  const double tolerance = kPixelTolerance, tolerance2 = kPixelTolerance * kPixelTolerance;
  for (long j = 0; j < n; ++j) {  // all of the run first: a loop the compiler can vectorise
    Pixel& pixel = at[static_cast<std::size_t>(j)];
    pixel.seen = p.to_pixels(v[j], pixel.x, pixel.y);
  }
  long anchor = 0, end = -1;
  double ax = at[0].x, ay = at[0].y, ex = 0, ey = 0;
  bool anchor_ok = at[0].seen, end_ok = false;
  bool cone = false;
  // The cone's right and left edges (as directions, of no particular length), and the square of
  // the reach.
  double rx = 0, ry = 0, lx = 0, ly = 0, reach2 = 0;
  auto emit = [&] {
    GLushort from = static_cast<GLushort>(first + anchor), to = static_cast<GLushort>(first + end);
    if (w.lines++ < static_cast<long>(kReducedSegments)) {
      turned.push_back(from);
      turned.push_back(to);
    }
    // NOTE: a line with an end behind the eye is left to the driver's clipping.
    if (anchor_ok && end_ok && !keep_line(w.grid, p.overlap, ax, ay, ex, ey)) return;
    if (anchor_ok && end_ok) {
      w.box.add(ax, ay);
      w.box.add(ex, ey);
    } else {
      w.box.add(-HUGE_VAL, -HUGE_VAL);  // anywhere
      w.box.add(HUGE_VAL, HUGE_VAL);
    }
    ++w.box.lines;
    out.push_back(from);
    out.push_back(to);
  };
  for (long j = 1; j < n; ++j) {
    const Pixel& pixel = at[static_cast<std::size_t>(j)];
    double x = pixel.x, y = pixel.y;
    bool ok = pixel.seen;
    double dx = x - ax, dy = y - ay, d2 = dx * dx + dy * dy;
    bool extends = end >= 0 && anchor_ok && end_ok && ok && d2 >= reach2 &&
                   (!cone || (cross(rx, ry, dx, dy) >= 0 && cross(dx, dy, lx, ly) >= 0));
    if (end >= 0 && !extends) {
      emit();
      anchor = end;
      ax = ex;
      ay = ey;
      anchor_ok = end_ok;
      cone = false;
      reach2 = 0;
      dx = x - ax;
      dy = y - ay;
      d2 = dx * dx + dy * dy;
    }
    end = j;
    ex = x;
    ey = y;
    end_ok = ok;
    if (!anchor_ok || !ok) continue;
    // A vertex the line may later pass: its cone, of half-angle asin(tol / d), narrows the one
    // the line must point into. Its edges are the direction turned by that angle either way,
    // (dx s + dy tol, dy s - dx tol) and (dx s - dy tol, dy s + dx tol) with
    // s = sqrt(d^2 - tol^2), each d^2 times the unit vector.
    reach2 = std::max(reach2, d2);
    if (d2 <= tolerance2) continue;
    double sd = std::sqrt(d2 - tolerance2);
    double right_x = dx * sd + dy * tolerance, right_y = dy * sd - dx * tolerance;
    double left_x = dx * sd - dy * tolerance, left_y = dy * sd + dx * tolerance;
    if (!cone || cross(rx, ry, right_x, right_y) > 0) {
      rx = right_x;
      ry = right_y;
    }
    if (!cone || cross(left_x, left_y, lx, ly) > 0) {
      lx = left_x;
      ly = left_y;
    }
    cone = true;
  }
  if (end >= 0) emit();
}

// The path for a view is worked out beside the window's thread, on two threads (for a small
// path, one of them the window's, see screen_path_for()), in pieces that each come out the same
// whichever thread works them out (see share_out()): the picture does not hang on which ends
// first.
struct Job {
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::atomic<bool> failed{false};  // memory ran out
  std::mutex mutex;
  std::condition_variable finished_changed;
  bool finished = false;  // under the mutex
  std::condition_variable share_done_changed;
  bool share_done = false;  // under the mutex: the window's thread's share is done
  void stop() {
    if (thread.joinable()) {
      stopping = true;
      thread.join();
    }
    stopping = false;
    failed = false;
    finished = false;
    share_done = false;
  }
  ~Job() { stop(); }  // a window closed while it works
};
Job job;

// Runs `work(which)`; memory running out stops the job.
template <typename Work>
void guarded(const Work& work, int which) {
  try {
    work(which);
  } catch (const std::bad_alloc&) {
    job.failed = true;
    job.stopping = true;
  }
}

// Runs `work(0)` here and `work(1)` on a second thread, or both here when no thread can be had.
template <typename Work>
void on_two_threads(const Work& work) {
  std::thread second;
  try {
    second = std::thread([&work] { guarded(work, 1); });
  } catch (const std::system_error&) {
    guarded(work, 1);
  }
  guarded(work, 0);
  if (second.joinable()) second.join();
}

// Calls f(from, to) for each run of colour `colour` of a part of the path in block k, in the
// path's order: a run of the path's vertices from to to of the block. The job's place splits a
// run: the done part (part 1) ends at vertex `done` - 1.
template <typename F>
void each_run_in(long done, int part, int colour, std::size_t k, F f) {
  const Block& b = blocks[k];
  const Strips& s = b.strips[colour];
  long cut = done - 1 - b.first;
  for (std::size_t strip = 0; strip < s.first.size(); ++strip) {
    long first = s.first[strip], last = first + s.count[strip] - 1;
    long from = part == 1 ? first : std::max(first, cut), to = part == 1 ? std::min(last, cut) : last;
    if (to > from) f(from, to);
  }
}

// The work on the path for a view comes in pieces, each the runs of one colour of one part in
// some of its blocks, worked out against a grid of its own: whichever thread works one out, the
// lines are the same. The threads take them up in turn, the most work first.
constexpr int kPasses = 2 * kColours;
struct Piece {
  int pass;                  // part * kColours + colour
  std::size_t first, last;   // blocks first to last - 1
  long work;
  Box box;  // once worked out
};
std::vector<Piece> pieces;
std::atomic<std::size_t> next_piece{0};
bool one_thread = false;  // the second's share too small for a grid of its own
bool window_shares = false;  // the window's thread works out the second share (see screen_path_for())
// The work below which it does: half of it takes that thread 0.02 s or so, within its first wait
// for the path for the view.
constexpr long kWindowShareWork = 1 << 22;

// The work a run takes beside its vertices, as vertices: a call, and a line at least tested
// against the grid (the chords of a path of lines and arcs, each a run of its own colour, take a
// thread nearly half as long as its arcs).
constexpr long kRunWork = 32;

// The pieces of the work: each colour of each part whole, but the largest cut in two when it is
// more than half of all, and every other but the second largest when it is a sixteenth of all or
// more (so that the two threads end together). A line of the second piece of a colour lying
// over a kept one of the first is not left out for it (lines lying over others drawn later are
// left out after, see leave_out_hidden()).
void share_out(long done) {
  long work[kPasses] = {}, all = 0;
  std::vector<long> in_blocks[kPasses];
  for (int pass = 0; pass < kPasses; ++pass) {
    in_blocks[pass].assign(blocks.size(), 0);
    for (std::size_t k = 0; k < blocks.size(); ++k)
      each_run_in(done, pass / kColours, pass % kColours, k,
                  [&](long from, long to) { in_blocks[pass][k] += to - from + 1 + kRunWork; });
    for (long w : in_blocks[pass]) work[pass] += w;
    all += work[pass];
  }
  int passes[kPasses];
  for (int pass = 0; pass < kPasses; ++pass) passes[pass] = pass;
  std::sort(passes, passes + kPasses, [&work](int a, int b) { return work[a] > work[b]; });
  pieces.clear();
  for (int rank = 0; rank < kPasses; ++rank) {
    int pass = passes[rank];
    if (work[pass] == 0) continue;
    bool cut = rank == 0 ? 2 * work[pass] > all : rank > 1 && 16 * work[pass] >= all;
    // The block to cut at: where the two pieces come nearest to equal, each a quarter or more.
    std::size_t at = 0;
    long before = 0, best = work[pass], first_work = 0;
    for (std::size_t k = 0; cut && k < blocks.size(); before += in_blocks[pass][k++]) {
      long apart = std::labs(work[pass] - 2 * before);
      if (4 * std::min(before, work[pass] - before) >= work[pass] && apart < best) {
        best = apart;
        at = k;
        first_work = before;
      }
    }
    if (at == 0) {
      pieces.push_back({pass, 0, blocks.size(), work[pass], Box{}});
      continue;
    }
    pieces.push_back({pass, 0, at, first_work, Box{}});
    pieces.push_back({pass, at, blocks.size(), work[pass] - first_work, Box{}});
  }
  std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.work > b.work; });
  next_piece = 0;
  // NOTE: a second thread takes a grid of its own: not for a share too small to gain by it (the
  // jump from the assumed start of a path all of one colour).
  one_thread = pieces.empty() || 8 * (all - pieces[0].work) < all;
  window_shares = !one_thread && all < kWindowShareWork;
}

// Calls f(ends, block) for the lines of the path for the view of each colour and block, the
// colours in the reverse of the order they are drawn in, the job's done part last.
template <typename F>
void each_drawn_back(ScreenPath& p, F f) {
  for (int part : {0, 1})
    for (int order = kColours - 1; order >= 0; --order) {
      std::vector<Ends>& in_blocks = p.rest.of[part][kDrawOrder[order]];
      for (std::size_t k = 0; k < in_blocks.size() && k < blocks.size() && !job.stopping; ++k)
        f(in_blocks[k], blocks[k]);
    }
}

// Lines are left out too that lie, all of them, over lines of the path for the view drawn after
// them, of any colour (and of the job's done part, under what is still to be cut): drawn later,
// those light the same pixels over them (where a helix's arcs of both ways and its chords lie
// over one another, the last colour drawn shows). Worked out once both threads are done, from
// the last lines drawn back: each thread for one half of the window, a line across both halves
// left out when neither needs it.
void leave_out_hidden(ScreenPath& p) {
  // NOTE: the one thread that worked out the path (its share of a second one too small) does it
  // for the whole window.
  int halves = workers[1].grid.bits.size == 0 ? 1 : 2;
  auto half = [&p, halves](int which) {
    Worker& w = workers[which];
    double mid = halves == 1 ? p.window[3] : 0.5 * (p.window[1] + p.window[3]);
    double part[4] = {p.window[0], which == 0 ? p.window[1] : mid, p.window[2], which == 0 ? mid : p.window[3]};
    w.keeps.clear();
    if (which >= halves || w.grid.bits.size < w.grid.set(part, true)) return;
    w.grid.clear();
    each_drawn_back(p, [&w, &p](Ends& e, const Block& b) {
      const Position* v = b.memory.data();
      for (std::size_t i = 0; i + 1 < e.size(); i += 2) {
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        bool seen = p.to_pixels(v[e[i]], x0, y0) & p.to_pixels(v[e[i + 1]], x1, y1);
        w.keeps.push_back(!seen || keep_line(w.grid, true, x0, y0, x1, y1));
      }
    });
  };
  on_two_threads(half);
  std::size_t lines = static_cast<std::size_t>(p.rest.segments());
  for (int which = 0; which < halves; ++which)
    if (job.stopping || workers[which].keeps.size() != lines) return;
  std::size_t at = 0;
  each_drawn_back(p, [&at, halves](Ends& e, const Block&) {
    std::size_t left = 0;
    for (std::size_t i = 0; i + 1 < e.size(); i += 2, ++at) {
      if (!workers[0].keeps[at] && (halves == 1 || !workers[1].keeps[at])) continue;
      e[left++] = e[i];
      e[left++] = e[i + 1];
    }
    e.resize(left);
  });
}

// Whether lines of two pieces of the work may lie over one another (their kept lines a sixteenth
// of all or more, where they lie overlapping by an eighth of the smaller): else none lies over a
// later one of another piece, but for a few (a raster over a dome, all of one colour, cut in two
// between rows).
bool pieces_lie_over_others() {
  long lines = 0;
  for (const Piece& piece : pieces) lines += piece.box.lines;
  for (std::size_t a = 0; a < pieces.size(); ++a)
    for (std::size_t b = a + 1; b < pieces.size(); ++b) {
      const Box &one = pieces[a].box, &other = pieces[b].box;
      if (16 * std::min(one.lines, other.lines) < lines) continue;
      if (8 * overlap(one, other) >= std::min(one.area(), other.area())) return true;
    }
  return false;
}

// One thread's share of the path for the view: the pieces it takes up in turn.
void work_pieces(ScreenPath& p, int which) {
  if (which == 1 && one_thread) return;
  Worker& w = workers[which];
  for (std::size_t at = next_piece++; at < pieces.size() && !job.stopping; at = next_piece++) {
    Piece& piece = pieces[at];
    int part = piece.pass / kColours, colour = piece.pass % kColours;
    w.grid.clear();
    w.box = Box{};
    for (std::size_t k = piece.first; k < piece.last && !job.stopping; ++k)
      each_run_in(p.done, part, colour, k, [&](long from, long to) {
        reduce_run(p, blocks[k].memory.data(), from, to - from + 1, p.rest.of[part][colour][k],
                   p.turned.of[part][colour][k], w);
      });
    piece.box = w.box;
  }
}

void work_out(ScreenPath& p) {
  auto share = [&p](int which) { work_pieces(p, which); };
  if (window_shares) {
    guarded(share, 0);
    std::unique_lock<std::mutex> lock(job.mutex);
    job.share_done_changed.wait(lock, [] { return job.share_done; });
  } else {
    on_two_threads(share);
  }
  if (p.overlap && pieces_lie_over_others()) leave_out_hidden(p);
  p.turned_whole = workers[0].lines + workers[1].lines <= static_cast<long>(kReducedSegments);
  if (!p.turned_whole) p.turned.clear();
  try {
    for (Lines* l : {&p.rest, &p.turned})
      for (auto& part : l->of)
        for (std::vector<Ends>& in_blocks : part)
          for (Ends& e : in_blocks) e.shrink_to_fit();
  } catch (const std::bad_alloc&) {
    job.failed = true;
  }
  std::lock_guard<std::mutex> lock(job.mutex);
  job.finished = true;
  job.finished_changed.notify_all();
}

void release_grids() {
  for (Worker& w : workers) {
    w.grid.release();
    w.at.release();
    w.keeps.clear();
    w.keeps.shrink_to_fit();
  }
}

// Called when the path's colours change.
void forget_screen_path() {
  screen_path_cancel();
  shown_path.clear();
  shown_ready = false;
  ++shown_generation;
}

}  // namespace

bool screen_path_for(const double model_view[16], const double projection[16], const int viewport[4],
                     int window_width, int window_height, long done, bool overlap) {
  if (!complete || !path_reduced() || no_room) return false;  // a small path is drawn whole
  double m[16];
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * model_view[c * 4 + k];
      m[c * 4 + r] = sum;
    }
  double px = viewport[2] / 2.0, py = viewport[3] / 2.0;
  // The window's part of the viewport, in pixels from the viewport's centre.
  double centre_x = viewport[0] + px, centre_y = viewport[1] + py;
  double window[4] = {std::fmax(-px, -centre_x), std::fmax(-py, -centre_y),
                      std::fmin(px, window_width - centre_x), std::fmin(py, window_height - centre_y)};
  if (shown_ready && shown_path.rest_ready && same_view(shown_path, m, px, py, window, done, overlap)) return true;
  if (building && same_view(building_path, m, px, py, window, done, overlap)) return false;
  screen_path_cancel();
  // NOTE: the lines of the last view at rest are only memory once the view has changed: given
  // back before the next are worked out, so that there are never two of them. Its lines for a
  // drag stay, when it has them: they are drawn while the next is worked out.
  if (shown_ready) {
    shown_path.rest.clear();
    shown_path.rest_ready = false;
    if (!shown_path.turned_whole) shown_ready = false;
  }
  ScreenPath& p = building_path;
  std::memcpy(p.m, m, sizeof m);
  std::memcpy(p.window, window, sizeof window);
  p.pixels_x = px;
  p.pixels_y = py;
  p.set_rows();
  p.done = done;
  p.overlap = overlap;
  p.rest_ready = true;
  try {
    for (Lines* l : {&p.rest, &p.turned})
      for (auto& part : l->of)
        for (std::vector<Ends>& in_blocks : part) in_blocks.resize(blocks.size());
    share_out(done);
    for (int which = 0; which < 2; ++which) {
      std::size_t size = workers[which].grid.set(window, false);
      if (overlap && (which == 0 || !one_thread)) workers[which].grid.take(size);
    }
  } catch (const std::bad_alloc&) {
    building_path.clear();
    no_room = true;
    return false;
  }
  building = true;
  for (Worker& w : workers) w.lines = 0;
  try {
    job.thread = std::thread(work_out, std::ref(building_path));
  } catch (const std::system_error&) {
    window_shares = false;
    work_out(building_path);  // no thread to be had: worked out here, at once
  }
  if (window_shares) {
    // NOTE: a path for a view this small is ready within the window's first wait for it, and
    // this thread works out the second share meanwhile: a thread made for it while both
    // processors were busy was queued behind the first for a tick of the scheduler's clock (1 to
    // 4 ms, a third of the dome's path for a view) before it moved to the other, idle by then.
    guarded([](int which) { work_pieces(building_path, which); }, 1);
    {
      std::lock_guard<std::mutex> lock(job.mutex);
      job.share_done = true;
    }
    job.share_done_changed.notify_all();
  }
  return false;
}

bool screen_path_building() { return building; }

bool screen_path_wait(double seconds) {
  if (!building) return false;
  {
    std::unique_lock<std::mutex> lock(job.mutex);
    if (!job.finished_changed.wait_for(lock, std::chrono::duration<double>(seconds), [] { return job.finished; }))
      return false;
  }
  bool failed = job.failed;
  job.stop();
  release_grids();
  building = false;
  if (failed) {
    building_path.clear();  // without the room, the reduced path stays
    no_room = true;
    return false;
  }
  std::swap(shown_path, building_path);
  building_path.clear();
  shown_ready = true;
  ++shown_generation;
  return true;
}

void screen_path_cancel() {
  if (!building) return;
  job.stop();
  release_grids();
  building_path.clear();
  building = false;
}

long screen_path_segments() { return shown_ready ? shown_path.rest.segments() : 0; }

long screen_path_generation() { return shown_generation; }

bool screen_path_small() { return shown_ready && complete && shown_path.turned_whole; }

namespace {

// Draws lines of the path, the done part first, so that what is still to be cut lies over it.
// NOTE: the lines' ends are gathered into a short array of their own, a part at a time, rather
// than drawn by their numbers from the path's blocks: a driver copies the whole range of a
// block's vertices that a draw's numbers span, mostly vertices no line uses, and kept every copy
// until the frame was done.
void draw_lines(const Lines& lines, bool travel) {
  static std::vector<Position> ends;
  if (ends.capacity() < kScreenDrawVertices) ends.reserve(kScreenDrawVertices);
  glVertexPointer(3, GL_FLOAT, 0, ends.data());
  auto flush = [] {
    if (ends.empty()) return;
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(ends.size()));
    ends.clear();
    glFinish();  // as for the whole path: less of a software driver's memory in use
  };
  for (int part : {1, 0}) {
    for (int c : kDrawOrder) {
      const std::vector<Ends>& l = lines.of[part][c];
      if (c == kTravel && !travel) continue;
      set_colour(part == 1 ? kDoneColour : kColourOf[c]);
      for (std::size_t k = 0; k < l.size() && k < blocks.size(); ++k) {
        const Position* v = blocks[k].memory.data();
        for (GLushort e : l[k]) {
          ends.push_back(v[e]);
          if (ends.size() == kScreenDrawVertices) flush();
        }
      }
      flush();
    }
  }
}

}  // namespace

void draw_path(PathForm form, bool travel, long done, bool depth_tested) {
  // NOTE: the path writes no depth. Where moves lie closer than a pixel, a smoothed line drawn
  // later and further back would fail the depth test against an earlier one and leave its
  // pixels dark: how a patch looked would then hang on the order its rows were cut in.
  glDepthMask(GL_FALSE);
  // NOTE: with nothing drawn before it that writes depth (the part is drawn first when shown),
  // every line of the path would pass the depth test: without it the picture is the same, and
  // drawn sooner.
  if (!depth_tested) glDisable(GL_DEPTH_TEST);
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
  } else if (form == PathForm::Screen && shown_ready && shown_path.rest_ready && complete) {
    draw_lines(shown_path.rest, travel);
  } else if (form == PathForm::Turned && screen_path_small()) {
    draw_lines(shown_path.turned, travel);
  } else if ((form != PathForm::Whole && path_reduced()) || !complete) {
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
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
}

bool path_recolour(const std::vector<unsigned char>& colours) {
  if (static_cast<long>(colours.size()) != total || total == 0) return false;
  screen_path_cancel();  // its threads read the strips that change here
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
  const bool screen = form == PathForm::Screen && shown_ready && shown_path.rest_ready && complete;
  if (screen || (form == PathForm::Turned && screen_path_small())) {
    const Lines& lines = screen ? shown_path.rest : shown_path.turned;
    // Block by block, each colour's lines while the block's vertices are still in the cache.
    for (std::size_t k = 0; k < blocks.size(); ++k) {
      const Block& b = blocks[k];
      for (const auto& part : lines.of)
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
  } else if ((form != PathForm::Whole && path_reduced()) || !complete) {
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
