// display.cpp - the viewer window: start-up, the compiled scene (the tool path, drawn for each
// view at rest as its pixels need it, and the simulated part when asked for), the GLUT callbacks,
// and the --png picture of the initial view.
#include "display.h"

#include "window.h"  // first: on Windows it brings what the OpenGL headers need

#include <GL/glu.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "files.h"
#include "gcode_interpreter.h"
#include "gcode_resume.h"
#include "job_place.h"
#include "gcode_messages.h"
#include "line_index.h"
#include "part_view.h"
#include "path_buffer.h"
#include "picture.h"
#include "path_csv.h"
#include "pick.h"
#include "window_title.h"
#include "gcode_reader.h"
#include "simulation.h"
#include "turned_part.h"
#include "gcode_summary.h"
#include "view.h"

namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 2;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;

static_assert(kShift == GLUT_ACTIVE_SHIFT && kCtrl == GLUT_ACTIVE_CTRL && kAlt == GLUT_ACTIVE_ALT,
              "the view's modifier bits are GLUT's");

GLuint axes_list;  // the axes and their labels
GLuint box_list;   // the translucent box round the path
bool show_travel = true;
bool drag_moved;     // the view moved since the left button went down

// What the window shows: the path, the simulated part under it, or the part alone. The part is
// simulated when first asked for.
enum class Shown { Path, PartAndPath, Part };
Shown shown = Shown::Path;
const char* file_name;
SimOptions sim;
enum class PartState { NotTried, Ready, Refused } part_state = PartState::NotTried;
Stock part_stock{};  // the simulated block, once the part is ready

// The job's place, with --line and --follow: the path's first done_vertices vertices are done,
// and the tool stands at the marker.
constexpr Colour kMarkerColour = {1.0f, 0.0f, 1.0f};
constexpr float kMarkerSize = 10;
constexpr unsigned kFollowMilliseconds = 250;
BufferSink buffer_sink;
PlaceSink place_sink(buffer_sink);
long done_vertices = 0;
bool marker_shown = false;
JobPlace marker;
JournalWatch* watch = nullptr;
std::string plain_title;
std::string job_part;   // the title's word on the job, when following it
std::string pick_part;  // the title's word on the line picked last

// The line picked last (a click, or l, on the path): its move drawn over everything in the mark's
// colour, its end a dot, until the next pick. The lines' text and Kerfsend's word on a resume
// come from the file, read again through the index of its lines.
constexpr Colour kMarkColour = {0.0f, 1.0f, 1.0f};
constexpr float kMarkWidth = 3;
constexpr float kMarkDotSize = 7;
constexpr int kClickSlop = 2;  // pixels the mouse may move between press and release of a click
struct Mark {
  std::vector<float> ends;  // pairs of segment ends, three floats each
  long generation = 0;      // a new one each time the mark changes
};
Mark mark;
LineIndex line_index;
PathForm drawn_form = PathForm::Whole;  // the form of the path in the picture shown last
// Where the left button went down, and the view then: a click leaves the view as it was.
struct Press {
  int x = 0, y = 0;
  View view{};
  bool beyond_slop = false;  // the mouse went farther than a click may
};
Press press;
// The last pick, so that a click again at the same place takes the next move there.
struct LastPick {
  int x = 0, y = 0;
  std::vector<long> lines;  // the lines of the moves under the mouse, in the pick's order
  std::size_t index = 0;
};
LastPick last_pick;

void label(const char* text, double x, double y, double z) {
  glRasterPos3d(x, y, z);
  for (const char* c = text; *c != '\0'; ++c)
    glutBitmapCharacter(GLUT_BITMAP_HELVETICA_12, static_cast<unsigned char>(*c));
}

// Six faces, each wound counter-clockwise as seen from outside the box.
void box_faces(const BoundingBox& b) {
  glBegin(GL_QUADS);
  glVertex3d(b.x_min, b.y_min, b.z_min); glVertex3d(b.x_min, b.y_max, b.z_min);  // Z min
  glVertex3d(b.x_max, b.y_max, b.z_min); glVertex3d(b.x_max, b.y_min, b.z_min);
  glVertex3d(b.x_min, b.y_min, b.z_max); glVertex3d(b.x_max, b.y_min, b.z_max);  // Z max
  glVertex3d(b.x_max, b.y_max, b.z_max); glVertex3d(b.x_min, b.y_max, b.z_max);
  glVertex3d(b.x_min, b.y_min, b.z_min); glVertex3d(b.x_min, b.y_min, b.z_max);  // X min
  glVertex3d(b.x_min, b.y_max, b.z_max); glVertex3d(b.x_min, b.y_max, b.z_min);
  glVertex3d(b.x_max, b.y_min, b.z_min); glVertex3d(b.x_max, b.y_max, b.z_min);  // X max
  glVertex3d(b.x_max, b.y_max, b.z_max); glVertex3d(b.x_max, b.y_min, b.z_max);
  glVertex3d(b.x_min, b.y_min, b.z_min); glVertex3d(b.x_max, b.y_min, b.z_min);  // Y min
  glVertex3d(b.x_max, b.y_min, b.z_max); glVertex3d(b.x_min, b.y_min, b.z_max);
  glVertex3d(b.x_min, b.y_max, b.z_min); glVertex3d(b.x_min, b.y_max, b.z_max);  // Y max
  glVertex3d(b.x_max, b.y_max, b.z_max); glVertex3d(b.x_max, b.y_max, b.z_min);
  glEnd();
}

