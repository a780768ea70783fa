#include "tessaloom/unix/aTime.h"

#include <sys/time.h>

#include <cerrno>
#include <ctime>

uint64_t aTime_GetMSTicks() {
  struct timeval now;
  if (gettimeofday(&now, nullptr) != 0) return 0;
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_usec) / 1000u;
}

namespace {
// Some systems refuse sleeps of a whole second or more in one call.
constexpr uint64_t kMaxSliceMicroseconds = 999999;
}  // namespace

aErr aTime_MSSleep(uint64_t milliseconds) {
  constexpr uint64_t kLimit = UINT64_MAX / 1000u;
  uint64_t remaining = (milliseconds > kLimit ? kLimit : milliseconds) * 1000u;
  while (remaining > 0) {
    const uint64_t slice = remaining > kMaxSliceMicroseconds ? kMaxSliceMicroseconds : remaining;
    struct timespec want = {0, static_cast<long>(slice * 1000u)};
    struct timespec left;
    // A signal must not shorten the sleep.
    while (nanosleep(&want, &left) != 0 && errno == EINTR) want = left;
    remaining -= slice;
  }
  return aErrNone;
}
