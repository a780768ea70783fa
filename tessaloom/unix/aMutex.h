#pragma once
#include "tessaloom/common/aError.h"

constexpr unsigned aMUTEX_MAX_NAME = 255;

struct aMutex;
typedef aMutex* aMutexHandle;

aMutexHandle aMutex_Create(const char* name);
const char* aMutex_Identifier(aMutexHandle handle);
aErr aMutex_Destroy(aMutexHandle* handle);
aErr aMutex_Lock(aMutexHandle handle);
aErr aMutex_TryLock(aMutexHandle handle);
aErr aMutex_Unlock(aMutexHandle handle);
