#include "updater/base64.h"

#include <array>
#include <cstdlib>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kInvalid = 0xFF;

constexpr std::array<uint8_t, 256> make_decode_table() {
  std::array<uint8_t, 256> table{};
  for (auto& v : table) v = kInvalid;
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = i;
  return table;
}
constexpr std::array<uint8_t, 256> kDecode = make_decode_table();

}  // namespace

uint8_t* base64_decode(const char* text, size_t length, size_t* decodedLength) {
  if (decodedLength != nullptr) *decodedLength = 0;
  if (text == nullptr || length % 4 != 0) return nullptr;
  size_t padding = 0;
  if (length >= 1 && text[length - 1] == '=') ++padding;
  if (length >= 2 && text[length - 2] == '=') {
    if (padding == 0) return nullptr;  // "x=y" is no valid ending
    ++padding;
  }
  const size_t size = length / 4 * 3 - padding;
  auto* out = static_cast<uint8_t*>(std::malloc(size + 1));
  if (out == nullptr) return nullptr;

  const auto* in = reinterpret_cast<const unsigned char*>(text);
  const size_t full = padding > 0 ? length - 4 : length;  // groups without padding
  size_t o = 0;
  for (size_t i = 0; i < full; i += 4) {
    const uint8_t a = kDecode[in[i]], b = kDecode[in[i + 1]], c = kDecode[in[i + 2]], d = kDecode[in[i + 3]];
    if ((a | b | c | d) & 0xC0) {  // only kInvalid has either top bit set
      std::free(out);
      return nullptr;
    }
    const uint32_t group = (uint32_t{a} << 18) | (uint32_t{b} << 12) | (uint32_t{c} << 6) | d;
    out[o++] = static_cast<uint8_t>(group >> 16);
    out[o++] = static_cast<uint8_t>(group >> 8);
    out[o++] = static_cast<uint8_t>(group);
  }
  if (padding > 0) {
    uint32_t group = 0;
    for (size_t k = 0; k < 4; ++k) {
      uint8_t v = 0;
      if (k < 4 - padding) {
        v = kDecode[in[full + k]];
        if (v == kInvalid) {
          std::free(out);
          return nullptr;
        }
      }
      group = (group << 6) | v;
    }
    for (int shift = 16; o < size; shift -= 8) out[o++] = static_cast<uint8_t>(group >> shift);
  }
  out[size] = 0;
  if (decodedLength != nullptr) *decodedLength = size;
  return out;
}

char* base64_encode(const uint8_t* bytes, size_t length, size_t* encodedLength) {
  if (encodedLength != nullptr) *encodedLength = 0;
  if (bytes == nullptr && length != 0) return nullptr;
  const size_t size = (length + 2) / 3 * 4;
  auto* out = static_cast<char*>(std::malloc(size + 1));
  if (out == nullptr) return nullptr;
  size_t o = 0;
  for (size_t i = 0; i < length; i += 3) {
    const uint32_t group = (uint32_t{bytes[i]} << 16) | (i + 1 < length ? uint32_t{bytes[i + 1]} << 8 : 0) |
                           (i + 2 < length ? uint32_t{bytes[i + 2]} : 0);
    out[o++] = kAlphabet[(group >> 18) & 63];
    out[o++] = kAlphabet[(group >> 12) & 63];
    out[o++] = i + 1 < length ? kAlphabet[(group >> 6) & 63] : '=';
    out[o++] = i + 2 < length ? kAlphabet[group & 63] : '=';
  }
  out[size] = '\0';
  if (encodedLength != nullptr) *encodedLength = size;
  return out;
}