// The axes with their labels, and the box, compiled into lists of their own: the part is shown
// with the axes but without the box.
void compile_scene(const BoundingBox& b) {
  axes_list = glGenLists(2);
  box_list = axes_list + 1;
  glNewList(axes_list, GL_COMPILE);
  glBegin(GL_POINTS);
  glColor4f(1, 1, 1, 1);
  glVertex3d(b.x_max + 0.5, 0, 0);
  glVertex3d(0, b.y_max + 0.5, 0);
  glVertex3d(0, 0, b.z_max + 0.5);
  glEnd();

  glBegin(GL_LINES);
  glColor4f(1, 0, 0, 1);
  glVertex3d(b.x_min - 0.5, 0, 0);
  glVertex3d(b.x_max + 0.5, 0, 0);
  glColor4f(0, 1, 0, 1);
  glVertex3d(0, b.y_min - 0.5, 0);
  glVertex3d(0, b.y_max + 0.5, 0);
  glColor4f(0, 0, 1, 1);
  glVertex3d(0, 0, b.z_min - 0.5);
  glVertex3d(0, 0, b.z_max + 0.5);
  glEnd();

  glColor3f(1, 0, 0);
  label("+X", b.x_max + 0.6, 0, 0);
  glColor3f(0, 1, 0);
  label("+Y", 0, b.y_max + 0.6, 0);
  glColor3f(0, 0, 1);
  label("+Z", 0, 0, b.z_max + 0.6);
  glEndList();

  glNewList(box_list, GL_COMPILE);
  // Outlines, then the far faces and then the near faces, translucent over the path.
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glColor4f(1, 1, 1, 0.5f);
  box_faces(b);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glColor4f(1, 1, 1, 0.1f);
  glCullFace(GL_FRONT);
  box_faces(b);
  glCullFace(GL_BACK);
  box_faces(b);
  glEndList();
}

void draw_frame(PathForm form);
void on_reshape(int width, int height);
void warm_up_kept_frame();

// A software driver builds its code for each way of drawing the first time it draws so, and
// dies when it finds no memory for that; a frame of an empty scene, and a line drawn as the path
// is, before the path takes the memory, leave it all built.
void warm_up() {
  compile_scene(BoundingBox{});
  on_reshape(kWindowWidth, kWindowHeight);
  draw_frame(PathForm::Whole);
  warm_up_kept_frame();
  glFinish();
  glDeleteLists(axes_list, 2);
}

// Records the path (with each line's place, for --line and --follow) and compiles the axes
// and the box; false when the file cannot be opened.
bool build_scene(const char* name, bool places) {
  path_drawing_set_up();
  warm_up();
  // NOTE: a driver built on LLVM installs LLVM's handler, which ends the process when memory
  // runs out; the path's recording must see bad_alloc instead and fall back to the reduced path.
  std::set_new_handler(nullptr);
  // The file line of each vertex is kept for the pick, and each line's place only when asked for.
  place_sink.keep_places(places);
  if (!read_gcode_file(name, place_sink)) return false;  // the reader begins with the origin
  compile_scene(interp.box);
  return true;
}

void set_up_gl() {
  interp_reset();
  glClearColor(0, 0, 0, 0);
  glShadeModel(GL_FLAT);
  glEnable(GL_LINE_SMOOTH);
  glEnable(GL_POINT_SMOOTH);
  glEnable(GL_POLYGON_SMOOTH);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glEnable(GL_CULL_FACE);
  glFrontFace(GL_CCW);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glLineWidth(1);
  glPointSize(4);
}

// The eye's distance from the origin, and today's planes, which suffice for a path of a few units.
constexpr double kEyeDistance = 8;
constexpr double kNearPlane = 0.5;
constexpr double kFarPlane = 20;

// Moves the near and the far plane out to what the scene reaches under the current model-view
// matrix: with fixed planes a deep path (or one zoomed out) lost all that lay past them. The
// box, the axes with their labels and the part's stock are all the scene holds.
void set_depth_range() {
  const BoundingBox& b = interp.box;
  double lo[3] = {b.x_min - 0.6, b.y_min - 0.6, b.z_min - 0.6};
  double hi[3] = {b.x_max + 0.6, b.y_max + 0.6, b.z_max + 0.6};
  if (part_state == PartState::Ready) {
    const Stock& s = part_stock;
    const double part_lo[3] = {s.x_min, s.y_min, s.z_min}, part_hi[3] = {s.x_max, s.y_max, s.z_max};
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::fmin(lo[k], part_lo[k]);
      hi[k] = std::fmax(hi[k], part_hi[k]);
    }
  }
  double m[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  double nearest = HUGE_VAL, farthest = 0;
  for (int corner = 0; corner < 8; ++corner) {
    double x = corner & 1 ? hi[0] : lo[0], y = corner & 2 ? hi[1] : lo[1], z = corner & 4 ? hi[2] : lo[2];
    double depth = -(m[2] * x + m[6] * y + m[10] * z + m[14]);  // along the line of sight
    nearest = std::fmin(nearest, depth);
    farthest = std::fmax(farthest, depth);
  }
  double far_plane = std::fmax(kFarPlane, farthest * 1.01 + 1);
  // NOTE: a near plane too close to the eye would leave the depth buffer no precision: it comes
  // in only as far as the scene needs, and no nearer than the far plane allows.
  double near_plane = std::fmin(kNearPlane, std::fmax(nearest * 0.99, far_plane * 1e-5));
  if (!std::isfinite(far_plane)) far_plane = kFarPlane;
  if (!std::isfinite(near_plane)) near_plane = kNearPlane;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, 1, near_plane, far_plane);
  glMatrixMode(GL_MODELVIEW);
}

// While the view is being dragged the reduced path is drawn, so that the picture keeps up with
// the mouse; at rest, the whole path. The part, when shown, is drawn first: the path over it
// is hidden where the part stands in front of it.
// The view's matrices, with the scene's own pushed on the model-view stack.
void set_view_matrices() {
  glLoadIdentity();
  gluLookAt(0, 0, kEyeDistance, 0, 0, 0, 0, 1, 0);
  glPushMatrix();
  glScaled(view.scale, view.scale, view.scale);
  glTranslated(view.pan_x, view.pan_y, 0);
  // The scene turns about its own origin, not about the centre of its box.
  glRotated(view.roll, 0, 0, 1);
  glRotated(view.yaw, 0, 1, 0);
  glRotated(view.pitch, 1, 0, 0);
  set_depth_range();
}

// The view's matrices as OpenGL holds them, and its viewport as on_reshape() set it: what a
// vertex's pixel is worked out from.
struct ViewMatrices {
  double model_view[16], projection[16];
  Viewport viewport;
};
ViewMatrices view_matrices() {
  ViewMatrices m{};
  set_view_matrices();
  glGetDoublev(GL_MODELVIEW_MATRIX, m.model_view);
  glGetDoublev(GL_PROJECTION_MATRIX, m.projection);
  glPopMatrix();
  m.viewport = {0, 0, view.width, view.width};
  view_reshape(view.width, view.height, m.viewport);
  return m;
}

