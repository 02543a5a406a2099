// display.h - the viewer program: window start-up, the compiled scene, the GLUT callbacks and
// the --png picture.
#pragma once

// Runs the viewer with the program's command line; returns only the exit status of a run that
// ends before the event loop (the event loop itself never returns).
int kerfdisplay_main(int argc, char** argv);
