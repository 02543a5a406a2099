// main.cpp - Kerfgen: machining script in, numbered G-code out.
#include "interpreter.h"

int main(int argc, char** argv) { return kerfgen_main(argc, argv); }
