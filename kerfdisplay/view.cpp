// view.cpp - turning, zooming and panning the scene by mouse; no window system calls here.
#include "view.h"

#include <cmath>
#include <cstring>

View view;

namespace {

View initial;  // what a right click brings back

}  // namespace

void view_reset() {
  view = View{};
  view.scale = 1.0;
  initial = view;
}

namespace {

constexpr double kPi = 3.14159265358979323846;

// NOTE: a bound far past any useful zoom keeps the scale a finite, non-zero float however long
// the mouse is dragged, so that panning (which divides by it) stays finite.
constexpr double kZoomLimit = 50.0;
constexpr double kZoomStep = 0.05;  // e^0.05 per Shift-drag step or wheel step

// The eye stands 8 from the origin and sees 22.5 degrees each way across the viewport.
constexpr double kEyeDistance = 8.0;
const double kHalfField = kEyeDistance * std::tan(22.5 * kPi / 180);
// Fitting leaves a margin, and room for perspective to enlarge the near side of the path.
constexpr double kFitShare = 0.85;

void restore_initial_view() {
  view.yaw = view.saved_yaw = initial.yaw;
  view.pitch = view.saved_pitch = initial.pitch;
  view.roll = initial.roll;
  view.zoom = initial.zoom;
  view.scale = initial.scale;
  view.pan_x = view.saved_pan_x = initial.pan_x;
  view.pan_y = view.saved_pan_y = initial.pan_y;
}

struct NamedView {
  const char* name;
  double yaw, pitch, roll;
};

// The pitch turns first (about X), then the yaw (about the screen's vertical), then the roll:
// -90 of pitch stands Z up with -Y towards the eye. The iso view's pitch and yaw bring the
// diagonal (1, -1, 1) onto the line of sight; its roll stands Z up again.
const NamedView kViews[] = {
    {"top", 0, 0, 0},
    {"front", 0, 270, 0},
    {"side", 270, 270, 0},
    {"iso", 360 - 35.26438968275465, 315, -30},
};

void set_zoom(double zoom) {
  if (zoom > kZoomLimit) zoom = kZoomLimit;
  if (zoom < -kZoomLimit) zoom = -kZoomLimit;
  view.zoom = zoom;
  view.scale = 1 / std::exp(view.zoom);
}

double keep_angle(double a) {
  if (a > 360) {
    a = std::fmod(a, 360);
    if (a == 0) a = 360;
  }
  if (a < 0) {
    a = std::fmod(a, 360) + 360;
    if (a == 360) a = 0;
  }
  return a;
}

}  // namespace

bool view_named(const char* name) {
  for (const NamedView& v : kViews) {
    if (std::strcmp(v.name, name) != 0) continue;
    view.yaw = view.saved_yaw = v.yaw;
    view.pitch = view.saved_pitch = v.pitch;
    view.roll = v.roll;
    return true;
  }
  return false;
}

void view_set_initial() { initial = view; }

bool view_mouse(Button button, bool pressed, int x, int y, int modifiers) {
  view.modifiers = modifiers;
  if (button == Button::Right && pressed) {
    restore_initial_view();
    return true;
  }
  if (button != Button::Left) return false;
  if (pressed) {
    view.dragging = true;
    view.drag_x = x;
    view.drag_y = y;
    // The modifier state is compared as a whole: Shift with anything else is neither.
    if (modifiers == kShift) view.last_zoom_y = y;
    return false;
  }
  view.dragging = false;
  view.saved_yaw = view.yaw;
  view.saved_pitch = view.pitch;
  view.saved_pan_x = view.pan_x;
  view.saved_pan_y = view.pan_y;
  return false;
}

bool view_motion(int x, int y) {
  if (!view.dragging) return false;
  double dx = x - view.drag_x;
  double dy = -(y - view.drag_y);  // upward is positive
  if (view.modifiers == kShift) {
    set_zoom(y - view.last_zoom_y < 1 ? view.zoom - kZoomStep : view.zoom + kZoomStep);
    view.last_zoom_y = y;
  } else if (view.modifiers == kAlt) {
    view.pan_x = view.saved_pan_x + dx / 50 / view.scale;
    view.pan_y = view.saved_pan_y + dy / 50 / view.scale;
  } else if (view.width > 0 && view.height > 0) {
    // A drag across the whole window is one full turn.
    view.yaw = view.saved_yaw + dx * 360 / view.width;
    view.pitch = view.saved_pitch - dy * 360 / view.height;
  }
  view_keep_angles();
  return true;
}

bool view_wheel(int direction) {
  if (direction == 0) return false;
  set_zoom(direction > 0 ? view.zoom - kZoomStep : view.zoom + kZoomStep);
  return true;
}

bool view_fit(double x_min, double x_max, double y_min, double y_max, double z_min, double z_max) {
  const double yaw = view.yaw * kPi / 180, pitch = view.pitch * kPi / 180;
  const double roll = view.roll * kPi / 180;
  // A point as the current angles turn it (pitch about X, then yaw about Y, then roll about Z).
  auto turn = [&](double x, double y, double z, double& tx, double& ty, double& tz) {
    double y1 = y * std::cos(pitch) - z * std::sin(pitch);
    double z1 = y * std::sin(pitch) + z * std::cos(pitch);
    double x2 = x * std::cos(yaw) + z1 * std::sin(yaw);
    tx = x2 * std::cos(roll) - y1 * std::sin(roll);
    ty = x2 * std::sin(roll) + y1 * std::cos(roll);
    tz = -x * std::sin(yaw) + z1 * std::cos(yaw);
  };
  double cx, cy, cz;
  turn((x_min + x_max) / 2, (y_min + y_max) / 2, (z_min + z_max) / 2, cx, cy, cz);
  // The pan brings the turned centre onto the line of sight.
  view.pan_x = view.saved_pan_x = -cx;
  view.pan_y = view.saved_pan_y = -cy;
  double half_x = 0, half_y = 0, near = 0;  // how far the turned corners reach from the centre
  for (int corner = 0; corner < 8; ++corner) {
    double tx, ty, tz;
    turn(corner & 1 ? x_max : x_min, corner & 2 ? y_max : y_min, corner & 4 ? z_max : z_min, tx, ty, tz);
    half_x = std::fmax(half_x, std::fabs(tx - cx));
    half_y = std::fmax(half_y, std::fabs(ty - cy));
    near = std::fmax(near, tz - cz);
  }
  // The window shows less of the square viewport's height when it is wider than tall.
  double seen_y = kHalfField;
  if (view.width > 0 && view.height < view.width) seen_y = seen_y * view.height / view.width;
  double scale = HUGE_VAL;
  if (half_x > 0) scale = kFitShare * kHalfField / half_x;
  if (half_y > 0) scale = std::fmin(scale, kFitShare * seen_y / half_y);
  if (scale == HUGE_VAL) return true;  // a single point: centred, the scale kept
  // The side nearest the eye looks larger in perspective: shrink until it fits as well.
  if (scale * near > 0) scale = scale * (kEyeDistance - std::fmin(scale * near, kEyeDistance / 2)) / kEyeDistance;
  set_zoom(-std::log(scale));
  return true;
}

void view_keep_angles() {
  view.yaw = keep_angle(view.yaw);
  view.pitch = keep_angle(view.pitch);
}

bool view_reshape(int width, int height, Viewport& viewport) {
  if (height == 0) return false;
  view.width = width;
  view.height = height;
  viewport = {0, (height - width) / 2, width, width};
  return true;
}
