#pragma once
// One device packet: module address, payload size and up to 28 payload bytes. On every byte
// stream it travels as address, size, payload; aPacket_AddByte rebuilds it one byte at a time.
#include <cstdint>

#include "tessaloom/common/aError.h"

constexpr uint8_t aPACKET_MAX_DATA = 28;
constexpr uint8_t aPACKET_MAX_WIRE = aPACKET_MAX_DATA + 2;
constexpr uint16_t aPACKET_VALIDITY = 0xBEEF;

// Link-control addresses: odd, so they never collide with a module's even address.
constexpr uint8_t aPACKET_MAGIC_ADDRESS = 0xAD;
constexpr uint8_t aPACKET_FORCEROUTE_ADDRESS = 0xAF;

struct aPacket {
  uint16_t validity;
  uint8_t receivedBytes;
  uint8_t address;
  uint8_t dataSize;
  uint8_t data[aPACKET_MAX_DATA];
};

aPacket* aPacket_Create();
aPacket* aPacket_CreateWithData(uint8_t address, uint32_t length, const uint8_t* data);
aPacket* aPacket_Copy(const aPacket* packet);
aErr aPacket_Destroy(aPacket** packet);

aErr aPacket_Reset(aPacket* packet);
aErr aPacket_AddByte(aPacket* packet, uint8_t byte);
bool aPacket_IsComplete(const aPacket* packet);
aErr aPacket_GetBytes(const aPacket* packet, uint8_t* buffer, uint32_t capacity, uint32_t* written);

aErr aPacket_GetCmd(const aPacket* packet, uint8_t* command);
aErr aPacket_GetOption(const aPacket* packet, uint8_t* option);
aErr aPacket_GetIndex(const aPacket* packet, uint8_t* index);

// True for a non-null record carrying the validity mark.
bool aPacket_IsValid(const aPacket* packet);
