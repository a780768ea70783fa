#include "tessaloom/common/aStream.h"

#include <cstring>
#include <memory>
#include <new>

#include "tessaloom/unix/aFile.h"

constexpr uint16_t aSTREAM_VALIDITY = 0x4321;
constexpr size_t aSTREAM_RING_STEP = 512;

struct aStream {
  aStreamGetProc get;
  aStreamPutProc put;
  aStreamWriteProc write;
  aStreamDeleteProc del;
  void* reference;
  uint8_t* ring;
  uint32_t count;
  size_t capacity;
  size_t head;
  size_t tail;
  uint16_t validity;
};

namespace {

bool valid(const aStream* s) { return s != nullptr && s->validity == aSTREAM_VALIDITY; }

bool take_buffered(aStream* s, uint8_t* byte) {
  if (s->count == 0) return false;
  *byte = s->ring[s->head];
  s->head = (s->head + 1) % s->capacity;
  --s->count;
  return true;
}

aErr get_one(aStream* s, uint8_t* byte) {
  if (take_buffered(s, byte)) return aErrNone;
  return s->get(byte, s->reference);
}

aErr push_back_all(aStream* s, const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const aErr err = aStreamBufferChar(s, bytes[i]);
    if (err != aErrNone) return err;
  }
  return aErrNone;
}

// One-byte get that sees the ring first, as record reads do.
aErr read_one(aStream* s, uint8_t* byte) { return aStream_Read(s, byte, 1); }

}  // namespace

aStreamRef aStream_Create(aStreamGetProc get, aStreamPutProc put, aStreamWriteProc write, aStreamDeleteProc del,
                          void* reference) {
  auto* s = new (std::nothrow) aStream{};
  if (s == nullptr) return nullptr;
  s->get = get;
  s->put = put;
  s->write = write;
  s->del = del;
  s->reference = reference;
  s->validity = aSTREAM_VALIDITY;
  return s;
}

aErr aStream_Destroy(aStreamRef* stream) {
  if (stream == nullptr) return aErrParam;
  aStream* s = *stream;
  *stream = nullptr;
  if (!valid(s)) return aErrParam;
  const aErr result = s->del != nullptr ? s->del(s->reference) : aErrNone;
  delete[] s->ring;
  s->validity = 0;
  delete s;
  return result;
}

size_t aStream_RingCapacity(aStreamRef stream) { return valid(stream) ? stream->capacity : 0; }

aErr aStreamBufferChar(aStreamRef s, uint8_t byte) {
  if (!valid(s)) return aErrParam;
  if (s->ring == nullptr) {
    s->ring = new (std::nothrow) uint8_t[aSTREAM_RING_STEP];
    if (s->ring == nullptr) return aErrMemory;
    s->capacity = aSTREAM_RING_STEP;
    s->count = 0;
    s->head = 0;
    s->tail = 0;
  }
  if (s->count >= s->capacity - 1) {
    const size_t grown = s->capacity + aSTREAM_RING_STEP;
    auto* bigger = new (std::nothrow) uint8_t[grown];
    if (bigger == nullptr) return aErrMemory;
    for (size_t i = 0; i < s->count; ++i) bigger[i] = s->ring[(s->head + i) % s->capacity];
    delete[] s->ring;
    s->ring = bigger;
    s->head = 0;
    s->tail = s->count;
    s->capacity = grown;
  }
  s->ring[s->tail] = byte;
  s->tail = (s->tail + 1) % s->capacity;
  ++s->count;
  return aErrNone;
}

aErr aStream_Read(aStreamRef s, uint8_t* destination, size_t length) {
  if (!valid(s) || destination == nullptr) return aErrParam;
  if (s->get == nullptr) return aErrMode;
  // A single byte needs no temporary block; the link engine reads this way all the time.
  uint8_t one;
  std::unique_ptr<uint8_t[]> block;
  uint8_t* gathered = &one;
  if (length > 1) {
    block.reset(new (std::nothrow) uint8_t[length]);
    if (!block) return aErrResource;
    gathered = block.get();
  }
  size_t n = 0;
  aErr err = aErrNone;
  while (n < length) {
    err = get_one(s, &gathered[n]);
    if (err != aErrNone) break;
    ++n;
  }
  if (err == aErrNone || err == aErrEOF) {
    std::memcpy(destination, gathered, n);
    return err;
  }
  if (err == aErrNotReady) {
    const aErr pushed = push_back_all(s, gathered, n);
    return pushed != aErrNone ? pushed : aErrNotReady;
  }
  return err;
}

aErr aStream_Write(aStreamRef s, const uint8_t* data, size_t length) {
  if (!valid(s) || data == nullptr) return aErrParam;
  if (s->write == nullptr && s->put == nullptr) return aErrMode;
  if (s->write != nullptr && length > 1) return s->write(data, length, s->reference);
  if (s->put == nullptr) return s->write(data, length, s->reference);
  for (size_t i = 0; i < length; ++i) {
    const aErr err = s->put(&data[i], s->reference);
    if (err != aErrNone) return err;
  }
  return aErrNone;
}

