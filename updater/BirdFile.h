#pragma once
// BIRD firmware files: "bird", a 2-byte format version, then one zlib stream holding the
// image: a block count, typed blocks and a checksum, all big-endian. The file is untrusted
// input; nothing in it may make the reader touch memory outside the unpacked image.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum BLOCK_TYPE : uint8_t {
  BLOCK_LOADER = 0,
  BLOCK_FIRMWARE = 1,
  BLOCK_OFFSETS = 2,
  BLOCK_INFO = 4,
  BLOCK_START_ADDRESS = 5,
};

// A view of one block inside its BirdFile's image; valid while that file lives unmoved.
struct BirdBlock {
  uint8_t type = 0;
  uint8_t flags = 0;
  uint32_t length = 0;
  uint32_t address = 0;  // load address for loader and firmware blocks, else 0
  uint8_t* data = nullptr;
};

uint32_t GetInt(const uint8_t* bytes);
uint16_t GetShort(const uint8_t* bytes);

class BirdFile {
 public:
  static constexpr uint32_t BIRD_FILE_SIGNATURE = 0x62697264;  // "bird"
  static constexpr uint32_t BIRD_FILE_VERSION = 0x0101;
  static constexpr uint8_t BIRD_FILE_TYPE_MASK = 0x1F;
  static constexpr uint8_t BIRD_FILE_FLAG_MASK = 0xE0;
  static constexpr size_t HEADER_SIZE = 6;
  static constexpr uint32_t INFO_BLOCK_SIZE = 64;
  static constexpr uint32_t OFFSETS_BLOCK_SIZE = 8;

  BirdFile() = default;
  // Throws std::runtime_error("Failed to load bird data") when the file cannot be loaded.
  explicit BirdFile(const char* path);
  BirdFile(BirdFile&& other) noexcept;
  BirdFile& operator=(BirdFile&& other) noexcept;
  BirdFile(const BirdFile&) = delete;
  BirdFile& operator=(const BirdFile&) = delete;

  static bool VerifyFile(const char* path);

  bool Load();
  bool DecompressData(const uint8_t* compressed, uint64_t length);
  bool ScanBlocks(uint8_t* image, uint32_t length);
  std::vector<BirdBlock> FindBlocks(BLOCK_TYPE type) const;
  bool FindSerialNumberOffsets();
  bool ReplaceSerialNumber(uint32_t serial);
  bool DecodeFirmwareBlocks(const uint32_t* key);

  uint32_t GetSerialNumber() const;
  bool ValidateSerialNumber(uint32_t serial) const;
  uint32_t GetBuild() const;
  std::string GetVersion() const;
  bool ValidateModel(const char* model) const;
  bool DumpBlocks(BLOCK_TYPE type) const;

  const std::string& Path() const { return path; }
  uint32_t Signature() const { return signature; }
  uint32_t FormatVersion() const { return formatVersion; }
  uint32_t Checksum() const { return checksum; }
  uint32_t BlockCount() const { return blockCount; }
  const std::vector<BirdBlock>& Blocks() const { return blocks; }
  bool HasSerialOffsets() const { return hasSerialOffsets; }
  uint32_t SerialNumberAddress() const { return serialNumberAddress; }
  uint32_t DescriptorAddress() const { return descriptorAddress; }
  uint32_t ImageSize() const { return imageSize; }

 private:
  // The first information block that is long enough to hold all four fields.
  const BirdBlock* info_block() const;
  std::string info_field(uint32_t offset, size_t width) const;
  void swap(BirdFile& other) noexcept;

  std::string path;
  uint32_t signature = 0;
  uint32_t formatVersion = 0;
  uint32_t checksum = 0;
  uint32_t blockCount = 0;
  std::vector<BirdBlock> blocks;
  bool hasSerialOffsets = false;
  uint32_t serialNumberAddress = 0;
  uint32_t descriptorAddress = 0;
  std::unique_ptr<uint8_t[]> image;
  uint32_t imageSize = 0;
  // Set by ScanBlocks when a block is cut off or too short to be transferred; such an image
  // must never reach a module, so the load fails.
  bool unusable = false;
};
