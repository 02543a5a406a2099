// serial.cpp - the serial port calls' port table, queues and names, the same on every platform;
// the device calls stand in serial_<platform>.cpp.
#include "serial_port.h"

#include <cerrno>
#include <cstring>

Port ports[kSerialPorts];
int write_wait_ms = -1;

namespace {

bool ports_ready = false;  // the table holds its defaults

void default_port(int index) {
  Port& p = ports[index];
  p.open = false;
  device_default(index, p.device, sizeof p.device);
  p.receive_size = p.transmit_size = kQueueMax;
  p.received_count = p.received_next = p.queued_count = 0;
}

void prepare() {
  if (ports_ready) return;
  for (int k = 0; k < kSerialPorts; ++k) default_port(k);
  ports_ready = true;
}

// The open port behind an index, or nullptr with errno set.
Port* open_port(int port) {
  prepare();
  if (port < 0 || port >= kSerialPorts) {
    errno = EINVAL;
    return nullptr;
  }
  if (!ports[port].open) {
    errno = EBADF;
    return nullptr;
  }
  return &ports[port];
}

int clamp_queue(int size) { return size > kQueueMax ? kQueueMax : size; }

int flush_queue(int port) {
  Port& p = ports[port];
  int result = device_write(port, p.queued, p.queued_count);
  p.queued_count = 0;
  return result;
}

void close_port(int port) {
  Port& p = ports[port];
  if (!p.open) return;
  if (p.queued_count > 0) flush_queue(port);
  device_close(port);
  p.open = false;
  p.received_count = p.received_next = p.queued_count = 0;
}

}  // namespace

int fail(int code) {
  errno = code;
  return -1;
}

int serial_open(int port, int receive_queue, int transmit_queue) {
  prepare();
  if (receive_queue < 1 || transmit_queue < 1) return fail(EINVAL);
  if (port == -1) return serial_close(-1);
  if (port < 0 || port >= kSerialPorts) return fail(EINVAL);
  close_port(port);
  if (device_open(port) < 0) return -1;
  Port& p = ports[port];
  p.open = true;
  p.receive_size = clamp_queue(receive_queue);
  p.transmit_size = clamp_queue(transmit_queue);
  p.received_count = p.received_next = p.queued_count = 0;
  return 0;
}

int serial_baud(int port, int code) {
  if (open_port(port) == nullptr) return -1;
  if (code < 0 || code >= 10) return fail(EINVAL);
  return device_baud(port, code);
}

int serial_putc(int port, int c) {
  Port* p = open_port(port);
  if (p == nullptr) return -1;
  p->queued[p->queued_count++] = static_cast<char>(c);
  if (c == '\n' || p->queued_count >= p->transmit_size) {
    if (flush_queue(port) < 0) return -1;
  }
  return c & 0xff;
}

int serial_getc(int port, int wait_ms) {
  Port* p = open_port(port);
  if (p == nullptr) return kSerialFailed;
  if (p->queued_count > 0 && flush_queue(port) < 0) return kSerialFailed;
  if (p->received_next < p->received_count) {
    return static_cast<unsigned char>(p->received[p->received_next++]);
  }
  int n = device_read(port, wait_ms);
  if (n <= 0) return n == 0 ? kSerialNone : n;
  p->received_count = n;
  p->received_next = 1;
  return static_cast<unsigned char>(p->received[0]);
}

void serial_write_wait(int wait_ms) { write_wait_ms = wait_ms; }

int serial_waiting(int port) {
  prepare();
  if (port < 0 || port >= kSerialPorts || !ports[port].open) return 0;
  return ports[port].received_count - ports[port].received_next;
}

int serial_close(int port) {
  prepare();
  if (port == -1) {
    for (int k = 0; k < kSerialPorts; ++k) close_port(k);
    return 0;
  }
  if (port < 0 || port >= kSerialPorts) return fail(EINVAL);
  close_port(port);
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
  std::memcpy(ports[port].device, path, std::strlen(path) + 1);
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
    close_port(k);
    default_port(k);
  }
}
