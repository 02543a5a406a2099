// view.h - the view state and what the mouse, the window size and the idle time do to it.
#pragma once

// Modifier bits and buttons as the window system reports them (the GLUT values).
constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;
enum class Button { Left, Right, Other };  // Other: middle, wheel steps, extra buttons

struct View {
  double yaw, pitch;              // degrees about the Y and the X axis
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

// Which idle function the window should run from now on.
enum class Idle { Unchanged, Redraw, KeepAngles };

Idle view_mouse(Button button, bool pressed, int x, int y, int modifiers);
Idle view_motion(int x, int y);

// Brings each angle back towards 0..360 by one turn at most per call.
void view_keep_angles();

// A square viewport of the window's width, centred vertically. Returns false for a height of 0,
// which is ignored.
struct Viewport {
  int x, y, width, height;
};
bool view_reshape(int width, int height, Viewport& viewport);
