// window_win32.cpp - the viewer's window on Windows: one Win32 window with a WGL context
// (double buffer, depth buffer), its messages turned into the GLUT callbacks the viewer
// registers, and the axis labels' bitmap font through wglUseFontBitmaps.
#include "window.h"

#include <cstdio>
#include <iterator>
#include <cstdlib>

namespace {

// Printable ASCII is all the viewer writes; other characters draw nothing, as in GLUT.
constexpr int kFirstGlyph = 32;
constexpr int kGlyphs = 95;

struct WindowState {
  void (*on_error)(const char*, va_list) = nullptr;
  unsigned mode = GLUT_RGB;
  int width = 300, height = 300;
  int x = static_cast<int>(CW_USEDEFAULT), y = static_cast<int>(CW_USEDEFAULT);
  HWND window = nullptr;
  HDC dc = nullptr;
  GLuint glyphs = 0;  // the first glyph's display list
  int modifiers = 0;
  int wheel_steps = 0;  // in WHEEL_DELTA units, not yet reported
  void (*on_display)() = nullptr;
  void (*on_reshape)(int, int) = nullptr;
  void (*on_key)(unsigned char, int, int) = nullptr;
  void (*on_special)(int, int, int) = nullptr;
  void (*on_mouse)(int, int, int, int) = nullptr;
  void (*on_motion)(int, int) = nullptr;
  void (*on_wheel)(int, int, int, int) = nullptr;
  // A few timers at once, as the viewer asks for (following a job, and working out the path
  // for the view in slices): each slot is a Win32 timer whose number is the slot's plus 1.
  struct Timer {
    void (*on_timer)(int) = nullptr;
    int value = 0;
  } timers[4];
};

WindowState state;

[[noreturn]] void fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (state.on_error != nullptr) {
    state.on_error(format, args);
  } else {
    std::fprintf(stderr, "Kerfdisplay: ");
    std::vfprintf(stderr, format, args);
    std::fprintf(stderr, "\n");
  }
  va_end(args);
  std::exit(1);
}

// What failed, with the system's error code when it gave one.
[[noreturn]] void fail_with_error(const char* what) {
  DWORD code = GetLastError();
  if (code != 0) fail("%s (error %lu)", what, code);
  fail("%s", what);
}

[[noreturn]] void end_run() {
  std::fflush(stdout);
  std::exit(0);
}

// The modifier keys held now, as GLUT reports them.
int modifiers_held() {
  int held = 0;
  if (GetKeyState(VK_SHIFT) < 0) held |= GLUT_ACTIVE_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) held |= GLUT_ACTIVE_CTRL;
  if (GetKeyState(VK_MENU) < 0) held |= GLUT_ACTIVE_ALT;
  return held;
}

// Signed client coordinates: a drag that leaves the window to the left or above goes negative.
int low_word(LPARAM l) { return static_cast<short>(LOWORD(static_cast<DWORD_PTR>(l))); }
int high_word(LPARAM l) { return static_cast<short>(HIWORD(static_cast<DWORD_PTR>(l))); }

POINT cursor_in_window() {
  POINT p{0, 0};
  GetCursorPos(&p);
  ScreenToClient(state.window, &p);
  return p;
}

int special_key(WPARAM key) {
  if (key >= VK_F1 && key <= VK_F12) return GLUT_KEY_F1 + static_cast<int>(key - VK_F1);
  switch (key) {
    case VK_LEFT: return GLUT_KEY_LEFT;
    case VK_UP: return GLUT_KEY_UP;
    case VK_RIGHT: return GLUT_KEY_RIGHT;
    case VK_DOWN: return GLUT_KEY_DOWN;
    case VK_PRIOR: return GLUT_KEY_PAGE_UP;
    case VK_NEXT: return GLUT_KEY_PAGE_DOWN;
    case VK_HOME: return GLUT_KEY_HOME;
    case VK_END: return GLUT_KEY_END;
    case VK_INSERT: return GLUT_KEY_INSERT;
    default: return -1;
  }
}

void key_typed(WPARAM character) {
  if (state.on_key == nullptr) return;
  state.modifiers = modifiers_held();
  POINT p = cursor_in_window();
  state.on_key(static_cast<unsigned char>(character), p.x, p.y);
}

// True when the key was a special key and was reported.
bool special_pressed(WPARAM key) {
  int special = special_key(key);
  if (special < 0 || state.on_special == nullptr) return false;
  state.modifiers = modifiers_held();
  POINT p = cursor_in_window();
  state.on_special(special, p.x, p.y);
  return true;
}

void button(int which, bool pressed, WPARAM w, LPARAM l) {
  // The window keeps the mouse while a button is down, so a drag goes on outside it.
  if (pressed) SetCapture(state.window);
  else if ((w & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) == 0) ReleaseCapture();
  if (state.on_mouse == nullptr) return;
  state.modifiers = modifiers_held();
  state.on_mouse(which, pressed ? GLUT_DOWN : GLUT_UP, low_word(l), high_word(l));
}

