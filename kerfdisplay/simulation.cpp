// simulation.cpp - material removal: the stock as a height map under a flat end mill on a
// vertical spindle, which is exact for such a tool; every path segment sweeps the tool's disc
// along itself and lowers each cell it covers to the lowest tip height that reaches it.
#include "simulation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "gcode_interpreter.h"
#include "gcode_messages.h"
#include "gcode_reader.h"
#include "gcode_summary.h"
#include "turned_part.h"

namespace {

// Smaller blocks or cells would not stay apart as the float coordinates of the mesh.
constexpr double kSmallestSide = 1e-4;
constexpr double kCellPrecision = 1e-6;  // of the largest coordinate

// The tool's diameter for a segment: the command line's, else what the comments said last.
double tool_now(const SimOptions& options) { return options.tool > 0 ? options.tool : interp.tool; }

bool usable_size(double d) { return d > 0 && d <= kLargestNumber; }

// First reading: what the stock must hold, and whether the tool is known wherever it cuts.
class StockScan : public PathSink {
 public:
  StockScan(const SimOptions& options, double top) : options_(options), top_(top) {}
  void vertex(const Colour&, float x, float y, float z) override {
    if (!started_) {
      started_ = true;
    } else {
      if (z != 0) left_plane = true;
      segment(x, y, z);
    }
    x_ = x;
    y_ = y;
    z_ = z;
  }
  void end_path() override {}

  bool left_plane = false;  // some move leaves Z 0: not a lathe program
  bool cuts = false;        // some segment reaches below the top
  Stock below{HUGE_VAL, HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  double largest_tool = 0;
  long unknown_line = 0;   // the first line that cuts with no tool named
  long bad_line = 0;       // the first line that cuts with a tool of no size
  double bad_tool = 0;

 private:
  void extend(double x, double y, double z) {
    below.x_min = std::min(below.x_min, x);
    below.x_max = std::max(below.x_max, x);
    below.y_min = std::min(below.y_min, y);
    below.y_max = std::max(below.y_max, y);
    below.z_min = std::min(below.z_min, z);
  }
  void segment(double x, double y, double z) {
    double x0 = x_, y0 = y_, z0 = z_;
    if (!(std::min(z0, z) < top_)) return;
    cuts = true;
    double d = tool_now(options_);
    if (options_.tool <= 0 && interp.tool_line == 0) {
      if (unknown_line == 0) unknown_line = interp.job.lines;
      return;
    }
    if (!usable_size(d)) {
      if (bad_line == 0) {
        bad_line = interp.tool_line;
        bad_tool = d;
      }
      return;
    }
    largest_tool = std::max(largest_tool, d);
    // The part of the segment below the top: its ends, or where it crosses the top.
    if (z0 < top_) extend(x0, y0, z0);
    if (z < top_) extend(x, y, z);
    if ((z0 < top_) != (z < top_)) {
      double t = (top_ - z0) / (z - z0);
      extend(x0 + t * (x - x0), y0 + t * (y - y0), top_);
    }
  }

  const SimOptions& options_;
  double top_;
  bool started_ = false;
  float x_ = 0, y_ = 0, z_ = 0;
};

// Second reading: every segment cuts.
class CutSink : public PathSink {
 public:
  CutSink(const SimOptions& options, Part& part) : options_(options), part_(part) {
    // Without room for it, every cell a move covers is worked on.
    done_ = static_cast<Done*>(std::malloc(static_cast<std::size_t>(part.ny) * sizeof(Done)));
    if (done_ != nullptr) std::fill(done_, done_ + part.ny, Done{0, -1, 0});
  }
  ~CutSink() override { std::free(done_); }
  CutSink(const CutSink&) = delete;
  CutSink& operator=(const CutSink&) = delete;
  void vertex(const Colour&, float x, float y, float z) override {
    removed_ = false;
    if (started_) {
      double d = tool_now(options_);
      if (usable_size(d)) cut(x_, y_, z_, x, y, z, d / 2);
    }
    note_segment(part_, removed_);
    started_ = true;
    x_ = x;
    y_ = y;
    z_ = z;
  }
  void end_path() override {}

