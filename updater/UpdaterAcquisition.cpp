// Updater operations that deal with firmware builds: the server's lists, downloads into the
// local store, the stored builds, the feature token, and loading the file to transfer.
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <future>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "app/Log.h"
#include "updater/Updater.h"
#include "updater/UpdateServerRequest.h"
#include "updater/UpdaterStore.h"
#include "updater/base64.h"

namespace {

using Display = UpdaterDisplayInterface;

constexpr std::chrono::milliseconds kSpinnerStep{100};

// Leading decimal digits as a 64-bit number; false when the text does not begin with one.
bool leading_number(const std::string& text, uint64_t& value) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
  errno = 0;
  value = std::strtoull(text.c_str(), nullptr, 10);
  return errno != ERANGE;
}

struct FreeDeleter {
  void operator()(uint8_t* p) const { std::free(p); }
};

}  // namespace

std::unique_ptr<UpdaterStore> _createUpdaterStore(UpdaterDisplayInterface& display, const std::string& directory,
                                                  const char* caller) {
  try {
    return std::make_unique<UpdaterStore>(directory.c_str());
  } catch (const std::runtime_error& e) {
    display.message(Display::LEVEL_ERROR, "Failed to Create UpdaterStore in: %s - Exception: %s", caller, e.what());
    return nullptr;
  }
}

bool _valid_build(uint32_t serial, uint32_t build, const char* url) {
  BuildMap builds;
  if (!UpdateServerRequest::GetBuildList(serial, builds, url)) return false;
  for (const auto& entry : builds) {
    uint64_t number = 0;
    if (!leading_number(entry.first, number)) {
      Log::log(DEBUG_Updater, "Error: Could not convert %s to int.\n", entry.first.c_str());
      number = 0;
    }
    if (static_cast<uint32_t>(number) == build) return true;
  }
  return false;
}

uint32_t Updater::Download_Firmware(uint32_t serial, const std::string& buildText, bool override, bool noCalibration) {
  uint32_t build = 0;
  if (!buildText.empty()) {
    uint64_t requested = 0;
    if (!leading_number(buildText, requested)) {
      display.message(Display::LEVEL_ERROR, "Build number '%s' must be an number", buildText.c_str());
      return 0;
    }
    build = static_cast<uint32_t>(requested);
  }
  if (serial == 0) {
    display.message(Display::LEVEL_ERROR, "Serial Number must be non-zero");
    return 0;
  }
  const char* url = serverUrl.c_str();
  if (!UpdateServerRequest::ping(url)) {
    display.message(Display::LEVEL_ERROR, "Server request failed for %s", url);
    return 0;
  }
  auto store = _createUpdaterStore(display, storageDirectory, "Download_Firmware");
  if (!store) return 0;

  UpdaterStoreItem device;
  if (!store->FindDevice(serial, &device)) {
    Log::log(DEBUG_APP, "Could not find device in our update history.\n");
    try {
      device = store->AddDevice(serial);
    } catch (const std::runtime_error&) {
      display.message(Display::LEVEL_ERROR, "Could not create directory for storing BIRD file");
      return 0;
    }
  }

  std::string latest, firmwareTag;
  if (!UpdateServerRequest::QueryBuild(serial, latest, firmwareTag, url)) {
    display.message(Display::LEVEL_ERROR, "No build information for device");
    return 0;
  }
  if (build == 0) {
    uint64_t offered = 0;
    if (leading_number(latest, offered))
      build = static_cast<uint32_t>(offered);
    else
      Log::log(DEBUG_Updater, "Error: Could not convert %s to int.\n", latest.c_str());
  }

  display.message(Display::LEVEL_INFO, "Retrieving build %u", build);
  if (override) {
    display.message(Display::LEVEL_INFO, "Override specified, skipping validation of build %u", build);
  } else {
    display.message(Display::LEVEL_INFO, "Validating build %u with server", build);
    if (!_valid_build(serial, build, url)) {
      display.message(Display::LEVEL_ERROR, "No valid build %u", build);
      return 0;
    }
    display.message(Display::LEVEL_INFO, "Build %u is valid", build);
  }

  // The request runs on a worker while this thread keeps the spinner turning.
  const std::string buildNumber = std::to_string(build);
  std::string data;
  std::promise<bool> slot;
  std::future<bool> result = slot.get_future();
  std::thread worker;
  try {
    worker = std::thread([&slot, &data, serial, firmwareTag, buildNumber, noCalibration, url = serverUrl] {
      bool ok = false;
      try {
        ok = UpdateServerRequest::GetBuild(serial, firmwareTag.c_str(), buildNumber.c_str(), data, url.c_str(),
                                           noCalibration);
      } catch (...) {
        ok = false;
      }
      slot.set_value(ok);
    });
  } catch (const std::system_error&) {
    slot.set_value(false);  // no thread to be had: the download fails like any other
  }
  display.update_spinner(true, "Downloading");
  while (result.wait_for(kSpinnerStep) != std::future_status::ready) display.update_spinner(true, "Downloading");
  display.update_spinner(false, "Downloading");
  const bool downloaded = result.get();
  if (worker.joinable()) worker.join();
  if (!downloaded) display.message(Display::LEVEL_ERROR, "Download failed");

  if (data.empty()) {
    display.message(Display::LEVEL_ERROR, "Failed to retrieve a valid BIRD file");
    return 0;
  }
  size_t size = 0;
  std::unique_ptr<uint8_t, FreeDeleter> bytes(base64_decode(data.data(), data.size(), &size));
  data = std::string();  // the encoded copy is no longer needed
  if (!bytes || size == 0) {
    display.message(Display::LEVEL_ERROR, "Failed to decode the BIRD file sent by the server");
    return 0;
  }

  const std::string stamp = KeyValueStore::TimeStamp();
  const std::string fileName = buildNumber + ".bird";
  const aErr written = device.WriteFile(fileName.c_str(), bytes.get(), size);
  bytes.reset();
  if (written != aErrNone) {
    // Nothing is recorded: the history must name only builds that are really stored.
    display.message(Display::LEVEL_ERROR, "Failed to write file with %d", static_cast<int>(written));
    return 0;
  }
  device.settings.Add("LATEST_DOWNLOAD", fileName);
  device.settings.Add("LAST_DOWNLOAD_DATE", stamp);
  device.settings.Save();
  return build;
}

