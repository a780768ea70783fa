#pragma once
// The object through which the command line does everything. It holds only texts and the
// display: every operation makes the store, server requests and module links it needs and
// releases them before it returns.
#include <cstdint>
#include <memory>
#include <string>

#include "app/UpdaterDisplayInterface.h"
#include "tessaloom/common/aError.h"
#include "tessaloom/common/aLinkSpec.h"
#include "updater/BirdFile.h"
#include "updater/UpdateServerRequest.h"

class UpdaterStore;

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

// A store for the directory, or none after the error line naming the caller.
std::unique_ptr<UpdaterStore> _createUpdaterStore(UpdaterDisplayInterface& display, const std::string& directory,
                                                  const char* caller);
// True when the server lists the build for the device.
bool _valid_build(uint32_t serial, uint32_t build, const char* url);

class Updater {
 public:
  Updater(const char* serverUrl, const char* storageDirectory, UpdaterDisplayInterface& display);
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  void Set_UEIBytes_Load(bool enable) { useUEIBytes = enable; }

  // Firmware builds. A build number of 0 means the latest; 0 also means failure.
  uint32_t Download_Firmware(uint32_t serial, const std::string& build, bool override, bool noCalibration);
  BuildMap Get_BuildList(uint32_t serial);
  BuildMap Get_BuildListLocal(uint32_t serial);
  std::string Get_JWT(uint32_t serial);
  // The file to transfer: the given path, else the stored build (downloaded first when
  // allowed). Throws std::runtime_error when it cannot be had.
  BirdFile load_bird(const char* word, const std::string& path, uint32_t serial, uint32_t build, bool allowDownload);

  const std::string& ServerUrl() const { return serverUrl; }
  const std::string& StorageDirectory() const { return storageDirectory; }
  bool UEIBytesLoad() const { return useUEIBytes; }

 private:
  std::string serverUrl;
  std::string storageDirectory;
  UpdaterDisplayInterface& display;
  // Used by the recovery code once it is part of this build.
  [[maybe_unused]] uint8_t chipFamily = 0;
  bool useUEIBytes = false;
};
