#include "tessaloom/unix/aFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

constexpr uint16_t aFILE_VALIDITY = 0xFEED;

struct aFile {
  FILE* fp;
  uint32_t mode;
  uint16_t validity;
};

namespace {

bool valid(const aFile* f) { return f != nullptr && f->validity == aFILE_VALIDITY && f->fp != nullptr; }

bool path_too_long(const char* path) { return strnlen(path, aFILE_MAX_PATH + 1) > aFILE_MAX_PATH; }

}  // namespace

bool aFile_Exists(const char* path) {
  if (path == nullptr || path_too_long(path)) return false;
  struct stat st;
  return stat(path, &st) == 0 && !S_ISDIR(st.st_mode);
}

aFileHandle aFile_Open(const char* path, uint32_t mode) {
  if (path == nullptr || *path == '\0' || path_too_long(path)) return nullptr;
  static constexpr const char* kModes[] = {"rb", "wb", "ab+"};
  if (mode > aFileModeAppend) return nullptr;
  auto* f = new (std::nothrow) aFile{};
  if (f == nullptr) {
    errno = ENOMEM;
    return nullptr;
  }
  f->fp = std::fopen(path, kModes[mode]);
  if (f->fp == nullptr) {
    const int saved = errno;
    delete f;
    errno = saved;
    return nullptr;
  }
  if (mode == aFileModeAppend) std::fseek(f->fp, 0, SEEK_END);
  f->mode = mode;
  f->validity = aFILE_VALIDITY;
  return f;
}

aErr aFile_Close(aFileHandle* handle) {
  if (handle == nullptr) return aErrParam;
  aFile* f = *handle;
  *handle = nullptr;
  if (!valid(f)) return aErrParam;
  // A failing fclose means buffered data never reached the file.
  const bool closed = std::fclose(f->fp) == 0;
  f->validity = 0;
  f->fp = nullptr;
  delete f;
  return closed ? aErrNone : aErrIO;
}

aErr aFile_Read(aFileHandle handle, uint8_t* buffer, uint64_t length, uint64_t* count) {
  if (count != nullptr) *count = 0;
  if (!valid(handle) || buffer == nullptr) return aErrParam;
  if (handle->mode == aFileModeWrite) return aErrMode;
  const size_t got = std::fread(buffer, 1, length, handle->fp);
  if (count != nullptr) *count = got;
  return (got == 0 && length != 0) ? aErrEOF : aErrNone;
}

aErr aFile_Write(aFileHandle handle, const uint8_t* data, uint64_t length, uint64_t* count) {
  if (count != nullptr) *count = 0;
  if (!valid(handle) || data == nullptr) return aErrParam;
  if (handle->mode == aFileModeRead) return aErrMode;
  const size_t put = std::fwrite(data, 1, length, handle->fp);
  if (count != nullptr) *count = put;
  return (put == 0 && length != 0) ? aErrIO : aErrNone;
}

aErr aFile_GetSize(aFileHandle handle, uint64_t* size) {
  if (!valid(handle) || size == nullptr) return aErrParam;
  *size = 0;
  const off_t here = ftello(handle->fp);
  if (here < 0 || fseeko(handle->fp, 0, SEEK_END) != 0) return aErrIO;
  const off_t end = ftello(handle->fp);
  if (fseeko(handle->fp, here, SEEK_SET) != 0 || end < 0) return aErrIO;
  *size = static_cast<uint64_t>(end);
  return aErrNone;
}

aErr aFile_Seek(aFileHandle handle, uint64_t offset, uint32_t origin) {
  if (!valid(handle) || origin > aSeekEnd) return aErrParam;
  uint64_t size = 0;
  if (aFile_GetSize(handle, &size) != aErrNone) return aErrIO;
  int64_t base = 0;
  if (origin == aSeekCurrent) {
    const off_t here = ftello(handle->fp);
    if (here < 0) return aErrIO;
    base = here;
  } else if (origin == aSeekEnd) {
    base = static_cast<int64_t>(size);
  }
  // Backward moves arrive in two's complement; unsigned addition wraps them correctly.
  const auto target = static_cast<int64_t>(static_cast<uint64_t>(base) + offset);
  if (target < 0 || static_cast<uint64_t>(target) > size) return aErrRange;
  return fseeko(handle->fp, target, SEEK_SET) == 0 ? aErrNone : aErrIO;
}

aErr aFile_ReadLine(aFileHandle handle, char* buffer, uint64_t size, uint64_t* length) {
  if (length != nullptr) *length = 0;
  if (buffer != nullptr && size > 0) buffer[0] = '\0';
  if (!valid(handle) || buffer == nullptr || size < 2) return aErrParam;
  if (handle->mode == aFileModeWrite) return aErrMode;
  uint64_t n = 0;
  int c = EOF;
  while (n < size - 1 && (c = std::getc(handle->fp)) != EOF) {
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  if (length != nullptr) *length = n;
  if (n == 0) return std::ferror(handle->fp) ? aErrIO : aErrEOF;
  if (c == EOF && std::ferror(handle->fp)) return aErrIO;
  if (n == size - 1 && buffer[n - 1] != '\n') return aErrOverrun;
  return aErrNone;
}

aErr aFile_Printf(aFileHandle handle, const char* format, ...) {
  if (!valid(handle) || format == nullptr) return aErrParam;
  if (handle->mode == aFileModeRead) return aErrMode;
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(handle->fp, format, args);
  va_end(args);
  return written < 0 ? aErrIO : aErrNone;
}

aErr aFile_SetUnbuffered(aFileHandle handle) {
  if (!valid(handle)) return aErrParam;
  if (handle->mode == aFileModeRead) return aErrMode;
  return std::setvbuf(handle->fp, nullptr, _IONBF, 0) == 0 ? aErrNone : aErrMode;
}

aErr aFile_GetPosition(aFileHandle handle, uint64_t* position) {
  if (!valid(handle) || position == nullptr) return aErrParam;
  const off_t here = ftello(handle->fp);
  if (here < 0) return aErrIO;
  if (here > 0) *position = static_cast<uint64_t>(here);
  return aErrNone;
}

aErr aFile_Delete(const char* path) {
  if (path == nullptr) return aErrParam;
  if (path_too_long(path)) return aErrFileNameLength;
  if (unlink(path) == 0) return aErrNone;
  switch (errno) {
    case ENOENT: return aErrNotFound;
    case EACCES: case EPERM: return aErrPermission;
    default: return aErrIO;
  }
}