BuildMap Updater::Get_BuildList(uint32_t serial) {
  BuildMap builds;
  if (!UpdateServerRequest::ping(serverUrl.c_str())) {
    display.message(Display::LEVEL_ERROR, "Server request failed for %s", serverUrl.c_str());
    return builds;
  }
  if (!UpdateServerRequest::GetBuildList(serial, builds, serverUrl.c_str()))
    display.message(Display::LEVEL_ERROR, "Failed to retrieve builds for %08X", serial);
  return builds;
}

std::string Updater::Get_JWT(uint32_t serial) {
  std::string token;
  if (!UpdateServerRequest::ping(serverUrl.c_str())) {
    display.message(Display::LEVEL_ERROR, "Server request failed for %s", serverUrl.c_str());
    return token;
  }
  if (!UpdateServerRequest::GetDeviceJWT(serial, token, serverUrl.c_str()))
    display.message(Display::LEVEL_ERROR, "Failed to retrieve jwt for %08X", serial);
  return token;
}

BuildMap Updater::Get_BuildListLocal(uint32_t serial) {
  BuildMap builds;
  auto store = _createUpdaterStore(display, storageDirectory, "Get_BuildListLocal");
  if (!store) return builds;
  std::vector<UpdaterStoreItem> items;
  store->FindLocalBuilds(serial, items);
  for (const UpdaterStoreItem& item : items) {
    const std::string key = item.name.substr(0, item.name.find(".bird"));
    std::string version;
    const std::string file = item.Path();
    if (item.IsValid() && BirdFile::VerifyFile(file.c_str())) {
      try {
        version = BirdFile(file.c_str()).GetVersion();
      } catch (const std::runtime_error&) {
        version.clear();  // listed without a version, like any file that does not load
      }
    }
    builds.emplace(key, version);
  }
  return builds;
}

BirdFile Updater::load_bird(const char* word, const std::string& path, uint32_t serial, uint32_t build,
                            bool allowDownload) {
  auto store = _createUpdaterStore(display, storageDirectory, "load_bird");
  if (!store) return BirdFile();
  if (!path.empty()) {
    display.message(Display::LEVEL_INFO, "%s from Birdfile: %s", word, path.c_str());
    return BirdFile(path.c_str());
  }
  UpdaterStoreItem device = store->AddDevice(serial);
  display.message(Display::LEVEL_INFO, "%s firmware with build: %u", word, build);
  const std::string fileName = std::to_string(build) + ".bird";
  try {
    return device.ReadBirdFile(fileName.c_str());
  } catch (const std::runtime_error&) {
    if (!allowDownload) throw std::runtime_error("Error reading birdfile");
  }
  display.message(Display::LEVEL_INFO, "Downloading firmware build %u", build);
  Download_Firmware(serial, std::to_string(build), false, false);
  return device.ReadBirdFile(fileName.c_str());
}
