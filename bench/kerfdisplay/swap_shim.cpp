// swap_shim.cpp - preloaded into a viewer by view_bench (LD_PRELOAD): every buffer swap is
// passed on to the real glXSwapBuffers and then noted, as the monotonic clock's seconds, in the
// file KERF_SWAP_LOG names, one line a frame shown. The benchmark reads when each frame was
// shown; the same clock is std::chrono::steady_clock's.
#include <GL/glx.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

using Swap = void (*)(Display*, GLXDrawable);

int log_file() {
  static int fd = [] {
    const char* name = std::getenv("KERF_SWAP_LOG");
    return name == nullptr ? -1 : open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }();
  return fd;
}

}  // namespace

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable) {
  static Swap real = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
  if (real != nullptr) real(display, drawable);
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  char line[64];
  int n = std::snprintf(line, sizeof line, "%ld.%09ld\n", static_cast<long>(now.tv_sec), now.tv_nsec);
  int fd = log_file();
  if (fd >= 0 && n > 0) {
    ssize_t written = write(fd, line, static_cast<std::size_t>(n));
    (void)written;
  }
}
