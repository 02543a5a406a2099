// turned_part.cpp - a lathe program's part: the tool's tip (a point, or the round nose of a
// turning tool) swept along every move in the plane through the bar's axis; each cell along X
// keeps the deepest the tip reaches at its centre, and the bar turns that outline round.
#include "turned_part.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "gcode_interpreter.h"
#include "gcode_messages.h"
#include "gcode_reader.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// A profile of more cells than this would take longer to cut than the program is worth looking at.
constexpr double kMostTurnedCells = 1e6;
// Radii this close are one diameter: the tip's heights come from float vertices.
constexpr double kSame = 1e-7;

// The deepest Y the tool reaches at x along the move from (x0, y0) to (x1, y1); -HUGE_VAL where
// it does not reach x. A nose of radius r has its centre r short of the tip, so the move sweeps
// that disc: the discs at its ends and the band between them, whose deep edge lies r out along
// the move's normal.
double deepest_at(double x, double x0, double y0, double x1, double y1, double r) {
  double best = -HUGE_VAL;
  if (r <= 0) {
    if (x0 == x1) return x == x0 ? std::max(y0, y1) : best;
    if (x < std::min(x0, x1) || x > std::max(x0, x1)) return best;
    return y0 + (x - x0) * (y1 - y0) / (x1 - x0);
  }
  for (double end : {0.0, 1.0}) {
    double cx = end == 0 ? x0 : x1, cy = (end == 0 ? y0 : y1) - r;
    double d = x - cx;
    if (std::fabs(d) <= r) best = std::max(best, cy + std::sqrt(r * r - d * d));
  }
  double ex = x1 - x0, ey = y1 - y0, length = std::sqrt(ex * ex + ey * ey);
  if (length > 0 && ex != 0) {
    double nx = -ey / length, ny = ex / length;
    if (ny < 0) {
      nx = -nx;
      ny = -ny;
    }
    double a = x0 + r * nx, b = x1 + r * nx;
    if (x >= std::min(a, b) && x <= std::max(a, b))
      best = std::max(best, y0 - r + r * ny + (x - a) * ey / ex);
  }
  return best;
}

// First reading: how far along X the tool goes deeper than the bar's surface.
class TurnScan : public PathSink {
 public:
  TurnScan(double surface, double nose) : surface_(surface), nose_(nose) {}
  void vertex(const Colour&, float xf, float yf, float) override {
    double x = xf, y = yf;
    if (started_ && std::max(y_, y) > surface_) {
      // The part of the move below the surface, widened by the nose.
      double lo = x_, hi = x;
      if (y_ <= surface_ || y <= surface_) {
        double t = (surface_ - y_) / (y - y_), at = x_ + t * (x - x_);
        (y_ <= surface_ ? lo : hi) = at;
      }
      x_min = std::min(x_min, std::min(lo, hi) - nose_);
      x_max = std::max(x_max, std::max(lo, hi) + nose_);
    }
    started_ = true;
    x_ = x;
    y_ = y;
  }
  void end_path() override {}
  double x_min = HUGE_VAL, x_max = -HUGE_VAL;

 private:
  double surface_, nose_;
  bool started_ = false;
  double x_ = 0, y_ = 0;
};

// Second reading: each move deepens the cells it reaches deeper than before.
class TurnSink : public PathSink {
 public:
  TurnSink(TurnedPart& turned, Part& part) : t_(turned), part_(part) {}
  void vertex(const Colour&, float x, float y, float) override {
    bool removed = false;
    if (started_) removed = cut(x_, y_, x, y);
    note_segment(part_, removed);
    started_ = true;
    x_ = x;
    y_ = y;
  }
  void end_path() override {}

 private:
  bool cut(double x0, double y0, double x1, double y1) {
    if (!(std::max(y0, y1) > t_.surface)) return false;
    ++part_.cut_moves;
    double lo = std::min(x0, x1) - t_.nose, hi = std::max(x0, x1) + t_.nose;
    double first = std::max(0.0, std::ceil((lo - t_.x_min) / t_.dx - 0.5));
    double last = std::min(t_.n - 1.0, std::floor((hi - t_.x_min) / t_.dx - 0.5));
    bool removed = false;
    for (double c = first; c <= last; ++c) {
      int i = static_cast<int>(c);
      double y = deepest_at(t_.x_min + (i + 0.5) * t_.dx, x0, y0, x1, y1, t_.nose);
      if (y > t_.deepest[static_cast<std::size_t>(i)]) {
        t_.deepest[static_cast<std::size_t>(i)] = y;
        removed = true;
      }
    }
    return removed;
  }

