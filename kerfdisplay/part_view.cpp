// part_view.cpp - the simulated part drawn with OpenGL 1.1 vertex arrays: one triangle strip
// per row of the surface, smooth-shaded under a light at the eye, so that walls show dark from
// above and turn to the light as the part turns.
#include "part_view.h"

#include "window.h"  // first: on Windows it brings what the OpenGL headers need

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "turned_part.h"

namespace {

struct Surface {
  int w = 0, h = 0;  // vertices along X and Y, a border row at the stock's edges included
  float* position = nullptr;        // 3 a vertex
  signed char* normal = nullptr;    // 3 a vertex
  unsigned char* colour = nullptr;  // 3 a vertex
  GLuint* strip = nullptr;          // 2 w: one row's strip, the next row w vertices on
  Stock stock{};
  bool ready = false;
};

Surface surface;

void release() {
  std::free(surface.position);
  std::free(surface.normal);
  std::free(surface.colour);
  std::free(surface.strip);
  surface = Surface{};
}

// Untouched stock in steel; cut faces warm, darker the deeper they lie.
void colour_for(double z, const Stock& s, unsigned char* out) {
  static const float kStock[3] = {0.72f, 0.74f, 0.78f};
  static const float kShallow[3] = {0.95f, 0.74f, 0.38f};
  static const float kDeep[3] = {0.55f, 0.24f, 0.07f};
  double depth = (s.z_max - z) / (s.z_max - s.z_min);
  for (int c = 0; c < 3; ++c) {
    float v = z >= s.z_max ? kStock[c]
                           : static_cast<float>(kShallow[c] + (kDeep[c] - kShallow[c]) * std::min(1.0, depth));
    out[c] = static_cast<unsigned char>(std::lround(v * 255));
  }
}

}  // namespace

namespace {

// A turned part: triangles with their normals (smooth round the axis, each band of the outline
// flat along it) and colours.
struct TurnedSurface {
  std::vector<float> position, normal;
  std::vector<unsigned char> colour;
  bool ready = false;
};
TurnedSurface turned_surface;

bool build_turned(const TurnedPart& t) {
  TurnedSurface& m = turned_surface;
  m = TurnedSurface{};
  const double axis = t.surface + t.radius;
  // The outline's depth below the bar's surface, as the grid's depth below the stock's top.
  Stock depth = {0, 0, -t.radius, 0, 0, 0};
  auto put = [&](double x, double r, double angle, double nx, double nr, double z_depth) {
    double c = std::cos(angle), s = std::sin(angle);
    for (double v : {x, axis + r * c, r * s}) m.position.push_back(static_cast<float>(v));
    for (double v : {nx, nr * c, nr * s}) m.normal.push_back(static_cast<float>(v));
    unsigned char rgb[3];
    colour_for(z_depth, depth, rgb);
    m.colour.insert(m.colour.end(), rgb, rgb + 3);
  };
  const double step = 2 * 3.14159265358979323846 / kTurnedSides;
  try {
    for (const Outline& o : turned_outline(t)) {
      for (int side : {0, 1}) {  // the end caps
        const OutlinePoint& p = side == 0 ? o.front() : o.back();
        double z = p.r >= t.radius - 1e-9 ? 0.0 : p.r - t.radius;
        for (int j = 0; j < kTurnedSides; ++j) {
          put(p.x, 0, 0, side == 0 ? -1 : 1, 0, z);
          put(p.x, p.r, j * step, side == 0 ? -1 : 1, 0, z);
          put(p.x, p.r, (j + 1) * step, side == 0 ? -1 : 1, 0, z);
        }
      }
      for (std::size_t k = 1; k < o.size(); ++k) {
        const OutlinePoint &a = o[k - 1], &b = o[k];
        double dx = b.x - a.x, dr = b.r - a.r, length = std::sqrt(dx * dx + dr * dr);
        double nx = -dr / length, nr = dx / length;
        auto depth_of = [&](double r) { return r >= t.radius - 1e-9 ? 0.0 : r - t.radius; };
        for (int j = 0; j < kTurnedSides; ++j) {
          put(a.x, a.r, j * step, nx, nr, depth_of(a.r));
          put(b.x, b.r, j * step, nx, nr, depth_of(b.r));
          put(b.x, b.r, (j + 1) * step, nx, nr, depth_of(b.r));
          put(a.x, a.r, j * step, nx, nr, depth_of(a.r));
          put(b.x, b.r, (j + 1) * step, nx, nr, depth_of(b.r));
          put(a.x, a.r, (j + 1) * step, nx, nr, depth_of(a.r));
        }
      }
    }
  } catch (const std::bad_alloc&) {
    m = TurnedSurface{};
    return false;
  }
  m.ready = true;
  return true;
}

}  // namespace

