// viewer_posix.cpp - the viewer found and started on POSIX.
#include "viewer.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kViewer[] = "Kerfdisplay";

std::string failure;

// How long a started viewer is watched for ending at once: half a second, in steps.
constexpr int kWatchSteps = 25;
constexpr int kWatchStepUs = 20000;
// Told back for a viewer that ended in that time: this plus its exit status (256: a signal);
// below it, the error of an exec that failed.
constexpr int kEndedAtOnce = 100000;

bool is_program(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::string find_viewer() {
  char self[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length > 0) {
    std::string beside(self, static_cast<size_t>(length));
    beside.replace(beside.rfind('/') + 1, std::string::npos, kViewer);
    if (is_program(beside)) return beside;
  }
  // NOTE: an empty or relative entry of the search path means the working directory (or one
  // below it): those are passed over.
  const char* search_path = std::getenv("PATH");
  std::string entries = search_path != nullptr ? search_path : "";
  for (std::size_t start = 0; start <= entries.size();) {
    std::size_t end = entries.find(':', start);
    if (end == std::string::npos) end = entries.size();
    std::string folder = entries.substr(start, end - start);
    if (!folder.empty() && folder[0] == '/' && is_program(folder + "/" + kViewer)) return folder + "/" + kViewer;
    start = end + 1;
  }
  return "";
}

const char* viewer_failure() { return failure.c_str(); }

bool start_viewer(const std::vector<std::string>& args) {
  std::string viewer = find_viewer();
  if (viewer.empty()) {
    failure = "Kerfdisplay was found neither beside Kerfsend nor on the search path";
    return false;
  }
  // NOTE: a window system that is not there makes the viewer end at once, out of sight: it is
  // not started at all then, and the operator is told so.
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((display == nullptr || display[0] == '\0') && (wayland == nullptr || wayland[0] == '\0')) {
    failure = "No viewer could start: there is no display to show its window on (DISPLAY is not set)";
    return false;
  }
  std::vector<std::string> copies = {kViewer};
  copies.insert(copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  // A failed exec, or a viewer that ended at once (a display it cannot open), is told back
  // through this pipe; a viewer that runs on leaves it unwritten.
  int told[2];
  if (pipe2(told, O_CLOEXEC) != 0) {
    failure = std::string("No viewer could start: ") + std::strerror(errno);
    return false;
  }
  // The viewer's own child is left to the system, not to this program, which never waits for it:
  // no finished viewer lingers as a zombie while the job runs.
  pid_t child = fork();
  if (child < 0) {
    failure = std::string("No viewer could start: ") + std::strerror(errno);
    close(told[0]);
    close(told[1]);
    return false;
  }
  if (child == 0) {
    pid_t shown = fork();
    if (shown == 0) {
      setsid();  // a key that interrupts this program's terminal leaves the window alone
      int nothing = open("/dev/null", O_RDWR);
      if (nothing >= 0) {
        dup2(nothing, 0);
        dup2(nothing, 1);
        dup2(nothing, 2);
        if (nothing > 2) close(nothing);
      }
      execv(viewer.c_str(), argv.data());
      int code = errno;
      if (write(told[1], &code, sizeof code) != static_cast<ssize_t>(sizeof code)) _exit(127);
      _exit(127);
    }
    // The first moments of the viewer are watched: one that ends in them never showed a window.
    for (int k = 0; shown > 0 && k < kWatchSteps; ++k) {
      usleep(kWatchStepUs);
      int status = 0;
      if (waitpid(shown, &status, WNOHANG) != shown) continue;
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        int code = WIFEXITED(status) ? kEndedAtOnce + WEXITSTATUS(status) : kEndedAtOnce + 256;
        if (write(told[1], &code, sizeof code) != static_cast<ssize_t>(sizeof code)) _exit(1);
      }
      break;
    }
    _exit(0);
  }
  close(told[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int code = 0;
  ssize_t n;
  do {
    n = read(told[0], &code, sizeof code);
  } while (n < 0 && errno == EINTR);
  close(told[0]);
  if (n == static_cast<ssize_t>(sizeof code) && code >= kEndedAtOnce) {
    failure = code == kEndedAtOnce + 256 ? std::string("No viewer could start: Kerfdisplay ended at once by a signal")
                                          : "No viewer could start: Kerfdisplay ended at once with status " +
                                                std::to_string(code - kEndedAtOnce) + " (a display it cannot open?)";
    return false;
  }
  if (n == static_cast<ssize_t>(sizeof code)) {
    failure = std::string("No viewer could start: it could not be run (") + std::strerror(code) + ")";
    return false;
  }
  return true;
}
