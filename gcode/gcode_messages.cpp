// gcode_messages.cpp - the interpreter's console messages and the reading progress line.
#include "gcode_messages.h"

#include <cstdarg>

std::FILE* message_stream = stdout;
void (*progress_listener)(int percent) = nullptr;

namespace {

bool progress_shown = false;

}  // namespace

void say(const char* format, ...) {
  if (message_stream == nullptr) return;
  end_progress();
  va_list args;
  va_start(args, format);
  std::vfprintf(message_stream, format, args);
  va_end(args);
}

void show_progress(int percent) {
  if (message_stream == nullptr) return;
  std::fprintf(message_stream, "\rReading %3d%%", percent);
  std::fflush(message_stream);
  progress_shown = true;
}

void end_progress() {
  if (!progress_shown) return;
  // Spaces over "Reading 100%", then back to the start of the line for what follows.
  std::fprintf(message_stream, "\r            \r");
  std::fflush(message_stream);
  progress_shown = false;
}

void warning_box(const char* title, const char* text) { say("%s\n%s\n", title, text); }