bool part_view_build(const Part& part) {
  release();
  turned_surface = TurnedSurface{};
  if (part.turned != nullptr) return build_turned(*part.turned);
  // Each shown cell stands for step x step cells of the part, and shows the deepest of them.
  const int step = std::max(1, (std::max(part.nx, part.ny) + kShownCells - 1) / kShownCells);
  const int sx = (part.nx + step - 1) / step, sy = (part.ny + step - 1) / step;
  const int w = sx + 2, h = sy + 2;
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  surface.position = static_cast<float*>(std::malloc(n * 3 * sizeof(float)));
  surface.normal = static_cast<signed char*>(std::malloc(n * 3));
  surface.colour = static_cast<unsigned char*>(std::malloc(n * 3));
  surface.strip = static_cast<GLuint*>(std::malloc(2 * static_cast<std::size_t>(w) * sizeof(GLuint)));
  if (surface.position == nullptr || surface.normal == nullptr || surface.colour == nullptr ||
      surface.strip == nullptr) {
    release();
    return false;
  }
  const Stock& s = part.stock;
  surface.w = w;
  surface.h = h;
  surface.stock = s;
  // The shown cell a vertex stands on, its border row on the edge cells.
  auto shown = [&](int a, int b) {
    int ca = std::min(std::max(a - 1, 0), sx - 1), cb = std::min(std::max(b - 1, 0), sy - 1);
    float deepest = static_cast<float>(s.z_max);
    for (int j = cb * step; j < std::min((cb + 1) * step, part.ny); ++j)
      for (int i = ca * step; i < std::min((ca + 1) * step, part.nx); ++i)
        deepest = std::min(deepest, part.height[static_cast<std::size_t>(j) * static_cast<std::size_t>(part.nx) +
                                                static_cast<std::size_t>(i)]);
    return deepest;
  };
  const double cx = part.dx * step, cy = part.dy * step;
  for (int b = 0; b < h; ++b) {
    double y = b == 0 ? s.y_min : b == h - 1 ? s.y_max : std::min(s.y_min + (b - 0.5) * cy, s.y_max);
    for (int a = 0; a < w; ++a) {
      double x = a == 0 ? s.x_min : a == w - 1 ? s.x_max : std::min(s.x_min + (a - 0.5) * cx, s.x_max);
      std::size_t k = (static_cast<std::size_t>(b) * static_cast<std::size_t>(w) + static_cast<std::size_t>(a)) * 3;
      float z = shown(a, b);
      surface.position[k] = static_cast<float>(x);
      surface.position[k + 1] = static_cast<float>(y);
      surface.position[k + 2] = z;
      // The slope between the neighbours on either side.
      double gx = (shown(a + 1, b) - shown(a - 1, b)) / (2 * cx);
      double gy = (shown(a, b + 1) - shown(a, b - 1)) / (2 * cy);
      double length = std::sqrt(gx * gx + gy * gy + 1);
      surface.normal[k] = static_cast<signed char>(std::lround(-gx / length * 127));
      surface.normal[k + 1] = static_cast<signed char>(std::lround(-gy / length * 127));
      surface.normal[k + 2] = static_cast<signed char>(std::lround(1 / length * 127));
      colour_for(z, s, surface.colour + k);
    }
  }
  for (int a = 0; a < w; ++a) {
    surface.strip[2 * a] = static_cast<GLuint>(a + w);
    surface.strip[2 * a + 1] = static_cast<GLuint>(a);
  }
  surface.ready = true;
  return true;
}

