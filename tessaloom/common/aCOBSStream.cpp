#include "tessaloom/common/aCOBSStream.h"

#include <new>

#include "tessaloom/common/aCOBS.h"
#include "tessaloom/common/aPacket.h"

namespace {

constexpr uint16_t kCobsValidity = 0xC0B5;

struct CobsRecord {
  aStreamGetProc get;
  aStreamPutProc put;
  aStreamWriteProc write;
  aStreamDeleteProc del;
  void* reference;
  uint16_t validity;
  // Receive side, touched only by the reading thread.
  uint8_t receive[aCOBS_MAX_ENCODED_FRAME];
  size_t receiveCount;
  bool overflow;  // more encoded bytes than any valid frame has
  uint8_t frameReady;
  size_t readIndex;
  // Transmit side, touched only by the writing thread.
  aPacket* accumulator;
  uint8_t transmit[aCOBS_MAX_ENCODED_FRAME + 8];
  size_t transmitLength;
};

bool valid(const CobsRecord* r) { return r != nullptr && r->validity == kCobsValidity; }

void reset_receive(CobsRecord* r) {
  r->receiveCount = 0;
  r->overflow = false;
  r->frameReady = 0;
  r->readIndex = 0;
}

aErr cobs_get(uint8_t* byte, void* reference) {
  auto* r = static_cast<CobsRecord*>(reference);
  if (!valid(r)) return aErrParam;
  if (r->frameReady) {
    *byte = r->receive[r->readIndex++];
    if (r->readIndex >= r->receiveCount) reset_receive(r);
    return aErrNone;
  }
  uint8_t in = 0;
  if (r->get == nullptr || r->get(&in, r->reference) != aErrNone) return aErrNotReady;
  if (in != 0) {
    if (r->receiveCount < sizeof r->receive)
      r->receive[r->receiveCount++] = in;
    else
      r->overflow = true;
    return aErrNotReady;
  }
  if (r->receiveCount == 0 && !r->overflow) return aErrNotReady;
  const bool overflowed = r->overflow;
  const size_t n = overflowed ? 0 : cobs_decode_inplace(r->receive, r->receiveCount);
  reset_receive(r);
  if (overflowed || n <= 2 || size_t{r->receive[1]} + 3 != n || r->receive[n - 1] != crc8_create(r->receive, n - 1))
    return aErrPacket;
  r->frameReady = 1;
  r->receiveCount = n - 1;
  r->readIndex = 0;
  return aErrNotReady;
}

aErr cobs_write(const uint8_t* data, size_t length, void* reference) {
  auto* r = static_cast<CobsRecord*>(reference);
  if (!valid(r)) return aErrParam;
  aErr result = aErrNone;
  for (size_t i = 0; i < length; ++i) {
    if (aPacket_AddByte(r->accumulator, data[i]) != aErrNone) {
      // Start clean, so one bad byte cannot shift every frame after it.
      aPacket_Reset(r->accumulator);
      continue;
    }
    if (!aPacket_IsComplete(r->accumulator)) continue;
    uint32_t size = 0;
    aPacket_GetBytes(r->accumulator, r->transmit, aPACKET_MAX_WIRE, &size);
    aPacket_Reset(r->accumulator);
    r->transmit[size] = crc8_create(r->transmit, size);
    const size_t encoded = cobs_encode_inplace(r->transmit, size + 1);
    r->transmit[encoded] = 0;
    r->transmitLength = encoded + 1;
    if (r->write == nullptr) {
      result = aErrMode;
      continue;
    }
    const aErr sent = r->write(r->transmit, r->transmitLength, r->reference);
    if (sent != aErrNone) result = sent;
  }
  return result;
}

aErr cobs_put(const uint8_t* byte, void* reference) {
  auto* r = static_cast<CobsRecord*>(reference);
  if (!valid(r)) return aErrParam;
  return r->put != nullptr ? r->put(byte, r->reference) : aErrMode;
}

aErr cobs_delete(void* reference) {
  auto* r = static_cast<CobsRecord*>(reference);
  if (!valid(r)) return aErrParam;
  const aErr result = r->del != nullptr ? r->del(r->reference) : aErrNone;
  aPacket_Destroy(&r->accumulator);
  r->validity = 0;
  delete r;
  return result;
}

}  // namespace

aErr aStream_CreateCobsEncoding(aStreamGetProc get, aStreamPutProc put, aStreamWriteProc write,
                                aStreamDeleteProc del, void* reference, aStreamRef* stream) {
  if (stream == nullptr) return aErrParam;
  *stream = nullptr;
  auto* r = new (std::nothrow) CobsRecord{};
  if (r == nullptr) return aErrMemory;
  r->get = get;
  r->put = put;
  r->write = write;
  r->del = del;
  r->reference = reference;
  r->validity = kCobsValidity;
  r->accumulator = aPacket_Create();
  *stream = r->accumulator != nullptr ? aStream_Create(cobs_get, cobs_put, cobs_write, cobs_delete, r) : nullptr;
  if (*stream == nullptr) {
    aPacket_Destroy(&r->accumulator);
    delete r;
    return aErrResource;
  }
  return aErrNone;
}
