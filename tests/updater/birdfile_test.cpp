#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "sim/BirdWriter.h"
#include "support/LogCapture.h"
#include "support/Process.h"
#include "updater/BirdFile.h"

using birdsim::BirdImage;
using birdsim::Breakage;
using birdsim::Bytes;

namespace {

constexpr uint32_t kFlash = 0x08000000;

// A generic image: loader, firmware with a serial-number slot, offsets, info, start address.
BirdImage generic_image() {
  BirdImage image;
  image.Loader(0x20000000, birdsim::CodeLikeBytes(300, 1))
      .Firmware(kFlash, birdsim::CodeLikeBytes(1024, 2), 1)
      .Firmware(kFlash + 0x1000, birdsim::CodeLikeBytes(64, 3))
      .Offsets(kFlash + 8, kFlash + 32)
      .Info(1234, "2.10.3", 0x0000ABCD, "XYZ")
      .StartAddress(0x20000400)
      .Raw(3, {1, 2, 3}, 7);
  return image;
}

std::string write(const TempDir& dir, const BirdImage& image, Breakage breakage = Breakage::None,
                  const std::string& name = "f.bird") {
  const std::string path = dir / name;
  image.WriteTo(path, breakage);
  return path;
}

bool loads(const std::string& path) {
  try {
    BirdFile f(path.c_str());
    return true;
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Failed to load bird data");
    return false;
  }
}

}  // namespace

TEST(BirdFile, VerifyFileChecksSignatureAndVersionBytes) {
  TempDir tmp;
  const BirdImage image = generic_image();
  EXPECT_TRUE(BirdFile::VerifyFile(write(tmp, image).c_str()));
  EXPECT_FALSE(BirdFile::VerifyFile(write(tmp, image, Breakage::ZeroVersion).c_str()));
  EXPECT_FALSE(BirdFile::VerifyFile(write(tmp, image, Breakage::BadSignature).c_str()));
  WriteFile(tmp / "five", "bird\x01");
  EXPECT_FALSE(BirdFile::VerifyFile((tmp / "five").c_str()));
  WriteFile(tmp / "six", std::string("bird\x01\x01", 6));
  EXPECT_TRUE(BirdFile::VerifyFile((tmp / "six").c_str()));
  LogCapture log(DEBUG_BirdFile);
  EXPECT_FALSE(BirdFile::VerifyFile((tmp / "missing").c_str()));
  EXPECT_TRUE(log.contains("BIRDFILE: Error - cannot open bird file: '" + (tmp / "missing") + "'\n"));
}

TEST(BirdFile, WrittenFileReadsBackBlockByBlock) {
  TempDir tmp;
  const BirdImage image = generic_image();
  LogCapture log(DEBUG_BirdFile);
  BirdFile f(write(tmp, image).c_str());

  EXPECT_EQ(f.Signature(), BirdFile::BIRD_FILE_SIGNATURE);
  EXPECT_EQ(f.FormatVersion(), BirdFile::BIRD_FILE_VERSION);
  const Bytes unpacked = image.Image();
  EXPECT_EQ(f.ImageSize(), unpacked.size());
  EXPECT_EQ(f.Checksum(), GetInt(unpacked.data() + unpacked.size() - 4));
  ASSERT_EQ(f.BlockCount(), image.blocks.size());
  for (size_t i = 0; i < image.blocks.size(); ++i) {
    const BirdBlock& b = f.Blocks()[i];
    const birdsim::Block& w = image.blocks[i];
    EXPECT_EQ(b.type, w.type) << i;
    EXPECT_EQ(b.flags, w.flags) << i;
    ASSERT_EQ(b.length, w.data.size()) << i;
    EXPECT_EQ(std::memcmp(b.data, w.data.data(), b.length), 0) << i;
    EXPECT_EQ(b.address, w.type <= BLOCK_FIRMWARE ? GetInt(w.data.data()) : 0u) << i;
  }
  EXPECT_EQ(f.Blocks()[1].type, BLOCK_FIRMWARE);
  EXPECT_EQ(f.Blocks()[1].flags, 1);
  EXPECT_EQ(f.Blocks()[6].flags, 7);

  const auto firmware = f.FindBlocks(BLOCK_FIRMWARE);
  ASSERT_EQ(firmware.size(), 2u);
  EXPECT_EQ(firmware[0].address, kFlash);
  EXPECT_EQ(firmware[1].address, kFlash + 0x1000);
  EXPECT_TRUE(f.FindBlocks(static_cast<BLOCK_TYPE>(9)).empty());

  EXPECT_TRUE(f.HasSerialOffsets());
  EXPECT_EQ(f.SerialNumberAddress(), kFlash + 8);
  EXPECT_EQ(f.DescriptorAddress(), kFlash + 32);
  EXPECT_EQ(f.GetBuild(), 1234u);
  EXPECT_EQ(f.GetVersion(), "2.10.3");
  EXPECT_EQ(f.GetSerialNumber(), 0xABCDu);
  EXPECT_TRUE(f.ValidateSerialNumber(0xABCD));
  EXPECT_FALSE(f.ValidateSerialNumber(0xABCE));
  EXPECT_TRUE(f.ValidateModel("XYZ"));
  EXPECT_TRUE(f.ValidateModel("XY"));
  EXPECT_FALSE(f.ValidateModel("XYZW"));
  EXPECT_FALSE(f.ValidateModel("XYZ-a-name-longer-than-the-field"));

  const std::string text = log.text();
  EXPECT_NE(text.find("BIRDFILE:\t\t File reports 7 blocks\n"), std::string::npos);
  EXPECT_NE(text.find("BIRDFILE:\t\t 01   01   1028\n"), std::string::npos);
  EXPECT_NE(text.find("BIRDFILE:\t\t \t[2.10.3          ]\n"), std::string::npos);
  EXPECT_NE(text.find("Model matches model number ([XYZ] == [XY])\n"), std::string::npos);
  EXPECT_EQ(text.find("mismatch"), std::string::npos);
}

