#include "tessaloom/unix/aThread.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <new>

struct aThread {
  pthread_t thread;
};

aThreadHandle aThread_Create(aThreadEntry entry, void* argument) {
  if (entry == nullptr) return nullptr;
  auto* t = new (std::nothrow) aThread{};
  if (t == nullptr) return nullptr;
  if (pthread_create(&t->thread, nullptr, entry, argument) != 0) {
    delete t;
    return nullptr;
  }
  return t;
}

int aThread_Destroy(aThreadHandle* handle) {
  if (handle == nullptr || *handle == nullptr) return EINVAL;
  const int result = pthread_join((*handle)->thread, nullptr);
  delete *handle;
  *handle = nullptr;
  return result;
}

void aThread_Yield() { usleep(5); }
