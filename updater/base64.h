#pragma once
// Standard base64 (RFC 4648, "+" "/" and "=" padding), as the update server carries firmware.
#include <cstddef>
#include <cstdint>

// A new buffer of the decoded bytes plus one terminating zero, released with free(); null for
// text that is not base64 (length not a multiple of 4, a character outside the alphabet, or
// "=" anywhere but the last two positions).
uint8_t* base64_decode(const char* text, size_t length, size_t* decodedLength);
// A new zero-terminated text released with free(); null when memory runs out.
char* base64_encode(const uint8_t* bytes, size_t length, size_t* encodedLength);
