// serial_posix.cpp - the serial device calls over POSIX termios: raw, 8N1, no flow control.
#include "serial_port.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kVtimeMax = 255;  // the longest read time-out termios offers, in tenths of a second

struct Line {
  int fd = -1;   // reads block in the device for up to its time-out
  int wfd = -1;  // the same line opened again, non-blocking, for writes that must not hang
  int vtime = 0;  // the read time-out the device is set to, in tenths of a second
};

Line lines[kSerialPorts];

// Waits until the line takes data again; false with errno ETIMEDOUT when the write limit
// passes first.
bool wait_for_room(const Line& line, Clock::time_point start) {
  for (;;) {
    int left = -1;
    if (write_wait_ms >= 0) {
      auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      if (spent >= write_wait_ms) {
        errno = ETIMEDOUT;
        return false;
      }
      left = write_wait_ms - static_cast<int>(spent);
    }
    pollfd w{line.wfd, POLLOUT, 0};
    int ready = poll(&w, 1, left);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// Sets the time that a read waits for its first character, in whole tenths of a second (the
// rest is waited for with poll); the device is set only when the time changes, which in a
// download it does not.
int set_read_wait(Line& line, int wait_ms) {
  int vtime = wait_ms <= 0 ? 0 : wait_ms >= kVtimeMax * 100 ? kVtimeMax : wait_ms / 100;
  if (vtime == line.vtime) return 0;
  termios mode{};
  if (tcgetattr(line.fd, &mode) != 0) return -1;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = static_cast<cc_t>(vtime);
  if (tcsetattr(line.fd, TCSANOW, &mode) != 0) return -1;
  line.vtime = vtime;
  return 0;
}

// A read that returned nothing: the time ran out, unless the line has hung up, which makes
// every read return nothing at once.
int nothing_read(const Line& line) {
  pollfd r{line.fd, POLLIN, 0};
  if (poll(&r, 1, 0) > 0 && (r.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    errno = EIO;
    return kSerialFailed;
  }
  return kSerialNone;
}

speed_t speed_for(int code) {
  static const speed_t speeds[] = {B110, B300, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
  return code >= 0 && code < 10 ? speeds[code] : B0;
}

}  // namespace

const char kSerialExample[] = "/dev/ttyUSB0";

void device_default(int port, char* device, int size) {
  std::snprintf(device, static_cast<size_t>(size), "/dev/ttyS%d", port);
}

int device_open(int port) {
  const char* device = ports[port].device;
  // NOTE: O_NONBLOCK only for the open, so that it never waits for a carrier; CLOCAL below
  // makes the modem lines irrelevant from then on. Reads are bounded by VTIME instead: on a
  // pseudo-terminal a poll() before each read would cost more than the read itself.
  int fd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // One sender a line: a second one would put its lines in the middle of a job. The lock is
  // what other senders honour (and holds for root as well); the exclusive mode keeps out any
  // other program that opens the device without asking.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int code = errno == EWOULDBLOCK ? EBUSY : errno;
    close(fd);
    return fail(code);
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  termios mode{};
  if (tcgetattr(fd, &mode) != 0) {
    int code = errno;
    close(fd);
    return fail(code);
  }
  mode.c_iflag = 0;
  mode.c_oflag = 0;
  mode.c_lflag = 0;
  mode.c_cflag &= static_cast<tcflag_t>(~(CSIZE | PARENB | CSTOPB | CRTSCTS));
  mode.c_cflag |= CS8 | CREAD | CLOCAL;
  // A read returns what has come as soon as there is anything, or nothing at the time-out.
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &mode) != 0) {
    int code = errno;
    close(fd);
    return fail(code);
  }
  // NOTE: a second descriptor rather than switching one to non-blocking around each write,
  // which would cost two calls a line; it is opened before the exclusive mode shuts others out.
  int wfd = open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (wfd < 0 || ioctl(fd, TIOCEXCL) != 0) {
    int code = errno;
    close(fd);
    if (wfd >= 0) close(wfd);
    return fail(code);
  }
  tcflush(fd, TCIOFLUSH);
  lines[port] = Line{fd, wfd, 0};
  return 0;
}

int device_baud(int port, int code) {
  speed_t speed = speed_for(code);
  termios mode{};
  if (tcgetattr(lines[port].fd, &mode) != 0) return -1;
  cfsetispeed(&mode, speed);
  cfsetospeed(&mode, speed);
  return tcsetattr(lines[port].fd, TCSANOW, &mode) == 0 ? 0 : -1;
}

// A line that stops taking data (a controller that no longer reads, flow held off by a device)
// must not hold the sender for ever, so writes go through the non-blocking descriptor and each
// stall is limited.
int device_write(int port, const char* data, int count) {
  const Line& line = lines[port];
  int done = 0;
  const Clock::time_point start = Clock::now();
  while (done < count) {
    ssize_t n = write(line.wfd, data + done, static_cast<size_t>(count - done));
    if (n > 0) {
      done += static_cast<int>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!wait_for_room(line, start)) return -1;
    } else {
      return n == 0 ? fail(EIO) : -1;
    }
  }
  return 0;
}

int device_read(int port, int wait_ms) {
  Line& line = lines[port];
  Port& p = ports[port];
  if (set_read_wait(line, wait_ms) < 0) return kSerialFailed;
  ssize_t n = read(line.fd, p.received, static_cast<size_t>(p.receive_size));
  if (n == 0 && wait_ms % 100 != 0) {
    // What the tenths of the device cannot count: up to 99 ms more, waited for with poll.
    pollfd r{line.fd, POLLIN, 0};
    if (poll(&r, 1, line.vtime == 0 ? wait_ms : wait_ms % 100) > 0 && (r.revents & POLLIN) != 0) {
      n = read(line.fd, p.received, static_cast<size_t>(p.receive_size));
    }
  }
  if (n < 0) return errno == EAGAIN || errno == EINTR ? kSerialNone : kSerialFailed;
  if (n == 0) return nothing_read(line);
  return static_cast<int>(n);
}

void device_close(int port) {
  Line& line = lines[port];
  // The exclusive mode belongs to the terminal, not to this descriptor: left set, it would
  // keep out the next opening of a line that someone else still holds open.
  ioctl(line.fd, TIOCNXCL);
  close(line.fd);
  close(line.wfd);
  line = Line{};
}
