#pragma once
// The byte stream: up to four transport operations and their reference, plus a push-back
// ring that lets a read which cannot be completed be undone. Every transport produces one.
#include <cstddef>
#include <cstdint>

#include "tessaloom/common/aError.h"

typedef aErr (*aStreamGetProc)(uint8_t* byte, void* reference);
typedef aErr (*aStreamPutProc)(const uint8_t* byte, void* reference);
typedef aErr (*aStreamWriteProc)(const uint8_t* data, size_t length, void* reference);
typedef aErr (*aStreamDeleteProc)(void* reference);

struct aStream;
typedef aStream* aStreamRef;

aStreamRef aStream_Create(aStreamGetProc get, aStreamPutProc put, aStreamWriteProc write, aStreamDeleteProc del,
                          void* reference);
aErr aStream_Destroy(aStreamRef* stream);

// All or nothing: on aErrNotReady the bytes gathered so far go back into the ring.
aErr aStream_Read(aStreamRef stream, uint8_t* destination, size_t length);
aErr aStream_Write(aStreamRef stream, const uint8_t* data, size_t length);
aErr aStreamBufferChar(aStreamRef stream, uint8_t byte);

aErr aStream_ReadRecord(aStreamRef stream, uint8_t* destination, size_t* length, size_t maximum,
                        const uint8_t* terminator, size_t terminatorLength);
aErr aStream_WriteRecord(aStreamRef stream, const uint8_t* data, size_t length, const uint8_t* terminator,
                         size_t terminatorLength);
aErr aStream_ReadCString(aStreamRef stream, char* destination, size_t size);
aErr aStream_WriteCString(aStreamRef stream, const char* text);
aErr aStream_ReadCStringRecord(aStreamRef stream, char* destination, size_t size, const char* terminator);
aErr aStream_WriteCStringRecord(aStreamRef stream, const char* text, const char* terminator);
aErr aStream_Flush(aStreamRef source, aStreamRef destination);

aErr aStream_CreateFileInput(const char* path, aStreamRef* stream);
aErr aStream_CreateFileOutput(const char* path, aStreamRef* stream);
// address is in network byte order, port in host order.
aErr aStream_CreateSocket(uint32_t address, uint16_t port, aStreamRef* stream);

// Ring capacity in bytes (0 before the first push-back); for tests and diagnostics.
size_t aStream_RingCapacity(aStreamRef stream);