 private:
  // A segment from (x0, y0, z0) along (ex, ey, dz), l2 = ex^2 + ey^2, by a disc of radius r.
  struct Move {
    double x0, y0, z0, ex, ey, dz, l2, r;
    bool level;  // one tip height wherever the disc passes: a level move or a plunge
    float flat;  // the lowest tip height, not below the stock
  };

  // For each row, a span of cells none of which stands higher than z (empty when lo > hi).
  struct Done {
    int lo, hi;
    float z;
  };

  // The x range of row y that lies within r of the segment: the discs at its ends and the band
  // along it. False when the row misses it.
  static bool row_span(double y, double x0, double y0, double x1, double y1, double r,
                       double& lo, double& hi) {
    lo = HUGE_VAL;
    hi = -HUGE_VAL;
    auto disc = [&](double cx, double cy) {
      double s = r * r - (y - cy) * (y - cy);
      if (s < 0) return;
      s = std::sqrt(s);
      lo = std::min(lo, cx - s);
      hi = std::max(hi, cx + s);
    };
    disc(x0, y0);
    disc(x1, y1);
    double ex = x1 - x0, ey = y1 - y0, l2 = ex * ex + ey * ey;
    if (l2 > 0) {
      double a = -HUGE_VAL, b = HUGE_VAL;
      // Along the segment: 0 <= (x - x0) ex + (y - y0) ey <= l2.
      double w = (y - y0) * ey;
      if (ex != 0) {
        double p = x0 - w / ex, q = x0 + (l2 - w) / ex;
        a = std::max(a, std::min(p, q));
        b = std::min(b, std::max(p, q));
      } else if (w < 0 || w > l2) {
        a = HUGE_VAL;
      }
      // Across it: |(x - x0) ey - (y - y0) ex| <= r * length.
      double u = (y - y0) * ex, reach = r * std::sqrt(l2);
      if (ey != 0) {
        double p = x0 + (u - reach) / ey, q = x0 + (u + reach) / ey;
        a = std::max(a, std::min(p, q));
        b = std::min(b, std::max(p, q));
      } else if (std::fabs(u) > reach) {
        a = HUGE_VAL;
      }
      if (a <= b) {
        lo = std::min(lo, a);
        hi = std::max(hi, b);
      }
    }
    return lo <= hi;
  }

  // The cells whose centres lie in [lo, hi] along an axis of n cells of side d from origin:
  // false when none.
  static bool cell_range(double lo, double hi, double origin, double d, int n, int& first, int& last) {
    double f = std::ceil((lo - origin) / d - 0.5), l = std::floor((hi - origin) / d - 0.5);
    f = std::max(f, 0.0);
    l = std::min(l, n - 1.0);
    if (!(f <= l)) return false;
    first = static_cast<int>(f);
    last = static_cast<int>(l);
    return true;
  }

