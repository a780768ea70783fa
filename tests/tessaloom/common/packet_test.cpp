#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tessaloom/common/aDefs.h"
#include "tessaloom/common/aError.h"
#include "tessaloom/common/aLinkSpec.h"
#include "tessaloom/common/aPacket.h"
#include "tessaloom/common/aUEI.h"
#include "tessaloom/common/aVersion.h"

TEST(aError, NamesAndDescriptions) {
  EXPECT_STREQ(aError_GetErrorText(aErrNone), "aErrNone");
  EXPECT_STREQ(aError_GetErrorDescription(aErrNone), "Success, no error");
  EXPECT_STREQ(aError_GetErrorText(aErrShortCommand), "aErrShortCommand");
  EXPECT_STREQ(aError_GetErrorDescription(aErrStreamStale), "Stream value is stale");
  for (uint32_t code : {35u, 1000u, 0xFFFFFFFFu}) {
    EXPECT_STREQ(aError_GetErrorText(code), "aErrUnknown");
    EXPECT_STREQ(aError_GetErrorDescription(code), "Unknown error");
  }
}

class PacketTest : public testing::Test {
 protected:
  void SetUp() override { p = aPacket_Create(); }
  void TearDown() override { aPacket_Destroy(&p); }
  aPacket* p = nullptr;
};

TEST_F(PacketTest, AssembledByteByByte) {
  for (uint8_t b : {0x04, 0x02, 0x11, 0x22}) {
    EXPECT_FALSE(aPacket_IsComplete(p));
    EXPECT_EQ(aPacket_AddByte(p, b), aErrNone);
  }
  EXPECT_TRUE(aPacket_IsComplete(p));
  EXPECT_EQ(p->address, 4);
  EXPECT_EQ(p->dataSize, 2);
  EXPECT_EQ(p->data[0], 0x11);
  EXPECT_EQ(p->data[1], 0x22);

  uint8_t wire[30];
  uint32_t written = 0;
  EXPECT_EQ(aPacket_GetBytes(p, wire, 3, &written), aErrOverrun);
  EXPECT_EQ(aPacket_GetBytes(p, wire, 4, &written), aErrNone);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(std::memcmp(wire, "\x04\x02\x11\x22", 4), 0);
}

TEST_F(PacketTest, FramingErrors) {
  EXPECT_EQ(aPacket_AddByte(p, 0), aErrPacket);  // address 0

  aPacket_Reset(p);
  EXPECT_EQ(aPacket_AddByte(p, 2), aErrNone);
  EXPECT_EQ(aPacket_AddByte(p, 29), aErrPacket);

  aPacket_Reset(p);
  EXPECT_EQ(aPacket_AddByte(p, 2), aErrNone);
  EXPECT_EQ(aPacket_AddByte(p, 0), aErrNone);
  EXPECT_TRUE(aPacket_IsComplete(p));

  aPacket_Reset(p);
  EXPECT_EQ(aPacket_AddByte(p, 2), aErrNone);
  EXPECT_EQ(aPacket_AddByte(p, 28), aErrNone);
  for (int i = 0; i < 28; ++i) EXPECT_EQ(aPacket_AddByte(p, static_cast<uint8_t>(i)), aErrNone);
  EXPECT_TRUE(aPacket_IsComplete(p));
  EXPECT_EQ(aPacket_AddByte(p, 0xFF), aErrOverrun);  // 31st byte
  // Garbage never wraps the counter back into a fresh packet.
  for (int i = 0; i < 600; ++i) EXPECT_NE(aPacket_AddByte(p, 0x55), aErrNone);
  EXPECT_FALSE(aPacket_IsComplete(p));
}

TEST_F(PacketTest, InvalidRecordsAreRefused) {
  aPacket forged{};
  forged.validity = 0xBEEE;
  uint8_t out = 0;
  EXPECT_EQ(aPacket_AddByte(&forged, 2), aErrParam);
  EXPECT_EQ(aPacket_AddByte(nullptr, 2), aErrParam);
  EXPECT_EQ(aPacket_Reset(&forged), aErrParam);
  EXPECT_FALSE(aPacket_IsComplete(&forged));
  EXPECT_EQ(aPacket_Copy(&forged), nullptr);
  EXPECT_EQ(aPacket_GetCmd(&forged, &out), aErrPacket);
  EXPECT_EQ(aPacket_GetCmd(p, nullptr), aErrParam);
  EXPECT_EQ(aPacket_GetCmd(p, &out), aErrPacket);  // no payload yet
  aPacket* none = nullptr;
  EXPECT_EQ(aPacket_Destroy(&none), aErrParam);
  EXPECT_EQ(aPacket_Destroy(nullptr), aErrParam);
}

