// pick.cpp - the path's segments nearest the mouse, in the pixels of the view.
#include "pick.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// The drawn path stands within this many pixels of the path's own segments it replaces.
constexpr double kDrawnTolerance = 0.5;
// Drawn segments looked at closer, at most (the nearest): drawn lines over one another by the
// thousand (the turns of a helix seen along its axis) stay quick to pick from.
constexpr std::size_t kMostLookedAt = 1024;

struct Projected {
  double x, y, w;
  bool ok;
};

Projected project(const PickView& v, const float* p) {
  const double* m = v.m;
  const double x = p[0], y = p[1], z = p[2];
  Projected q{};
  q.w = m[3] * x + m[7] * y + m[11] * z + m[15];
  // Behind the eye no straight line on the screen stands for the segment.
  q.ok = q.w > 0;
  if (!q.ok) return q;
  q.x = (m[0] * x + m[4] * y + m[8] * z + m[12]) / q.w * v.pixels_x;
  q.y = (m[1] * x + m[5] * y + m[9] * z + m[13]) / q.w * v.pixels_y;
  q.ok = std::isfinite(q.x) && std::isfinite(q.y);
  return q;
}

// How far the segment a-b passes from the mouse, in pixels, and the depth of its nearest point;
// false when it lies farther than `reach` (or behind the eye).
bool near_mouse(const PickView& v, const Projected& a, const Projected& b, double reach, double& pixels, double& depth) {
  if (!a.ok || !b.ok) return false;
  const double mx = v.mouse_x, my = v.mouse_y;
  if ((a.x < mx - reach && b.x < mx - reach) || (a.x > mx + reach && b.x > mx + reach) ||
      (a.y < my - reach && b.y < my - reach) || (a.y > my + reach && b.y > my + reach))
    return false;
  const double dx = b.x - a.x, dy = b.y - a.y, length = dx * dx + dy * dy;
  double t = length > 0 ? ((mx - a.x) * dx + (my - a.y) * dy) / length : 0;
  t = std::min(1.0, std::max(0.0, t));
  const double px = a.x + t * dx - mx, py = a.y + t * dy - my;
  pixels = std::sqrt(px * px + py * py);
  depth = a.w + t * (b.w - a.w);
  return pixels <= reach;
}

struct Drawn {
  long from, to;
  double pixels;
};

}  // namespace

PickView pick_view(const double model_view[16], const double projection[16], int viewport_width,
                   int viewport_height, double mouse_x, double mouse_y) {
  PickView v{};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += projection[k * 4 + r] * model_view[c * 4 + k];
      v.m[c * 4 + r] = sum;
    }
  v.pixels_x = viewport_width / 2.0;
  v.pixels_y = viewport_height / 2.0;
  v.mouse_x = mouse_x;
  v.mouse_y = mouse_y;
  return v;
}

std::vector<PathHit> path_hits(const PickView& view, const SegmentSource& drawn, const SegmentSource& whole) {
  // The drawn segments within reach. Most lie far off: each end is first placed against the
  // square about the mouse in clip space, without a division, and a segment whose two ends lie
  // beyond one side of it is passed over; an end shared with the segment before is placed once.
  const double* m = view.m;
  const double reach = kPickReach + kDrawnTolerance;
  const double left = (view.mouse_x - reach) / view.pixels_x, right = (view.mouse_x + reach) / view.pixels_x;
  const double below = (view.mouse_y - reach) / view.pixels_y, above = (view.mouse_y + reach) / view.pixels_y;
  auto outside = [&](const float* p) {
    const double x = p[0], y = p[1], z = p[2];
    const double w = m[3] * x + m[7] * y + m[11] * z + m[15];
    if (!(w > 0)) return 16;  // behind the eye
    const double cx = m[0] * x + m[4] * y + m[8] * z + m[12], cy = m[1] * x + m[5] * y + m[9] * z + m[13];
    return (cx < left * w ? 1 : 0) | (cx > right * w ? 2 : 0) | (cy < below * w ? 4 : 0) | (cy > above * w ? 8 : 0);
  };
  std::vector<Drawn> near;
  long last_end = -1;
  int last_side = 0;
  drawn(-1, -1, [&](long from, long to, const float* a, const float* b) {
    const int side_a = from == last_end ? last_side : outside(a), side_b = outside(b);
    last_end = to;
    last_side = side_b;
    if ((side_a & side_b) != 0 || ((side_a | side_b) & 16) != 0) return;
    double pixels = 0, depth = 0;
    if (near_mouse(view, project(view, a), project(view, b), reach, pixels, depth)) near.push_back({from, to, pixels});
  });
  std::vector<PathHit> hits;
  if (near.empty()) return hits;
  std::sort(near.begin(), near.end(), [](const Drawn& p, const Drawn& q) { return p.pixels < q.pixels; });
  // A path segment lies within the tolerance of the drawn one that stands for it: only the
  // drawn ones that far from the nearest can hold one within kPickSame of the nearest.
  const double bound = near.front().pixels + 2 * kDrawnTolerance + kPickSame;
  for (std::size_t k = 0; k < near.size() && k < kMostLookedAt && near[k].pixels <= bound; ++k) {
    whole(near[k].from, near[k].to, [&](long, long to, const float* a, const float* b) {
      double pixels = 0, depth = 0;
      if (near_mouse(view, project(view, a), project(view, b), kPickReach, pixels, depth))
        hits.push_back({to, pixels, depth});
    });
  }
  if (hits.empty()) return hits;
  double nearest = hits.front().pixels;
  for (const PathHit& h : hits) nearest = std::min(nearest, h.pixels);
  hits.erase(std::remove_if(hits.begin(), hits.end(), [&](const PathHit& h) { return h.pixels > nearest + kPickSame; }),
             hits.end());
  // The nearest to the mouse first, to a quarter of a pixel (what a hand can aim at); of moves
  // as near as that, drawn over one another, the nearest to the eye, then the first cut.
  auto step = [](const PathHit& h) { return std::floor(h.pixels * 4); };
  std::sort(hits.begin(), hits.end(), [&](const PathHit& p, const PathHit& q) {
    if (step(p) != step(q)) return step(p) < step(q);
    return p.depth != q.depth ? p.depth < q.depth : p.vertex < q.vertex;
  });
  hits.erase(std::unique(hits.begin(), hits.end(), [](const PathHit& p, const PathHit& q) { return p.vertex == q.vertex; }),
             hits.end());
  return hits;
}

std::vector<VertexLines::Run> moves_of(const std::vector<PathHit>& hits, const VertexLines& lines) {
  std::vector<VertexLines::Run> runs;
  runs.reserve(hits.size());
  for (const PathHit& hit : hits) {
    const VertexLines::Run run = lines.run_of(hit.vertex);
    if (run.count > 0) runs.push_back(run);
  }
  // Each line's first hit kept, the rest dropped, the order otherwise as it was.
  std::vector<std::size_t> order(runs.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return runs[a].line < runs[b].line; });
  std::vector<bool> first(runs.size(), false);
  for (std::size_t k = 0; k < order.size(); ++k)
    first[order[k]] = k == 0 || runs[order[k]].line != runs[order[k - 1]].line;
  std::size_t kept = 0;
  for (std::size_t k = 0; k < runs.size(); ++k)
    if (first[k]) runs[kept++] = runs[k];
  runs.resize(kept);
  return runs;
}
