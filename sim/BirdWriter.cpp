#include "sim/BirdWriter.h"

#include <zlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace birdsim {
namespace {

void put32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

Bytes address_and(uint32_t address, const Bytes& payload) {
  Bytes data;
  put32(data, address);
  data.insert(data.end(), payload.begin(), payload.end());
  return data;
}

std::string field16(const std::string& text) {
  std::string f = text.substr(0, 16);
  f.resize(16, ' ');
  return f;
}

uint32_t number(const std::string& text) {
  size_t used = 0;
  const unsigned long long v = std::stoull(text, &used, 0);
  if (used != text.size() || v > UINT32_MAX) throw std::invalid_argument("bad number: " + text);
  return static_cast<uint32_t>(v);
}

Bytes hex_bytes(const std::string& hex) {
  if (hex.size() % 2 != 0) throw std::invalid_argument("odd hex length: " + hex);
  Bytes out;
  for (size_t i = 0; i < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

// file:PATH, hex:0011AA, text:abc, zero:N, code:N[:SEED]
Bytes payload(const std::string& text) {
  const size_t colon = text.find(':');
  const std::string kind = text.substr(0, colon);
  const std::string rest = colon == std::string::npos ? "" : text.substr(colon + 1);
  if (kind == "hex") return hex_bytes(rest);
  if (kind == "text") return Bytes(rest.begin(), rest.end());
  if (kind == "zero") return Bytes(number(rest), 0);
  if (kind == "code") {
    const size_t second = rest.find(':');
    return CodeLikeBytes(number(rest.substr(0, second)), second == std::string::npos ? 1 : number(rest.substr(second + 1)));
  }
  if (kind == "file") {
    std::ifstream in(rest, std::ios::binary);
    if (!in) throw std::invalid_argument("cannot read " + rest);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  throw std::invalid_argument("unknown payload: " + text);
}

}  // namespace

BirdImage& BirdImage::Loader(uint32_t address, const Bytes& data, uint8_t flags) {
  return Raw(0, address_and(address, data), flags);
}

BirdImage& BirdImage::Firmware(uint32_t address, const Bytes& data, uint8_t flags) {
  return Raw(1, address_and(address, data), flags);
}

BirdImage& BirdImage::Offsets(uint32_t serialAddress, uint32_t descriptorAddress) {
  Bytes data;
  put32(data, serialAddress);
  put32(data, descriptorAddress);
  return Raw(2, data);
}

BirdImage& BirdImage::Info(const std::string& build, const std::string& version, const std::string& serial,
                           const std::string& model) {
  const std::string text = field16(build) + field16(version) + field16(serial) + field16(model);
  return Raw(4, Bytes(text.begin(), text.end()));
}

BirdImage& BirdImage::Info(uint32_t build, const std::string& version, uint32_t serial, const std::string& model) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", serial);
  return Info(std::to_string(build), version, hex, model);
}

BirdImage& BirdImage::StartAddress(uint32_t address) {
  Bytes data;
  put32(data, address);
  return Raw(5, data);
}

BirdImage& BirdImage::Raw(uint8_t type, const Bytes& data, uint8_t flags) {
  blocks.push_back({type, flags, data});
  return *this;
}

BirdImage& BirdImage::DeclaredCount(uint32_t count) {
  countGiven_ = true;
  count_ = count;
  return *this;
}

BirdImage& BirdImage::FormatVersion(uint16_t version) {
  formatVersion_ = version;
  return *this;
}

Bytes BirdImage::Image(Breakage breakage) const {
  std::vector<Block> list = blocks;
  for (Block& b : list) {
    if (breakage == Breakage::ShortInfo && b.type == 4) b.data.resize(20);
    if (breakage == Breakage::ShortOffsets && b.type == 2) b.data.resize(4);
  }
  if (breakage == Breakage::ShortLoader) list.insert(list.begin(), Block{0, 0, {0xAA, 0xBB}});
  if (breakage == Breakage::ExpandsTooMuch) list.push_back(Block{3, 0, Bytes(64 * 1024, 0)});

  Bytes image;
  uint32_t count = countGiven_ ? count_ : static_cast<uint32_t>(list.size());
  if (breakage == Breakage::CountOffByOne) ++count;
  put32(image, count);
  size_t last_header = 0;
  for (const Block& b : list) {
    last_header = image.size();
    image.push_back(static_cast<uint8_t>((b.type & 0x1F) | (b.flags << 5)));
    put32(image, static_cast<uint32_t>(b.data.size()));
    image.insert(image.end(), b.data.begin(), b.data.end());
  }
  if (!list.empty() && (breakage == Breakage::BlockOverrun || breakage == Breakage::BlockLengthWraps)) {
    Bytes length;
    const uint32_t old = (uint32_t{image[last_header + 1]} << 24) | (uint32_t{image[last_header + 2]} << 16) |
                         (uint32_t{image[last_header + 3]} << 8) | image[last_header + 4];
    put32(length, breakage == Breakage::BlockOverrun ? old + 16 : 0xFFFFFFFFu);
    std::copy(length.begin(), length.end(), image.begin() + static_cast<long>(last_header) + 1);
  }
  put32(image, static_cast<uint32_t>(crc32(0, image.data(), static_cast<uInt>(image.size()))));
  return image;
}

Bytes BirdImage::File(Breakage breakage) const {
  const Bytes image = Image(breakage);
  uLongf size = compressBound(static_cast<uLong>(image.size()));
  Bytes compressed(size);
  if (compress2(compressed.data(), &size, image.data(), static_cast<uLong>(image.size()), 9) != Z_OK)
    throw std::runtime_error("compress failed");
  compressed.resize(size);
  if (breakage == Breakage::TruncatedStream) compressed.resize(compressed.size() / 2);

  const uint8_t header[6] = {'b', breakage == Breakage::BadSignature ? uint8_t{'a'} : uint8_t{'i'}, 'r', 'd',
                             static_cast<uint8_t>(formatVersion_ >> 8),
                             breakage == Breakage::ZeroVersion ? uint8_t{0} : static_cast<uint8_t>(formatVersion_)};
  compressed.insert(compressed.begin(), header, header + sizeof header);
  return compressed;
}

void BirdImage::WriteTo(const std::string& path, Breakage breakage) const {
  const Bytes bytes = File(breakage);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

BirdImage BirdImage::Parse(const std::string& description) {
  BirdImage image;
  std::istringstream lines(description);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string kind;
    words >> kind;
    std::vector<std::string> args;
    uint8_t flags = 0;
    for (std::string w; words >> w;) {
      if (w.rfind("flags=", 0) == 0)
        flags = static_cast<uint8_t>(number(w.substr(6)));
      else
        args.push_back(w);
    }
    auto need = [&](size_t n) {
      if (args.size() != n) throw std::invalid_argument("wrong number of values: " + line);
    };
    if (kind.empty()) continue;
    if (kind == "loader" || kind == "firmware") {
      need(2);
      const Bytes data = payload(args[1]);
      kind == "loader" ? image.Loader(number(args[0]), data, flags) : image.Firmware(number(args[0]), data, flags);
    } else if (kind == "offsets") {
      need(2);
      image.Offsets(number(args[0]), number(args[1]));
    } else if (kind == "info") {
      need(4);
      image.Info(args[0], args[1], args[2], args[3]);
    } else if (kind == "start") {
      need(1);
      image.StartAddress(number(args[0]));
    } else if (kind == "block") {
      need(2);
      image.Raw(static_cast<uint8_t>(number(args[0])), payload(args[1]), flags);
    } else if (kind == "count") {
      need(1);
      image.DeclaredCount(number(args[0]));
    } else if (kind == "version") {
      need(1);
      image.FormatVersion(static_cast<uint16_t>(number(args[0])));
    } else {
      throw std::invalid_argument("unknown line: " + line);
    }
  }
  return image;
}

Bytes CodeLikeBytes(size_t length, uint32_t seed) {
  // A small vocabulary of 4-byte "instructions" with random operands.
  Bytes out;
  out.reserve(length);
  uint32_t state = seed * 2654435761u + 1;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  static const uint8_t opcodes[8] = {0x46, 0x68, 0xF0, 0x2B, 0xBD, 0x47, 0xD1, 0x60};
  while (out.size() < length) {
    const uint32_t r = next();
    out.push_back(opcodes[r & 7]);
    out.push_back(static_cast<uint8_t>((r >> 3) & 0x1F));
    out.push_back(static_cast<uint8_t>(r >> 8));
    out.push_back((r >> 16) & 1 ? 0x00 : static_cast<uint8_t>(r >> 24));
  }
  out.resize(length);
  return out;
}

const std::vector<std::string>& BreakageNames() {
  static const std::vector<std::string> names = {
      "none",           "bad-signature", "zero-version",  "truncated-stream", "count-off-by-one", "block-overrun",
      "length-wraps",   "short-info",    "short-offsets", "short-loader",     "expands-too-much"};
  return names;
}

Breakage ParseBreakage(const std::string& name) {
  const auto& names = BreakageNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<Breakage>(i);
  throw std::invalid_argument("unknown breakage: " + name);
}

}  // namespace birdsim
