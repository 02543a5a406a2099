// serial_posix.cpp - the serial port calls over POSIX termios: raw, 8N1, no flow control.
#include "serial.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQueueMax = 1024;
constexpr int kDeviceMax = 1024;
constexpr int kVtimeMax = 255;  // the longest read time-out termios offers, in tenths of a second

struct Port {
  int fd;   // reads block in the device for up to its time-out
  int wfd;  // the same line opened again, non-blocking, for writes that must not hang
  char device[kDeviceMax + 1];
  int receive_size;
  int transmit_size;
  char received[kQueueMax];
  int received_count;
  int received_next;
  int vtime;  // the read time-out the device is set to, in tenths of a second
  char queued[kQueueMax];
  int queued_count;
};

Port ports[kSerialPorts];
bool ports_ready = false;  // the table holds its defaults
int write_wait_ms = -1;    // how long a write may wait for the line to take data; -1: no limit

void default_port(int index) {
  Port& p = ports[index];
  p.fd = p.wfd = -1;
  std::snprintf(p.device, sizeof p.device, "/dev/ttyS%d", index);
  p.receive_size = p.transmit_size = kQueueMax;
  p.received_count = p.received_next = p.queued_count = 0;
  p.vtime = 0;
}

void prepare() {
  if (ports_ready) return;
  for (int k = 0; k < kSerialPorts; ++k) default_port(k);
  ports_ready = true;
}

int fail(int code) {
  errno = code;
  return -1;
}

// The open port behind an index, or nullptr with errno set.
Port* open_port(int port) {
  prepare();
  if (port < 0 || port >= kSerialPorts) {
    errno = EINVAL;
    return nullptr;
  }
  if (ports[port].fd < 0) {
    errno = EBADF;
    return nullptr;
  }
  return &ports[port];
}

int clamp_queue(int size) { return size > kQueueMax ? kQueueMax : size; }

// Waits until the line takes data again; false with errno ETIMEDOUT when the write limit
// passes first.
bool wait_for_room(const Port& p, Clock::time_point start) {
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
    pollfd w{p.wfd, POLLOUT, 0};
    int ready = poll(&w, 1, left);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
  }
}

// Writes out the transmit queue. A line that stops taking data (a controller that no longer
// reads, flow held off by a device) must not hold the sender for ever, so writes go through
// the non-blocking descriptor and each stall is limited.
int flush_queue(Port& p) {
  int done = 0;
  int result = 0;
  const Clock::time_point start = Clock::now();
  while (done < p.queued_count) {
    ssize_t n = write(p.wfd, p.queued + done, static_cast<size_t>(p.queued_count - done));
    if (n > 0) {
      done += static_cast<int>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (!wait_for_room(p, start)) {
        result = -1;
        break;
      }
    } else {
      result = n == 0 ? fail(EIO) : -1;
      break;
    }
  }
  p.queued_count = 0;
  return result;
}

// Sets the time that a read waits for its first character, in whole tenths of a second (the
// rest is waited for with poll); the device is set only when the time changes, which in a
// download it does not.
int set_read_wait(Port& p, int wait_ms) {
  int vtime = wait_ms <= 0 ? 0 : wait_ms >= kVtimeMax * 100 ? kVtimeMax : wait_ms / 100;
  if (vtime == p.vtime) return 0;
  termios mode{};
  if (tcgetattr(p.fd, &mode) != 0) return -1;
  mode.c_cc[VMIN] = 0;
  mode.c_cc[VTIME] = static_cast<cc_t>(vtime);
  if (tcsetattr(p.fd, TCSANOW, &mode) != 0) return -1;
  p.vtime = vtime;
  return 0;
}

