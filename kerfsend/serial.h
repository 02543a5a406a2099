// serial.h - the six serial port calls Kerfsend makes, by their role; one implementation per platform.
//
// Every call takes the port index first (COM1 = 0) and returns a negative value on failure,
// with the operating system's error code left in errno. Port -1 stands for the whole layer.
#pragma once

constexpr int kSerialPorts = 13;  // COM1 to COM13

// Returned by serial_getc when no character arrived within the wait.
constexpr int kSerialNone = -1;
// Returned by serial_getc when the port is not open or the line is lost (a hang-up).
constexpr int kSerialFailed = -2;

// Opens the port, or resets it when it is open already, with receive and transmit queues
// of the given sizes (at most 1024 characters each are kept). Port -1 closes every port.
// The port is taken for this process alone: a device that another sender holds fails with
// EBUSY.
int serial_open(int port, int receive_queue, int transmit_queue);

// Sets the speed by baud code: 0 110, 1 300, 2 1200, 3 2400, 4 4800, 5 9600, 6 19200,
// 7 38400, 8 57600, 9 115200.
int serial_baud(int port, int code);

// Queues one character for sending. The queue goes out when a line ends ('\n'), when it is
// full, and before every read, so the controller always has the whole line it must answer.
// A line that takes no data for the write wait (serial_write_wait) fails with ETIMEDOUT; what
// was queued is then dropped.
int serial_putc(int port, int c);

// Returns the next received character (0-255), waiting for it about wait_ms milliseconds
// (0: only what has arrived; the device counts in tenths of a second, and waits at most
// 25.5 s at a time); kSerialNone when nothing came in time, kSerialFailed on failure.
int serial_getc(int port, int wait_ms);

// Closes the port after sending what is queued; closing a port that is not open succeeds.
// Port -1 closes every port.
int serial_close(int port);

// Sets the line format that every port is opened with, given for port -1 as parity (0: none),
// stop bits (0: one) and data bits. The controller's link is 8 data bits, no parity, 1 stop
// bit, and that is the only format this layer offers.
int serial_setup(int port, int parity, int stop_bits, int data_bits);

// Not one of the six: how long, in milliseconds, a write may wait for the line to take data
// (-1: without limit, the start value).
void serial_write_wait(int wait_ms);

// Not one of the six: the number of received characters that serial_getc can return without
// asking the device (0 when the port is not open).
int serial_waiting(int port);

// Not one of the six: where each port name leads on this platform. COM1 to COM13 are
// /dev/ttyS0 to /dev/ttyS12 unless mapped elsewhere (a USB adapter, a pseudo-terminal).
int serial_map_device(int port, const char* path);
// A device as a machinist names it on this platform (a USB adapter), for the hints.
extern const char kSerialExample[];
const char* serial_device(int port);

// Closes every port and maps every name back to its default device (for tests).
void serial_reset();
