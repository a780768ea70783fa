#include "updater/BirdFile.h"

#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "app/Log.h"
#include "tessaloom/unix/aFile.h"

namespace {

constexpr uint32_t kCountSize = 4;
constexpr uint32_t kChecksumSize = 4;
constexpr uint32_t kBlockHeaderSize = 5;
constexpr uint32_t kAddressSize = 4;
constexpr uint32_t kSerialSize = 4;
constexpr uint32_t kDescriptorDigits = 8;
constexpr uint32_t kKeyStreamSize = 16;

const char* type_name(uint8_t type) {
  switch (type) {
    case BLOCK_LOADER: return "loader";
    case BLOCK_FIRMWARE: return "firmware";
    default: return "other";
  }
}

// Payload bytes [address, address + length - 4) of a loader or firmware block; true when the
// target range [at, at + size) lies wholly inside. 64-bit so no address can wrap.
bool payload_covers(const BirdBlock& block, uint32_t at, uint32_t size) {
  const uint64_t begin = block.address;
  const uint64_t end = begin + (block.length - uint64_t{kAddressSize});
  return uint64_t{at} >= begin && uint64_t{at} + size <= end;
}

}  // namespace

uint32_t GetInt(const uint8_t* bytes) {
  return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
}

uint16_t GetShort(const uint8_t* bytes) { return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]); }

BirdFile::BirdFile(const char* file) : path(file != nullptr ? file : "") {
  if (!Load()) throw std::runtime_error("Failed to load bird data");
}

BirdFile::BirdFile(BirdFile&& other) noexcept { swap(other); }

BirdFile& BirdFile::operator=(BirdFile&& other) noexcept {
  if (this != &other) {
    BirdFile gone(std::move(*this));
    swap(other);
  }
  return *this;
}

void BirdFile::swap(BirdFile& o) noexcept {
  std::swap(path, o.path);
  std::swap(signature, o.signature);
  std::swap(formatVersion, o.formatVersion);
  std::swap(checksum, o.checksum);
  std::swap(blockCount, o.blockCount);
  std::swap(blocks, o.blocks);  // the views keep pointing into the image that moves with them
  std::swap(hasSerialOffsets, o.hasSerialOffsets);
  std::swap(serialNumberAddress, o.serialNumberAddress);
  std::swap(descriptorAddress, o.descriptorAddress);
  std::swap(image, o.image);
  std::swap(imageSize, o.imageSize);
  std::swap(unusable, o.unusable);
}

bool BirdFile::VerifyFile(const char* file) {
  aFileHandle handle = aFile_Open(file, aFileModeRead);
  if (handle == nullptr) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", file != nullptr ? file : "");
    return false;
  }
  uint8_t header[HEADER_SIZE] = {};
  uint64_t count = 0;
  aFile_Read(handle, header, sizeof header, &count);
  aFile_Close(&handle);
  return count == sizeof header && std::memcmp(header, "bird", 4) == 0 && header[4] != 0 && header[5] != 0;
}

bool BirdFile::Load() {
  const char* file = path.c_str();
  Log::log(DEBUG_BirdFile, "BIRDFILE: Loading File [%s]\n", file);
  if (!aFile_Exists(file)) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: BIRD file not found [%s]\n", file);
    return false;
  }
  aFileHandle handle = aFile_Open(file, aFileModeRead);
  if (handle == nullptr) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Error - cannot open bird file: '%s'\n", file);
    return false;
  }
  uint64_t size = 0;
  aErr err = aFile_GetSize(handle, &size);
  if (err != aErrNone) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Error (%d) getting bird file size from %s\n", static_cast<int>(err), file);
    aFile_Close(&handle);
    return false;
  }
  if (size < HEADER_SIZE) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Error - %s is %llu bytes, too short for a bird file\n", file,
             static_cast<unsigned long long>(size));
    aFile_Close(&handle);
    return false;
  }

  bool loaded = false;
  auto buffer = std::make_unique_for_overwrite<uint8_t[]>(size);
  uint64_t got = 0;
  err = aFile_Read(handle, buffer.get(), size, &got);
  if (err != aErrNone) Log::log(DEBUG_BirdFile, "BIRDFILE: Error (%d) reading %s\n", static_cast<int>(err), file);
  if (got < size)
    Log::log(DEBUG_BirdFile, "BIRDFILE: Error reading %s read %zu bytes of %zu byte file\n", file,
             static_cast<size_t>(got), static_cast<size_t>(size));
  if (err == aErrNone && got == size) {
    signature = GetInt(buffer.get());
    formatVersion = GetShort(buffer.get() + 4);
    if (DecompressData(buffer.get() + HEADER_SIZE, size - HEADER_SIZE)) {
      ScanBlocks(image.get(), imageSize);
      FindSerialNumberOffsets();
      loaded = !unusable;
    }
  }

  if (!FindBlocks(BLOCK_OFFSETS).empty()) {
    hasSerialOffsets = true;
    FindSerialNumberOffsets();
  }
  buffer.reset();
  aFile_Close(&handle);
  return loaded;
}

