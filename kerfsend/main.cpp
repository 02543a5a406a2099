// main.cpp - Kerfsend: G-code programs and commands to the HB617 controller over a serial port.
#include "program.h"

int main(int argc, char** argv) { return kerfsend_main(argc, argv); }