namespace {

// The stock's four sides, from the surface's border down to the bottom, and the bottom.
void draw_sides() {
  const Stock& s = surface.stock;
  const int w = surface.w, h = surface.h;
  const float* p = surface.position;
  auto side = [&](int start, int count, int stride, float nx, float ny) {
    glNormal3f(nx, ny, 0);
    glBegin(GL_QUAD_STRIP);
    for (int k = 0; k < count; ++k) {
      const float* v = p + static_cast<std::size_t>(start + k * stride) * 3;
      glVertex3f(v[0], v[1], static_cast<float>(s.z_min));
      glVertex3f(v[0], v[1], v[2]);
    }
    glEnd();
  };
  glColor3ub(184, 189, 199);
  side(0, w, 1, 0, -1);
  side((h - 1) * w, w, 1, 0, 1);
  side(0, h, w, -1, 0);
  side(w - 1, h, w, 1, 0);
  glNormal3f(0, 0, -1);
  glBegin(GL_QUADS);
  glVertex3d(s.x_min, s.y_min, s.z_min);
  glVertex3d(s.x_min, s.y_max, s.z_min);
  glVertex3d(s.x_max, s.y_max, s.z_min);
  glVertex3d(s.x_max, s.y_min, s.z_min);
  glEnd();
}

}  // namespace

void draw_part() {
  if (!surface.ready && !turned_surface.ready) return;
  glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT);
  // A light over the eye's shoulder, so that the view from straight above still shows the
  // slope of every wall. The model-view matrix is the eye's own here only at its identity;
  // the direction is given in the eye's frame through a pushed identity.
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  const GLfloat direction[4] = {-0.3f, 0.4f, 1.0f, 0.0f};
  const GLfloat ambient[4] = {0.35f, 0.35f, 0.35f, 1.0f};
  const GLfloat diffuse[4] = {0.75f, 0.75f, 0.75f, 1.0f};
  glLightfv(GL_LIGHT0, GL_POSITION, direction);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
  glPopMatrix();
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  glEnable(GL_NORMALIZE);  // the view's scale scales the normals too
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
  glShadeModel(GL_SMOOTH);
  // Smoothed polygons would show every edge between triangles as a seam; the path drawn at
  // the floor of a cut must lie in front of it.
  glDisable(GL_POLYGON_SMOOTH);
  glDisable(GL_CULL_FACE);
  glDisable(GL_BLEND);
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(1, 500);

  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  if (turned_surface.ready) {
    // A closed solid shows only its outside: each normal lights as it is given, whichever way
    // its triangle winds.
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_FALSE);
    const TurnedSurface& m = turned_surface;
    glVertexPointer(3, GL_FLOAT, 0, m.position.data());
    glNormalPointer(GL_FLOAT, 0, m.normal.data());
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, m.colour.data());
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(m.position.size() / 3));
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glShadeModel(GL_FLAT);
    glPopAttrib();
    return;
  }
  const std::size_t w = static_cast<std::size_t>(surface.w);
  for (int b = 0; b + 1 < surface.h; ++b) {
    std::size_t first = static_cast<std::size_t>(b) * w * 3;
    glVertexPointer(3, GL_FLOAT, 0, surface.position + first);
    glNormalPointer(GL_BYTE, 0, surface.normal + first);
    glColorPointer(3, GL_UNSIGNED_BYTE, 0, surface.colour + first);
    glDrawElements(GL_TRIANGLE_STRIP, static_cast<GLsizei>(2 * w), GL_UNSIGNED_INT, surface.strip);
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  draw_sides();
  glShadeModel(GL_FLAT);
  glPopAttrib();
}
