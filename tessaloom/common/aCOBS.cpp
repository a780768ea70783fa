#include "tessaloom/common/aCOBS.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr std::array<uint8_t, 256> make_crc_table() {
  std::array<uint8_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint8_t crc = static_cast<uint8_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>((crc & 1) ? (crc >> 1) ^ 0x8C : crc >> 1);
    table[i] = crc;
  }
  return table;
}
constexpr std::array<uint8_t, 256> kCrcTable = make_crc_table();

constexpr size_t kStackEncodeLimit = 256;

}  // namespace

size_t cobs_encode(const uint8_t* source, size_t length, uint8_t* destination) {
  size_t code_at = 0;
  size_t out = 1;
  uint8_t code = 1;
  for (size_t i = 0; i < length; ++i) {
    if (source[i] != 0) {
      destination[out++] = source[i];
      if (++code == 0xFF) {
        destination[code_at] = code;
        code_at = out++;
        code = 1;
      }
    } else {
      destination[code_at] = code;
      code_at = out++;
      code = 1;
    }
  }
  destination[code_at] = code;
  return out;
}

size_t cobs_encode_inplace(uint8_t* buffer, size_t length) {
  // Encoding moves bytes forward, so the input is copied aside first; frames are small
  // enough for the stack.
  uint8_t small[kStackEncodeLimit];
  std::vector<uint8_t> large;
  uint8_t* copy = small;
  if (length > sizeof small) {
    large.assign(buffer, buffer + length);
    copy = large.data();
  } else {
    std::memcpy(small, buffer, length);
  }
  return cobs_encode(copy, length, buffer);
}

size_t cobs_decode(const uint8_t* source, size_t length, uint8_t* destination) {
  size_t in = 0;
  size_t out = 0;
  while (in < length) {
    const uint8_t code = source[in];
    if (code == 0) return 0;  // a zero is never part of an encoding
    if (in + code > length && code != 1) return 0;
    ++in;
    for (uint8_t i = 1; i < code; ++i) {
      if (source[in] == 0) return 0;
      destination[out++] = source[in++];
    }
    if (code != 0xFF && in != length) destination[out++] = 0;
  }
  return out;
}

size_t cobs_decode_inplace(uint8_t* buffer, size_t length) { return cobs_decode(buffer, length, buffer); }

uint8_t crc8_update(uint8_t crc, uint8_t byte) { return kCrcTable[crc ^ byte]; }

uint8_t crc8_create(const uint8_t* bytes, size_t length) {
  uint8_t crc = 0;
  for (size_t i = 0; i < length; ++i) crc = crc8_update(crc, bytes[i]);
  return crc;
}

bool crc8_check(const uint8_t* bytes, size_t length, uint8_t expected) {
  return crc8_create(bytes, length) == expected;
}
