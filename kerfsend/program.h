// program.h - Kerfsend's start: settings, banner, the port, and the command line in order.
#pragma once

// Runs Kerfsend as the command line asks; returns the exit status.
int kerfsend_main(int argc, char** argv);
