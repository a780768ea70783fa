#include "tessaloom/unix/aMutex.h"

#include <pthread.h>

#include <cerrno>
#include <cstring>
#include <new>

struct aMutex {
  pthread_mutex_t mutex;
  char name[aMUTEX_MAX_NAME + 1];
};

aMutexHandle aMutex_Create(const char* name) {
  if (name == nullptr) name = "";
  const size_t length = strnlen(name, aMUTEX_MAX_NAME + 1);
  if (length > aMUTEX_MAX_NAME) return nullptr;
  auto* m = new (std::nothrow) aMutex{};
  if (m == nullptr) return nullptr;
  if (pthread_mutex_init(&m->mutex, nullptr) != 0) {
    delete m;
    return nullptr;
  }
  std::memcpy(m->name, name, length);
  m->name[length] = '\0';
  return m;
}

const char* aMutex_Identifier(aMutexHandle handle) { return handle != nullptr ? handle->name : ""; }

aErr aMutex_Destroy(aMutexHandle* handle) {
  if (handle == nullptr || *handle == nullptr) return aErrParam;
  aErr result = aErrNone;
  switch (pthread_mutex_destroy(&(*handle)->mutex)) {
    case 0: break;
    case EAGAIN: result = aErrResource; break;
    case EBUSY: result = aErrBusy; break;
    case EINVAL: result = aErrParam; break;
    default: result = aErrUnknown; break;
  }
  delete *handle;
  *handle = nullptr;
  return result;
}

aErr aMutex_Lock(aMutexHandle handle) {
  if (handle == nullptr) return aErrParam;
  switch (pthread_mutex_lock(&handle->mutex)) {
    case 0: return aErrNone;
    case EINVAL: return aErrParam;
    case EDEADLK: return aErrDuplicate;
    default: return aErrUnknown;
  }
}

aErr aMutex_TryLock(aMutexHandle handle) {
  if (handle == nullptr) return aErrParam;
  switch (pthread_mutex_trylock(&handle->mutex)) {
    case 0: return aErrNone;
    case EBUSY: return aErrBusy;
    case EINVAL: return aErrParam;
    default: return aErrUnknown;
  }
}

aErr aMutex_Unlock(aMutexHandle handle) {
  if (handle == nullptr) return aErrParam;
  switch (pthread_mutex_unlock(&handle->mutex)) {
    case 0: return aErrNone;
    case EPERM: return aErrPermission;
    case EINVAL: return aErrParam;
    default: return aErrUnknown;
  }
}