bool BirdFile::DecompressData(const uint8_t* compressed, uint64_t length) {
  const auto capacity = static_cast<uint32_t>(length * 8);
  // Left uninitialised: zlib overwrites what it produces and nothing reads beyond that.
  image = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  blocks.clear();
  blockCount = 0;
  uLongf produced = capacity;
  const int result = uncompress(image.get(), &produced, compressed, static_cast<uLong>(length));
  if (result != Z_OK) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Error (%d) decompressing bird file.\n", result);
    imageSize = 0;
    return false;
  }
  imageSize = static_cast<uint32_t>(produced);
  return true;
}

bool BirdFile::ScanBlocks(uint8_t* data, uint32_t length) {
  blockCount = 0;
  blocks.clear();
  checksum = 0;
  unusable = false;
  if (data == nullptr || length < kCountSize + kChecksumSize) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Image of %u bytes is too short for a block count and checksum\n", length);
    return false;
  }
  // The cursor only ever moves forward by lengths already checked against what remains;
  // more than 4 bytes left always holds a whole 5-byte block header.
  uint8_t* cursor = data;
  uint32_t remaining = length;
  const uint32_t declared = GetInt(cursor);
  Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t File reports %d blocks\n", static_cast<int>(declared));
  cursor += kCountSize;
  remaining -= kCountSize;
  Log::log(DEBUG_BirdFile, "BIRDFILE: Bird file objects:\n");
  Log::log(DEBUG_BirdFile, "BIRDFILE: \t\tType Flags Length\n");

  while (remaining > kChecksumSize) {
    BirdBlock block;
    block.type = cursor[0] & BirdFile::BIRD_FILE_TYPE_MASK;
    block.flags = static_cast<uint8_t>((cursor[0] & BirdFile::BIRD_FILE_FLAG_MASK) >> 5);
    block.length = GetInt(cursor + 1);
    if (uint64_t{block.length} > uint64_t{remaining} - kBlockHeaderSize) {
      Log::log(DEBUG_BirdFile, "BIRDFILE: Block %u (type %02X) of %u bytes runs past the end of the image (%u left)\n",
               blockCount, block.type, block.length, remaining - kBlockHeaderSize);
      unusable = true;
      break;
    }
    cursor += kBlockHeaderSize;
    remaining -= kBlockHeaderSize;
    block.data = cursor;
    if (block.type == BLOCK_LOADER || block.type == BLOCK_FIRMWARE) {
      if (block.length >= kAddressSize) {
        block.address = GetInt(block.data);
      } else {
        Log::log(DEBUG_BirdFile, "BIRDFILE: %s block %u has %u bytes, too short for its load address\n",
                 type_name(block.type), blockCount, block.length);
        unusable = true;
      }
    }
    Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t %02X   %02X   %d\n", block.type, block.flags, static_cast<int>(block.length));
    if (block.type == BLOCK_INFO && block.length >= BirdFile::INFO_BLOCK_SIZE)
      for (uint32_t field = 0; field < BirdFile::INFO_BLOCK_SIZE; field += 16)
        Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t \t[%16.16s]\n", reinterpret_cast<const char*>(block.data + field));
    cursor += block.length;
    remaining -= block.length;
    ++blockCount;
    blocks.push_back(block);
  }

  if (!unusable && remaining >= kChecksumSize) {
    checksum = GetInt(cursor);
    Log::log(DEBUG_BirdFile, "BIRDFILE:\t\t File checksum %08X\n", checksum);
    remaining -= kChecksumSize;
  }
  bool ok = !unusable;
  if (remaining > 0) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Block parsing mismatch in data size. (%d bytes remaining)\n",
             static_cast<int>(remaining));
    ok = false;
  }
  if (blockCount != declared) {
    Log::log(DEBUG_BirdFile, "BIRDFILE: Block parsing mismatch in number of blocks. (%d != %d)\n",
             static_cast<int>(blockCount), static_cast<int>(declared));
    ok = false;
  }
  return ok;
}

std::vector<BirdBlock> BirdFile::FindBlocks(BLOCK_TYPE type) const {
  std::vector<BirdBlock> found;
  for (const BirdBlock& b : blocks)
    if (b.type == type) found.push_back(b);
  return found;
}

bool BirdFile::FindSerialNumberOffsets() {
  if (blockCount == 0) return false;
  for (const BirdBlock& b : blocks) {
    if (b.type != BLOCK_OFFSETS) continue;
    // A block too short for both addresses names none, so no serial number is inserted.
    serialNumberAddress = b.length >= OFFSETS_BLOCK_SIZE ? GetInt(b.data) : 0;
    descriptorAddress = b.length >= OFFSETS_BLOCK_SIZE ? GetInt(b.data + 4) : 0;
    Log::log(DEBUG_BirdFile, "BIRDFILE: Offsets: Serial number: %d, Descriptor: %d\n",
             static_cast<int>(serialNumberAddress), static_cast<int>(descriptorAddress));
    return true;
  }
  return false;
}