  void cut(double x0, double y0, double z0, double x1, double y1, double z1, double r) {
    const Stock& s = part_.stock;
    if (!(std::min(z0, z1) < s.z_max)) return;  // above the stock
    ++part_.cut_moves;
    Move m{x0, y0, z0, x1 - x0, y1 - y0, z1 - z0, 0, r, false, 0};
    m.l2 = m.ex * m.ex + m.ey * m.ey;
    // Level moves and plunges leave one height wherever the disc passes.
    m.level = m.dz == 0 || m.l2 == 0;
    m.flat = static_cast<float>(std::max(std::min(z0, z1), s.z_min));  // the lowest tip
    const bool level = m.level;
    const float flat = m.flat;
    int j0, j1;
    if (!cell_range(std::min(y0, y1) - r, std::max(y0, y1) + r, s.y_min, part_.dy, part_.ny, j0, j1)) return;
    for (int j = j0; j <= j1; ++j) {
      double y = s.y_min + (j + 0.5) * part_.dy;
      double lo, hi;
      int i0, i1;
      if (!row_span(y, x0, y0, x1, y1, r, lo, hi)) continue;
      if (!cell_range(lo, hi, s.x_min, part_.dx, part_.nx, i0, i1)) continue;
      float* row = part_.height + static_cast<std::size_t>(j) * static_cast<std::size_t>(part_.nx);
      // NOTE: cells already as low as the move's lowest tip are not worked on again: a pass
      // beside the last at one depth works only on the stepover it adds, and a tool wider than
      // the stock, pass after pass at one depth, costs a row each, not the grid.
      Done* done = done_ != nullptr ? done_ + j : nullptr;
      if (done != nullptr && done->lo <= done->hi && done->z <= flat) {
        lower(row, i0, std::min(i1, done->lo - 1), y, m);
        lower(row, std::max(i0, done->hi + 1), i1, y, m);
      } else {
        lower(row, i0, i1, y, m);
      }
      if (done == nullptr || !level) continue;
      // What is known: a deeper span replaces a shallower one; one at the same depth that
      // meets it joins it.
      bool meets = done->lo <= done->hi && i0 <= done->hi + 1 && i1 >= done->lo - 1;
      if (done->lo > done->hi || flat < done->z) {
        *done = {i0, i1, flat};
      } else if (flat == done->z && meets) {
        done->lo = std::min(done->lo, i0);
        done->hi = std::max(done->hi, i1);
      }
    }
  }

  // Lowers cells i0 to i1 of the row at y to the move's tip where its disc covers them.
  void lower(float* row, int i0, int i1, double y, const Move& m) const {
    if (m.level) {
      // In groups of eight, as below: whether a cell is lowered is gathered in vector
      // instructions too, at no more cost than the lowering.
      // NOTE: the tip's height is copied, since the row could otherwise be where it lies.
      const float flat = m.flat;
      unsigned lowered = 0;
      int i = i0;
      for (; i + 8 <= i1 + 1; i += 8)
        for (int k = 0; k < 8; ++k) {
          lowered |= static_cast<unsigned>(flat < row[i + k]);
          row[i + k] = std::min(row[i + k], flat);
        }
      for (; i <= i1; ++i) lower_cell(row[i], flat);
      removed_ = removed_ || lowered != 0;
      return;
    }
    if (i0 > i1) return;
    // A cell the disc covers at the move's lower end is cut to the tip there: the lowest it
    // gets. Those lie in a span of the row, lowered with a plain minimum; only the cells outside
    // it need their own lowest point of the move.
    int a = i1 + 1, b = i1;  // the span, empty unless the row crosses the lower end's disc
    if (!options_.cell_by_cell && lower_end_span(y, m, a, b)) {
      a = std::max(a, i0);
      b = std::min(b, i1);
    }
    if (a > b) {
      lower_sloping(row, i0, i1, y, m);
      return;
    }
    const float end = lower_end_height(m);
    lower_sloping(row, i0, a - 1, y, m);
    int i = a;
    // NOTE: in groups of a fixed count, which the compiler turns into vector instructions at
    // its usual optimisation: most of a raster's time is spent here. Whether any cell is
    // lowered is gathered the same way.
    unsigned lowered = 0;
    for (; i + 8 <= b + 1; i += 8)
      for (int k = 0; k < 8; ++k) {
        lowered |= static_cast<unsigned>(end < row[i + k]);
        row[i + k] = std::min(row[i + k], end);
      }
    for (; i <= b; ++i) lower_cell(row[i], end);
    removed_ = removed_ || lowered != 0;
    lower_sloping(row, b + 1, i1, y, m);
  }

  // The tip at the lower end, exactly as lower_sloping() works it out for a cell there.
  float lower_end_height(const Move& m) const {
    double t = m.dz < 0 ? 1.0 : 0.0;
    return static_cast<float>(std::max(m.z0 + t * m.dz, part_.stock.z_min));
  }

