// serial_windows.cpp - the serial port calls over the Win32 communications functions: 8N1, no
// flow control, the same queues and time limits as on POSIX.
#include "serial.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <windows.h>

namespace {

constexpr int kQueueMax = 1024;
constexpr int kDeviceMax = 1024;
constexpr int kReadWaitMaxMs = 25500;  // the longest wait a POSIX device offers, kept alike

struct Port {
  HANDLE handle;
  HANDLE lock;  // the named object that marks the device as taken by a sender
  char device[kDeviceMax + 1];
  int receive_size;
  int transmit_size;
  char received[kQueueMax];
  int received_count;
  int received_next;
  int read_wait_ms;  // the read time-out the device is set to; -1: not set yet
  int write_wait_ms;
  char queued[kQueueMax];
  int queued_count;
};

Port ports[kSerialPorts];
bool ports_ready = false;  // the table holds its defaults
int write_wait_ms = -1;    // how long a write may wait for the line to take data; -1: no limit

void default_port(int index) {
  Port& p = ports[index];
  p.handle = INVALID_HANDLE_VALUE;
  p.lock = nullptr;
  std::snprintf(p.device, sizeof p.device, "\\\\.\\COM%d", index + 1);
  p.receive_size = p.transmit_size = kQueueMax;
  p.received_count = p.received_next = p.queued_count = 0;
  p.read_wait_ms = p.write_wait_ms = -1;
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

// The system's error in the terms the caller reports: errno's.
int fail_system() {
  switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return fail(EBUSY);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST: return fail(ENOENT);
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED: return fail(ENOTTY);
    case ERROR_INVALID_PARAMETER: return fail(EINVAL);
    default: return fail(EIO);
  }
}

// A port that was open and fails no longer leads to the controller.
int line_lost() {
  errno = EIO;
  return kSerialFailed;
}

Port* open_port(int port) {
  prepare();
  if (port < 0 || port >= kSerialPorts) {
    errno = EINVAL;
    return nullptr;
  }
  if (ports[port].handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return nullptr;
  }
  return &ports[port];
}

int clamp_queue(int size) { return size > kQueueMax ? kQueueMax : size; }

// Sets the device's time-outs when they change (in a download they do not): a read returns
// as soon as anything has come, or with nothing after the wait; a write that the line takes
// no data for stops after the write limit.
int set_waits(Port& p, int read_ms) {
  if (read_ms < 0) read_ms = 0;
  if (read_ms > kReadWaitMaxMs) read_ms = kReadWaitMaxMs;
  if (read_ms == p.read_wait_ms && write_wait_ms == p.write_wait_ms) return 0;
  COMMTIMEOUTS timeouts{};
  // NOTE: not the documented "MAXDWORD, MAXDWORD, wait" form of "return at the first
  // character", which wine takes as a wait for the whole time; a pause of a millisecond after
  // the last character that came ends a read on both.
  timeouts.ReadIntervalTimeout = read_ms > 0 ? 1 : MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(read_ms);
  timeouts.WriteTotalTimeoutConstant = write_wait_ms > 0 ? static_cast<DWORD>(write_wait_ms) : 0;
  if (write_wait_ms == 0) timeouts.WriteTotalTimeoutConstant = 1;  // 0 would mean no limit
  if (!SetCommTimeouts(p.handle, &timeouts)) return fail_system();
  p.read_wait_ms = read_ms;
  p.write_wait_ms = write_wait_ms;
  return 0;
}

int flush_queue(Port& p) {
  int result = 0;
  if (p.queued_count > 0 && set_waits(p, p.read_wait_ms) == 0) {
    DWORD written = 0;
    if (!WriteFile(p.handle, p.queued, static_cast<DWORD>(p.queued_count), &written, nullptr)) {
      result = fail(EIO);
    } else if (written < static_cast<DWORD>(p.queued_count)) {
      result = fail(ETIMEDOUT);
    }
  } else if (p.queued_count > 0) {
    result = -1;
  }
  p.queued_count = 0;
  return result;
}

void close_handle(Port& p) {
  if (p.handle == INVALID_HANDLE_VALUE) return;
  flush_queue(p);
  CloseHandle(p.handle);
  CloseHandle(p.lock);
  p.handle = INVALID_HANDLE_VALUE;
  p.lock = nullptr;
  p.received_count = p.received_next = p.queued_count = 0;
}

// One sender a device, as the lock on POSIX: the port driver of Windows lets only one program
// open a port at a time, but not every system that runs these programs (wine) does. A named
// object a device, held while the port is open, keeps out every other sender; nullptr when
// another sender holds it.
HANDLE sender_lock(const char* device) {
  std::string name = "Local\\Kerfsend port ";
  for (const char* c = device; *c != '\0'; ++c)
    name += *c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  HANDLE lock = CreateMutexA(nullptr, FALSE, name.c_str());
  if (lock != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(lock);
    return nullptr;
  }
  return lock;
}

const DWORD kSpeeds[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

}  // namespace

// Ports above COM9 are opened by this form of their name only.
const char kSerialExample[] = "\\\\.\\COM14";

int serial_open(int port, int receive_queue, int transmit_queue) {
  prepare();
  if (receive_queue < 1 || transmit_queue < 1) return fail(EINVAL);
  if (port == -1) return serial_close(-1);
  if (port < 0 || port >= kSerialPorts) return fail(EINVAL);
  Port& p = ports[port];
  close_handle(p);
  // One sender a line: no sharing, so a second opening of the port, by any program, fails.
  HANDLE handle = CreateFileA(p.device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return fail_system();
  HANDLE lock = sender_lock(p.device);
  if (lock == nullptr) {
    CloseHandle(handle);
    return fail(EBUSY);
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) {
    int result = fail_system();
    CloseHandle(handle);
    CloseHandle(lock);
    return result;
  }
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(handle, &dcb)) {
    int result = fail_system();
    CloseHandle(handle);
    CloseHandle(lock);
    return result;
  }
  PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
  p.handle = handle;
  p.lock = lock;
  p.receive_size = clamp_queue(receive_queue);
  p.transmit_size = clamp_queue(transmit_queue);
  p.received_count = p.received_next = p.queued_count = 0;
  p.read_wait_ms = p.write_wait_ms = -1;
  if (set_waits(p, 0) < 0) {
    int code = errno;
    close_handle(p);
    return fail(code);
  }
  return 0;
}

int serial_baud(int port, int code) {
  Port* p = open_port(port);
  if (p == nullptr) return -1;
  if (code < 0 || code >= 10) return fail(EINVAL);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(p->handle, &dcb)) return fail_system();
  dcb.BaudRate = kSpeeds[code];
  return SetCommState(p->handle, &dcb) ? 0 : fail_system();
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
  if (set_waits(*p, wait_ms) < 0) return kSerialFailed;
  DWORD n = 0;
  if (!ReadFile(p->handle, p->received, static_cast<DWORD>(p->receive_size), &n, nullptr)) return line_lost();
  // A line that is gone (an adapter pulled out, a hang-up) may read as nothing at each wait;
  // the state of the port tells it apart from silence.
  DWORD errors = 0;
  if (n == 0 && !ClearCommError(p->handle, &errors, nullptr)) return line_lost();
  if (n == 0) return kSerialNone;
  p->received_count = static_cast<int>(n);
  p->received_next = 1;
  return static_cast<unsigned char>(p->received[0]);
}

void serial_write_wait(int wait_ms) { write_wait_ms = wait_ms; }

int serial_waiting(int port) {
  prepare();
  if (port < 0 || port >= kSerialPorts || ports[port].handle == INVALID_HANDLE_VALUE) return 0;
  return ports[port].received_count - ports[port].received_next;
}

int serial_close(int port) {
  prepare();
  if (port == -1) {
    for (Port& p : ports) close_handle(p);
    return 0;
  }
  if (port < 0 || port >= kSerialPorts) return fail(EINVAL);
  close_handle(ports[port]);
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
    close_handle(ports[k]);
    default_port(k);
  }
}