bool BirdFile::ReplaceSerialNumber(uint32_t serial) {
  char digits[kDescriptorDigits + 1];
  std::snprintf(digits, sizeof digits, "%08X", serial);
  bool replaced = false;
  for (BirdBlock& b : blocks) {
    if (b.type != BLOCK_FIRMWARE || b.length < kAddressSize) continue;
    uint8_t* payload = b.data + kAddressSize;
    if (serialNumberAddress != 0) {
      if (payload_covers(b, serialNumberAddress, kSerialSize)) {
        uint8_t* at = payload + (serialNumberAddress - b.address);
        const uint32_t old = uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
        Log::log(DEBUG_BirdFile, "BIRDFILE: updating serial number from %08X ==> %08X\n", old, serial);
        for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(serial >> (8 * i));
      }
      replaced = true;
    }
    if (descriptorAddress != 0) {
      if (payload_covers(b, descriptorAddress, 2 * kDescriptorDigits)) {
        uint8_t* at = payload + (descriptorAddress - b.address);
        for (uint32_t i = 0; i < kDescriptorDigits; ++i) at[2 * i] = static_cast<uint8_t>(digits[i]);
        replaced = true;
      }
    }
  }
  return replaced;
}

bool BirdFile::DecodeFirmwareBlocks(const uint32_t* key) {
  uint8_t stream[kKeyStreamSize];
  for (uint32_t w = 0; w < 4; ++w)
    for (uint32_t b = 0; b < 4; ++b) stream[4 * w + b] = static_cast<uint8_t>(key[w] >> (24 - 8 * b));
  for (BirdBlock& block : blocks) {
    if (block.type != BLOCK_FIRMWARE || block.length < kAddressSize) continue;
    uint8_t* payload = block.data + kAddressSize;
    uint8_t previous = 0;
    for (uint32_t i = 0; i < block.length - kAddressSize; ++i) {
      payload[i] = static_cast<uint8_t>(payload[i] ^ stream[i % kKeyStreamSize] ^ previous);
      previous = payload[i];
    }
  }
  return true;
}

const BirdBlock* BirdFile::info_block() const {
  for (const BirdBlock& b : blocks)
    if (b.type == BLOCK_INFO && b.length >= INFO_BLOCK_SIZE) return &b;
  return nullptr;
}

std::string BirdFile::info_field(uint32_t offset, size_t width) const {
  const BirdBlock* info = info_block();
  if (info == nullptr) return "";
  const char* field = reinterpret_cast<const char*>(info->data + offset);
  return std::string(field, strnlen(field, width));
}

uint32_t BirdFile::GetSerialNumber() const {
  uint32_t serial = 0;
  for (char c : info_field(32, 8)) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) break;
    serial = (serial << 4) | static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::toupper(c) - 'A' + 10));
  }
  return serial;
}

bool BirdFile::ValidateSerialNumber(uint32_t serial) const { return serial == GetSerialNumber(); }

uint32_t BirdFile::GetBuild() const {
  uint64_t build = 0;
  for (char c : info_field(0, 15)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    build = build * 10 + static_cast<uint64_t>(c - '0');
  }
  // A number that does not fit names no real build.
  return build > UINT32_MAX ? 0 : static_cast<uint32_t>(build);
}

std::string BirdFile::GetVersion() const {
  std::string version = info_field(16, 15);
  const size_t space = version.find(' ');
  if (space != std::string::npos) version.resize(space);
  return version;
}

bool BirdFile::ValidateModel(const char* model) const {
  if (model == nullptr || info_block() == nullptr) return false;
  std::string field = info_field(48, 16);
  while (!field.empty() && field.back() == ' ') field.pop_back();
  const size_t length = std::strlen(model);
  if (length > field.size() || field.compare(0, length, model) != 0) return false;
  Log::log(DEBUG_BirdFile, "Model matches model number ([%s] == [%s])\n", field.c_str(), model);
  return true;
}

bool BirdFile::DumpBlocks(BLOCK_TYPE type) const {
  std::printf("BIRDFILE: BLOCK DUMP [%s]\n", path.c_str());
  std::string gathered;
  for (const BirdBlock& b : blocks) {
    if (b.type != type) continue;
    for (uint32_t i = 0; i < b.length; ++i) {
      if (i % 50 == 0) {
        std::printf(" %s\r\n%06d: ", gathered.c_str(), static_cast<int>(i));
        gathered.clear();
      }
      const unsigned char c = b.data[i];
      gathered += std::isprint(c) ? static_cast<char>(c) : ' ';
      std::printf("%02X ", c);
    }
    std::printf(" %s\n", gathered.c_str());
    gathered.clear();
  }
  std::printf("\n");
  return true;
}
