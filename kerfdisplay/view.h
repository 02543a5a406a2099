// view.h - the view state and what the mouse, the wheel, the window size and the fit key do
// to it.
#pragma once

// Modifier bits and buttons as the window system reports them (the GLUT values).
constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;
enum class Button { Left, Right, Other };  // Other: middle, wheel steps, extra buttons

struct View {
  double yaw, pitch;              // degrees about the Y and the X axis
  double roll;                    // degrees about the line of sight, after the others (views only)
  double saved_yaw, saved_pitch;  // at the start of the current drag
  double pan_x, pan_y;            // applied after scaling
  double saved_pan_x, saved_pan_y;
  double zoom;   // the scale is 1 / e^zoom
  double scale;
  int drag_x, drag_y;  // pixels, where the left button went down
  int last_zoom_y;
  bool dragging;
  int modifiers;       // read at the last button event
  int width, height;   // from the last reshape
};

extern View view;

void view_reset();

// Turns the view to a named one: "top" (looking down Z, the initial view), "front" (from -Y, Z
// up), "side" (from +X, Z up) or "iso" (from +X -Y +Z, Z up). False for another name.
bool view_named(const char* name);

// Makes the current view the one a right click goes back to.
void view_set_initial();

// Each returns true when the picture has changed and must be drawn again; nothing is drawn
// while nothing changes.
bool view_mouse(Button button, bool pressed, int x, int y, int modifiers);
bool view_motion(int x, int y);

// One wheel step: up (direction > 0) enlarges, down shrinks, as one Shift-drag step does.
bool view_wheel(int direction);

// Scales and shifts the view so that the box (the extents of the tool path) fills most of the
// window, centred on it, at the current angles.
bool view_fit(double x_min, double x_max, double y_min, double y_max, double z_min, double z_max);

// Brings each angle into 0..360: above 360 a turn is taken off, below 0 one is added, until it
// fits (360 itself stays 360).
void view_keep_angles();

// A square viewport of the window's width, centred vertically. Returns false for a height of 0,
// which is ignored.
struct Viewport {
  int x, y, width, height;
};
bool view_reshape(int width, int height, Viewport& viewport);