  TurnedPart& t_;
  Part& part_;
  bool started_ = false;
  double x_ = 0, y_ = 0;
};

int lathe_size(const char* text, double& size, bool zero_too, const char* what, const char* option) {
  double v = 0;
  if (!full_number(text, v)) return 2;
  if (!(v > 0 || (zero_too && v == 0)) || v > kLargestNumber) {
    std::printf("\n%s must be more than 0%s: %s %s.\n", what, zero_too ? " (or 0 for a point)" : "", option, text);
    return 1;
  }
  size = v;
  return 0;
}

}  // namespace

double TurnedPart::radius_at(int i) const {
  return std::max(0.0, radius - std::max(0.0, deepest[static_cast<std::size_t>(i)] - surface));
}

int set_bar_diameter(const char* value, SimOptions& options) {
  return lathe_size(value, options.bar_diameter, false, "The bar's diameter", "--stock-diameter");
}

int set_bar_surface(const char* value, SimOptions& options) {
  if (!full_number(value, options.surface) || std::fabs(options.surface) > kLargestNumber) return 2;
  options.surface_given = true;
  return 0;
}

int set_tool_nose(const char* value, SimOptions& options) {
  return lathe_size(value, options.nose, true, "The tool's nose radius", "--nose");
}

bool simulate_turned(const char* name, const SimOptions& options, Part& part) {
  if (!(options.bar_diameter > 0) || !options.surface_given) {
    std::printf("\nNo move leaves Z 0: a lathe program. Give its bar with --stock-diameter D and the Y of the "
                "bar's surface with --surface Y to see the part it turns.\n");
    return false;
  }
  const double radius = options.bar_diameter / 2, surface = options.surface, nose = options.nose;
  TurnScan scan(surface, nose);
  read_gcode_quietly(name, scan);
  if (!(scan.x_min <= scan.x_max)) {
    std::printf("\nNothing cuts deeper than the bar's surface at Y %g.\n", surface);
    return false;
  }
  // The bar's free end is its face at X 0, the work's zero in Kerfgen's lathe jobs; it lies on
  // the side where the cuts reach furthest, and goes a tenth of its diameter past them.
  double margin = options.bar_diameter / 10, x_min = 0, x_max = 0;
  if (scan.x_max >= -scan.x_min) x_max = scan.x_max + margin;
  else x_min = scan.x_min - margin;
  double length = x_max - x_min;
  if (!(length <= kLargestNumber && std::fabs(surface) + options.bar_diameter <= kLargestNumber)) {
    std::printf("\nThe bar reaches past %g: no machine holds it.\n", kLargestNumber);
    return false;
  }
  double cell = options.cell > 0 ? options.cell : length / (options.cells_along > 0 ? options.cells_along : kCellsAlong);
  double n = std::max(1.0, std::round(length / cell));
  if (n > kMostTurnedCells) {
    std::printf("\nThe part would need %.0f cells of %g along the bar, more than %.0f: give a larger "
                "--resolution.\n", n, cell, kMostTurnedCells);
    return false;
  }
  TurnedPart* turned = new (std::nothrow) TurnedPart{x_min, x_max, radius, surface, nose,
                                                    static_cast<int>(n), length / n, {}};
  try {
    if (turned == nullptr) throw std::bad_alloc();
    turned->deepest.assign(static_cast<std::size_t>(n), surface);
  } catch (const std::bad_alloc&) {
    delete turned;  // nullptr too
    std::printf("\nNot enough memory for the part's %.0f cells.\n", n);
    return false;
  }
  part.turned = turned;
  double axis = surface + radius;
  part.stock = {x_min, axis - radius, -radius, x_max, axis + radius, radius};
  part.largest_tool = 2 * nose;
  TurnSink cut(*turned, part);
  read_gcode_quietly(name, cut);
  say_rapids(part);
  return true;
}