  // The cells of the row at y whose centres lie inside the lower end's disc, a little shrunk:
  // NOTE: the shrinking keeps out the cells on its rim, where rounding could put the lowest
  // point worked out for the cell a hair inside the move; those are worked out one by one, so
  // that the part is the same, cell for cell, as when every cell is.
  bool lower_end_span(double y, const Move& m, int& first, int& last) const {
    const Stock& s = part_.stock;
    double cx = m.dz < 0 ? m.x0 + m.ex : m.x0, cy = m.dz < 0 ? m.y0 + m.ey : m.y0;
    double size = std::fabs(cx) + std::fabs(cy) + std::fabs(s.x_min) + std::fabs(y) + m.r;
    double r = m.r * (1 - 1e-6) - size * 1e-9;
    double reach = r * r - (y - cy) * (y - cy);
    if (!(r > 0 && reach > 0)) return false;
    reach = std::sqrt(reach);
    double f = std::ceil((cx - reach - s.x_min) / part_.dx - 0.5);
    double l = std::floor((cx + reach - s.x_min) / part_.dx - 0.5);
    f = std::max(f, 0.0);
    l = std::min(l, part_.nx - 1.0);
    if (!(f <= l)) return false;
    first = static_cast<int>(f);
    last = static_cast<int>(l);
    return true;
  }

  void lower_sloping(float* row, int i0, int i1, double y, const Move& m) const {
    const Stock& s = part_.stock;
    // Along a sloping move the disc covers a cell over an interval of the move; the tip is
    // lowest at its lower end.
    const double qy = y - m.y0;
    for (int i = i0; i <= i1; ++i) {
      double qx = s.x_min + (i + 0.5) * part_.dx - m.x0;
      double middle = (qx * m.ex + qy * m.ey) / m.l2;
      double across = qx * m.ey - qy * m.ex;
      double half = std::sqrt(std::max(0.0, m.r * m.r - across * across / m.l2) / m.l2);
      double t = m.dz < 0 ? std::min(middle + half, 1.0) : std::max(middle - half, 0.0);
      t = std::min(std::max(t, 0.0), 1.0);
      float z = static_cast<float>(std::max(m.z0 + t * m.dz, s.z_min));
      lower_cell(row[i], z);
    }
  }

  // Whether the segment removes anything is what tells a cut from a move in the air.
  void lower_cell(float& cell, float z) const {
    removed_ = removed_ || z < cell;
    cell = std::min(cell, z);
  }