TEST(BirdFile, HeaderBytesSplitIntoTypeAndFlags) {
  TempDir tmp;
  // 0x21: type 1, flags 1. 0xE4: type 4, flags 7.
  BirdImage image;
  image.Firmware(0x100, {9, 9}, 1).Raw(4, Bytes(64, ' '), 7);
  const Bytes unpacked = image.Image();
  EXPECT_EQ(unpacked[4], 0x21);
  EXPECT_EQ(unpacked[4 + 5 + 6], 0xE4);
  BirdFile f(write(tmp, image).c_str());
  EXPECT_EQ(f.Blocks()[1].type, BLOCK_INFO);
  EXPECT_EQ(f.Blocks()[1].flags, 7);
  EXPECT_EQ(f.Blocks()[1].address, 0u);
}

TEST(BirdFile, InformationFieldsAreReadWithinTheirWidth) {
  TempDir tmp;
  BirdImage none;
  none.Firmware(0, {1, 2, 3, 4, 5});
  BirdFile without(write(tmp, none).c_str());
  EXPECT_EQ(without.GetBuild(), 0u);
  EXPECT_EQ(without.GetSerialNumber(), 0u);
  EXPECT_EQ(without.GetVersion(), "");
  EXPECT_FALSE(without.ValidateModel("XYZ"));
  EXPECT_FALSE(without.HasSerialOffsets());

  // No spaces anywhere: every field runs into the next; each reader stops at its width.
  BirdImage packed;
  packed.Info("1234567890123456", "2.10.3xxxxxxxxxx", "0000ABCD12345678", "ModelNameFull16c");
  BirdFile p(write(tmp, packed, Breakage::None, "p.bird").c_str());
  EXPECT_EQ(p.GetBuild(), 0u);  // fifteen digits do not fit in 32 bits
  EXPECT_EQ(p.GetVersion(), "2.10.3xxxxxxxxx");
  EXPECT_EQ(p.GetSerialNumber(), 0xABCDu);
  EXPECT_TRUE(p.ValidateModel("ModelNameFull16c"));
  EXPECT_FALSE(p.ValidateModel("ModelNameFull16c+"));

  BirdImage small;
  small.Info("42", "1.2.3", "1", "AB");
  BirdFile s(write(tmp, small, Breakage::None, "s.bird").c_str());
  EXPECT_EQ(s.GetBuild(), 42u);
  EXPECT_EQ(s.GetSerialNumber(), 1u);

  // A short information block counts as absent.
  BirdFile shortened(write(tmp, generic_image(), Breakage::ShortInfo, "short.bird").c_str());
  EXPECT_EQ(shortened.GetBuild(), 0u);
  EXPECT_EQ(shortened.GetVersion(), "");
  EXPECT_FALSE(shortened.ValidateModel("XYZ"));
}

TEST(BirdFile, CountAndSizeMismatchesAreOnlyLogged) {
  TempDir tmp;
  BirdImage two;
  two.Firmware(0, {1, 2, 3, 4, 5}).Info(1, "1.0.0", 1, "M");
  LogCapture log(DEBUG_BirdFile);
  BirdFile ok(write(tmp, two).c_str());
  EXPECT_EQ(ok.BlockCount(), 2u);
  EXPECT_FALSE(log.contains("mismatch"));

  two.DeclaredCount(3);
  BirdFile off(write(tmp, two, Breakage::None, "3.bird").c_str());
  EXPECT_EQ(off.BlockCount(), 2u);
  EXPECT_TRUE(log.contains("BIRDFILE: Block parsing mismatch in number of blocks. (2 != 3)\n"));
}

