#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

sockaddr_in loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

void reset_close(int fd) {
  const linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  close(fd);
}

}  // namespace

LoopbackServer::LoopbackServer(Mode mode, int receiveBuffer) : mode_(mode), receiveBuffer_(receiveBuffer) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (receiveBuffer_ > 0) setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
  sockaddr_in a = loopback(0);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 8) != 0)
    throw std::runtime_error("listen");
  socklen_t len = sizeof a;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  thread_.join();
  for (int fd : open_) close(fd);
  close(listener_);
}

std::string LoopbackServer::Received() const {
  std::lock_guard<std::mutex> hold(lock_);
  return received_;
}

void LoopbackServer::ResetConnections() {
  // Done by the server thread, which owns the descriptors; wait (bounded) until it has.
  resetRequested_ = true;
  for (int i = 0; i < 500 && resetRequested_; ++i) usleep(2000);
}

void LoopbackServer::run() {
  while (!stop_) {
    if (resetRequested_) {
      std::lock_guard<std::mutex> hold(lock_);
      for (int fd : open_) reset_close(fd);
      open_.clear();
      resetRequested_ = false;
    }
    std::vector<pollfd> fds{{listener_, POLLIN, 0}};
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (mode_ == Mode::Echo || mode_ == Mode::Record)
        for (int fd : open_) fds.push_back({fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 20) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        ++accepted_;
        switch (mode_) {
          case Mode::CloseAtOnce: close(fd); break;
          case Mode::Reset: reset_close(fd); break;
          default: {
            std::lock_guard<std::mutex> hold(lock_);
            open_.push_back(fd);
          }
        }
      }
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char buffer[65536];
      const ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
      std::lock_guard<std::mutex> hold(lock_);
      if (n <= 0) {
        std::erase(open_, fds[i].fd);
        close(fds[i].fd);
        continue;
      }
      if (mode_ == Mode::Echo) {
        if (send(fds[i].fd, buffer, static_cast<size_t>(n), MSG_NOSIGNAL) < 0) continue;
      } else {
        received_.append(buffer, static_cast<size_t>(n));
      }
    }
  }
}

uint16_t UnusedLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}