// One call a notch; a fine-grained wheel's part notches add up until they make one.
void wheel_turned(WPARAM w, LPARAM l) {
  state.wheel_steps += GET_WHEEL_DELTA_WPARAM(w);
  POINT p{low_word(l), high_word(l)};  // on the screen
  ScreenToClient(state.window, &p);
  state.modifiers = modifiers_held();
  while (state.wheel_steps >= WHEEL_DELTA || state.wheel_steps <= -WHEEL_DELTA) {
    int direction = state.wheel_steps > 0 ? 1 : -1;
    state.wheel_steps -= direction * WHEEL_DELTA;
    if (state.on_wheel != nullptr) state.on_wheel(0, direction, p.x, p.y);
  }
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      if (state.on_display != nullptr) state.on_display();
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // every frame clears its whole picture itself
    case WM_SIZE:
      if (state.on_reshape != nullptr) state.on_reshape(LOWORD(l), HIWORD(l));
      return 0;
    case WM_CHAR:
    case WM_SYSCHAR:  // with Alt held
      key_typed(w);
      return 0;
    case WM_KEYDOWN:
      special_pressed(w);
      return 0;
    case WM_SYSKEYDOWN:
      if (special_pressed(w) && w != VK_F4) return 0;
      break;  // Alt+F4 closes the window
    case WM_SYSKEYUP:
      // NOTE: Alt released alone would otherwise open the system menu, and the next key
      // would go to the menu rather than to the viewer.
      if (w == VK_MENU || w == VK_F10) return 0;
      break;
    case WM_LBUTTONDOWN: button(GLUT_LEFT_BUTTON, true, w, l); return 0;
    case WM_LBUTTONUP: button(GLUT_LEFT_BUTTON, false, w, l); return 0;
    case WM_MBUTTONDOWN: button(GLUT_MIDDLE_BUTTON, true, w, l); return 0;
    case WM_MBUTTONUP: button(GLUT_MIDDLE_BUTTON, false, w, l); return 0;
    case WM_RBUTTONDOWN: button(GLUT_RIGHT_BUTTON, true, w, l); return 0;
    case WM_RBUTTONUP: button(GLUT_RIGHT_BUTTON, false, w, l); return 0;
    case WM_MOUSEMOVE:
      // GLUT's motion is movement with a button held; the viewer asks for no other.
      if ((w & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) != 0 && state.on_motion != nullptr)
        state.on_motion(low_word(l), high_word(l));
      return 0;
    case WM_MOUSEWHEEL:
      wheel_turned(w, l);
      return 0;
    case WM_TIMER: {
      // GLUT's timers fire once: the callback sets the next one.
      KillTimer(window, w);
      if (w < 1 || w > std::size(state.timers)) return 0;
      WindowState::Timer timer = state.timers[w - 1];
      state.timers[w - 1] = WindowState::Timer{};
      if (timer.on_timer != nullptr) timer.on_timer(timer.value);
      return 0;
    }
    case WM_CLOSE:
      end_run();  // closing the window ends the run as Escape does
    default:
      break;
  }
  return DefWindowProcA(window, message, w, l);
}

// One display list a printable character, each drawing its glyph and moving the raster
// position on by its width.
void make_glyphs() {
  // -12: the height of the characters themselves, not of the cell, is 12 pixels.
  HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                           VARIABLE_PITCH | FF_SWISS, "Arial");
  if (font == nullptr) fail("no font for the axis labels");
  HGDIOBJ previous = SelectObject(state.dc, font);
  state.glyphs = glGenLists(kGlyphs);
  // NOTE: some drivers fail the first call after a context is made and take the second.
  bool made = wglUseFontBitmapsA(state.dc, kFirstGlyph, kGlyphs, state.glyphs) ||
              wglUseFontBitmapsA(state.dc, kFirstGlyph, kGlyphs, state.glyphs);
  SelectObject(state.dc, previous);
  DeleteObject(font);
  if (!made) fail_with_error("no bitmap font for the axis labels");
}

void make_context() {
  bool double_buffer = (state.mode & GLUT_DOUBLE) != 0;
  bool depth = (state.mode & GLUT_DEPTH) != 0;
  PIXELFORMATDESCRIPTOR wanted{};
  wanted.nSize = sizeof wanted;
  wanted.nVersion = 1;
  wanted.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (double_buffer ? PFD_DOUBLEBUFFER : 0);
  wanted.iPixelType = PFD_TYPE_RGBA;
  wanted.cColorBits = 24;
  wanted.cDepthBits = depth ? 24 : 0;
  wanted.iLayerType = PFD_MAIN_PLANE;
  int format = ChoosePixelFormat(state.dc, &wanted);
  PIXELFORMATDESCRIPTOR got{};
  if (format == 0 || DescribePixelFormat(state.dc, format, sizeof got, &got) == 0)
    fail("no OpenGL pixel format for the window");
  // ChoosePixelFormat gives the nearest format, which may lack what the viewer needs.
  if ((got.dwFlags & PFD_SUPPORT_OPENGL) == 0 || got.iPixelType != PFD_TYPE_RGBA ||
      (double_buffer && (got.dwFlags & PFD_DOUBLEBUFFER) == 0) || (depth && got.cDepthBits == 0))
    fail("no OpenGL pixel format with RGB colour%s%s", double_buffer ? ", double buffer" : "",
         depth ? " and a depth buffer" : "");
  if (!SetPixelFormat(state.dc, format, &got)) fail_with_error("failed to set the pixel format");
  HGLRC context = wglCreateContext(state.dc);
  if (context == nullptr) fail_with_error("failed to create the OpenGL context");
  if (!wglMakeCurrent(state.dc, context)) fail_with_error("failed to make the OpenGL context current");
}

}  // namespace

