#include "tessaloom/unix/aSerialStream.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "tessaloom/common/aCOBSStream.h"

const uint32_t aSERIAL_BAUD_RATES[aSERIAL_BAUD_INDEX_COUNT] = {2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400};

namespace {

constexpr uint16_t kSerialValidity = 0xBEEF;
constexpr size_t kPathSize = 4096;
constexpr speed_t kSpeeds[aSERIAL_BAUD_INDEX_COUNT] = {B2400, B4800, B9600, B19200, B38400, B57600, B115200, B230400};

struct SerialRecord {
  uint32_t baudIndex;
  char path[kPathSize];
  int descriptor;
  termios saved;
  termios working;
  uint16_t validity;
  bool parity;
  uint32_t dataBits;
  uint32_t stopBits;
  bool savedValid;  // the terminal's own settings were read and can be put back
};

bool valid(const SerialRecord* r) { return r != nullptr && r->validity == kSerialValidity; }

aErr open_port(SerialRecord* r) {
  const int fd = open(r->path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    r->descriptor = 0;
    switch (errno) {
      case ENOENT: return aErrNotFound;
      case EACCES: return aErrPermission;
      default: return aErrIO;
    }
  }
  r->descriptor = fd;
  if (fcntl(fd, F_SETFL, 0) != 0) return aErrIO;
  if (tcgetattr(fd, &r->saved) != 0) return aErrIO;
  r->savedValid = true;
  r->working = r->saved;
  r->working.c_iflag = IGNBRK | (r->parity ? IGNPAR : 0);
  r->working.c_oflag = 0;
  r->working.c_cflag = CREAD | CLOCAL | (r->parity ? PARENB : 0) | (r->dataBits == 0 ? CS8 : CS7) |
                       (r->stopBits == 1 ? CSTOPB : 0);
  r->working.c_lflag = 0;
  cfsetispeed(&r->working, kSpeeds[r->baudIndex]);
  cfsetospeed(&r->working, kSpeeds[r->baudIndex]);
  r->working.c_cc[VMIN] = 0;
  r->working.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &r->working) != 0) return aErrIO;
  if (tcflush(fd, TCIOFLUSH) != 0) return aErrIO;
  return aErrNone;
}

aErr serial_get(uint8_t* byte, void* reference) {
  auto* r = static_cast<SerialRecord*>(reference);
  if (!valid(r)) return aErrParam;
  const ssize_t n = read(r->descriptor, byte, 1);
  if (n == 1) return aErrNone;
  if (n == 0 || (n < 0 && (errno == EAGAIN || errno == EINTR))) return aErrNotReady;
  return aErrIO;
}

aErr serial_write(const uint8_t* data, size_t length, void* reference) {
  auto* r = static_cast<SerialRecord*>(reference);
  if (!valid(r)) return aErrParam;
  if (write(r->descriptor, data, length) != static_cast<ssize_t>(length)) return aErrIO;
  tcdrain(r->descriptor);
  return aErrNone;
}

aErr serial_put(const uint8_t* byte, void* reference) { return serial_write(byte, 1, reference); }

aErr serial_delete(void* reference) {
  auto* r = static_cast<SerialRecord*>(reference);
  if (!valid(r)) return aErrParam;
  if (r->descriptor > 0) {
    if (r->savedValid) tcsetattr(r->descriptor, TCSANOW, &r->saved);
    close(r->descriptor);
    r->descriptor = 0;
    std::memset(&r->saved, 0, sizeof r->saved);
    r->savedValid = false;
  }
  r->validity = 0;
  delete r;
  return aErrNone;
}

// Checks the arguments and makes the record; null with the code in *error otherwise.
SerialRecord* make_record(const char* path, uint32_t baudIndex, bool parity, uint32_t dataBits, uint32_t stopBits,
                          aStreamRef* stream, aErr* error) {
  *error = aErrResource;
  if (path == nullptr || stream == nullptr || dataBits > 1 || stopBits > 1) return nullptr;
  *stream = nullptr;
  // B0 would hang the line up, and a longer path would be cut to another device's name.
  if (baudIndex >= aSERIAL_BAUD_INDEX_COUNT) {
    *error = aErrParam;
    return nullptr;
  }
  if (strnlen(path, kPathSize) >= kPathSize) {
    *error = aErrFileNameLength;
    return nullptr;
  }
  auto* r = new (std::nothrow) SerialRecord{};
  if (r == nullptr) return nullptr;
  r->baudIndex = baudIndex;
  std::strcpy(r->path, path);
  r->parity = parity;
  r->dataBits = dataBits;
  r->stopBits = stopBits;
  r->validity = kSerialValidity;
  *error = aErrNone;
  return r;
}

}  // namespace

aErr aStream_CreateSerial(const char* path, uint32_t baudIndex, bool parity, uint32_t dataBits, uint32_t stopBits,
                          aStreamRef* stream) {
  aErr err;
  SerialRecord* r = make_record(path, baudIndex, parity, dataBits, stopBits, stream, &err);
  if (r == nullptr) return err;
  aStreamRef s = aStream_Create(serial_get, serial_put, serial_write, serial_delete, r);
  if (s == nullptr) {
    serial_delete(r);
    return aErrResource;
  }
  err = open_port(r);
  if (err != aErrNone) {
    aStream_Destroy(&s);
    return err;
  }
  *stream = s;
  return aErrNone;
}

aErr aStream_CreateSerial_Packetized(const char* path, uint32_t baudIndex, bool parity, uint32_t dataBits,
                                     uint32_t stopBits, aStreamRef* stream) {
  aErr err;
  SerialRecord* r = make_record(path, baudIndex, parity, dataBits, stopBits, stream, &err);
  if (r == nullptr) return err;
  err = open_port(r);
  if (err == aErrNone) err = aStream_CreateCobsEncoding(serial_get, serial_put, serial_write, serial_delete, r, stream);
  if (err != aErrNone) serial_delete(r);
  return err;
}