std::vector<Outline> turned_outline(const TurnedPart& t) {
  std::vector<Outline> pieces;
  int i = 0;
  while (i < t.n) {
    if (t.radius_at(i) <= 0) {
      ++i;
      continue;
    }
    int end = i;
    while (end + 1 < t.n && t.radius_at(end + 1) > 0) ++end;
    // Flat from the piece's ends to the centres of its end cells, straight between the centres;
    // points on the straight line between their neighbours are left out.
    Outline o;
    auto add = [&](double x, double r) {
      while (o.size() >= 2) {
        const OutlinePoint &a = o[o.size() - 2], &b = o.back();
        double cross = (b.x - a.x) * (r - a.r) - (b.r - a.r) * (x - a.x);
        if (std::fabs(cross) > kSame * (x - a.x)) break;
        o.pop_back();
      }
      o.push_back({x, r});
    };
    add(i == 0 ? t.x_min : t.x_min + i * t.dx, t.radius_at(i));
    for (int k = i; k <= end; ++k) add(t.x_min + (k + 0.5) * t.dx, t.radius_at(k));
    add(end == t.n - 1 ? t.x_max : t.x_min + (end + 1) * t.dx, t.radius_at(end));
    pieces.push_back(std::move(o));
    i = end + 1;
  }
  return pieces;
}

namespace {

void emit(TriangleSink& sink, const Point& a, const Point& b, const Point& c, const Point& outward) {
  double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
  Point n = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
  double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  if (!(length > 0)) return;  // no area: on the axis
  n = {n.x / length, n.y / length, n.z / length};
  if (n.x * outward.x + n.y * outward.y + n.z * outward.z < 0) {
    sink.triangle(a, c, b, {-n.x, -n.y, -n.z});
  } else {
    sink.triangle(a, b, c, n);
  }
}

}  // namespace

void mesh_turned(const TurnedPart& t, TriangleSink& sink) {
  const double axis = t.surface + t.radius;
  double cosine[kTurnedSides + 1], sine[kTurnedSides + 1];
  for (int j = 0; j <= kTurnedSides; ++j) {
    double a = 2 * kPi * (j % kTurnedSides) / kTurnedSides;
    cosine[j] = std::cos(a);
    sine[j] = std::sin(a);
  }
  auto ring = [&](const OutlinePoint& p, std::vector<Point>& out) {
    out.clear();
    for (int j = 0; j <= kTurnedSides; ++j) out.push_back({p.x, axis + p.r * cosine[j], p.r * sine[j]});
  };
  std::vector<Point> a, b;
  for (const Outline& o : turned_outline(t)) {
    ring(o.front(), a);
    for (int j = 0; j < kTurnedSides; ++j)
      emit(sink, {o.front().x, axis, 0}, a[static_cast<std::size_t>(j)], a[static_cast<std::size_t>(j) + 1], {-1, 0, 0});
    for (std::size_t k = 1; k < o.size(); ++k) {
      ring(o[k], b);
      for (std::size_t j = 0; j < kTurnedSides; ++j) {
        // Outward: off the axis, tilted along X as the outline slopes.
        Point out = {-(o[k].r - o[k - 1].r), (a[j].y - axis) * (o[k].x - o[k - 1].x), a[j].z * (o[k].x - o[k - 1].x)};
        emit(sink, a[j], b[j], b[j + 1], out);
        emit(sink, a[j], b[j + 1], a[j + 1], out);
      }
      a.swap(b);
    }
    for (int j = 0; j < kTurnedSides; ++j)
      emit(sink, {o.back().x, axis, 0}, a[static_cast<std::size_t>(j)], a[static_cast<std::size_t>(j) + 1], {1, 0, 0});
  }
}

namespace {

// Two decimals of X, never "-0.00".
double shown(double v, double unit) { return std::fabs(v) < unit / 2 ? 0.0 : v; }

struct Range {
  int first, last;  // cells
  enum Kind { Even, Taper, Curve } kind;
};

// The cells in ranges: of one diameter (two cells or more), tapers (three cells or more in equal
// steps) between them, and what is neither.
std::vector<Range> ranges_of(const TurnedPart& t) {
  std::vector<Range> out;
  auto same = [&](double a, double b) { return std::fabs(a - b) <= kSame; };
  int i = 0;
  while (i < t.n) {
    int end = i;
    while (end + 1 < t.n && same(t.radius_at(end + 1), t.radius_at(i))) ++end;
    if (end > i || t.n == 1) {
      out.push_back({i, end, Range::Even});
      i = end + 1;
      continue;
    }
    // Not even: a taper as long as the steps stay equal and no even range begins.
    auto even_from = [&](int k) { return k + 1 < t.n && same(t.radius_at(k + 1), t.radius_at(k)); };
    double step = i + 1 < t.n ? t.radius_at(i + 1) - t.radius_at(i) : 0;
    end = i;
    while (end + 1 < t.n && !even_from(end + 1) && same(t.radius_at(end + 1) - t.radius_at(end), step)) ++end;
    if (end >= i + 2) {
      out.push_back({i, end, Range::Taper});
    } else if (!out.empty() && out.back().kind == Range::Curve && out.back().last == i - 1) {
      out.back().last = end = i;
    } else {
      out.push_back({i, end = i, Range::Curve});
    }
    i = end + 1;
  }
  return out;
}

}  // namespace

