// picture.h - writes a frame read back from the window as an RGB PNG file.
#pragma once

// rgb holds height rows of width pixels, 3 bytes each, bottom row first (as OpenGL reads them).
bool write_png(const char* name, const unsigned char* rgb, int width, int height);
