// main.cpp - Kerfdisplay: a G-code file's tool path in a 3-D window.
#include "display.h"

int main(int argc, char** argv) { return kerfdisplay_main(argc, argv); }
