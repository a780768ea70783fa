#pragma once
// Consistent Overhead Byte Stuffing and the CRC-8 (Dallas/Maxim) that frame packets on
// serial links: frame = COBS(address, length, data, crc8) followed by a zero byte.
#include <cstddef>
#include <cstdint>

size_t cobs_encode(const uint8_t* source, size_t length, uint8_t* destination);
// The buffer must have room for the encoded length (length + length / 254 + 1).
size_t cobs_encode_inplace(uint8_t* buffer, size_t length);
// 0 for input that is not a valid encoding.
size_t cobs_decode(const uint8_t* source, size_t length, uint8_t* destination);
size_t cobs_decode_inplace(uint8_t* buffer, size_t length);

uint8_t crc8_update(uint8_t crc, uint8_t byte);
uint8_t crc8_create(const uint8_t* bytes, size_t length);
bool crc8_check(const uint8_t* bytes, size_t length, uint8_t expected);
