#include "tessaloom/common/aPacket.h"

#include <cstring>
#include <new>

bool aPacket_IsValid(const aPacket* packet) {
  return packet != nullptr && packet->validity == aPACKET_VALIDITY;
}

aPacket* aPacket_Create() {
  auto* packet = new (std::nothrow) aPacket{};
  if (packet != nullptr) packet->validity = aPACKET_VALIDITY;
  return packet;
}

aPacket* aPacket_CreateWithData(uint8_t address, uint32_t length, const uint8_t* data) {
  if (data == nullptr || length > aPACKET_MAX_DATA) return nullptr;
  aPacket* packet = aPacket_Create();
  if (packet == nullptr) return nullptr;
  packet->address = address;
  packet->dataSize = static_cast<uint8_t>(length);
  packet->receivedBytes = static_cast<uint8_t>(length + 2);
  std::memcpy(packet->data, data, length);
  return packet;
}

aPacket* aPacket_Copy(const aPacket* packet) {
  if (!aPacket_IsValid(packet) || packet->dataSize > aPACKET_MAX_DATA) return nullptr;
  return aPacket_CreateWithData(packet->address, packet->dataSize, packet->data);
}

aErr aPacket_Destroy(aPacket** packet) {
  if (packet == nullptr || *packet == nullptr) return aErrParam;
  (*packet)->validity = 0;
  delete *packet;
  *packet = nullptr;
  return aErrNone;
}

aErr aPacket_Reset(aPacket* packet) {
  if (!aPacket_IsValid(packet)) return aErrParam;
  packet->receivedBytes = 0;
  packet->address = 0;
  packet->dataSize = 0;
  std::memset(packet->data, 0, sizeof packet->data);
  return aErrNone;
}

aErr aPacket_AddByte(aPacket* packet, uint8_t byte) {
  if (!aPacket_IsValid(packet)) return aErrParam;
  // Saturate instead of wrapping so a stream of garbage can never look like a fresh packet.
  if (packet->receivedBytes < 0xFF) packet->receivedBytes++;
  if (packet->receivedBytes > aPACKET_MAX_WIRE) return aErrOverrun;

  if (packet->address == 0) {
    if (byte == 0) return aErrPacket;
    packet->address = byte;
  } else if (packet->dataSize == 0) {
    packet->dataSize = byte;
    if (byte > aPACKET_MAX_DATA) return aErrPacket;
  } else if (packet->receivedBytes > packet->dataSize + 2 || packet->dataSize > aPACKET_MAX_DATA) {
    return aErrPacket;
  } else {
    packet->data[packet->receivedBytes - 3] = byte;
  }
  return aErrNone;
}

bool aPacket_IsComplete(const aPacket* packet) {
  return aPacket_IsValid(packet) && packet->receivedBytes == packet->dataSize + 2;
}

aErr aPacket_GetBytes(const aPacket* packet, uint8_t* buffer, uint32_t capacity, uint32_t* written) {
  if (!aPacket_IsValid(packet) || buffer == nullptr || packet->dataSize > aPACKET_MAX_DATA)
    return aErrParam;
  const uint32_t total = packet->dataSize + 2u;
  if (capacity < total) return aErrOverrun;
  buffer[0] = packet->address;
  buffer[1] = packet->dataSize;
  std::memcpy(buffer + 2, packet->data, packet->dataSize);
  if (written != nullptr) *written = total;
  return aErrNone;
}

namespace {

aErr payload_byte(const aPacket* packet, uint8_t* out, uint8_t position, uint8_t mask) {
  if (out == nullptr) return aErrParam;
  if (!aPacket_IsValid(packet) || packet->dataSize <= position) return aErrPacket;
  *out = packet->data[position] & mask;
  return aErrNone;
}

}  // namespace

aErr aPacket_GetCmd(const aPacket* packet, uint8_t* command) {
  return payload_byte(packet, command, 0, 0xFF);
}

aErr aPacket_GetOption(const aPacket* packet, uint8_t* option) {
  return payload_byte(packet, option, 1, 0x3F);
}

aErr aPacket_GetIndex(const aPacket* packet, uint8_t* index) {
  return payload_byte(packet, index, 2, 0x1F);
}