  const SimOptions& options_;
  Part& part_;
  Done* done_;
  mutable bool removed_ = false;
  bool started_ = false;
  float x_ = 0, y_ = 0, z_ = 0;
};

// The grid for the stock: square cells of the given side (or of the longer side over the
// default count), fitted to the stock's sides. False, after saying why, when it cannot be made.
bool lay_grid(const SimOptions& options, Part& part) {
  const Stock& s = part.stock;
  double w = s.x_max - s.x_min, h = s.y_max - s.y_min, t = s.z_max - s.z_min;
  double largest = 0;
  for (double v : {s.x_min, s.y_min, s.z_min, s.x_max, s.y_max, s.z_max}) {
    if (!(std::fabs(v) <= kLargestNumber)) {
      std::printf("\nThe stock reaches past %g: no machine holds it.\n", kLargestNumber);
      return false;
    }
    largest = std::max(largest, std::fabs(v));
  }
  if (!(w >= kSmallestSide && h >= kSmallestSide && t >= kSmallestSide)) {
    std::printf("\nThe stock from X %g Y %g Z %g to X %g Y %g Z %g is too small: each side must be at "
                "least %g.\n", s.x_min, s.y_min, s.z_min, s.x_max, s.y_max, s.z_max, kSmallestSide);
    return false;
  }
  int along = options.cells_along > 0 ? options.cells_along : kCellsAlong;
  double cell = options.cell > 0 ? options.cell : std::max(w, h) / along;
  double smallest = largest * kCellPrecision;
  if (cell < smallest) {
    std::printf("\nCells of %g are too small for a stock at %g from the origin: give a --resolution "
                "of at least %g.\n", cell, largest, smallest);
    return false;
  }
  double nx = std::max(1.0, std::round(w / cell)), ny = std::max(1.0, std::round(h / cell));
  if (nx * ny > kMostCells) {
    std::printf("\nThe part would need %.0f cells of %g, more than %.0f million: give a larger "
                "--resolution.\n", nx * ny, cell, kMostCells / 1e6);
    return false;
  }
  part.nx = static_cast<int>(nx);
  part.ny = static_cast<int>(ny);
  part.dx = w / nx;
  part.dy = h / ny;
  std::size_t cells = static_cast<std::size_t>(part.nx) * static_cast<std::size_t>(part.ny);
  part.height = static_cast<float*>(std::malloc(cells * sizeof(float)));
  if (part.height == nullptr) {
    std::printf("\nNot enough memory for the part's %.0f cells.\n", nx * ny);
    return false;
  }
  std::fill(part.height, part.height + cells, static_cast<float>(s.z_max));
  return true;
}

}  // namespace

namespace {

// --tool and --resolution: a size, refused when it is no size at all.
int set_size(const char* text, double& size, const char* what, const char* option) {
  double v = 0;
  if (!full_number(text, v)) return 2;
  if (!usable_size(v)) {
    std::printf("\n%s must be more than 0: %s %s.\n", what, option, text);
    return 1;
  }
  size = v;
  return 0;
}

}  // namespace

bool full_number(const char* text, double& value) {
  char* end = nullptr;
  value = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(value);
}

int set_sim_tool(const char* value, SimOptions& options) {
  return set_size(value, options.tool, "The tool's diameter", "--tool");
}

int set_sim_cell(const char* value, SimOptions& options) {
  return set_size(value, options.cell, "A cell's side", "--resolution");
}

int set_sim_stock(const char* const* values, SimOptions& options) {
  double v[6];
  for (int n = 0; n < 6; ++n)
    if (!full_number(values[n], v[n])) return 2;
  options.stock_given = true;
  options.stock = {v[0], v[1], v[2], v[3], v[4], v[5]};
  return 0;
}

bool simulate_file(const char* name, const SimOptions& options, Part& part, bool say_reading) {
  part = Part{};
  std::FILE* saved = message_stream;
  if (!say_reading) message_stream = nullptr;
  interp_reset();
  double top = options.stock_given ? options.stock.z_max : 0;
  StockScan scan(options, top);
  bool opened = read_gcode_file(name, scan);
  message_stream = saved;
  if (!opened) return false;
  if (interp.job.moves > 0 && !scan.left_plane) {
    const int unfollowed = interp.job.unfollowed_kinds;
    const bool turned = simulate_turned(name, options, part);
    part.unfollowed_kinds = unfollowed;
    return turned;
  }
  if (scan.unknown_line > 0) {
    std::printf("\nNo tool known: line %ld cuts before the program names its tool. Give its "
                "diameter with --tool D.\n", scan.unknown_line);
    return false;
  }
  if (scan.bad_line > 0) {
    std::printf("\nThe tool named at line %ld is %g across: a tool must be more than 0 across.\n",
                scan.bad_line, scan.bad_tool);
    return false;
  }
  if (options.stock_given) {
    part.stock = options.stock;
  } else {
    if (!scan.cuts) {
      std::printf("\nNothing cuts below Z 0, the top of the stock: give the stock with --stock.\n");
      return false;
    }
    // The cuts' own extents, grown by the tool's radius and a tenth of its diameter, down past
    // the deepest cut by as much.
    double d = scan.largest_tool, grow = d / 2 + d / 10;
    const Stock& b = scan.below;
    part.stock = {b.x_min - grow, b.y_min - grow, b.z_min - d / 10, b.x_max + grow, b.y_max + grow, 0};
  }
  if (!lay_grid(options, part)) {
    release_part(part);
    return false;
  }
  CutSink cut(options, part);
  read_gcode_quietly(name, cut);
  part.largest_tool = scan.largest_tool;
  part.unfollowed_kinds = interp.job.unfollowed_kinds;
  say_rapids(part);
  return true;
}

void release_part(Part& part) {
  std::free(part.height);
  part.height = nullptr;
  delete part.turned;
  part.turned = nullptr;
  part.colours.clear();
  part.colours.shrink_to_fit();
}

void note_segment(Part& part, bool removed) {
  // The jump from the assumed start at the origin is no move of the machine's.
  unsigned char colour = 3;
  if (removed && interp.placed)
    colour = interp.move == MoveKind::Clockwise ? 1 : interp.move == MoveKind::CounterClockwise ? 2 : 0;
  try {
    if (!part.colours_lost) part.colours.push_back(colour);
  } catch (const std::bad_alloc&) {
    // Without the room the path keeps the colours its reading gave it.
    part.colours.clear();
    part.colours.shrink_to_fit();
    part.colours_lost = true;
  }
  if (!removed || !interp.placed || interp.move != MoveKind::Rapid) return;
  long line = interp.job.lines;
  if (part.rapids > 0 && part.rapids <= kListedRapids && part.rapid_lines[part.rapids - 1] == line) return;
  if (part.rapids < kListedRapids) part.rapid_lines[part.rapids] = line;
  ++part.rapids;
}

void say_rapids(const Part& part) {
  if (part.colours_lost) std::printf("\nNot enough memory to tell the moves in the air from the cuts.\n");
  if (part.rapids == 0) return;
  std::printf("\n");
  for (long k = 0; k < std::min<long>(part.rapids, kListedRapids); ++k)
    std::printf("Rapid move through the stock in line %ld\n", part.rapid_lines[k]);
  if (part.rapids > kListedRapids)
    std::printf("and %ld more rapid moves through the stock\n", part.rapids - kListedRapids);
}

void print_part(std::FILE* out, const Part& p) {
  if (p.turned != nullptr) {
    print_turned(out, p);
    return;
  }
  const Stock& s = p.stock;
  std::fprintf(out, "\nPart simulated\n");
  std::fprintf(out, "  Stock X from %.4f to %.4f\n", s.x_min, s.x_max);
  std::fprintf(out, "  Stock Y from %.4f to %.4f\n", s.y_min, s.y_max);
  std::fprintf(out, "  Stock Z from %.4f to %.4f\n", s.z_min, s.z_max);
  std::fprintf(out, "  Cells:           %d x %d of %.5f x %.5f\n", p.nx, p.ny, p.dx, p.dy);
  std::fprintf(out, "  Cutting moves:   %ld (tool up to %.4f across)\n", p.cut_moves, p.largest_tool);
  print_rapids(out, p);
}

void print_rapids(std::FILE* out, const Part& p) {
  // Said with the rapids, the last line of either kind of part's block.
  if (p.unfollowed_kinds > 0)
    std::fprintf(out, "  Not the machine's part: the program holds words this reading does not follow "
                      "(see Not followed)\n");
  if (p.rapids == 0) return;
  std::fprintf(out, "  Rapid moves through the stock: %ld (line", p.rapids);
  for (long k = 0; k < std::min<long>(p.rapids, kListedRapids); ++k)
    std::fprintf(out, "%s %ld", k == 0 ? (p.rapids > 1 ? "s" : "") : ",", p.rapid_lines[k]);
  std::fprintf(out, "%s)\n", p.rapids > kListedRapids ? ", ..." : "");
}

namespace {

// The mesh is made row by row. Heights outside the grid count as the bottom: no material.
class Mesher {
 public:
  Mesher(const Part& part, TriangleSink& sink) : p_(part), sink_(sink) {}

