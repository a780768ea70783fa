// TCP socket stream. Reads cost a peek and a read per byte; writes retry for a while when the
// socket is full and reconnect when the peer reset the connection.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>

#include "tessaloom/common/aStream.h"
#include "tessaloom/unix/aTime.h"

namespace {

constexpr uint16_t kSocketValidity = 0xDEAD;
constexpr uint32_t kConnected = 0x1;
constexpr int kMaxWriteAttempts = 10;
constexpr uint64_t kWriteRetryMs = 60;
constexpr uint64_t kCloseSettleMs = 10;

struct SocketRecord {
  uint16_t port = 0;
  sockaddr_in address{};
  std::atomic<int> descriptor{0};
  std::atomic<uint32_t> flags{0};
  uint16_t validity = 0;
  // The reading and the writing thread may both meet a reset peer. The lock makes one of them
  // reconnect; the generation tells the other that the socket it saw fail is already replaced.
  std::mutex connectLock;
  std::atomic<uint64_t> generation{0};
  // Set when a write had to give up half-way: the peer is out of step, so the connection is
  // dropped and made again on the next use.
  std::atomic<bool> reconnectOnUse{false};
};

bool valid(const SocketRecord* r) { return r != nullptr && r->validity == kSocketValidity; }

void close_socket(SocketRecord* r) {
  r->flags &= ~kConnected;
  const int fd = r->descriptor.exchange(0);
  if (fd > 0) close(fd);
  aTime_MSSleep(kCloseSettleMs);
}

aErr connect_locked(SocketRecord* r) {
  if (!valid(r)) return aErrInitialization;
  if (r->descriptor.load() > 0) close_socket(r);
  ++r->generation;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return aErrIO;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&r->address), sizeof r->address) != 0) {
    const int error = errno;
    close(fd);
    aTime_MSSleep(kCloseSettleMs);
    switch (error) {
      case EAGAIN: case ECONNRESET: case ETIMEDOUT: case ECONNREFUSED: return aErrConnection;
      default: return aErrIO;
    }
  }
  r->descriptor = fd;
  r->flags |= kConnected;
  const int on = 1;
  const timeval no_timeout{0, 0};
  const linger reset_on_close{1, 0};
  int nonblocking = 1;
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &no_timeout, sizeof no_timeout) != 0 ||
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset_on_close, sizeof reset_on_close) != 0 ||
      ioctl(fd, FIONBIO, &nonblocking) != 0)
    return aErrIO;
  return aErrNone;
}

// Reconnects unless another thread already did since `seen` was read.
aErr reconnect(SocketRecord* r, uint64_t seen) {
  std::lock_guard<std::mutex> hold(r->connectLock);
  if (r->generation.load() != seen && (r->flags.load() & kConnected) != 0) return aErrNone;
  return connect_locked(r);
}

aErr ensure_connected(SocketRecord* r) {
  if (r->reconnectOnUse.exchange(false)) return reconnect(r, r->generation.load());
  return (r->flags.load() & kConnected) != 0 ? aErrNone : aErrConnection;
}

bool is_reset(int error) { return error == ECONNRESET || error == ENOTCONN || error == ETIMEDOUT; }

aErr socket_get(uint8_t* byte, void* reference) {
  auto* r = static_cast<SocketRecord*>(reference);
  if (!valid(r)) return aErrParam;
  if (const aErr err = ensure_connected(r); err != aErrNone) return err;

  uint64_t seen = r->generation.load();
  ssize_t peeked = recv(r->descriptor.load(), byte, 1, MSG_PEEK);
  if (peeked < 0) {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) return aErrNotReady;
    if (!is_reset(error)) return aErrConnection;
    r->flags &= ~kConnected;
    if (const aErr err = reconnect(r, seen); err != aErrNone) return err;
    seen = r->generation.load();
    peeked = recv(r->descriptor.load(), byte, 1, MSG_PEEK);
    if (peeked < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? aErrNotReady : aErrConnection;
  }
  if (peeked == 0) return aErrNotReady;  // orderly close by the peer

  if (recv(r->descriptor.load(), byte, 1, 0) < 0) {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK) return aErrEOF;
    if (is_reset(error)) return aErrNotReady;
    return aErrIO;
  }
  return aErrNone;
}

aErr socket_write(const uint8_t* data, size_t length, void* reference) {
  auto* r = static_cast<SocketRecord*>(reference);
  if (!valid(r)) return aErrParam;
  if (const aErr err = ensure_connected(r); err != aErrNone) return err;

  const uint8_t* const start = data;
  const size_t total = length;
  int attempts = 0;
  while (length > 0) {
    const uint64_t seen = r->generation.load();
    const ssize_t sent = send(r->descriptor.load(), data, length, MSG_NOSIGNAL);
    if (sent > 0) {
      data += sent;
      length -= static_cast<size_t>(sent);
      if (length > 0) attempts = 1;
    } else {
      const int error = errno;
      if (error == EAGAIN || error == EWOULDBLOCK) {
        ++attempts;
      } else if (error == EPIPE || error == ECONNRESET || error == ENOTCONN) {
        r->flags &= ~kConnected;
        if (const aErr err = reconnect(r, seen); err != aErrNone) return err;
        // What went out before the reset is lost with the old connection: the new peer gets
        // the whole block, never its tail alone.
        data = start;
        length = total;
        ++attempts;
      } else {
        return aErrIO;
      }
    }
    if (length == 0) break;
    if (attempts >= kMaxWriteAttempts) {
      // Half a block on the wire would put the peer out of step with every later one.
      if (length < total) r->reconnectOnUse = true;
      return aErrTimeout;
    }
    aTime_MSSleep(kWriteRetryMs);
  }
  return aErrNone;
}

aErr socket_put(const uint8_t* byte, void* reference) { return socket_write(byte, 1, reference); }

aErr socket_delete(void* reference) {
  auto* r = static_cast<SocketRecord*>(reference);
  if (!valid(r)) return aErrIO;
  if (r->descriptor.load() != 0) close_socket(r);
  r->flags = 0;
  r->validity = 0;
  delete r;
  return aErrNone;
}

}  // namespace

aErr aStream_CreateSocket(uint32_t address, uint16_t port, aStreamRef* stream) {
  if (stream == nullptr) return aErrParam;
  *stream = nullptr;
  auto* r = new (std::nothrow) SocketRecord;
  if (r == nullptr) return aErrResource;
  r->port = port;
  r->address.sin_family = AF_INET;
  r->address.sin_port = htons(port);
  r->address.sin_addr.s_addr = address;
  r->validity = kSocketValidity;
  aErr err;
  {
    std::lock_guard<std::mutex> hold(r->connectLock);
    err = connect_locked(r);
  }
  if (err == aErrNone) *stream = aStream_Create(socket_get, socket_put, socket_write, socket_delete, r);
  if (err != aErrNone || *stream == nullptr) {
    if (r->descriptor.load() > 0) close(r->descriptor.load());
    delete r;
    return aErrResource;
  }
  return aErrNone;
}
