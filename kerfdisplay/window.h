// window.h - the window system calls the viewer makes, by their GLUT names: freeglut's own on
// POSIX, the viewer's own Win32/WGL layer (window_win32.cpp) on Windows, where no GLUT is at hand.
#pragma once

#ifndef _WIN32
#include <GL/freeglut.h>
#else

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <GL/gl.h>

#include <cstdarg>

// The values are GLUT's, so that code written against GLUT reads the same on both systems.
constexpr unsigned GLUT_RGB = 0;
constexpr unsigned GLUT_DOUBLE = 2;
constexpr unsigned GLUT_DEPTH = 16;

constexpr int GLUT_LEFT_BUTTON = 0;
constexpr int GLUT_MIDDLE_BUTTON = 1;
constexpr int GLUT_RIGHT_BUTTON = 2;
constexpr int GLUT_DOWN = 0;
constexpr int GLUT_UP = 1;

constexpr int GLUT_ACTIVE_SHIFT = 1;
constexpr int GLUT_ACTIVE_CTRL = 2;
constexpr int GLUT_ACTIVE_ALT = 4;

constexpr int GLUT_KEY_F1 = 1;  // F2 to F12 follow
constexpr int GLUT_KEY_LEFT = 100;
constexpr int GLUT_KEY_UP = 101;
constexpr int GLUT_KEY_RIGHT = 102;
constexpr int GLUT_KEY_DOWN = 103;
constexpr int GLUT_KEY_PAGE_UP = 104;
constexpr int GLUT_KEY_PAGE_DOWN = 105;
constexpr int GLUT_KEY_HOME = 106;
constexpr int GLUT_KEY_END = 107;
constexpr int GLUT_KEY_INSERT = 108;

// The one bitmap font the viewer labels its axes with: a 12-pixel sans-serif face of the system.
enum GlutBitmapFont { GLUT_BITMAP_HELVETICA_12 };

// Called with a printf format and its arguments when the window cannot be made; it must not
// return (without one, the reason goes to standard error and the process ends with status 1).
void glutInitErrorFunc(void (*on_error)(const char* format, va_list args));
void glutInit(int* argc, char** argv);
void glutInitDisplayMode(unsigned mode);
void glutInitWindowSize(int width, int height);
void glutInitWindowPosition(int x, int y);
// Makes the one window, shows it and makes its OpenGL context current; returns its number, 1.
int glutCreateWindow(const char* title);
void glutSetWindowTitle(const char* title);

void glutDisplayFunc(void (*on_display)());
void glutReshapeFunc(void (*on_reshape)(int width, int height));
void glutKeyboardFunc(void (*on_key)(unsigned char key, int x, int y));
void glutSpecialFunc(void (*on_special)(int key, int x, int y));
void glutMouseFunc(void (*on_mouse)(int button, int state, int x, int y));
void glutMotionFunc(void (*on_motion)(int x, int y));
void glutMouseWheelFunc(void (*on_wheel)(int wheel, int direction, int x, int y));

// The GLUT_ACTIVE_* keys held at the input event being handled.
int glutGetModifiers();
void glutPostRedisplay();
// Calls on_timer(value) once, `milliseconds` from now; up to four timers may be waiting.
void glutTimerFunc(unsigned milliseconds, void (*on_timer)(int value), int value);
void glutSwapBuffers();
// Never returns: closing the window ends the process with status 0, as Escape does.
[[noreturn]] void glutMainLoop();

void glutBitmapCharacter(GlutBitmapFont font, int character);
// An OpenGL entry point by its name (beyond 1.1, the driver's), or nullptr; cast to its type.
using GlutProc = void (*)();
GlutProc glutGetProcAddress(const char* name);

#endif