  void run() {
    const int nx = p_.nx, ny = p_.ny;
    std::vector<int> below, above;  // the corners each grid line needs, by column
    corners(0, below);
    for (int j = 0; j < ny; ++j) {
      corners(j + 1, above);
      faces(j, below, above, true);   // tops
      faces(j, below, above, false);  // bottoms
      for (int i = 0; i <= nx; ++i) side_wall(i, j);
      line_walls(j);
      below.swap(above);
    }
    line_walls(ny);
  }

 private:
  double h(int i, int j) const {
    if (i < 0 || j < 0 || i >= p_.nx || j >= p_.ny) return p_.stock.z_min;
    return p_.height[static_cast<std::size_t>(j) * static_cast<std::size_t>(p_.nx) +
                     static_cast<std::size_t>(i)];
  }
  double x(int i) const { return i == p_.nx ? p_.stock.x_max : p_.stock.x_min + i * p_.dx; }
  double y(int j) const { return j == p_.ny ? p_.stock.y_max : p_.stock.y_min + j * p_.dy; }

  // The columns of line j (between rows j - 1 and j) where a face has a corner: where the height
  // changes along either row.
  void corners(int j, std::vector<int>& out) const {
    out.clear();
    for (int i = 0; i <= p_.nx; ++i)
      if (h(i - 1, j - 1) != h(i, j - 1) || h(i - 1, j) != h(i, j)) out.push_back(i);
  }