void draw_frame(PathForm form) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(1, 1, 1);
  set_view_matrices();
  if (shown != Shown::Path) draw_part();
  if (shown != Shown::Part) draw_path(form, show_travel, done_vertices, shown != Shown::Path);
  glCallList(axes_list);
  if (shown == Shown::Path) glCallList(box_list);
  if (!mark.ends.empty()) {
    // Over the path, the part and the box, as the tool is.
    glDisable(GL_DEPTH_TEST);
    glColor3f(kMarkColour.red, kMarkColour.green, kMarkColour.blue);
    glLineWidth(kMarkWidth);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, mark.ends.data());
    glDrawArrays(GL_LINES, 0, static_cast<GLsizei>(mark.ends.size() / 3));
    glPointSize(kMarkDotSize);
    glDrawArrays(GL_POINTS, static_cast<GLsizei>(mark.ends.size() / 3 - 1), 1);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPointSize(4);
    glLineWidth(1);
    glEnable(GL_DEPTH_TEST);
  }
  if (marker_shown) {
    // Over everything: the tool is never hidden behind the path, the part or the box.
    glDisable(GL_DEPTH_TEST);
    glPointSize(kMarkerSize);
    glColor3f(kMarkerColour.red, kMarkerColour.green, kMarkerColour.blue);
    glBegin(GL_POINTS);
    glVertex3d(marker.x, marker.y, marker.z);
    glEnd();
    glPointSize(4);
    glEnable(GL_DEPTH_TEST);
  }
  glPopMatrix();
}

// What a frame shows hangs on these alone: a frame asked for with all of them as the last one
// had them (the window uncovered, T, a resize to the size it has) is that frame again.
struct FrameKey {
  double yaw, pitch, roll, scale, pan_x, pan_y;
  int width, height;
  Shown shown;
  PathForm form;
  long screen_path;  // which path for a view at rest
  bool travel, marker;
  long done;
  double marker_x, marker_y, marker_z;
  long mark;
};

bool same_frame(const FrameKey& a, const FrameKey& b) {
  return a.yaw == b.yaw && a.pitch == b.pitch && a.roll == b.roll && a.scale == b.scale &&
         a.pan_x == b.pan_x && a.pan_y == b.pan_y && a.width == b.width && a.height == b.height &&
         a.shown == b.shown && a.form == b.form && a.screen_path == b.screen_path && a.travel == b.travel && a.marker == b.marker &&
         a.done == b.done && a.marker_x == b.marker_x && a.marker_y == b.marker_y && a.marker_z == b.marker_z &&
         a.mark == b.mark;
}

// The last frame drawn, as its pixels: showing it again costs a copy, not a drawing of the path.
struct LastFrame {
  FrameKey key;
  std::vector<unsigned char> pixels;  // RGBA, bottom row first; empty when there is none
};
LastFrame last_frame;

void keep_frame(const FrameKey& key) {
  last_frame.pixels.clear();
  try {
    last_frame.pixels.resize(static_cast<std::size_t>(key.width) * static_cast<std::size_t>(key.height) * 4);
  } catch (const std::bad_alloc&) {
    last_frame.pixels.clear();  // without the room for a copy, the next frame is drawn again
    return;
  }
  last_frame.key = key;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, key.width, key.height, GL_RGBA, GL_UNSIGNED_BYTE, last_frame.pixels.data());
}

