// Arbitrary bytes through a COBS stream's read side, through the decoder, and through the
// write side; frames the write side makes must read back intact, and encoding must round-trip.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tessaloom/common/aCOBS.h"
#include "tessaloom/common/aCOBSStream.h"

namespace {

struct Source {
  const uint8_t* data;
  size_t size;
  size_t at;
  std::vector<uint8_t> written;
};

aErr source_get(uint8_t* byte, void* ref) {
  auto* s = static_cast<Source*>(ref);
  if (s->at >= s->size) return aErrNotReady;
  *byte = s->data[s->at++];
  return aErrNone;
}

aErr sink_write(const uint8_t* data, size_t length, void* ref) {
  auto* s = static_cast<Source*>(ref);
  s->written.insert(s->written.end(), data, data + length);
  return aErrNone;
}

aErr sink_put(const uint8_t* byte, void* ref) { return sink_write(byte, 1, ref); }

void read_all(Source& source, bool frames_must_be_intact) {
  aStreamRef stream = nullptr;
  if (aStream_CreateCobsEncoding(source_get, sink_put, sink_write, nullptr, &source, &stream) != aErrNone) abort();
  // Every input byte and every delivered byte costs one call; anything beyond is a hang.
  const size_t limit = 2 * source.size + 64;
  for (size_t calls = 0; calls < limit; ++calls) {
    uint8_t b;
    const aErr err = aStream_Read(stream, &b, 1);
    if (err == aErrPacket && frames_must_be_intact) abort();
    if (err == aErrNotReady && source.at >= source.size) break;
  }
  aStream_Destroy(&stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Source incoming{data, size, 0, {}};
  read_all(incoming, false);

  std::vector<uint8_t> decoded(size + 1);
  cobs_decode(data, size, decoded.data());

  std::vector<uint8_t> encoded(size + size / 254 + 2);
  const size_t n = cobs_encode(data, size, encoded.data());
  std::vector<uint8_t> back(n + 1);
  if (cobs_decode(encoded.data(), n, back.data()) != size || std::memcmp(back.data(), data, size) != 0) abort();

  // Whatever the write side sends must be accepted by a read side.
  Source writer{nullptr, 0, 0, {}};
  aStreamRef out = nullptr;
  if (aStream_CreateCobsEncoding(nullptr, sink_put, sink_write, nullptr, &writer, &out) != aErrNone) abort();
  if (size > 1) aStream_Write(out, data, size);
  aStream_Destroy(&out);
  Source echo{writer.written.data(), writer.written.size(), 0, {}};
  read_all(echo, true);
  return 0;
}