  void emit(const Point& a, const Point& b, const Point& c, const Point& n) {
    // Wound counter-clockwise about the outward normal.
    double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    double dot = (uy * vz - uz * vy) * n.x + (uz * vx - ux * vz) * n.y + (ux * vy - uy * vx) * n.z;
    if (dot < 0) sink_.triangle(a, c, b, n);
    else sink_.triangle(a, b, c, n);
  }

  // A strip between two parallel lines of points, each ordered the same way by `along`.
  template <typename Along>
  void zipper(const std::vector<Point>& p, const std::vector<Point>& q, const Point& n, Along along) {
    std::size_t i = 0, k = 0;
    while (i + 1 < p.size() || k + 1 < q.size()) {
      if (k + 1 == q.size() || (i + 1 < p.size() && along(p[i + 1]) <= along(q[k + 1]))) {
        emit(p[i], p[i + 1], q[k], n);
        ++i;
      } else {
        emit(p[i], q[k + 1], q[k], n);
        ++k;
      }
    }
  }

  // Row j's tops (runs of one height) or bottoms (runs of material), each a strip between the
  // corners of its two lines.
  void faces(int j, const std::vector<int>& below, const std::vector<int>& above, bool top) {
    const double bottom = p_.stock.z_min;
    std::size_t b = 0, a = 0;
    int i = 0;
    while (i < p_.nx) {
      int end = i + 1;
      double v = h(i, j);
      if (top) {
        while (end < p_.nx && h(end, j) == v) ++end;
      } else {
        while (end < p_.nx && (h(end, j) > bottom) == (v > bottom)) ++end;
      }
      if (v > bottom) {
        double z = top ? v : bottom;
        std::vector<Point>& lower = strip_[0];
        std::vector<Point>& upper = strip_[1];
        lower.clear();
        upper.clear();
        while (b < below.size() && below[b] < i) ++b;
        for (std::size_t c = b; c < below.size() && below[c] <= end; ++c) lower.push_back({x(below[c]), y(j), z});
        while (a < above.size() && above[a] < i) ++a;
        for (std::size_t c = a; c < above.size() && above[c] <= end; ++c) upper.push_back({x(above[c]), y(j + 1), z});
        zipper(lower, upper, {0, 0, top ? 1.0 : -1.0}, [](const Point& q) { return q.x; });
      }
      i = end;
    }
  }

  // The heights met at corner (i, j) strictly between lo and hi, with lo and hi, in order.
  void wall_side(int i, int j, double lo, double hi, double px, double py, std::vector<Point>& out) const {
    out.clear();
    double met[4] = {h(i - 1, j - 1), h(i, j - 1), h(i - 1, j), h(i, j)};
    std::sort(met, met + 4);
    out.push_back({px, py, lo});
    for (int k = 0; k < 4; ++k)
      if (met[k] > lo && met[k] < hi && (k == 0 || met[k] != met[k - 1])) out.push_back({px, py, met[k]});
    out.push_back({px, py, hi});
  }

  // The wall on x = x(i) in row j, between cells i - 1 and i, facing the lower one.
  void side_wall(int i, int j) {
    double left = h(i - 1, j), right = h(i, j);
    if (left == right) return;
    double lo = std::min(left, right), hi = std::max(left, right);
    wall_side(i, j, lo, hi, x(i), y(j), strip_[0]);
    wall_side(i, j + 1, lo, hi, x(i), y(j + 1), strip_[1]);
    zipper(strip_[0], strip_[1], {left < right ? -1.0 : 1.0, 0, 0}, [](const Point& q) { return q.z; });
  }

