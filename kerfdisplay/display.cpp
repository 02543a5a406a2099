// display.cpp - the viewer window: start-up, the compiled scene (the tool path in buffer objects
// where OpenGL has them), the GLUT callbacks, and the --png picture of the initial view.
#include "display.h"

#include "window.h"  // first: on Windows it brings what the OpenGL headers need

#include <GL/glu.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files.h"
#include "interpreter.h"
#include "part_view.h"
#include "path_buffer.h"
#include "picture.h"
#include "platform.h"
#include "reader.h"
#include "simulation.h"
#include "summary.h"
#include "view.h"

namespace {

constexpr int kVersionMajor = 1;
constexpr int kVersionMinor = 2;
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;

static_assert(kShift == GLUT_ACTIVE_SHIFT && kCtrl == GLUT_ACTIVE_CTRL && kAlt == GLUT_ACTIVE_ALT,
              "the view's modifier bits are GLUT's");

GLuint scene_list;      // the path, when it is not in buffers
GLuint axes_list;       // axes and their labels
GLuint box_list;        // the translucent box round the path
bool path_in_buffers;  // else the path is in the scene's list

// What the window shows: the path, the simulated part under it, or the part alone. The part is
// simulated when first asked for.
enum class Shown { Path, PartAndPath, Part };
Shown shown = Shown::Path;
const char* file_name;
SimOptions sim;
enum class PartState { NotTried, Ready, Refused } part_state = PartState::NotTried;

// Records the tool path into the line strip that the scene's list has begun.
class ListSink : public PathSink {
 public:
  void vertex(const Colour& colour, float x, float y, float z) override {
    glColor3f(colour.red, colour.green, colour.blue);
    glVertex3f(x, y, z);
  }
  void end_path() override { glEnd(); }
};

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

// Records the path (into buffers, or into the scene's list as a line strip) and compiles the
// axes and the box into lists of their own, which the part is shown with or without; false when
// the file cannot be opened.
bool build_scene(const char* name) {
  scene_list = glGenLists(3);
  axes_list = scene_list + 1;
  box_list = scene_list + 2;
  path_in_buffers = path_buffers_available();
  if (path_in_buffers) {
    BufferSink sink;
    if (!read_gcode_file(name, sink)) return false;  // the reader begins with the origin in blue
  } else {
    glNewList(scene_list, GL_COMPILE);
    glBegin(GL_LINE_STRIP);
    ListSink sink;
    if (!read_gcode_file(name, sink)) return false;
    glEndList();
  }
  glNewList(axes_list, GL_COMPILE);
  const BoundingBox& b = interp.box;

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

void draw_frame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(1, 1, 1);
  glLoadIdentity();
  gluLookAt(0, 0, 8, 0, 0, 0, 0, 1, 0);
  glPushMatrix();
  glScaled(view.scale, view.scale, view.scale);
  glTranslated(view.pan_x, view.pan_y, 0);
  // The scene turns about its own origin, not about the centre of its box.
  glRotated(view.yaw, 0, 1, 0);
  glRotated(view.pitch, 1, 0, 0);
  if (shown != Shown::Path) draw_part();
  if (shown != Shown::Part) {
    if (path_in_buffers) draw_path_buffers();
    else glCallList(scene_list);
  }
  glCallList(axes_list);
  if (shown == Shown::Path) glCallList(box_list);
  glPopMatrix();
}

void on_display() {
  draw_frame();
  glutSwapBuffers();
}

void on_reshape(int width, int height) {
  Viewport v;
  if (!view_reshape(width, height, v)) return;
  glViewport(v.x, v.y, v.width, v.height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, 1, 0.5, 20);
  glMatrixMode(GL_MODELVIEW);
}

// Nothing is drawn while nothing changes: every change asks for one redraw. The window system
// asks for its own when the window is uncovered or resized.
void redraw_if(bool changed) {
  if (changed) glutPostRedisplay();
}

void on_mouse(int button, int state, int x, int y) {
  int modifiers = glutGetModifiers();
  Button b = button == GLUT_LEFT_BUTTON ? Button::Left
           : button == GLUT_RIGHT_BUTTON ? Button::Right : Button::Other;
  redraw_if(view_mouse(b, state == GLUT_DOWN, x, y, modifiers));
}

void on_motion(int x, int y) { redraw_if(view_motion(x, y)); }

void on_wheel(int, int direction, int, int) { redraw_if(view_wheel(direction)); }

// The moves' own extents; without a move, the box round the origin.
void fit_path() {
  const JobSummary& job = interp.job;
  const BoundingBox& e = job.moves > 0 ? job.extents : interp.box;
  redraw_if(view_fit(e.x_min, e.x_max, e.y_min, e.y_max, e.z_min, e.z_max));
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
        print_part(stdout, part);
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

void on_keyboard(unsigned char key, int, int) {
  if (key == 27) {
    std::fflush(stdout);
    std::exit(0);
  }
  if (key == 'T' || key == 't') glutPostRedisplay();
  if (key == 'F' || key == 'f') fit_path();
  if (key == 'P' || key == 'p') next_shown();
}

void on_special(int, int, int) {}

const char kHelp[] =
    "Kerfdisplay G-Code Tool Path Display Utility\n"
    "\n"
    "Usage: Kerfdisplay [FILE [--png OUT.png] [simulation options]]\n"
    "  FILE             the G-code file to show; asked for on the console when not given\n"
    "  --png OUT.png    draw the initial view into a PNG picture and end\n"
    "  --help           this text\n"
    "\n"
    "The part the program cuts, simulated (a flat end mill, straight down):\n"
    "  --sim            show the part instead of the path (in the picture, and at first in the window)\n"
    "  --stl OUT.stl    write the part as a binary STL file and end (no display needed)\n"
    "  --tool D         the tool's diameter, for every move (else the program's tool comments)\n"
    "  --stock XMIN YMIN ZMIN XMAX YMAX ZMAX\n"
    "                   the block of stock (else round the cuts below Z 0, from Z 0 down)\n"
    "  --resolution CELL  the side of a cell (else 1,000 cells along the stock's longer side)\n"
    "\n"
    "In the window:\n"
    "  left drag           turn the path about the origin (across the window is one turn)\n"
    "  Shift + left drag   zoom: up enlarges, down shrinks\n"
    "  mouse wheel         zoom: up enlarges, down shrinks\n"
    "  Alt + left drag     shift the path\n"
    "  right click         back to the initial view\n"
    "  f                   fit the whole tool path in the window\n"
    "  p                   the path, the simulated part under it, the part alone, in turn\n"
    "  T                   redraw\n"
    "  Escape              end\n"
    "\n"
    "Without a display (over ssh, say), draw a picture under Xvfb:\n"
    "  xvfb-run -a -s \"-screen 0 1024x768x24\" Kerfdisplay FILE --png OUT.png\n";

// How many values a window system option that GLUT takes from the command line has, or -1 when
// the argument is not one of them.
int glut_option_values(const char* arg) {
  for (const char* option : {"-display", "-geometry"})
    if (std::strcmp(arg, option) == 0) return 1;
  for (const char* option : {"-direct", "-indirect", "-iconic", "-gldebug", "-sync"})
    if (std::strcmp(arg, option) == 0) return 0;
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

// Draws the initial view once and reads it back before any buffer swap.
int write_picture(const char* name) {
  on_reshape(kWindowWidth, kWindowHeight);
  draw_frame();
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

}  // namespace

int kerfdisplay_main(int argc, char** argv) {
  // Messages and numbers stay in the C locale whatever the environment says.
  std::setlocale(LC_ALL, "C");
  // The window system's own options (-display, -geometry, ...) are GLUT's, not ours.
  std::vector<const char*> args;
  for (int k = 1; k < argc; ++k) {
    if (glut_option_values(argv[k]) >= 0) k += glut_option_values(argv[k]);
    else args.push_back(argv[k]);
  }
  if (!args.empty() && std::strcmp(args[0], "--help") == 0) {
    std::printf("%s", kHelp);
    return 0;
  }
  if (int status = take_sim_options(args, sim)) return status;
  const char* picture = nullptr;
  if (args.size() >= 2 && std::strcmp(args[1], "--png") == 0) {
    if (args.size() < 3) {
      std::printf("\nThe --png option needs the name of the picture file.\n");
      return 2;
    }
    picture = args[2];
  }

  // Room for the %4095s below, also where PATH_MAX is short (260 on Windows).
  static char typed[4096];
  const char* name = typed;
  if (args.empty()) {
    std::printf("\nKerfdisplay G-Code Tool Path Display Utility V%d.%d\n", kVersionMajor, kVersionMinor);
    std::printf("\nEnter input file name: ");
    std::fflush(stdout);
    if (std::scanf("%4095s", typed) != 1) typed[0] = '\0';
  } else {
    std::printf("Kerfdisplay G-Code Tool Path Display Utility V%d.%d\n", kVersionMajor, kVersionMinor);
    name = args[0];
  }
  // A missing file is told before the window is made: without a display there would be no
  // window to make, and the operator would hear only of that.
  std::FILE* check = open_for_reading(name);
  if (check == nullptr) {
    std::printf("\nCan't open input file %s.\n", name);
    std::fflush(stdout);
    return 1;
  }
  std::fclose(check);
  if (sim.stl != nullptr) return write_part_file(name, sim);  // no window: no display needed

  glutInitErrorFunc(on_window_system_error);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(kWindowWidth, kWindowHeight);
  glutInitWindowPosition(160, 160);
  glutCreateWindow("Kerfdisplay");
  view_reset();
  set_up_gl();

  if (!build_scene(name)) {
    std::fflush(stdout);
    std::exit(1);
  }
  print_summary(stdout, interp.job);
  glutSetWindowTitle(window_title(name).c_str());
  std::fflush(stdout);
  file_name = name;
  if (sim.show) {
    if (part_ready()) shown = Shown::Part;
    else if (picture != nullptr) return 1;
  }
  if (picture != nullptr) return write_picture(picture);

  glutReshapeFunc(on_reshape);
  glutKeyboardFunc(on_keyboard);
  glutSpecialFunc(on_special);
  glutMouseFunc(on_mouse);
  glutMouseWheelFunc(on_wheel);
  glutMotionFunc(on_motion);
  glutDisplayFunc(on_display);
  glutMainLoop();
  return 0;
}
