#pragma once
// The object through which the command line does everything. It holds only texts and the
// display: every operation makes the store, server requests and module links it needs and
// releases them before it returns.
#include <cstdint>
#include <string>

#include "app/UpdaterDisplayInterface.h"
#include "tessaloom/common/aError.h"
#include "tessaloom/common/aLinkSpec.h"

// One discovered module: its link specifier followed by what was read from it.
struct DeviceInfo : linkSpec {
  DeviceInfo() : linkSpec{} {}
  explicit DeviceInfo(const linkSpec& specifier) : linkSpec(specifier) {}

  uint16_t networkAddress = 0;
  uint32_t build = 0;
  uint8_t major = 0;
  uint8_t minor = 0;
  uint32_t patch = 0;
  std::string modelName;
  std::string name;
  aErr error = aErrNone;
};

// Four words unique to one chip, read through its boot loader.
struct Fingerprint {
  uint32_t word[4] = {0, 0, 0, 0};
};

// Microcontroller families as recorded by the last fingerprint read.
enum ChipFamily : uint8_t {
  CHIP_FAMILY_IMX = 1,
  CHIP_FAMILY_LPC = 2,
};

constexpr uint32_t SERIAL_NUMBER_UNKNOWN = 0xDEADDEAD;

class Updater {
 public:
  Updater(const char* serverUrl, const char* storageDirectory, UpdaterDisplayInterface& display);
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  void Set_UEIBytes_Load(bool enable) { useUEIBytes = enable; }

  const std::string& ServerUrl() const { return serverUrl; }
  const std::string& StorageDirectory() const { return storageDirectory; }
  bool UEIBytesLoad() const { return useUEIBytes; }

 private:
  std::string serverUrl;
  std::string storageDirectory;
  // Both are used by the operations that the discovery, update and recovery code adds.
  [[maybe_unused]] UpdaterDisplayInterface& display;
  [[maybe_unused]] uint8_t chipFamily = 0;
  bool useUEIBytes = false;
};