void print_turned(std::FILE* out, const Part& part) {
  const TurnedPart& t = *part.turned;
  std::fprintf(out, "\nPart turned\n");
  std::fprintf(out, "  Bar X from %.4f to %.4f, %.4f across\n", t.x_min, t.x_max, 2 * t.radius);
  std::fprintf(out, "  Surface at Y %.4f, axis at Y %.4f\n", t.surface, t.surface + t.radius);
  std::fprintf(out, "  Cells:           %d along X of %.5f\n", t.n, t.dx);
  if (t.nose > 0) std::fprintf(out, "  Cutting moves:   %ld (tool nose radius %.4f)\n", part.cut_moves, t.nose);
  else std::fprintf(out, "  Cutting moves:   %ld (tool a point)\n", part.cut_moves);
  print_rapids(out, part);
  // Each range from one X to the next, where a taper meets its neighbour's diameter.
  std::vector<Range> ranges = ranges_of(t);
  auto centre = [&](int i) { return t.x_min + (i + 0.5) * t.dx; };
  auto line = [&](const Range& r, double x) {  // the taper's radius at x
    double x0 = centre(r.first), x1 = centre(r.last), r0 = t.radius_at(r.first), r1 = t.radius_at(r.last);
    return r0 + (x - x0) * (r1 - r0) / (x1 - x0);
  };
  std::vector<double> edge(ranges.size() + 1);
  edge[0] = t.x_min;
  edge[ranges.size()] = t.x_max;
  for (std::size_t k = 1; k < ranges.size(); ++k) {
    const Range &a = ranges[k - 1], &b = ranges[k];
    double x = t.x_min + b.first * t.dx;
    const Range* taper = a.kind == Range::Taper ? &a : b.kind == Range::Taper ? &b : nullptr;
    const Range* even = a.kind == Range::Even ? &a : b.kind == Range::Even ? &b : nullptr;
    if (taper != nullptr && even != nullptr) {
      double x0 = centre(taper->first), x1 = centre(taper->last);
      double r0 = t.radius_at(taper->first), r1 = t.radius_at(taper->last), level = t.radius_at(even->first);
      if (r1 != r0) {
        double meet = x0 + (level - r0) * (x1 - x0) / (r1 - r0);
        if (std::fabs(meet - x) <= t.dx) x = meet;
      }
    }
    edge[k] = x;
  }
  std::fprintf(out, "  Diameters:       ");
  constexpr std::size_t kListed = 20;
  for (std::size_t k = 0; k < ranges.size() && k < kListed; ++k) {
    const Range& r = ranges[k];
    std::fprintf(out, "%sX %.2f\u2013%.2f: ", k == 0 ? "" : "; ", shown(edge[k], 0.01), shown(edge[k + 1], 0.01));
    if (r.kind == Range::Even) {
      std::fprintf(out, "\u2300 %.3f", 2 * t.radius_at(r.first));
    } else {
      bool taper = r.kind == Range::Taper;
      double d0 = 2 * (taper ? line(r, edge[k]) : t.radius_at(r.first));
      double d1 = 2 * (taper ? line(r, edge[k + 1]) : t.radius_at(r.last));
      std::fprintf(out, "%s \u2300 %.3f\u2013%.3f", taper ? "taper" : "curved", shown(d0, 0.001), shown(d1, 0.001));
    }
  }
  if (ranges.size() > kListed)
    std::fprintf(out, "; and %lu more ranges", static_cast<unsigned long>(ranges.size() - kListed));
  std::fprintf(out, "\n");
}
