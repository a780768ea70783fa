// Loads arbitrary bytes as a BIRD file and runs every reader and both in-place changes on
// whatever loads. The first byte picks the mode:
//   even: the rest is a whole file, read through BirdFile's constructor;
//   odd:  the rest is an unpacked image, scanned from an exact-size copy (so a read one byte
//         past its end is caught) and also wrapped into a valid file and loaded.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Log.h"
#include "updater/BirdFile.h"

namespace {

int g_fd = -1;
std::string g_path;

void exercise(BirdFile& f) {
  for (int type = 0; type < 32; ++type) f.FindBlocks(static_cast<BLOCK_TYPE>(type));
  f.GetBuild();
  f.GetVersion();
  f.ValidateSerialNumber(f.GetSerialNumber());
  f.ValidateModel("XYZ");
  f.ValidateModel("A-model-name-far-longer-than-sixteen-characters");
  f.ValidateModel("");
  f.FindSerialNumberOffsets();
  f.ReplaceSerialNumber(0x40F5849A);
  const uint32_t key[4] = {0x01234567, 0x89ABCDEF, 0xFEDCBA98, 0x76543210};
  f.DecodeFirmwareBlocks(key);
  if (!f.Blocks().empty()) f.DumpBlocks(static_cast<BLOCK_TYPE>(f.Blocks()[0].type));
}

void load_file(const uint8_t* bytes, size_t size) {
  if (ftruncate(g_fd, 0) != 0 || pwrite(g_fd, bytes, size, 0) != static_cast<ssize_t>(size)) return;
  try {
    BirdFile f(g_path.c_str());
    exercise(f);
  } catch (const std::runtime_error&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  g_fd = memfd_create("bird", 0);
  g_path = "/proc/self/fd/" + std::to_string(g_fd);
  Log::SetOutput(stdout);
  Log::ActivatePackage(DEBUG_BirdFile);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  if ((mode & 1) == 0) {
    load_file(data, size);
    return 0;
  }

  const auto image = std::make_unique<uint8_t[]>(size);
  std::copy(data, data + size, image.get());
  BirdFile scanned;
  scanned.ScanBlocks(image.get(), static_cast<uint32_t>(size));
  exercise(scanned);

  uLongf packed_size = compressBound(static_cast<uLong>(size));
  std::vector<uint8_t> file(6 + packed_size);
  if (compress2(file.data() + 6, &packed_size, data, static_cast<uLong>(size), 1) != Z_OK) return 0;
  file.resize(6 + packed_size);
  const uint8_t header[6] = {'b', 'i', 'r', 'd', 1, 1};
  std::copy(header, header + 6, file.begin());
  load_file(file.data(), file.size());
  return 0;
}