// A read that returned nothing: the time ran out, unless the line has hung up, which makes
// every read return nothing at once.
int nothing_read(const Port& p) {
  pollfd r{p.fd, POLLIN, 0};
  if (poll(&r, 1, 0) > 0 && (r.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
    errno = EIO;
    return kSerialFailed;
  }
  return kSerialNone;
}

void close_fd(Port& p) {
  if (p.fd < 0) return;
  flush_queue(p);
  // The exclusive mode belongs to the terminal, not to this descriptor: left set, it would
  // keep out the next opening of a line that someone else still holds open.
  ioctl(p.fd, TIOCNXCL);
  close(p.fd);
  close(p.wfd);
  p.fd = p.wfd = -1;
  p.received_count = p.received_next = p.queued_count = 0;
}

speed_t speed_for(int code) {
  static const speed_t speeds[] = {B110, B300, B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
  return code >= 0 && code < 10 ? speeds[code] : B0;
}

}  // namespace

const char kSerialExample[] = "/dev/ttyUSB0";

int serial_open(int port, int receive_queue, int transmit_queue) {
  prepare();
  if (receive_queue < 1 || transmit_queue < 1) return fail(EINVAL);
  if (port == -1) return serial_close(-1);
  if (port < 0 || port >= kSerialPorts) return fail(EINVAL);
  Port& p = ports[port];
  close_fd(p);
  // NOTE: O_NONBLOCK only for the open, so that it never waits for a carrier; CLOCAL below
  // makes the modem lines irrelevant from then on. Reads are bounded by VTIME instead: on a
  // pseudo-terminal a poll() before each read would cost more than the read itself.
  int fd = open(p.device, O_RDWR | O_NOCTTY | O_NONBLOCK);
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
  int wfd = open(p.device, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (wfd < 0 || ioctl(fd, TIOCEXCL) != 0) {
    int code = errno;
    close(fd);
    if (wfd >= 0) close(wfd);
    return fail(code);
  }
  tcflush(fd, TCIOFLUSH);
  p.fd = fd;
  p.wfd = wfd;
  p.receive_size = clamp_queue(receive_queue);
  p.transmit_size = clamp_queue(transmit_queue);
  p.received_count = p.received_next = p.queued_count = 0;
  p.vtime = 0;
  return 0;
}

int serial_baud(int port, int code) {
  Port* p = open_port(port);
  if (p == nullptr) return -1;
  speed_t speed = speed_for(code);
  if (speed == B0) return fail(EINVAL);
  termios mode{};
  if (tcgetattr(p->fd, &mode) != 0) return -1;
  cfsetispeed(&mode, speed);
  cfsetospeed(&mode, speed);
  return tcsetattr(p->fd, TCSANOW, &mode) == 0 ? 0 : -1;
}

int serial_putc(int port, int c) {
  Port* p = open_port(port);
  if (p == nullptr) return -1;
  p->queued[p->queued_count++] = static_cast<char>(c);
  if (c == '\n' || p->queued_count >= p->transmit_size) {
    if (flush_queue(*p) < 0) return -1;
  }
  return c & 0xff;
}

int serial_getc(int port, int wait_ms) {
  Port* p = open_port(port);
  if (p == nullptr) return kSerialFailed;
  if (p->queued_count > 0 && flush_queue(*p) < 0) return kSerialFailed;
  if (p->received_next < p->received_count) {
    return static_cast<unsigned char>(p->received[p->received_next++]);
  }
  if (set_read_wait(*p, wait_ms) < 0) return kSerialFailed;
  ssize_t n = read(p->fd, p->received, static_cast<size_t>(p->receive_size));
  if (n == 0 && wait_ms % 100 != 0) {
    // What the tenths of the device cannot count: up to 99 ms more, waited for with poll.
    pollfd r{p->fd, POLLIN, 0};
    if (poll(&r, 1, p->vtime == 0 ? wait_ms : wait_ms % 100) > 0 && (r.revents & POLLIN) != 0) {
      n = read(p->fd, p->received, static_cast<size_t>(p->receive_size));
    }
  }
  if (n < 0) return errno == EAGAIN || errno == EINTR ? kSerialNone : kSerialFailed;
  if (n == 0) return nothing_read(*p);
  p->received_count = static_cast<int>(n);
  p->received_next = 1;
  return static_cast<unsigned char>(p->received[0]);
}

void serial_write_wait(int wait_ms) { write_wait_ms = wait_ms; }

int serial_waiting(int port) {
  prepare();
  if (port < 0 || port >= kSerialPorts || ports[port].fd < 0) return 0;
  return ports[port].received_count - ports[port].received_next;
}

int serial_close(int port) {
  prepare();
  if (port == -1) {
    for (Port& p : ports) close_fd(p);
    return 0;
  }
  if (port < 0 || port >= kSerialPorts) return fail(EINVAL);
  close_fd(ports[port]);
  return 0;
}

int serial_setup(int port, int parity, int stop_bits, int data_bits) {
  if (port < -1 || port >= kSerialPorts) return fail(EINVAL);
  return parity == 0 && stop_bits == 0 && data_bits == 8 ? 0 : fail(EINVAL);
}

int serial_map_device(int port, const char* path) {
  prepare();
  if (port < 0 || port >= kSerialPorts || path == nullptr || path[0] == '\0') return fail(EINVAL);
  if (std::strlen(path) > static_cast<size_t>(kDeviceMax)) return fail(ENAMETOOLONG);
  std::snprintf(ports[port].device, sizeof ports[port].device, "%s", path);
  return 0;
}

const char* serial_device(int port) {
  prepare();
  return port >= 0 && port < kSerialPorts ? ports[port].device : "";
}

void serial_reset() {
  prepare();
  write_wait_ms = -1;
  for (int k = 0; k < kSerialPorts; ++k) {
    close_fd(ports[k]);
    default_port(k);
  }
}
