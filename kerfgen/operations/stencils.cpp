// stencils.cpp - mill_QFP176 and mill_TSSOP54: the package geometry is built in, in millimetres.
#include "stencils.h"

#include <cstddef>

#include "writer.h"

namespace {

constexpr double kTravelZ = 0.003;  // between slots, just clear of the stencil sheet
constexpr double kZFeed = 3.0;
constexpr double kXYFeed = 4.0;
constexpr double kMmPerInch = 25.4;

struct Point {
  double x, y;  // millimetres from the package centre
};

// One row of pads. Slot k is cut from where the tool stands to cut + k * pitch; the tool then
// rises and goes to back + (k + 1) * pitch, the start of the next slot.
struct PadRow {
  const char* comment;
  int pads;
  Point start, cut, back, pitch;
};

// Every row is centred on the package, its 44 pads from -10.75 to +10.75 mm, and every slot
// spans a whole pad, 12.15 to 13.35 mm out: the package is the same on all four sides.
const PadRow kQfp176[] = {
    {"; Mill top row\n", 44, {-10.75, 13.35}, {-10.75, 12.15}, {-10.75, 13.35}, {0.5, 0}},
    {"; Mill right side row\n", 44, {12.15, 10.75}, {13.35, 10.75}, {12.15, 10.75}, {0, -0.5}},
    {"; Mill bottom row\n", 44, {10.75, -12.15}, {10.75, -13.35}, {10.75, -12.15}, {-0.5, 0}},
    {"; Mill left side row\n", 44, {-13.35, -10.75}, {-12.15, -10.75}, {-13.35, -10.75}, {0, 0.5}},
};

const PadRow kTssop54[] = {
    {"; Mill top row\n", 27, {-10.4, 6.2}, {-10.4, 5.0}, {-10.4, 6.2}, {0.8, 0}},
    {"; Mill bottom row\n", 27, {10.4, -5.0}, {10.4, -6.2}, {10.4, -5.0}, {-0.8, 0}},
};

void move_to(double cx, double cy, Point mm, int k, Point pitch) {
  write_xy(cx + (mm.x + k * pitch.x) / kMmPerInch, cy + (mm.y + k * pitch.y) / kMmPerInch,
           kXYFeed);
}

template <std::size_t N>
void mill_stencil(const char* name, const PadRow (&rows)[N], double cx, double cy, double z) {
  write_z(kTravelZ, kZFeed);
  write_text("; Mill %s stencil\n", name);
  for (const PadRow& row : rows) {
    write_text("%s", row.comment);
    move_to(cx, cy, row.start, 0, row.pitch);
    for (int k = 0; k < row.pads; ++k) {
      write_z(z, kZFeed);
      move_to(cx, cy, row.cut, k, row.pitch);
      write_z(kTravelZ, kZFeed);
      move_to(cx, cy, row.back, k + 1, row.pitch);
    }
  }
}

}  // namespace

void mill_QFP176(double cx, double cy, double z) { mill_stencil("QFP176", kQfp176, cx, cy, z); }

void mill_TSSOP54(double cx, double cy, double z) { mill_stencil("TSSOP54", kTssop54, cx, cy, z); }
