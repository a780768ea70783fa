#pragma once
// Files behind a checked handle. Every call validates the handle first, so a closed or
// foreign pointer is refused with aErrParam instead of reaching the C library.
#include <cstdint>

#include "tessaloom/common/aError.h"

constexpr uint32_t aFILE_MAX_PATH = 4096;

enum aFileMode : uint32_t {
  aFileModeRead = 0,
  aFileModeWrite = 1,
  aFileModeAppend = 2,
};

enum aFileSeekOrigin : uint32_t {
  aSeekStart = 0,
  aSeekCurrent = 1,
  aSeekEnd = 2,
};

struct aFile;
typedef aFile* aFileHandle;

bool aFile_Exists(const char* path);
// Null on failure; errno is left as the system set it.
aFileHandle aFile_Open(const char* path, uint32_t mode);
aErr aFile_Close(aFileHandle* handle);
aErr aFile_Read(aFileHandle handle, uint8_t* buffer, uint64_t length, uint64_t* count);
aErr aFile_Write(aFileHandle handle, const uint8_t* data, uint64_t length, uint64_t* count);
aErr aFile_Seek(aFileHandle handle, uint64_t offset, uint32_t origin);
aErr aFile_GetSize(aFileHandle handle, uint64_t* size);
aErr aFile_ReadLine(aFileHandle handle, char* buffer, uint64_t size, uint64_t* length);
aErr aFile_Printf(aFileHandle handle, const char* format, ...) __attribute__((format(printf, 2, 3)));
aErr aFile_SetUnbuffered(aFileHandle handle);
aErr aFile_GetPosition(aFileHandle handle, uint64_t* position);
aErr aFile_Delete(const char* path);
