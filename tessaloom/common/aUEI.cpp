#include "tessaloom/common/aUEI.h"

#include <cstring>

void aUEI_StoreShort(uint8_t* buffer, uint16_t value) {
  buffer[0] = static_cast<uint8_t>(value >> 8);
  buffer[1] = static_cast<uint8_t>(value);
}

void aUEI_StoreInt(uint8_t* buffer, uint32_t value) {
  buffer[0] = static_cast<uint8_t>(value >> 24);
  buffer[1] = static_cast<uint8_t>(value >> 16);
  buffer[2] = static_cast<uint8_t>(value >> 8);
  buffer[3] = static_cast<uint8_t>(value);
}

uint16_t aUEI_RetrieveShort(const uint8_t* buffer) {
  return static_cast<uint16_t>((buffer[0] << 8) | buffer[1]);
}

uint32_t aUEI_RetrieveInt(const uint8_t* buffer) {
  return (static_cast<uint32_t>(buffer[0]) << 24) | (static_cast<uint32_t>(buffer[1]) << 16) |
         (static_cast<uint32_t>(buffer[2]) << 8) | buffer[3];
}

uint32_t aUEI_ModifyIntBuffer(uint32_t* words, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t raw[4];
    std::memcpy(raw, &words[i], sizeof raw);
    words[i] = aUEI_RetrieveInt(raw);
  }
  return count;
}

namespace {

bool has_payload(const aPacket* packet) {
  return aPacket_IsValid(packet) && packet->dataSize > 0 && packet->dataSize <= aPACKET_MAX_DATA;
}

uint8_t last_payload_byte(const aPacket* packet) { return packet->data[packet->dataSize - 1]; }

}  // namespace

uint8_t aUEI_getBytesSequence(const aPacket* packet) {
  return has_payload(packet) ? last_payload_byte(packet) & ueiBYTES_SEQUENCE_MASK : 0;
}

uint8_t aUEI_getBytesContinue(const aPacket* packet) {
  return has_payload(packet) ? (last_payload_byte(packet) & ueiBYTES_CONTINUE) >> 7 : 0;
}

bool aUEI_getBytesFullPacket(const aPacket* packet) {
  return aPacket_IsValid(packet) && (packet->dataSize == 27 || packet->dataSize == 28);
}

bool aUEI_isNotUEIPayload(const aPacket* packet) {
  if (!has_payload(packet)) return true;
  switch (packet->data[0]) {
    case 0: case 1: case 2: case 4: case 8: case 9: case 23: case 24:
    case 73: case 94: case 95: case 173: case 175:
      return true;
    default:
      return false;
  }
}

bool aUEI_isUEIPayload(const aPacket* packet) { return !aUEI_isNotUEIPayload(packet); }

bool aUEI_isStreamPacket(const aPacket* packet) {
  return has_payload(packet) && packet->dataSize > 4 && aUEI_isUEIPayload(packet) &&
         packet->data[1] < ueiOPTION_GET && (packet->data[2] & ueiINDEX_STREAM) != 0;
}