void show_kept_frame() {
  const FrameKey& key = last_frame.key;
  glViewport(0, 0, key.width, key.height);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  // The pixels as they are: no depth test, and no blending with an alpha the frame never meant.
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glRasterPos2f(-1, -1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glDrawPixels(key.width, key.height, GL_RGBA, GL_UNSIGNED_BYTE, last_frame.pixels.data());
  glEnable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  Viewport v;
  view_reshape(key.width, key.height, v);
  glViewport(v.x, v.y, v.width, v.height);
}

// The copy of a frame kept and shown again once, for warm_up(): else the first window uncovered
// waits for the driver to build its code for the copy (a resize's frame twice as long).
void warm_up_kept_frame() {
  FrameKey key{};
  key.width = kWindowWidth;
  key.height = kWindowHeight;
  keep_frame(key);
  if (!last_frame.pixels.empty()) show_kept_frame();
  last_frame = LastFrame{};
}

// Set (to anything) in the environment, the view at rest draws every segment of the path, as
// the checks of the path for the view compare it with.
bool whole_path_wanted() { return std::getenv("KERFDISPLAY_WHOLE_PATH") != nullptr; }

// How long the window waits for the path for a new view at rest before it shows the reduced
// path meanwhile (a path that is ready by then is shown at once, with no frame between); how
// often it then looks whether it is ready; and how long a slice of indexing the file's lines for
// the pick may keep the window from answering.
constexpr double kFirstWaitSeconds = 0.05;
constexpr unsigned kLookMilliseconds = 5;
constexpr double kSliceSeconds = 0.03;
bool slice_timer_set = false;
bool first_wait_done = false;  // for the path for the view under way
void want_slices();

// Looks whether the path for the view at rest is ready; once it is, works out the index of the
// file's lines for the pick, a slice at a time.
void on_slice_timer(int) {
  slice_timer_set = false;
  if (screen_path_wait(0)) glutPostRedisplay();
  auto start = std::chrono::steady_clock::now();
  std::chrono::duration<double> spent{};
  while (!screen_path_building() && !line_index.done() && spent.count() < kSliceSeconds) {
    line_index.step(1 << 13);
    spent = std::chrono::steady_clock::now() - start;
  }
  want_slices();
}

// A look or a slice to come while there is work for one and the view is not being dragged.
void want_slices() {
  if (slice_timer_set || view.dragging || (!screen_path_building() && line_index.done())) return;
  slice_timer_set = true;
  glutTimerFunc(screen_path_building() ? kLookMilliseconds : 0, on_slice_timer, 0);
}

// While the view moves, or the path for it is still worked out: the reduced path, or the last
// path for a view at rest when that is no larger.
PathForm moving_form() { return screen_path_small() ? PathForm::Turned : PathForm::Reduced; }

// The path as the view at rest draws it: the path for the view, once ready (until then the
// reduced one, while it is worked out between the window's events); a small path whole.
PathForm rest_form() {
  if (whole_path_wanted() || !path_complete()) return PathForm::Whole;
  const ViewMatrices m = view_matrices();
  const Viewport& v = m.viewport;
  const int viewport[4] = {v.x, v.y, v.width, v.height};
  // NOTE: over the part, a line may be hidden where another of its colour over the same pixels
  // is not: none is left out for lying over others.
  bool ready = screen_path_for(m.model_view, m.projection, viewport, view.width, view.height, done_vertices,
                               shown == Shown::Path);
  // NOTE: waited for once for each path under way: while the view changes on, a frame is shown
  // at once.
  if (!ready && screen_path_building() && !first_wait_done) {
    first_wait_done = true;
    ready = screen_path_wait(kFirstWaitSeconds);
  }
  if (ready || !screen_path_building()) first_wait_done = false;
  if (ready) return PathForm::Screen;
  if (!screen_path_building()) return path_reduced() ? PathForm::Reduced : PathForm::Whole;
  want_slices();
  return moving_form();
}

void on_display() {
  // NOTE: the path for the last view at rest is given up as soon as the view moves: worked out
  // meanwhile, it would take the processor from the drag's frames.
  if (view.dragging && drag_moved) screen_path_cancel();
  PathForm form = view.dragging && drag_moved ? moving_form() : rest_form();
  FrameKey key = {view.yaw, view.pitch, view.roll, view.scale, view.pan_x, view.pan_y,
                  view.width, view.height, shown, form, screen_path_generation(), show_travel, marker_shown, done_vertices,
                  marker.x, marker.y, marker.z, mark.generation};
  if (!last_frame.pixels.empty() && same_frame(key, last_frame.key)) {
    show_kept_frame();
  } else {
    draw_frame(form);
    keep_frame(key);
  }
  drawn_form = form;
  glutSwapBuffers();
  want_slices();
}

void on_reshape(int width, int height) {
  Viewport v;
  if (!view_reshape(width, height, v)) return;
  glViewport(v.x, v.y, v.width, v.height);  // the planes are set with each frame
}

// Nothing is drawn while nothing changes: every change asks for one redraw. The window system
// asks for its own when the window is uncovered or resized.
void redraw_if(bool changed) {
  if (changed) glutPostRedisplay();
}

void pick_at(int x, int y);

void on_mouse(int button, int state, int x, int y) {
  int modifiers = glutGetModifiers();
  Button b = button == GLUT_LEFT_BUTTON ? Button::Left
           : button == GLUT_RIGHT_BUTTON ? Button::Right : Button::Other;
  bool was_dragging = view.dragging;
  if (b == Button::Left && state == GLUT_DOWN && !was_dragging) press = {x, y, view, false};
  redraw_if(view_mouse(b, state == GLUT_DOWN, x, y, modifiers));
  // A left click, not a drag: the view stays as it was at the press (a tremble of the hand
  // turns nothing), and the move under the mouse is picked.
  const bool click = b == Button::Left && was_dragging && !view.dragging && !press.beyond_slop;
  if (click && drag_moved) {
    const View now = view;
    view = press.view;
    view.width = now.width;
    view.height = now.height;
    view.modifiers = now.modifiers;
  }
  // The view is still again: the whole path, once.
  if (was_dragging && !view.dragging && drag_moved) glutPostRedisplay();
  if (view.dragging != was_dragging) drag_moved = false;
  if (click) pick_at(press.x, press.y);
}

void on_motion(int x, int y) {
  if (view.dragging && (std::abs(x - press.x) > kClickSlop || std::abs(y - press.y) > kClickSlop)) press.beyond_slop = true;
  bool changed = view_motion(x, y);
  drag_moved = drag_moved || changed;
  redraw_if(changed);
}

void on_wheel(int, int direction, int, int) { redraw_if(view_wheel(direction)); }

// The moves' own extents; without a move, the box round the origin. A part shown is fitted
// with them: a turned bar reaches far past the path that turns it.
void fit_to_path() {
  const JobSummary& job = interp.job;
  BoundingBox e = job.moves > 0 ? job.extents : interp.box;
  if (part_state == PartState::Ready && shown != Shown::Path) {
    const Stock& s = part_stock;
    e = {std::fmin(e.x_min, s.x_min), std::fmax(e.x_max, s.x_max), std::fmin(e.y_min, s.y_min),
         std::fmax(e.y_max, s.y_max), std::fmin(e.z_min, s.z_min), std::fmax(e.z_max, s.z_max)};
  }
  view_fit(e.x_min, e.x_max, e.y_min, e.y_max, e.z_min, e.z_max);
}

// Simulates the part once; false when it cannot be shown (the console has said why). The
// reading leaves the interpreter's state as the path's own reading did.
bool part_ready() {
  if (part_state == PartState::NotTried) {
    Part part;
    part_state = PartState::Refused;
    if (simulate_file(file_name, sim, part, false)) {
      if (part_view_build(part)) {
        part_state = PartState::Ready;
        part_stock = part.stock;
        print_part(stdout, part);
        // What cuts is known now: a move that removes nothing is drawn as travel.
        if (path_recolour(part.colours)) glutPostRedisplay();
      } else {
        std::printf("\nNot enough memory to show the part.\n");
      }
      release_part(part);
    }
    std::fflush(stdout);
  }
  return part_state == PartState::Ready;
}

// p: the path, the part under the path, the part alone, and round again.
void next_shown() {
  if (shown == Shown::Path && !part_ready()) return;
  shown = shown == Shown::Path ? Shown::PartAndPath : shown == Shown::PartAndPath ? Shown::Part : Shown::Path;
  glutPostRedisplay();
}

void on_keyboard(unsigned char key, int x, int y) {
  if (key == 27) {
    std::fflush(stdout);
    std::exit(0);
  }
  if (key == 'T' || key == 't') glutPostRedisplay();
  if (key == 'F' || key == 'f') {
    fit_to_path();
    glutPostRedisplay();
  }
  if (key == 'H' || key == 'h') {
    show_travel = !show_travel;
    glutPostRedisplay();
  }
  if (key == 'P' || key == 'p') next_shown();
  if (key == 'L' || key == 'l') pick_at(x, y);
}

void on_special(int, int, int) {}

void set_title() { glutSetWindowTitle((plain_title + job_part + pick_part).c_str()); }

// The command that takes the program up at `line`, the file named as the viewer was given it
// (in quotes when it holds a blank).
std::string kerfsend_command(long line) {
  std::string name = file_name;
  if (name.find_first_of(" \t") != std::string::npos) name = "\"" + name + "\"";
  if (line == 1) return "Kerfsend -f" + name;
  return "Kerfsend -r" + std::to_string(line) + " -f" + name;
}

// What Kerfsend asks and says before it takes the program up, from its verdict.
void print_questions(const ResumeVerdict& verdict) {
  if (verdict.unfollowed.what != nullptr)
    std::printf("  Kerfsend asks first: %s.\n", resume_unfollowed_text(verdict, file_name).c_str());
  if (verdict.origin_line != 0) std::printf("  Kerfsend asks first: %s.\n", resume_origin_text(verdict, file_name).c_str());
  const ReEntry& at = verdict.at;
  if (at.moved && !at.z_moved) {
    std::string text = resume_by_hand_text(at, file_name);
    for (char& c : text)
      if (c == '\n') c = ' ';
    std::printf("  Kerfsend says: %s.\n", text.c_str());
  }
  if (at.origin_line != 0) std::printf("  Kerfsend says: %s.\n", resume_origin_note(at).c_str());
}

// How to start the job at `line`, or why Kerfsend could not: the same verdict as Kerfsend's own
// (judge_resume), with the journal beside the program as Kerfsend would read it.
void print_resume(long line) {
  // NOTE: Kerfsend -r1 is the download from the start: nothing to judge.
  if (line == 1) {
    std::printf("To start here: %s (the program's first line)\n", kerfsend_command(1).c_str());
    return;
  }
  FileStamp stamp{};
  const bool stamped = line_index.stamp(stamp);
  const long confirmed = journal_confirmed_line(file_name, stamped ? &stamp : nullptr);
  ResumeVerdict verdict{};
  if (!line_index.judge(line, confirmed, verdict)) {
    std::printf("The file cannot be read again: nothing is said of starting there.\n");
    return;
  }
  if (verdict.refusal == ResumeRefusal::None) {
    std::printf("To start here: %s\n", kerfsend_command(line).c_str());
    print_questions(verdict);
    return;
  }
  std::printf("%s refuses: %s.\n", kerfsend_command(line).c_str(), resume_refusal_text(verdict, file_name).c_str());
  const long run = verdict.ahead.run_line;
  if (verdict.refusal != ResumeRefusal::ContinuesRun || run <= 0) return;
  // Where that run begins, as Kerfsend names it after a stop inside it.
  const char* what = verdict.ahead.cycle ? "canned cycle" : "arc run";
  ResumeVerdict there{};
  if (run == 1 || !line_index.judge(run, confirmed, there)) {
    std::printf("To start where that %s begins: %s\n", what, kerfsend_command(run).c_str());
  } else if (there.refusal == ResumeRefusal::None) {
    std::printf("To start where that %s begins: %s\n", what, kerfsend_command(run).c_str());
    print_questions(there);
  } else {
    std::printf("Nor where that %s begins, at line %ld: %s.\n", what, run, resume_refusal_text(there, file_name).c_str());
  }
}

// The move of file line `run` marked: its segments as the path keeps them, its end a dot.
void set_mark(const VertexLines::Run& run) {
  mark.ends.clear();
  ++mark.generation;
  try {
    visit_path_segments(PathForm::Whole, true, run.first - 1, run.first + run.count - 1,
                        [](long, long, const float* a, const float* b) {
                          mark.ends.insert(mark.ends.end(), a, a + 3);
                          mark.ends.insert(mark.ends.end(), b, b + 3);
                        });
  } catch (const std::bad_alloc&) {
    mark.ends.clear();
  }
}

void clear_pick() {
  if (mark.ends.empty() && pick_part.empty()) return;
  mark.ends.clear();
  ++mark.generation;
  pick_part.clear();
  last_pick = LastPick{};
  set_title();
  glutPostRedisplay();
}

// The title's word on the line: its number and the start of its text.
std::string title_of(long line, const std::string& text) {
  constexpr std::size_t kTitleText = 60;
  std::string cut = text.substr(0, kTitleText);
  for (char& c : cut)
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  if (text.size() > kTitleText) cut += "...";
  return " - line " + std::to_string(line) + ": " + cut;
}

// A click, or l, at (x, y) of the window: the move of the drawn path nearest the mouse, within
// a few pixels, its line and text told, marked, and how to start the job there said. At the
// same place again, the next of the moves under the mouse.
void pick_at(int x, int y) {
  if (shown == Shown::Part) {
    std::printf("\nThe part alone is shown: p shows the path again, to pick a move from.\n");
    std::fflush(stdout);
    return;
  }
  const VertexLines& lines = place_sink.lines();
  if (!lines.kept()) {
    std::printf("\nNot enough memory to keep the file line of each vertex: no move can be picked.\n");
    std::fflush(stdout);
    return;
  }
  const ViewMatrices m = view_matrices();
  // The viewport is the window's width square, centred: the mouse's pixel centre from its centre.
  const Viewport& v = m.viewport;
  const double mouse_x = x + 0.5 - v.x - v.width / 2.0;
  const double mouse_y = (view.height - (y + 0.5)) - (v.y + v.height / 2.0);
  const PickView pick = pick_view(m.model_view, m.projection, v.width, v.height, mouse_x, mouse_y);
  const PathForm form = drawn_form;
  const bool travel = show_travel;
  std::vector<PathHit> hits;
  try {
    hits = path_hits(
        pick, [&](long first, long last, const SegmentVisit& visit) { visit_path_segments(form, travel, first, last, visit); },
        [&](long first, long last, const SegmentVisit& visit) {
          visit_path_segments(PathForm::Whole, travel, first, last, visit);
        });
  } catch (const std::bad_alloc&) {
    hits.clear();
  }
  const std::vector<VertexLines::Run> runs = moves_of(hits, lines);
  std::vector<long> here;
  here.reserve(runs.size());
  for (const VertexLines::Run& run : runs) here.push_back(run.line);
  if (here.empty()) {
    std::printf("\nNo move of the path within %g pixels of the mouse.\n", kPickReach);
    std::fflush(stdout);
    clear_pick();
    return;
  }
  std::size_t index = 0;
  if (std::abs(x - last_pick.x) <= kClickSlop && std::abs(y - last_pick.y) <= kClickSlop && here == last_pick.lines)
    index = (last_pick.index + 1) % here.size();
  last_pick = {x, y, here, index};
  const long line = here[index];
  std::string text;
  // NOTE: a file written again since it was drawn has other lines than the path shows.
  const bool same = line_index.unchanged();
  const bool read = same && line_index.text(line, text);
  if (read) std::printf("\nLine %ld: %s\n", line, text.c_str());
  else if (same) std::printf("\nLine %ld: (the file cannot be read again)\n", line);
  else std::printf("\nLine %ld: (%s was written again since it was read: start Kerfdisplay again)\n", line, file_name);
  if (here.size() > 1)
    std::printf("  Move %lu of the %lu under the mouse, the nearest first: a click here again takes the next.\n",
                static_cast<unsigned long>(index + 1), static_cast<unsigned long>(here.size()));
  if (read) print_resume(line);
  std::fflush(stdout);
  set_mark(runs[index]);
  pick_part = title_of(line, read ? text : std::string());
  set_title();
  glutPostRedisplay();
}

// Lines 1 to `done` are done: the path split there and the tool marked where they leave it.
void show_place(long done) {
  marker = place_sink.after(done);
  done_vertices = marker.vertices;
  marker_shown = true;
}

// What the journal says, in the picture and the title.
void show_job(const JobState& state) {
  if (state.read == JournalRead::Found) {
    show_place(state.complete ? interp.job.lines : state.confirmed);
  } else {
    done_vertices = 0;
    marker_shown = false;
  }
  job_part = job_title(state, interp.job.lines);
  set_title();
}

// A few times a second while following: a look at the journal, and a redraw when it changed.
void on_follow_timer(int) {
  JobState state;
  if (watch->look(state)) {
    show_job(state);
    glutPostRedisplay();
  }
  glutTimerFunc(kFollowMilliseconds, on_follow_timer, 0);
}

// What the command line asks for.
struct Settings {
  const char* file = nullptr;
  const char* picture = nullptr;
  const char* view = nullptr;
  const char* line = nullptr;
  const char* path = nullptr;
  bool follow = false;
  bool fit = false;
  bool help = false;
  SimOptions sim{};
};

// The program's options, one row each: the usage and the help are written from this table.
struct Option {
  const char* name;
  const char* value;  // what the values are called in the usage; nullptr: the option takes none
  int values;         // how many values follow the option
  const char* need;   // what missing values are said to be
  const char* help;
  // Takes the option's values: 0; 2 when they are not what the option needs; any other status
  // to end with, after its message.
  int (*set)(Settings& settings, char** values);
  const char* heading = nullptr;  // the line above the row in the usage, the first of a group
};

const Option kOptions[] = {
    {"--png", "OUT.png", 1, "the name of the picture file", "draw the first view into a PNG picture and end",
     [](Settings& s, char** v) { s.picture = v[0]; return 0; }},
    {"--path", "OUT.csv", 1, "the name of the path file",
     "write every vertex of the path as text (line,kind,x,y,z) and end; no display needed",
     [](Settings& s, char** v) { s.path = v[0]; return 0; }},
    {"--view", "top|front|side|iso", 1, "one of top, front, side and iso",
     "the first view (top, the default, looks down Z)",
     [](Settings& s, char** v) { s.view = v[0]; return 0; }},
    {"--line", "N", 1, "a file line number",
     "the path before file line N grey, the tool where N starts",
     [](Settings& s, char** v) { s.line = v[0]; return 0; }},
    {"--follow", nullptr, 0, nullptr, "follow Kerfsend's job by its journal, FILE.journal",
     [](Settings& s, char**) { s.follow = true; return 0; }},
    {"--fit", nullptr, 0, nullptr, "fit the whole tool path in the first view, as f does",
     [](Settings& s, char**) { s.fit = true; return 0; }},
    {"--help", nullptr, 0, nullptr, "this text", [](Settings& s, char**) { s.help = true; return 0; }},
    {"--sim", nullptr, 0, nullptr,
     "show the part, not the path (in the picture, and at first in the window)",
     [](Settings& s, char**) { s.sim.show = true; return 0; },
     "The part the program cuts, simulated (a flat end mill, straight down):"},
    {"--stl", "OUT.stl", 1, "the name of the STL file",
     "write the part as a binary STL file and end (no display needed)",
     [](Settings& s, char** v) { s.sim.stl = v[0]; return 0; }},
    {"--tool", "D", 1, "the tool's diameter",
     "the tool's diameter, for every move (else the program's tool comments)",
     [](Settings& s, char** v) { return set_sim_tool(v[0], s.sim); }},
    {"--stock", "XMIN YMIN ZMIN XMAX YMAX ZMAX", 6, "six numbers: XMIN YMIN ZMIN XMAX YMAX ZMAX",
     "the block of stock (else round the cuts below Z 0, from Z 0 down)",
     [](Settings& s, char** v) { return set_sim_stock(v, s.sim); }},
    {"--resolution", "CELL", 1, "the side of a cell",
     "the side of a cell (else 1,000 cells along the stock's longer side)",
     [](Settings& s, char** v) { return set_sim_cell(v[0], s.sim); }},
    {"--stock-diameter", "D", 1, "the bar's diameter", "a lathe program's bar: its diameter",
     [](Settings& s, char** v) { return set_bar_diameter(v[0], s.sim); },
     "The part a lathe program turns (X along the bar, Y across it, deeper as Y grows):"},
    {"--surface", "Y", 1, "the Y of the bar's surface", "the Y of the bar's surface",
     [](Settings& s, char** v) { return set_bar_surface(v[0], s.sim); }},
    {"--nose", "R", 1, "the tool's nose radius", "the tool's nose radius (else the tool is a point)",
     [](Settings& s, char** v) { return set_tool_nose(v[0], s.sim); }},
};

// The window system's own options, which GLUT takes from the command line, and how many values
// each has.
struct WindowOption {
  const char* name;
  int values;
};
const WindowOption kWindowOptions[] = {
    {"-display", 1}, {"-geometry", 1}, {"-direct", 0}, {"-indirect", 0},
    {"-iconic", 0},  {"-gldebug", 0},  {"-sync", 0},
};

const char kWindowHelp[] =
    "\n"
    "In the window:\n"
    "  left drag           turn the path about the origin (across the window is one turn)\n"
    "  Shift + left drag   zoom: up enlarges, down shrinks\n"
    "  mouse wheel         zoom: up enlarges, down shrinks\n"
    "  Alt + left drag     shift the path\n"
    "  right click         back to the first view\n"
    "  left click, l       the move under the mouse: its file line and text, marked, and how\n"
    "                      Kerfsend starts the job there (again at the same place: the next move)\n"
    "  f                   fit the whole tool path in the window\n"
    "  h                   hide or show the travel moves (yellow)\n"
    "  p                   the path, the simulated part under it, the part alone, in turn\n"
    "  T                   redraw\n"
    "  Escape              end\n"
    "\n"
    "Views: top looks down Z with Y up; front looks from -Y, side from +X and iso from\n"
    "+X -Y +Z, each with Z up.\n"
    "\n"
    "Feed moves are blue, clockwise arcs red, counter-clockwise arcs green. A move with both ends\n"
    "above Z 0, and the move from the assumed start at the origin, is travel, in yellow; once\n"
    "the part is simulated, every move that removes nothing is.\n"
    "With --line and --follow the part of the path the job has done is grey, and the tool is a\n"
    "magenta dot; following, the title shows the last line the controller confirmed.\n"
    "While the view is dragged a large path is drawn reduced; once it is still, as its pixels\n"
    "need it (the lines within half a pixel of the path).\n"
    "\n"
    "Without a display (over ssh, say), draw a picture under Xvfb:\n"
    "  xvfb-run -a -s \"-screen 0 1024x768x24\" Kerfdisplay FILE --png OUT.png\n";

void print_usage() {
  std::printf("Usage: Kerfdisplay [FILE] [OPTION]...\n");
  std::printf("  %-26s %s\n", "FILE", "the G-code file to show; asked for on the console when not given");
  for (const Option& o : kOptions) {
    if (o.heading != nullptr) std::printf("\n%s\n", o.heading);
    std::string name = o.name;
    if (o.value != nullptr) name = name + " " + o.value;
    // A name wider than its column has the help on the line below.
    if (name.size() > 26) std::printf("  %s\n  %-26s %s\n", name.c_str(), "", o.help);
    else std::printf("  %-26s %s\n", name.c_str(), o.help);
  }
}

// Reads the command line into settings. Returns -1 when the run goes on, else the status to end
// with, its message printed.
int read_command_line(int argc, char** argv, Settings& settings) {
  bool options_end = false;
  for (int k = 1; k < argc; ++k) {
    const char* arg = argv[k];
    if (!options_end && arg[0] == '-' && arg[1] != '\0') {
      if (std::strcmp(arg, "--") == 0) {
        options_end = true;
        continue;
      }
      const WindowOption* window = nullptr;
      for (const WindowOption& w : kWindowOptions)
        if (std::strcmp(arg, w.name) == 0) window = &w;
      if (window != nullptr) {
        k += window->values;
        continue;
      }
      const Option* option = nullptr;
      for (const Option& o : kOptions)
        if (std::strcmp(arg, o.name) == 0) option = &o;
      if (option == nullptr) {
        std::printf("\nUnknown option %s.\n", arg);
        print_usage();
        return 2;
      }
      // NOTE: a value beginning with "-" is taken for a forgotten one, unless it is a negative
      // number: "--png --fit" would otherwise write a picture named --fit.
      bool missing = k + option->values >= argc;
      for (int n = 1; n <= option->values && !missing; ++n) {
        const char* v = argv[k + n];
        missing = v[0] == '-' && !(std::isdigit(static_cast<unsigned char>(v[1])) || v[1] == '.');
      }
      int set = missing ? 2 : option->set(settings, argv + k + 1);
      if (set == 2) std::printf("\nThe %s option needs %s.\n", option->name, option->need);
      if (set != 0) return set;
      k += option->values;
    } else if (settings.file == nullptr) {
      settings.file = arg;
    } else {
      std::printf("\nOne file at a time: %s is a second file name.\n", arg);
      print_usage();
      return 2;
    }
  }
  if (settings.help) {
    std::printf("Kerfdisplay G-Code Tool Path Display Utility\n\n");
    print_usage();
    std::printf("%s", kWindowHelp);
    return 0;
  }
  if (settings.line != nullptr && line_number(settings.line) == 0) {
    std::printf("\nThe --line option needs a file line number from 1 on, not %s.\n", settings.line);
    return 2;
  }
  if (settings.line != nullptr && settings.follow) {
    std::printf("\nThe --line and --follow options each show a place of the job: give one of them.\n");
    return 2;
  }
  if (settings.view != nullptr && !view_named(settings.view)) {
    std::printf("\nThe --view option needs one of top, front, side and iso, not %s.\n", settings.view);
    return 2;
  }
  return -1;
}

// The window system cannot be reached (most often: no display). Replaces GLUT's own one-line
// message with what to do about it.
void on_window_system_error(const char* format, va_list args) {
  char reason[256];
  std::vsnprintf(reason, sizeof reason, format, args);
  std::printf("\nCan't open the window: %s.\n"
              "Without a display (over ssh, say), draw a picture under Xvfb instead:\n"
              "  xvfb-run -a -s \"-screen 0 1024x768x24\" Kerfdisplay FILE --png OUT.png\n",
              reason);
  std::fflush(stdout);
  std::exit(1);
}

// Whether the picture file can be written, told before the file is read: a long reading should
// not end in nothing. A file that was not there before is not left behind.
bool picture_writable(const char* name) {
  struct stat st;
  bool existed = stat(name, &st) == 0;
  int error = existed && S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (error == 0) {
    std::FILE* file = std::fopen(name, "ab");
    if (file == nullptr) error = errno;
    else std::fclose(file);
    if (file != nullptr && !existed) std::remove(name);
  }
  if (error == 0) return true;
  std::printf("\nCan't write picture file %s: %s.\n", name, open_failure(error, true));
  return false;
}

// Draws the first view once and reads it back before any buffer swap.
int write_picture(const char* name) {
  if (shown != Shown::Part && !path_complete()) {
    std::printf("\nNot enough memory to draw the whole tool path: no picture written.\n");
    return 1;
  }
  on_reshape(kWindowWidth, kWindowHeight);
  PathForm form = rest_form();
  if (screen_path_building()) {
    while (screen_path_building() && !screen_path_wait(1)) continue;
    form = rest_form();
  }
  if (form == PathForm::Reduced) form = PathForm::Whole;  // no room to work it out: as before
  draw_frame(form);
  glFinish();
  std::vector<unsigned char> pixels(static_cast<std::size_t>(kWindowWidth) * kWindowHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, kWindowWidth, kWindowHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  if (!write_png(name, pixels.data(), kWindowWidth, kWindowHeight)) {
    std::printf("\nCan't write picture file %s.\n", name);
    return 1;
  }
  return 0;
}

// The share of the file read so far, in the window's title.
void title_progress(int percent) {
  char title[64];
  std::snprintf(title, sizeof title, "Kerfdisplay - reading %d%%", percent);
  glutSetWindowTitle(title);
}

// Takes the rest of a typed line as the file name, without the blanks around it; blank lines
// are passed over. Empty at the end of the input.
void read_typed_name(char* typed, int size) {
  typed[0] = '\0';
  while (std::fgets(typed, size, stdin) != nullptr) {
    std::size_t end = std::strlen(typed);
    if (end > 0 && typed[end - 1] != '\n') {
      // Longer than any file name: the rest of the line goes.
      int c;
      while ((c = std::getchar()) != '\n' && c != EOF) {
      }
    }
    while (end > 0 && std::strchr(" \t\r\n", typed[end - 1]) != nullptr) --end;
    typed[end] = '\0';
    std::size_t start = std::strspn(typed, " \t");
    if (start < end) {
      std::memmove(typed, typed + start, end - start + 1);
      return;
    }
  }
  typed[0] = '\0';
}

}  // namespace

int kerfdisplay_main(int argc, char** argv) {
  // Messages and numbers stay in the C locale whatever the environment says.
  std::setlocale(LC_ALL, "C");
#ifdef __GLIBC__
  // NOTE: a software driver frees what it drew a block with and takes it again for the next:
  // given back to the system each time, every page of it was faulted in again, which more than
  // doubled the time of a large picture for no memory saved at its peak.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
#endif
  Settings settings;
  int status = read_command_line(argc, argv, settings);
  if (status >= 0) return status;

  static char typed[4096];
  const char* name = settings.file;
  if (name == nullptr) {
    std::printf("\nKerfdisplay G-Code Tool Path Display Utility V%d.%d\n", kVersionMajor, kVersionMinor);
    std::printf("\nEnter input file name: ");
    std::fflush(stdout);
    read_typed_name(typed, sizeof typed);
    name = typed;
  } else {
    std::printf("Kerfdisplay G-Code Tool Path Display Utility V%d.%d\n", kVersionMajor, kVersionMinor);
  }
  // A missing file is told before the window is made: without a display there would be no
  // window to make, and the operator would hear only of that.
  std::FILE* check = open_for_reading(name);
  if (check == nullptr) {
    std::printf("\nCan't open input file %s: %s.\n", name, open_failure(errno, false));
    std::fflush(stdout);
    return 1;
  }
  std::fclose(check);
  sim = settings.sim;
  if (sim.stl != nullptr) return write_part_file(name, sim);  // no window: no display needed
  if (settings.path != nullptr) return write_path_file(name, settings.path);
  if (settings.picture != nullptr && !picture_writable(settings.picture)) {
    std::fflush(stdout);
    return 1;
  }

  glutInitErrorFunc(on_window_system_error);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(kWindowWidth, kWindowHeight);
  glutInitWindowPosition(160, 160);
  glutCreateWindow("Kerfdisplay");
  view_reset();
  set_up_gl();

  progress_listener = title_progress;
  try {
    if (!build_scene(name, settings.line != nullptr || settings.follow)) {
      std::fflush(stdout);
      std::exit(1);
    }
  } catch (const std::bad_alloc&) {
    end_progress();
    std::printf("\nNot enough memory to read the tool path.\n");
    std::fflush(stdout);
    std::exit(1);
  }
  progress_listener = nullptr;
  print_summary(stdout, interp.job);
  if (!path_drawable()) {
    std::printf("\nNot enough memory to draw the tool path.\n");
    std::fflush(stdout);
    std::exit(1);
  }
  if (!path_complete() && settings.picture == nullptr)
    std::printf("\nNot enough memory to draw the whole tool path: a reduced path of %ld of its %ld "
                "segments is shown.\n", reduced_segments(), path_segments());
  plain_title = window_title(name) + summary_title(interp.job);
  set_title();
  if ((settings.line != nullptr || settings.follow) && !place_sink.kept()) {
    std::printf("\nNot enough memory to keep the job's place on the tool path.\n");
    std::fflush(stdout);
    std::exit(1);
  }
  if (settings.line != nullptr) {
    long line = line_number(settings.line);
    if (line > interp.job.lines) {
      std::printf("\nLine %ld is past the end of the program, whose last line is %ld.\n", line,
                  interp.job.lines);
      std::fflush(stdout);
      std::exit(2);
    }
    show_place(line - 1);
    std::printf("\nLine %ld starts with the tool at X%.4f Y%.4f Z%.4f\n", line, marker.x, marker.y, marker.z);
  }
  static JournalWatch journal_watch(name);
  if (settings.follow) {
    watch = &journal_watch;
    JobState state;
    watch->look(state);
    show_job(state);
  }
  std::fflush(stdout);

  // The first view, which a right click brings back.
  Viewport first;
  view_reshape(kWindowWidth, kWindowHeight, first);
  file_name = name;
  if (sim.show) {
    if (part_ready()) shown = Shown::Part;
    else if (settings.picture != nullptr) return 1;
  }
  if (settings.view != nullptr) view_named(settings.view);
  if (settings.fit) fit_to_path();
  view_set_initial();
  if (settings.picture != nullptr) return write_picture(settings.picture);

  // The file's lines for the pick, read between the window's events once the picture is at rest.
  line_index.start(name);
  glutReshapeFunc(on_reshape);
  glutKeyboardFunc(on_keyboard);
  glutSpecialFunc(on_special);
  glutMouseFunc(on_mouse);
  glutMouseWheelFunc(on_wheel);
  glutMotionFunc(on_motion);
  glutDisplayFunc(on_display);
  if (watch != nullptr) glutTimerFunc(kFollowMilliseconds, on_follow_timer, 0);
  glutMainLoop();
  return 0;
}