TEST(BirdFile, BrokenFilesFailToLoad) {
  TempDir tmp;
  const BirdImage image = generic_image();
  struct { Breakage breakage; const char* logged; } cases[] = {
      {Breakage::ExpandsTooMuch, "BIRDFILE: Error (-5) decompressing bird file.\n"},
      {Breakage::TruncatedStream, "decompressing bird file"},
      {Breakage::BlockOverrun, "runs past the end of the image"},
      {Breakage::BlockLengthWraps, "runs past the end of the image"},
      {Breakage::ShortLoader, "loader block 0 has 2 bytes, too short for its load address"},
  };
  for (const auto& c : cases) {
    LogCapture log(DEBUG_BirdFile);
    EXPECT_FALSE(loads(write(tmp, image, c.breakage))) << c.logged;
    EXPECT_TRUE(log.contains(c.logged)) << log.text();
  }

  LogCapture log(DEBUG_BirdFile);
  EXPECT_FALSE(loads(tmp / "missing.bird"));
  EXPECT_TRUE(log.contains("BIRDFILE: BIRD file not found [" + (tmp / "missing.bird") + "]\n"));
  WriteFile(tmp / "tiny", "bird");
  EXPECT_FALSE(loads(tmp / "tiny"));
  EXPECT_TRUE(log.contains("is 4 bytes, too short for a bird file"));
}

TEST(BirdFile, ImagesTooShortForCountAndChecksumHaveNoBlocks) {
  BirdFile f;
  uint8_t image[7] = {0, 0, 0, 1, 0, 0, 0};
  LogCapture log(DEBUG_BirdFile);
  EXPECT_FALSE(f.ScanBlocks(image, sizeof image));
  EXPECT_EQ(f.BlockCount(), 0u);
  EXPECT_FALSE(f.ScanBlocks(nullptr, 0));
  // Count 0 and a checksum: a valid, empty image.
  uint8_t empty[8] = {0, 0, 0, 0, 0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_TRUE(f.ScanBlocks(empty, sizeof empty));
  EXPECT_EQ(f.Checksum(), 0xDEADBEEFu);
  // Bytes after the checksum are reported; fewer than 4 are never read as a checksum.
  uint8_t left[11] = {0, 0, 0, 1, 3, 0, 0, 0, 0, 0xAA, 0xBB};
  EXPECT_FALSE(f.ScanBlocks(left, sizeof left));
  EXPECT_EQ(f.BlockCount(), 1u);
  EXPECT_EQ(f.Checksum(), 0u);
  EXPECT_TRUE(log.contains("(2 bytes remaining)"));
}

TEST(BirdFile, ShortOffsetsBlockNamesNoAddresses) {
  TempDir tmp;
  BirdFile f(write(tmp, generic_image(), Breakage::ShortOffsets).c_str());
  EXPECT_TRUE(f.HasSerialOffsets());
  EXPECT_EQ(f.SerialNumberAddress(), 0u);
  EXPECT_EQ(f.DescriptorAddress(), 0u);
  EXPECT_FALSE(f.ReplaceSerialNumber(0x40F5849A));  // so an update stops
}

TEST(BirdFile, ReplaceSerialNumberWritesOnlyInsideFirmwarePayloads) {
  TempDir tmp;
  const BirdImage image = generic_image();
  LogCapture log(DEBUG_BirdFile);
  BirdFile f(write(tmp, image).c_str());
  const Bytes before(f.FindBlocks(BLOCK_FIRMWARE)[0].data, f.FindBlocks(BLOCK_FIRMWARE)[0].data + 1028);
  ASSERT_TRUE(f.ReplaceSerialNumber(0x40F5849A));

  const uint8_t* payload = f.FindBlocks(BLOCK_FIRMWARE)[0].data + 4;
  EXPECT_EQ(payload[8], 0x9A);
  EXPECT_EQ(payload[9], 0x84);
  EXPECT_EQ(payload[10], 0xF5);
  EXPECT_EQ(payload[11], 0x40);
  const char digits[] = "40F5849A";
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(payload[32 + 2 * i], digits[i]) << i;
    EXPECT_EQ(payload[32 + 2 * i + 1], before[4 + 32 + 2 * i + 1]) << i;
  }
  // Everything else is as it was.
  for (size_t i = 0; i < 1024; ++i)
    if (!((i >= 8 && i < 12) || (i >= 32 && i < 48 && i % 2 == 0))) {
      EXPECT_EQ(payload[i], before[4 + i]) << i;
    }
  EXPECT_TRUE(log.contains("BIRDFILE: updating serial number from "));
}