aErr aStream_ReadRecord(aStreamRef s, uint8_t* destination, size_t* length, size_t maximum, const uint8_t* terminator,
                        size_t terminatorLength) {
  if (!valid(s) || destination == nullptr || terminator == nullptr || terminatorLength == 0) return aErrParam;
  std::unique_ptr<uint8_t[]> stored(new (std::nothrow) uint8_t[maximum > 0 ? maximum : 1]);
  if (!stored) return aErrResource;
  size_t n = 0;
  size_t matched = 0;
  aErr result = aErrNone;
  for (;;) {
    if (n >= maximum) break;  // a record of maximum length comes back without a terminator
    uint8_t byte = 0;
    const aErr err = read_one(s, &byte);
    if (err == aErrEOF) {
      result = n > 0 ? aErrNone : aErrEOF;
      break;
    }
    if (err == aErrNotReady) {
      const aErr pushed = push_back_all(s, stored.get(), n);
      return pushed != aErrNone ? pushed : aErrNotReady;
    }
    if (err != aErrNone) return err;
    if (byte == terminator[matched]) {
      if (++matched == terminatorLength) break;
      continue;
    }
    stored[n++] = byte;
  }
  std::memcpy(destination, stored.get(), n);
  if (length != nullptr) *length = n;
  return result;
}

aErr aStream_WriteRecord(aStreamRef s, const uint8_t* data, size_t length, const uint8_t* terminator,
                         size_t terminatorLength) {
  if (!valid(s) || data == nullptr || terminator == nullptr || terminatorLength == 0) return aErrParam;
  const aErr err = aStream_Write(s, data, length);
  return err != aErrNone ? err : aStream_Write(s, terminator, terminatorLength);
}

aErr aStream_ReadCString(aStreamRef s, char* destination, size_t size) {
  if (destination == nullptr || size == 0) return aErrParam;
  const uint8_t zero = 0;
  size_t n = 0;
  const aErr err = aStream_ReadRecord(s, reinterpret_cast<uint8_t*>(destination), &n, size - 1, &zero, 1);
  if (err == aErrNone) destination[n] = '\0';
  return err;
}

aErr aStream_WriteCString(aStreamRef s, const char* text) {
  if (text == nullptr) return aErrParam;
  return aStream_Write(s, reinterpret_cast<const uint8_t*>(text), std::strlen(text) + 1);
}

aErr aStream_ReadCStringRecord(aStreamRef s, char* destination, size_t size, const char* terminator) {
  if (destination == nullptr || size == 0 || terminator == nullptr) return aErrParam;
  size_t n = 0;
  const aErr err = aStream_ReadRecord(s, reinterpret_cast<uint8_t*>(destination), &n, size - 1,
                                      reinterpret_cast<const uint8_t*>(terminator), std::strlen(terminator));
  if (err == aErrNone) destination[n] = '\0';
  return err;
}

aErr aStream_WriteCStringRecord(aStreamRef s, const char* text, const char* terminator) {
  if (text == nullptr || terminator == nullptr) return aErrParam;
  return aStream_WriteRecord(s, reinterpret_cast<const uint8_t*>(text), std::strlen(text),
                             reinterpret_cast<const uint8_t*>(terminator), std::strlen(terminator) + 1);
}

aErr aStream_Flush(aStreamRef source, aStreamRef destination) {
  if (!valid(source) || !valid(destination)) return aErrParam;
  if (source->get == nullptr || destination->put == nullptr) return aErrMode;
  for (;;) {
    uint8_t byte = 0;
    const aErr got = source->get(&byte, source->reference);
    if (got == aErrEOF) return aErrNone;
    if (got != aErrNone) return got;
    const aErr put = destination->put(&byte, destination->reference);
    if (put != aErrNone) return put;
  }
}

namespace {

aErr file_get(uint8_t* byte, void* reference) {
  if (reference == nullptr) return aErrIO;
  return aFile_Read(static_cast<aFileHandle>(reference), byte, 1, nullptr);
}

aErr file_write(const uint8_t* data, size_t length, void* reference) {
  if (reference == nullptr) return aErrIO;
  return aFile_Write(static_cast<aFileHandle>(reference), data, length, nullptr) == aErrNone ? aErrNone : aErrIO;
}

aErr file_put(const uint8_t* byte, void* reference) { return file_write(byte, 1, reference); }

aErr file_delete(void* reference) {
  auto handle = static_cast<aFileHandle>(reference);
  return aFile_Close(&handle);
}

aErr make_file_stream(const char* path, uint32_t mode, aStreamRef* stream) {
  if (path == nullptr || stream == nullptr) return aErrResource;
  aFileHandle file = aFile_Open(path, mode);
  if (file == nullptr) return aErrResource;
  aStreamRef s = mode == aFileModeRead ? aStream_Create(file_get, nullptr, nullptr, file_delete, file)
                                       : aStream_Create(nullptr, file_put, file_write, file_delete, file);
  if (s == nullptr) {
    aFile_Close(&file);
    return aErrResource;
  }
  *stream = s;
  return aErrNone;
}

}  // namespace

aErr aStream_CreateFileInput(const char* path, aStreamRef* stream) {
  return make_file_stream(path, aFileModeRead, stream);
}

aErr aStream_CreateFileOutput(const char* path, aStreamRef* stream) {
  return make_file_stream(path, aFileModeWrite, stream);
}
