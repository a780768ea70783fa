#pragma once
#include "tessaloom/common/aStream.h"

// A stream over any transport that sends each written packet as one COBS frame with a CRC-8
// and hands out the packets of frames that arrived intact.
aErr aStream_CreateCobsEncoding(aStreamGetProc get, aStreamPutProc put, aStreamWriteProc write,
                                aStreamDeleteProc del, void* reference, aStreamRef* stream);

// Encoded bytes of the largest frame (28 data bytes): address, length, data, CRC, plus one
// code byte.
constexpr size_t aCOBS_MAX_ENCODED_FRAME = 32;
