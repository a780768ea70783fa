#pragma once
// Layout of UEI messages (entity value requests and replies) inside a packet's payload.
// Values are big-endian on the wire.
#include <cstdint>

#include "tessaloom/common/aPacket.h"

// Option byte flags.
constexpr uint8_t ueiOPTION_MASK = 0x3F;
constexpr uint8_t ueiOPTION_GET = 0x40;
constexpr uint8_t ueiOPTION_SET = 0x80;
constexpr uint8_t ueiREPLY_SET = 0xC0;
// Index byte flags.
constexpr uint8_t ueiINDEX_MASK = 0x1F;
constexpr uint8_t ueiINDEX_REQUEST = 0x20;
constexpr uint8_t ueiINDEX_STREAM = 0x40;
constexpr uint8_t ueiINDEX_ERROR = 0x80;
// Bytes transfers carry at most this many value bytes per packet, then a sequence byte.
constexpr uint8_t ueiBYTES_PER_PACKET = 24;
constexpr uint8_t ueiBYTES_CONTINUE = 0x80;
constexpr uint8_t ueiBYTES_SEQUENCE_MASK = 0x7F;

enum ueiType : uint32_t {
  UEI_VOID = 0,
  UEI_BYTE = 1,
  UEI_SHORT = 2,
  UEI_INT = 4,
  UEI_BYTES = 5,
};

struct ueiBytes {
  uint8_t* buffer;
  uint8_t sequence;
  uint8_t more;
  uint32_t length;
  uint32_t* received;
};

struct uei {
  uint8_t module;
  uint8_t command;
  uint8_t option;
  uint8_t index;
  union {
    uint8_t byteVal;
    uint16_t shortVal;
    uint32_t intVal;
    ueiBytes bytes;
  } value;
  ueiType valueType;
};

void aUEI_StoreShort(uint8_t* buffer, uint16_t value);
void aUEI_StoreInt(uint8_t* buffer, uint32_t value);
uint16_t aUEI_RetrieveShort(const uint8_t* buffer);
uint32_t aUEI_RetrieveInt(const uint8_t* buffer);
// Converts big-endian words to host order in place; answers the count.
uint32_t aUEI_ModifyIntBuffer(uint32_t* words, uint32_t count);

uint8_t aUEI_getBytesSequence(const aPacket* packet);
uint8_t aUEI_getBytesContinue(const aPacket* packet);
bool aUEI_getBytesFullPacket(const aPacket* packet);

bool aUEI_isNotUEIPayload(const aPacket* packet);
bool aUEI_isUEIPayload(const aPacket* packet);
bool aUEI_isStreamPacket(const aPacket* packet);
