#include "support/Pty.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

std::string RunWithTerminalOutput(const std::function<void()>& body, int timeoutMs) {
  struct termios raw;
  cfmakeraw(&raw);  // no newline translation, so the bytes arrive exactly as written
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty");
  if (pid == 0) {
    body();
    std::fflush(stdout);
    _exit(0);
  }
  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      kill(pid, SIGKILL);
      break;
    }
    pollfd fd{master, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[1024];
    const ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;  // EIO once the child has closed its side
    output.append(buffer, static_cast<size_t>(n));
  }
  close(master);
  waitpid(pid, nullptr, 0);
  return output;
}
