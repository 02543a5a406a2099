// view.cpp - turning, zooming and panning the scene by mouse; no window system calls here.
#include "view.h"

#include <cmath>

View view;

void view_reset() {
  view = View{};
  view.scale = 1.0;
}

namespace {

// NOTE: a bound far past any useful zoom keeps the scale a finite, non-zero float however long
// the mouse is dragged, so that panning (which divides by it) stays finite.
constexpr double kZoomLimit = 50.0;

void restore_initial_view() {
  view.yaw = view.pitch = view.saved_yaw = view.saved_pitch = 0;
  view.zoom = 0;
  view.scale = 1.0;
  view.pan_x = view.pan_y = view.saved_pan_x = view.saved_pan_y = 0;
}

}  // namespace

Idle view_mouse(Button button, bool pressed, int x, int y, int modifiers) {
  view.modifiers = modifiers;
  if (button == Button::Right && pressed) {
    restore_initial_view();
    return Idle::Unchanged;
  }
  if (button != Button::Left) return Idle::Unchanged;
  if (pressed) {
    view.dragging = true;
    view.drag_x = x;
    view.drag_y = y;
    // The modifier state is compared as a whole: Shift with anything else is neither.
    if (modifiers == kShift) {
      view.last_zoom_y = y;
      return Idle::Redraw;
    }
    return modifiers == kAlt ? Idle::Redraw : Idle::KeepAngles;
  }
  view.dragging = false;
  view.saved_yaw = view.yaw;
  view.saved_pitch = view.pitch;
  view.saved_pan_x = view.pan_x;
  view.saved_pan_y = view.pan_y;
  return Idle::Redraw;
}

Idle view_motion(int x, int y) {
  if (!view.dragging) return Idle::Unchanged;
  double dx = x - view.drag_x;
  double dy = -(y - view.drag_y);  // upward is positive
  if (view.modifiers == kShift) {
    if (y - view.last_zoom_y < 1) view.zoom -= 0.05;
    else view.zoom += 0.05;
    if (view.zoom > kZoomLimit) view.zoom = kZoomLimit;
    if (view.zoom < -kZoomLimit) view.zoom = -kZoomLimit;
    view.scale = 1 / std::exp(view.zoom);
    view.last_zoom_y = y;
  } else if (view.modifiers == kAlt) {
    view.pan_x = view.saved_pan_x + dx / 50 / view.scale;
    view.pan_y = view.saved_pan_y + dy / 50 / view.scale;
  } else if (view.width > 0 && view.height > 0) {
    // A drag across the whole window is one full turn.
    view.yaw = view.saved_yaw + dx * 360 / view.width;
    view.pitch = view.saved_pitch - dy * 360 / view.height;
  }
  return Idle::KeepAngles;
}

void view_keep_angles() {
  if (view.yaw > 360) view.yaw -= 360;
  if (view.yaw < 0) view.yaw += 360;
  if (view.pitch > 360) view.pitch -= 360;
  if (view.pitch < 0) view.pitch += 360;
}

bool view_reshape(int width, int height, Viewport& viewport) {
  if (height == 0) return false;
  view.width = width;
  view.height = height;
  viewport = {0, (height - width) / 2, width, width};
  return true;
}
