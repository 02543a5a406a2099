// picture.cpp - PNG output through libpng's simplified interface.
#include "picture.h"

#include <png.h>

bool write_png(const char* name, const unsigned char* rgb, int width, int height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  // A negative row stride tells libpng that the rows run bottom-up.
  png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
  bool ok = png_image_write_to_file(&image, name, 0, rgb, stride, nullptr) != 0;
  png_image_free(&image);
  return ok;
}
