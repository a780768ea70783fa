#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/ScriptedTransport.h"
#include "tessaloom/common/aCOBS.h"
#include "tessaloom/common/aCOBSStream.h"

using Bytes = std::vector<uint8_t>;

namespace {

Bytes encode(const Bytes& in) {
  Bytes out(in.size() + in.size() / 254 + 2);
  out.resize(cobs_encode(in.data(), in.size(), out.data()));
  return out;
}

std::string as_string(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The frame for one packet, delimiter included.
std::string frame_for(uint8_t address, const Bytes& data) {
  Bytes raw = {address, static_cast<uint8_t>(data.size())};
  raw.insert(raw.end(), data.begin(), data.end());
  raw.push_back(crc8_create(raw.data(), raw.size()));
  Bytes f = encode(raw);
  f.push_back(0);
  return as_string(f);
}

struct CobsFixture : testing::Test {
  void SetUp() override {
    ASSERT_EQ(aStream_CreateCobsEncoding(ScriptedTransport::Get, ScriptedTransport::Put, ScriptedTransport::Write,
                                         ScriptedTransport::Delete, &inner, &stream),
              aErrNone);
  }
  void TearDown() override { aStream_Destroy(&stream); }

  // Polls get until it delivers a byte or returns something other than NotReady.
  std::vector<int> drain(int calls) {
    std::vector<int> results;
    for (int i = 0; i < calls; ++i) {
      uint8_t b = 0;
      const aErr err = aStream_Read(stream, &b, 1);
      results.push_back(err == aErrNone ? b : -static_cast<int>(err));
    }
    return results;
  }

  ScriptedTransport inner;
  aStreamRef stream = nullptr;
};

constexpr int kNotReady = -static_cast<int>(aErrNotReady);
constexpr int kBadPacket = -static_cast<int>(aErrPacket);

}  // namespace

TEST(Crc8, MaximCheckValue) {
  const std::string digits = "123456789";
  EXPECT_EQ(crc8_create(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0xA1);
  EXPECT_TRUE(crc8_check(reinterpret_cast<const uint8_t*>(digits.data()), digits.size(), 0xA1));
  EXPECT_EQ(crc8_update(0, 0), 0);
  const uint8_t packet[4] = {0x11, 0x02, 0x00, 0x33};
  EXPECT_EQ(crc8_create(packet, 4), 0xA4);
}

TEST(Cobs, EncodeAndDecode) {
  EXPECT_EQ(encode({}), Bytes({1}));
  EXPECT_EQ(encode({0}), Bytes({1, 1}));
  EXPECT_EQ(encode({0x11, 0x02, 0x00, 0x33, 0xA4}), Bytes({0x03, 0x11, 0x02, 0x03, 0x33, 0xA4}));
  const Bytes run(254, 0x42);
  const Bytes encoded = encode(run);
  ASSERT_EQ(encoded.size(), 256u);
  EXPECT_EQ(encoded.front(), 255);
  EXPECT_EQ(encoded.back(), 1);

  uint8_t out[16];
  const uint8_t example[5] = {0x03, 0x11, 0x22, 0x02, 0x33};
  ASSERT_EQ(cobs_decode(example, 5, out), 4u);
  EXPECT_EQ(Bytes(out, out + 4), Bytes({0x11, 0x22, 0x00, 0x33}));
  const uint8_t too_long[2] = {0x05, 0x11};
  EXPECT_EQ(cobs_decode(too_long, 2, out), 0u);
  const uint8_t zero_code[4] = {0x02, 0x11, 0x00, 0x22};
  EXPECT_EQ(cobs_decode(zero_code, 4, out), 0u);
}

TEST(Cobs, InPlaceMatchesAndRoundTrips) {
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    Bytes data(random() % 600);
    for (auto& b : data) b = (random() % 4 == 0) ? 0 : static_cast<uint8_t>(random());
    const Bytes expected = encode(data);
    Bytes buffer = data;
    buffer.resize(data.size() + data.size() / 254 + 2);
    ASSERT_EQ(cobs_encode_inplace(buffer.data(), data.size()), expected.size());
    buffer.resize(expected.size());
    ASSERT_EQ(buffer, expected);
    const size_t n = cobs_decode_inplace(buffer.data(), buffer.size());
    ASSERT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<long>(n)), data) << round;
  }
}

