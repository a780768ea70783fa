#pragma once
// Makes BIRD files for tests, the demo store and the local update server: the maker's build
// tools are not part of this code base. It can also make files that are broken on purpose.
#include <cstdint>
#include <string>
#include <vector>

namespace birdsim {

using Bytes = std::vector<uint8_t>;

enum class Breakage {
  None,
  BadSignature,     // "bird" becomes "bard"
  ZeroVersion,      // format version byte 5 is 0
  TruncatedStream,  // the zlib stream is cut in half
  CountOffByOne,    // the declared block count is one too many
  BlockOverrun,     // the last block claims 16 bytes more than the image holds
  BlockLengthWraps, // the last block claims 0xFFFFFFFF bytes
  ShortInfo,        // the information block has 20 bytes
  ShortOffsets,     // the offsets block has 4 bytes
  ShortLoader,      // a loader block of 2 bytes, too short for its load address
  ExpandsTooMuch,   // a block of zeros that makes the image more than 8 times the stream
};

struct Block {
  uint8_t type = 0;
  uint8_t flags = 0;
  Bytes data;
};

class BirdImage {
 public:
  BirdImage& Loader(uint32_t address, const Bytes& payload, uint8_t flags = 0);
  BirdImage& Firmware(uint32_t address, const Bytes& payload, uint8_t flags = 0);
  BirdImage& Offsets(uint32_t serialAddress, uint32_t descriptorAddress);
  // Each field is padded with spaces (or cut) to 16 characters.
  BirdImage& Info(const std::string& build, const std::string& version, const std::string& serial,
                  const std::string& model);
  BirdImage& Info(uint32_t build, const std::string& version, uint32_t serial, const std::string& model);
  BirdImage& StartAddress(uint32_t address);
  BirdImage& Raw(uint8_t type, const Bytes& data, uint8_t flags = 0);
  BirdImage& DeclaredCount(uint32_t count);
  BirdImage& FormatVersion(uint16_t version);

  // The unpacked image: block count, blocks, checksum (CRC-32 of everything before it).
  Bytes Image(Breakage breakage = Breakage::None) const;
  // The whole file: signature, format version, compressed image.
  Bytes File(Breakage breakage = Breakage::None) const;
  void WriteTo(const std::string& path, Breakage breakage = Breakage::None) const;

  // One block per line; see birdwriter --help. Throws std::invalid_argument.
  static BirdImage Parse(const std::string& description);

  std::vector<Block> blocks;

 private:
  bool countGiven_ = false;
  uint32_t count_ = 0;
  uint16_t formatVersion_ = 0x0101;
};

// Deterministic bytes that look like code: compressible, but well under 8:1.
Bytes CodeLikeBytes(size_t length, uint32_t seed);
Breakage ParseBreakage(const std::string& name);
const std::vector<std::string>& BreakageNames();

}  // namespace birdsim
