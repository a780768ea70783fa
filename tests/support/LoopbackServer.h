#pragma once
// A TCP listener on 127.0.0.1 with a chosen behaviour towards each connection it accepts,
// run on its own thread; stopped and joined by the destructor.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackServer {
 public:
  enum class Mode {
    Echo,       // sends back what it reads
    Record,     // keeps what it reads; Received() answers it
    CloseAtOnce,  // orderly close right after accepting
    Reset,      // close with SO_LINGER 0 right after accepting
    Stall,      // accepts and never reads
  };

  explicit LoopbackServer(Mode mode, int receiveBuffer = 0);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  uint16_t Port() const { return port_; }
  int Accepted() const { return accepted_.load(); }
  std::string Received() const;
  // Resets every open connection (SO_LINGER 0).
  void ResetConnections();

 private:
  void run();

  Mode mode_;
  int receiveBuffer_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> resetRequested_{false};
  std::atomic<int> accepted_{0};
  mutable std::mutex lock_;
  std::string received_;
  std::vector<int> open_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
uint16_t UnusedLoopbackPort();