TEST(aPacket, CreateCopyAndFieldAccess) {
  uint8_t data[29] = {3, 0xC5, 0xA3};
  EXPECT_EQ(aPacket_CreateWithData(2, 29, data), nullptr);
  EXPECT_EQ(aPacket_CreateWithData(2, 3, nullptr), nullptr);
  aPacket* full = aPacket_CreateWithData(2, 28, data);
  ASSERT_NE(full, nullptr);
  EXPECT_TRUE(aPacket_IsComplete(full));
  aPacket_Destroy(&full);
  EXPECT_EQ(full, nullptr);

  aPacket* p = aPacket_CreateWithData(6, 3, data);
  aPacket* copy = aPacket_Copy(p);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->address, 6);
  EXPECT_EQ(copy->receivedBytes, 5);
  uint8_t cmd = 0, option = 0, index = 0;
  EXPECT_EQ(aPacket_GetCmd(copy, &cmd), aErrNone);
  EXPECT_EQ(aPacket_GetOption(copy, &option), aErrNone);
  EXPECT_EQ(aPacket_GetIndex(copy, &index), aErrNone);
  EXPECT_EQ(cmd, 3);
  EXPECT_EQ(option, 5);
  EXPECT_EQ(index, 3);
  aPacket_Destroy(&p);
  aPacket_Destroy(&copy);
}

TEST(aUEI, ValuesAndPacketClassification) {
  uint8_t bytes[4] = {0x00, 0x00, 0x01, 0x02};
  EXPECT_EQ(aUEI_RetrieveInt(bytes), 258u);
  aUEI_StoreShort(bytes, 0xABCD);
  EXPECT_EQ(bytes[0], 0xAB);
  EXPECT_EQ(bytes[1], 0xCD);
  EXPECT_EQ(aUEI_RetrieveShort(bytes), 0xABCD);
  aUEI_StoreInt(bytes, 0x01020304);
  EXPECT_EQ(aUEI_RetrieveInt(bytes), 0x01020304u);
  uint32_t words[2];
  std::memcpy(&words[0], "\x00\x00\x00\x05", 4);
  std::memcpy(&words[1], "\x12\x34\x56\x78", 4);
  EXPECT_EQ(aUEI_ModifyIntBuffer(words, 2), 2u);
  EXPECT_EQ(words[0], 5u);
  EXPECT_EQ(words[1], 0x12345678u);

  uint8_t seq[5] = {92, 0x01, 0x22, 0xAA, 0x85};
  aPacket* p = aPacket_CreateWithData(2, 5, seq);
  EXPECT_EQ(aUEI_getBytesSequence(p), 5);
  EXPECT_EQ(aUEI_getBytesContinue(p), 1);
  EXPECT_FALSE(aUEI_getBytesFullPacket(p));
  aPacket_Destroy(&p);
  aPacket* empty = aPacket_Create();
  EXPECT_EQ(aUEI_getBytesSequence(empty), 0);  // no payload byte to read
  EXPECT_EQ(aUEI_getBytesContinue(empty), 0);
  EXPECT_EQ(aUEI_getBytesSequence(nullptr), 0);
  EXPECT_FALSE(aUEI_isUEIPayload(empty));
  aPacket_Destroy(&empty);

  const std::set<int> non_uei = {0, 1, 2, 4, 8, 9, 23, 24, 73, 94, 95, 173, 175};
  for (int cmd = 0; cmd < 256; ++cmd) {
    const uint8_t d[1] = {static_cast<uint8_t>(cmd)};
    aPacket* q = aPacket_CreateWithData(2, 1, d);
    EXPECT_EQ(aUEI_isNotUEIPayload(q), non_uei.count(cmd) == 1) << cmd;
    EXPECT_EQ(aUEI_isUEIPayload(q), non_uei.count(cmd) == 0) << cmd;
    aPacket_Destroy(&q);
  }

  struct { std::vector<uint8_t> payload; bool stream; } streams[] = {
      {{3, 0x05, 0x41, 0, 1}, true},
      {{3, 0x05, 0x41, 0}, false},        // too short
      {{3, 0x45, 0x41, 0, 1}, false},     // a get request
      {{3, 0x05, 0x01, 0, 1}, false},     // not flagged as stream
      {{95, 0x05, 0x41, 0, 1}, false},    // not UEI
  };
  for (const auto& s : streams) {
    aPacket* q = aPacket_CreateWithData(2, static_cast<uint32_t>(s.payload.size()), s.payload.data());
    EXPECT_EQ(aUEI_isStreamPacket(q), s.stream);
    aPacket_Destroy(&q);
  }
  uint8_t full[27] = {};
  aPacket* f = aPacket_CreateWithData(2, 27, full);
  EXPECT_TRUE(aUEI_getBytesFullPacket(f));
  aPacket_Destroy(&f);
}

