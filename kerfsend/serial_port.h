// serial_port.h - what the serial layer keeps for each port, shared by its platform-neutral part
// (serial.cpp: the port table, the queues, the names) and the device calls of one platform
// (serial_posix.cpp, serial_windows.cpp).
#pragma once

#include "serial.h"

constexpr int kQueueMax = 1024;
constexpr int kDeviceMax = 1024;

struct Port {
  bool open;
  char device[kDeviceMax + 1];
  int receive_size;
  int transmit_size;
  char received[kQueueMax];
  int received_count;
  int received_next;
  char queued[kQueueMax];
  int queued_count;
};

extern Port ports[kSerialPorts];

// How long a write may wait for the line to take data, in milliseconds; -1: no limit.
extern int write_wait_ms;

// Sets errno and returns -1.
int fail(int code);

// The device calls, one set a platform. Each takes a valid port index; all but device_open
// are called only for an open port. Failures return -1 (device_read: kSerialFailed) with errno set.

// The device a port name leads to unless mapped elsewhere.
void device_default(int port, char* device, int size);
// Opens ports[port].device, taken for this process alone, raw 8N1 without flow control, at the
// rate the device had.
int device_open(int port);
int device_baud(int port, int code);
// Writes all of the data, each stall of the line limited by write_wait_ms (ETIMEDOUT).
int device_write(int port, const char* data, int count);
// Reads into ports[port].received what has come, waiting for it about wait_ms (at most 25.5 s);
// returns the count read, kSerialNone when nothing came, kSerialFailed on failure (EIO: the
// line is gone).
int device_read(int port, int wait_ms);
void device_close(int port);
