#pragma once
// Serial-port streams over POSIX terminals: raw bytes, or packets in COBS frames.
#include <cstdint>

#include "tessaloom/common/aStream.h"

// Baud indexes 0..7: 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400.
constexpr uint32_t aSERIAL_BAUD_INDEX_COUNT = 8;
extern const uint32_t aSERIAL_BAUD_RATES[aSERIAL_BAUD_INDEX_COUNT];

// dataBits: 0 = 8 bits, 1 = 7 bits; stopBits: 0 = one, 1 = two; parity on means even parity.
aErr aStream_CreateSerial(const char* path, uint32_t baudIndex, bool parity, uint32_t dataBits, uint32_t stopBits,
                          aStreamRef* stream);
aErr aStream_CreateSerial_Packetized(const char* path, uint32_t baudIndex, bool parity, uint32_t dataBits,
                                     uint32_t stopBits, aStreamRef* stream);