  // The walls on line j, between rows j - 1 and j, in runs where both rows keep their heights.
  void line_walls(int j) {
    int i = 0;
    while (i < p_.nx) {
      double front = h(i, j - 1), back = h(i, j);
      int end = i + 1;
      while (end < p_.nx && h(end, j - 1) == front && h(end, j) == back) ++end;
      if (front != back) {
        double lo = std::min(front, back), hi = std::max(front, back);
        wall_side(i, j, lo, hi, x(i), y(j), strip_[0]);
        wall_side(end, j, lo, hi, x(end), y(j), strip_[1]);
        zipper(strip_[0], strip_[1], {0, front < back ? -1.0 : 1.0, 0}, [](const Point& q) { return q.z; });
      }
      i = end;
    }
  }

  const Part& p_;
  TriangleSink& sink_;
  std::vector<Point> strip_[2];
};

void put_float(unsigned char*& at, double v) {
  float f = static_cast<float>(v);
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  for (int k = 0; k < 4; ++k) *at++ = static_cast<unsigned char>(bits >> (8 * k));  // little-endian
}

class CountingTriangles : public TriangleSink {
 public:
  void triangle(const Point&, const Point&, const Point&, const Point&) override { ++count; }
  std::uint64_t count = 0;
};

// 50 bytes a triangle: the normal, three corners, and an attribute word of 0.
class StlWriter : public TriangleSink {
 public:
  explicit StlWriter(std::FILE* file) : file_(file) {}
  void triangle(const Point& a, const Point& b, const Point& c, const Point& n) override {
    unsigned char* at = buffer_ + used_;
    for (const Point* q : {&n, &a, &b, &c}) {
      put_float(at, q->x);
      put_float(at, q->y);
      put_float(at, q->z);
    }
    *at++ = 0;
    *at++ = 0;
    used_ += 50;
    if (used_ + 50 > sizeof buffer_) flush();
  }
  void flush() {
    if (used_ > 0 && std::fwrite(buffer_, 1, used_, file_) != used_) failed = true;
    used_ = 0;
  }
  bool failed = false;

 private:
  std::FILE* file_;
  unsigned char buffer_[50 * 1024];
  std::size_t used_ = 0;
};

}  // namespace

void mesh_part(const Part& part, TriangleSink& sink) {
  if (part.turned != nullptr) {
    mesh_turned(*part.turned, sink);
    return;
  }
  if (part.height == nullptr) return;
  Mesher(part, sink).run();
}

bool write_stl(const char* name, const Part& part, double& triangles) {
  CountingTriangles counter;
  mesh_part(part, counter);
  triangles = static_cast<double>(counter.count);
  if (counter.count > UINT32_MAX) return false;  // more than the file's count can say
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;
  unsigned char head[84] = {};
  std::snprintf(reinterpret_cast<char*>(head), 80, "Kerfdisplay simulated part");
  std::uint32_t count = static_cast<std::uint32_t>(counter.count);
  for (int k = 0; k < 4; ++k) head[80 + k] = static_cast<unsigned char>(count >> (8 * k));
  bool ok = std::fwrite(head, 1, sizeof head, file) == sizeof head;
  StlWriter writer(file);
  mesh_part(part, writer);
  writer.flush();
  ok = ok && !writer.failed;
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

int write_part_file(const char* name, const SimOptions& options) {
  Part part;
  if (!simulate_file(name, options, part, true)) return 1;
  print_summary(stdout, interp.job);
  print_part(stdout, part);
  double triangles = 0;
  bool written = write_stl(options.stl, part, triangles);
  release_part(part);
  if (!written) {
    std::printf("\nCan't write STL file %s.\n", options.stl);
    return 1;
  }
  std::printf("\nSTL file %s written: %.0f triangles.\n", options.stl, triangles);
  return 0;
}