TEST_F(CobsFixture, WrittenPacketsBecomeOneFrameEach) {
  const uint8_t packet[4] = {0x11, 0x02, 0x00, 0x33};
  EXPECT_EQ(aStream_Write(stream, packet, 4), aErrNone);
  EXPECT_EQ(inner.written, std::string("\x03\x11\x02\x03\x33\xA4\x00", 7));

  // Pooled packets, a packet split over two writes, and bytes the accumulator refuses.
  inner.written.clear();
  const uint8_t pooled[7] = {0x02, 0x01, 0x07, 0x04, 0x02, 0x08, 0x09};
  EXPECT_EQ(aStream_Write(stream, pooled, 5), aErrNone);
  EXPECT_EQ(aStream_Write(stream, pooled + 5, 2), aErrNone);
  EXPECT_EQ(inner.written, frame_for(0x02, {0x07}) + frame_for(0x04, {0x08, 0x09}));

  inner.written.clear();
  const uint8_t bad[6] = {0x00, 0x06, 0x1D, 0x06, 0x01, 0x55};  // address 0, then length 29
  EXPECT_EQ(aStream_Write(stream, bad, 6), aErrNone);
  EXPECT_EQ(inner.written, frame_for(0x06, {0x55}));

  // One byte through put is passed on unframed.
  inner.written.clear();
  const uint8_t one = 0x7E;
  EXPECT_EQ(aStream_Write(stream, &one, 1), aErrNone);
  EXPECT_EQ(inner.viaPut, "\x7E");
}

TEST_F(CobsFixture, IntactFramesAreDeliveredBytePerCall) {
  inner.Feed(std::string("\x03\x11\x02\x03\x33\xA4\x00", 7));
  const std::vector<int> expected = {kNotReady, kNotReady, kNotReady, kNotReady, kNotReady, kNotReady, kNotReady,
                                     0x11,      0x02,      0x00,      0x33,      kNotReady};
  EXPECT_EQ(drain(12), expected);
}

TEST_F(CobsFixture, DamagedFramesAreRefusedAndTheNextOneStartsClean) {
  std::string bad_crc = frame_for(0x11, {0x00, 0x33});
  bad_crc[bad_crc.size() - 2] ^= 0x01;
  inner.Feed(std::string(1, '\0') + bad_crc + frame_for(0x04, {0x42}));
  std::vector<int> results = drain(20);
  // The leading zero reads as nothing, the damaged frame fails at its delimiter.
  EXPECT_EQ(results[0], kNotReady);
  EXPECT_EQ(results[bad_crc.size()], kBadPacket);
  std::vector<int> delivered;
  for (int r : results)
    if (r >= 0) delivered.push_back(r);
  EXPECT_EQ(delivered, (std::vector<int>{0x04, 0x01, 0x42}));
}

TEST_F(CobsFixture, LargestPacketFitsAndLongerFramesAreRefused) {
  Bytes data(28);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
  const std::string largest = frame_for(0x02, data);
  ASSERT_EQ(largest.size(), 33u);  // 32 encoded bytes and the delimiter
  inner.Feed(largest);
  std::vector<int> delivered;
  for (int r : drain(70))
    if (r >= 0) delivered.push_back(r);
  ASSERT_EQ(delivered.size(), 30u);
  EXPECT_EQ(delivered[1], 28);

  // 40 non-zero bytes: no valid frame is that long, whatever its CRC says.
  inner.Feed(std::string(40, '\x05') + std::string(1, '\0') + frame_for(0x04, {0x42}));
  std::vector<int> results = drain(60);
  EXPECT_EQ(results[40], kBadPacket);
  delivered.clear();
  for (int r : results)
    if (r >= 0) delivered.push_back(r);
  EXPECT_EQ(delivered, (std::vector<int>{0x04, 0x01, 0x42}));
}

TEST_F(CobsFixture, InnerFailuresReadAsNotReady) {
  inner.Fail(aErrIO);
  inner.Fail(aErrConnection);
  EXPECT_EQ(drain(2), (std::vector<int>{kNotReady, kNotReady}));
}
