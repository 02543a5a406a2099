// serial_windows.cpp - the serial device calls over the Win32 communications functions: 8N1,
// no flow control, the same lock and time limits as on POSIX.
#include "serial_port.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string>
#include <windows.h>

namespace {

constexpr int kReadWaitMaxMs = 25500;  // the longest wait a POSIX device offers, kept alike

struct Line {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE lock = nullptr;  // the named object that marks the device as taken by a sender
  int read_wait_ms = -1;  // the time-outs the device is set to; -1: not set yet
  int write_wait_ms = -1;
};

Line lines[kSerialPorts];

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

// Sets the device's time-outs when they change (in a download they do not): a read returns
// soon after something has come, or with nothing after the wait; a write that the line takes
// no data for stops after the write limit.
int set_waits(Line& line, int read_ms) {
  if (read_ms < 0) read_ms = 0;
  if (read_ms > kReadWaitMaxMs) read_ms = kReadWaitMaxMs;
  if (read_ms == line.read_wait_ms && write_wait_ms == line.write_wait_ms) return 0;
  COMMTIMEOUTS timeouts{};
  // NOTE: not the documented "MAXDWORD, MAXDWORD, wait" form of "return at the first
  // character", which wine takes as a wait for the whole time; a pause of a millisecond after
  // the last character that came ends a read on both.
  timeouts.ReadIntervalTimeout = read_ms > 0 ? 1 : MAXDWORD;
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(read_ms);
  // 0 stands for no limit here, so the shortest limit there is stands for none at all.
  timeouts.WriteTotalTimeoutConstant =
      write_wait_ms < 0 ? 0 : write_wait_ms == 0 ? 1 : static_cast<DWORD>(write_wait_ms);
  if (!SetCommTimeouts(line.handle, &timeouts)) return fail_system();
  line.read_wait_ms = read_ms;
  line.write_wait_ms = write_wait_ms;
  return 0;
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

// Raw 8N1 without flow control; the modem lines are raised and then left alone.
bool set_line_format(HANDLE handle) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(handle, &dcb)) return false;
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
  return SetCommState(handle, &dcb) != 0;
}

}  // namespace

// Ports above COM9 are opened by this form of their name only.
const char kSerialExample[] = "\\\\.\\COM14";

void device_default(int port, char* device, int size) {
  std::snprintf(device, static_cast<size_t>(size), "\\\\.\\COM%d", port + 1);
}

int device_open(int port) {
  const char* device = ports[port].device;
  // No sharing: a second opening of the port, by any program, fails.
  HANDLE handle = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return fail_system();
  HANDLE lock = sender_lock(device);
  int result = lock == nullptr ? fail(EBUSY) : set_line_format(handle) ? 0 : fail_system();
  Line line{handle, lock, -1, -1};
  if (result == 0) {
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    result = set_waits(line, 0);
  }
  if (result < 0) {
    int code = errno;
    CloseHandle(handle);
    if (lock != nullptr) CloseHandle(lock);
    return fail(code);
  }
  lines[port] = line;
  return 0;
}

int device_baud(int port, int code) {
  static const DWORD speeds[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(lines[port].handle, &dcb)) return fail_system();
  dcb.BaudRate = speeds[code];
  return SetCommState(lines[port].handle, &dcb) ? 0 : fail_system();
}

int device_write(int port, const char* data, int count) {
  Line& line = lines[port];
  if (set_waits(line, line.read_wait_ms) < 0) return -1;
  DWORD written = 0;
  if (!WriteFile(line.handle, data, static_cast<DWORD>(count), &written, nullptr)) return fail(EIO);
  return written < static_cast<DWORD>(count) ? fail(ETIMEDOUT) : 0;
}

int device_read(int port, int wait_ms) {
  Line& line = lines[port];
  Port& p = ports[port];
  if (set_waits(line, wait_ms) < 0) return kSerialFailed;
  DWORD n = 0;
  if (!ReadFile(line.handle, p.received, static_cast<DWORD>(p.receive_size), &n, nullptr)) return line_lost();
  // A line that is gone (an adapter pulled out, a hang-up) may read as nothing at each wait;
  // the state of the port tells it apart from silence.
  DWORD errors = 0;
  if (n == 0 && !ClearCommError(line.handle, &errors, nullptr)) return line_lost();
  return static_cast<int>(n);
}

void device_close(int port) {
  Line& line = lines[port];
  CloseHandle(line.handle);
  CloseHandle(line.lock);
  line = Line{};
}
