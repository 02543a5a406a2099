// sim_controller.cpp - the stand-in controller's serving thread.
#include "sim_controller.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

SimController::SimController() : SimController(Options{}) {}

SimController::SimController(const Options& options) : options_(options) {
  char name[256] = "";
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  // Raw before the first byte: the line discipline must neither echo nor translate anything,
  // or the sender would see answers that the controller never gave.
  termios mode{};
  tcgetattr(slave_, &mode);
  cfmakeraw(&mode);
  tcsetattr(slave_, TCSANOW, &mode);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (pipe(stop_pipe_) != 0) throw std::runtime_error("pipe failed");
  // A sender started as a child must not hold the line open behind the controller's back.
  for (int fd : {master_, slave_, stop_pipe_[0], stop_pipe_[1]}) fcntl(fd, F_SETFD, FD_CLOEXEC);
  device_ = name;
  thread_ = std::thread([this] { serve(); });
}

SimController::~SimController() {
  char stop = 's';
  if (write(stop_pipe_[1], &stop, 1) != 1) {}
  thread_.join();
  if (master_ >= 0) close(master_);
  close(slave_);
  close(stop_pipe_[0]);
  close(stop_pipe_[1]);
}

void SimController::say(const std::string& text) {
  std::lock_guard<std::mutex> lock(write_mutex_);
  write_all(text);
}

std::string SimController::received() {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

long SimController::lines() {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::vector<std::chrono::steady_clock::time_point> SimController::line_times() {
  std::lock_guard<std::mutex> lock(mutex_);
  return times_;
}

bool SimController::wait_for(const std::string& text, int timeout_ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return received_.find(text) != std::string::npos; });
}

void SimController::write_all(const std::string& out) {
  std::size_t done = 0;
  while (done < out.size() && master_ >= 0) {
    ssize_t n = write(master_, out.data() + done, out.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      pollfd p[2] = {{master_, POLLOUT, 0}, {stop_pipe_[0], POLLIN, 0}};
      if (poll(p, 2, 100) > 0 && (p[1].revents & POLLIN) != 0) return;
    }
  }
}

long SimController::fill_line() {
  fcntl(slave_, F_SETFL, fcntl(slave_, F_GETFL) | O_NONBLOCK);
  char block[4096];
  for (char& c : block) c = '#';
  long total = 0;
  // The kernel moves what the line holds on to the reading side's own buffer a moment later,
  // which makes room again: the line is full only when a pause frees none.
  for (int quiet = 0; quiet < 3;) {
    long round = 0;
    for (ssize_t n; (n = write(slave_, block, sizeof block)) > 0;) round += n;
    total += round;
    quiet = round == 0 ? quiet + 1 : 0;
    usleep(50000);
  }
  return total;
}

void SimController::answer(const char* data, long count) {
  std::lock_guard<std::mutex> writing(write_mutex_);
  std::string out;
  for (long k = 0; k < count; ++k) {
    char c = data[k];
    bool silent;
    long line;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      bool garbled = static_cast<long>(received_.size()) == options_.garble_at;
      received_ += c;
      if (garbled) c = c == '#' ? '*' : '#';
      if (c == '\n') {
        ++lines_;
        times_.push_back(std::chrono::steady_clock::now());
      }
      line = lines_;
      stalled_ = options_.read_lines >= 0 && lines_ >= options_.read_lines;
      long of_line = c == '\n' ? lines_ : lines_ + 1;  // the line this character belongs to
      silent = options_.answer_lines >= 0 && of_line > options_.answer_lines;
    }
    changed_.notify_all();
    if (stalled_) {
      // Reads no further: what the sender writes from here on stays in the line.
      out += c;
      write_all(out);
      if (c == '\n') write_all(std::string(1, options_.prompt));
      return;
    }
    if (c == '\n' && options_.hangup_after >= 0 && line >= options_.hangup_after) {
      // NOTE: the echo of the line in progress is lost with the line; writing it just before
      // the close would make whether the sender still reads it a matter of timing.
      close(master_);  // the sender's side of the line is hung up from here on
      master_ = -1;
      return;
    }
    if (silent) continue;
    out += c;
    if (c == '\n') {
      write_all(out);
      out.clear();
      if (options_.line_delay_us > 0) usleep(static_cast<useconds_t>(options_.line_delay_us));
      out += options_.prompt;
    }
  }
  write_all(out);
}

void SimController::serve() {
  char buffer[4096];
  while (master_ >= 0) {
    // A controller that stopped reading only waits to be stopped itself.
    pollfd p[2] = {{stalled_ ? -1 : master_, POLLIN, 0}, {stop_pipe_[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) return;
    if ((p[1].revents & POLLIN) != 0) return;
    if ((p[0].revents & POLLIN) == 0) {
      usleep(1000);  // an error state without data: do not spin on it
      continue;
    }
    // One character a read once it may stop reading, so that it stops at the line's end.
    std::size_t size = options_.read_lines >= 0 ? 1 : sizeof buffer;
    ssize_t n = read(master_, buffer, size);
    if (n > 0) answer(buffer, n);
  }
}