TEST(BirdFile, ReplaceSerialNumberOutsideEveryBlockChangesNothing) {
  TempDir tmp;
  struct { uint32_t block; uint32_t serial; uint32_t descriptor; } cases[] = {
      {kFlash, 0x30000000, 0},               // in no block
      {kFlash, kFlash + 14, 0},              // straddles the end of a 16-byte payload
      {0xFFFFFFF0u, 0xFFFFFFFEu, 0xFFFFFFF8u},  // would wrap past 2^32
  };
  for (const auto& c : cases) {
    BirdImage image;
    image.Firmware(c.block, Bytes(16, 0x11)).Offsets(c.serial, c.descriptor);
    BirdFile f(write(tmp, image).c_str());
    EXPECT_TRUE(f.ReplaceSerialNumber(0x12345678));  // a serial address was given
    const uint8_t* payload = f.Blocks()[0].data + 4;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(payload[i], 0x11) << i;
  }
  BirdImage none;
  none.Firmware(kFlash, Bytes(16, 0)).Offsets(0, kFlash + 100);
  BirdFile f(write(tmp, none).c_str());
  EXPECT_FALSE(f.ReplaceSerialNumber(1));
}

TEST(BirdFile, DecodeFirmwareBlocks) {
  TempDir tmp;
  const Bytes plain = birdsim::CodeLikeBytes(100, 9);
  const uint32_t key[4] = {0x01020304, 0xA0B0C0D0, 0x55AA55AA, 0xFFFFFFFF};
  uint8_t stream[16];
  for (int w = 0; w < 4; ++w)
    for (int b = 0; b < 4; ++b) stream[4 * w + b] = static_cast<uint8_t>(key[w] >> (24 - 8 * b));
  Bytes encoded = plain;
  for (size_t i = 0; i < plain.size(); ++i)
    encoded[i] = static_cast<uint8_t>(plain[i] ^ stream[i % 16] ^ (i == 0 ? 0 : plain[i - 1]));

  BirdImage image;
  image.Loader(0x20000000, encoded).Firmware(kFlash, encoded).Firmware(kFlash + 100, encoded);
  BirdFile f(write(tmp, image).c_str());
  EXPECT_TRUE(f.DecodeFirmwareBlocks(key));
  for (const BirdBlock& b : f.FindBlocks(BLOCK_FIRMWARE)) EXPECT_EQ(Bytes(b.data + 4, b.data + b.length), plain);
  const BirdBlock loader = f.FindBlocks(BLOCK_LOADER)[0];
  EXPECT_EQ(Bytes(loader.data + 4, loader.data + loader.length), encoded);

  // With an all-zero key each byte is its encoded value XOR the previous decoded byte.
  BirdImage zero;
  zero.Firmware(0, {0x10, 0x30, 0x70});
  BirdFile z(write(tmp, zero, Breakage::None, "z.bird").c_str());
  const uint32_t zeros[4] = {0, 0, 0, 0};
  z.DecodeFirmwareBlocks(zeros);
  const uint8_t* p = z.Blocks()[0].data + 4;
  EXPECT_EQ(p[0], 0x10);
  EXPECT_EQ(p[1], 0x30 ^ 0x10);
  EXPECT_EQ(p[2], 0x70 ^ (0x30 ^ 0x10));
}

TEST(BirdFile, MovesKeepTheBlocksValid) {
  TempDir tmp;
  BirdFile loaded(write(tmp, generic_image()).c_str());
  const uint8_t* first = loaded.Blocks()[0].data;
  BirdFile moved(std::move(loaded));
  EXPECT_EQ(moved.Blocks()[0].data, first);
  EXPECT_EQ(moved.GetBuild(), 1234u);
  EXPECT_EQ(loaded.BlockCount(), 0u);  // NOLINT(bugprone-use-after-move): moved-from is empty
  BirdFile assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.GetVersion(), "2.10.3");
  EXPECT_EQ(assigned.Path(), tmp / "f.bird");
}

TEST(BirdFile, DumpBlocksPrintsHexAndText) {
  TempDir tmp;
  BirdImage image;
  image.Raw(3, {'A', 'B', 0x01}).Raw(3, Bytes(51, 'z'));
  BirdFile f(write(tmp, image).c_str());
  testing::internal::CaptureStdout();
  EXPECT_TRUE(f.DumpBlocks(static_cast<BLOCK_TYPE>(3)));
  std::string second;
  for (int i = 0; i < 50; ++i) second += "7A ";
  const std::string expected = "BIRDFILE: BLOCK DUMP [" + (tmp / "f.bird") + "]\n" + " \r\n000000: 41 42 01  AB \n" +
                               " \r\n000000: " + second + " " + std::string(50, 'z') + "\r\n000050: 7A  z\n\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}