void glutInitErrorFunc(void (*on_error)(const char*, va_list)) { state.on_error = on_error; }

// GLUT takes its window system options from the command line here; Windows has none of them.
void glutInit(int*, char**) {}

void glutInitDisplayMode(unsigned mode) { state.mode = mode; }

void glutInitWindowSize(int width, int height) {
  state.width = width;
  state.height = height;
}

void glutInitWindowPosition(int x, int y) {
  state.x = x;
  state.y = y;
}

int glutCreateWindow(const char* title) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA kind{};
  // Own device context: WGL keeps the pixel format and the context on one DC for good.
  kind.style = CS_OWNDC | CS_HREDRAW | CS_VREDRAW;
  kind.lpfnWndProc = window_procedure;
  kind.hInstance = instance;
  kind.hCursor = LoadCursor(nullptr, IDC_ARROW);
  kind.lpszClassName = "KerfdisplayWindow";
  if (RegisterClassA(&kind) == 0) fail_with_error("failed to register the window class");
  // The size asked for is the drawing area's; the frame comes on top.
  DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  RECT frame{0, 0, state.width, state.height};
  AdjustWindowRect(&frame, style, FALSE);
  state.window = CreateWindowExA(0, kind.lpszClassName, title, style, state.x, state.y,
                                 frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                 nullptr, instance, nullptr);
  if (state.window == nullptr) fail_with_error("failed to create the window");
  state.dc = GetDC(state.window);
  if (state.dc == nullptr) fail_with_error("failed to get the window's device context");
  make_context();
  make_glyphs();
  ShowWindow(state.window, SW_SHOW);
  return 1;
}

void glutSetWindowTitle(const char* title) { SetWindowTextA(state.window, title); }

void glutDisplayFunc(void (*on_display)()) { state.on_display = on_display; }
void glutReshapeFunc(void (*on_reshape)(int, int)) { state.on_reshape = on_reshape; }
void glutKeyboardFunc(void (*on_key)(unsigned char, int, int)) { state.on_key = on_key; }
void glutSpecialFunc(void (*on_special)(int, int, int)) { state.on_special = on_special; }
void glutMouseFunc(void (*on_mouse)(int, int, int, int)) { state.on_mouse = on_mouse; }
void glutMotionFunc(void (*on_motion)(int, int)) { state.on_motion = on_motion; }
void glutMouseWheelFunc(void (*on_wheel)(int, int, int, int)) { state.on_wheel = on_wheel; }

int glutGetModifiers() { return state.modifiers; }

void glutTimerFunc(unsigned milliseconds, void (*on_timer)(int value), int value) {
  for (std::size_t k = 0; k < std::size(state.timers); ++k) {
    if (state.timers[k].on_timer != nullptr) continue;
    state.timers[k] = {on_timer, value};
    SetTimer(state.window, k + 1, milliseconds, nullptr);
    return;
  }
}

void glutPostRedisplay() { InvalidateRect(state.window, nullptr, FALSE); }

void glutSwapBuffers() { SwapBuffers(state.dc); }

void glutMainLoop() {
  // The window was sized before the callbacks were set: the first reshape comes from here,
  // before the first picture, as GLUT gives it when the window first shows.
  RECT client;
  GetClientRect(state.window, &client);
  if (state.on_reshape != nullptr) state.on_reshape(client.right, client.bottom);
  glutPostRedisplay();
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  end_run();
}

void glutBitmapCharacter(GlutBitmapFont, int character) {
  if (character < kFirstGlyph || character >= kFirstGlyph + kGlyphs) return;
  glCallList(state.glyphs + static_cast<GLuint>(character - kFirstGlyph));
}

GlutProc glutGetProcAddress(const char* name) {
  PROC found = wglGetProcAddress(name);
  // Some drivers answer a small number rather than null for a name they lack.
  auto value = reinterpret_cast<INT_PTR>(found);
  if (value >= -1 && value <= 3) {
    // The OpenGL 1.1 functions are opengl32.dll's own exports, not the driver's.
    found = GetProcAddress(GetModuleHandleA("opengl32.dll"), name);
  }
  return reinterpret_cast<GlutProc>(found);
}