TEST(aVersion, PackingAndParsing) {
  const uint32_t legacy = aVersion_Pack(2, 14, 7);
  EXPECT_EQ(legacy, (2u << 28) | (14u << 24) | 7u);
  EXPECT_TRUE(aVersion_IsLegacyFormat(legacy));
  EXPECT_EQ(aVersion_Pack(2, 15, 7), 0x2F020F07u);
  EXPECT_EQ(aVersion_Pack(3, 0, 1), 0x2F030001u);
  EXPECT_FALSE(aVersion_IsLegacyFormat(0x2F030001u));
  EXPECT_TRUE(aVersion_IsLegacyFormat(0x2E000000u));

  char text[32];
  aVersion_ParseString(legacy, text, sizeof text);
  EXPECT_STREQ(text, "2.14.7");
  const uint32_t big_patch = (1u << 28) | (10u << 24) | 100000u;
  EXPECT_EQ(aVersion_ParsePatch(big_patch), 100000u);
  aVersion_ParseString(big_patch, text, sizeof text);
  EXPECT_STREQ(text, "1.10.100000");
  aVersion_ParseString(aVersion_Pack(3, 200, 255), text, sizeof text);
  EXPECT_STREQ(text, "3.200.255");
}

TEST(aVersion, ComparisonAndLibraryVersion) {
  EXPECT_TRUE(aVersion_IsAtLeastCompare(2, 12, 1, 2, 12, 1));
  EXPECT_FALSE(aVersion_IsAtLeastCompare(2, 12, 1, 2, 13, 0));
  EXPECT_TRUE(aVersion_IsAtLeastCompare(3, 0, 0, 2, 255, 255));
  EXPECT_FALSE(aVersion_IsAtLeastCompare(2, 12, 0, 2, 12, 1));
  EXPECT_TRUE(aVersion_IsAtLeast(2, 12, 1));
  EXPECT_FALSE(aVersion_IsAtLeast(2, 12, 2));
  EXPECT_EQ(aVersion_GetMajor(), 2);
  EXPECT_EQ(aVersion_GetMinor(), 12);
  EXPECT_EQ(aVersion_GetPatch(), 1);

  // First calls from several threads at once all see the same finished text.
  std::vector<std::thread> threads;
  std::vector<const char*> seen(8);
  for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = aVersion_GetString(); });
  for (auto& t : threads) t.join();
  for (const char* s : seen) EXPECT_STREQ(s, "2.12.1");
  EXPECT_EQ(aVersion_GetString(), seen[0]);

  EXPECT_TRUE(aVersion_HasFeature("VERSION"));
  EXPECT_FALSE(aVersion_HasFeature("version"));
  EXPECT_FALSE(aVersion_HasFeature(nullptr));
  char* list = aVersion_GetFeatureList();
  EXPECT_STREQ(list, "VERSION - Version Query API");
  aVersion_DestroyFeatureList(&list);
  EXPECT_EQ(list, nullptr);
}

TEST(aLinkSpec, CreatedZeroFilledAndCopiedWhole) {
  linkSpec* specifier = aLinkSpec_Create(USB);
  ASSERT_NE(specifier, nullptr);
  const auto* bytes = reinterpret_cast<const uint8_t*>(specifier);
  EXPECT_EQ(bytes[0], 1);
  for (size_t i = 1; i < sizeof(linkSpec); ++i) EXPECT_EQ(bytes[i], 0) << i;
  std::strcpy(specifier->t.serial.portName, "/dev/ttyUSB0");
  specifier->serialNumber = 0x40F5849A;
  linkSpec* copy = aLinkSpec_Copy(specifier);
  EXPECT_EQ(std::memcmp(copy, specifier, sizeof(linkSpec)), 0);
  EXPECT_EQ(aLinkSpec_Destroy(&specifier), aErrNone);
  EXPECT_EQ(specifier, nullptr);
  EXPECT_EQ(aLinkSpec_Destroy(&specifier), aErrParam);
  aLinkSpec_Destroy(&copy);
  EXPECT_TRUE(isAWEAVE(AWEAVE) && isAWEAVE(AWEAVE_SERIAL));
  EXPECT_FALSE(isAWEAVE(SERIAL) || isAWEAVE(8));
}

TEST(aDefs, ModelNames) {
  EXPECT_STREQ(aDefs_GetModelName(0), "Unknown");
  EXPECT_STREQ(aDefs_GetModelName(200), "Unknown");
  EXPECT_STREQ(aDefs_GetModelName(5), "Shuttle");
  int named = 0;
  for (uint32_t code = 0; code < 256; ++code)
    if (std::string(aDefs_GetModelName(code)) != "Unknown") {
      EXPECT_GE(code, 4u);
      EXPECT_LE(code, 27u);
      EXPECT_LE(std::strlen(aDefs_GetModelName(code)), 12u) << "fits the device table column";
      ++named;
    }
  EXPECT_EQ(named, 17);
}
