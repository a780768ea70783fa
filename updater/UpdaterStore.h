#pragma once
// The local store: one directory per device ("%08X") under the storage directory, holding
// the device's BIRD files ("<build>.bird") and its ".settings" history.
#include <cstdint>
#include <string>
#include <vector>

#include "tessaloom/common/aError.h"
#include "updater/BirdFile.h"
#include "updater/KeyValueStore.h"

// Joins the texts with "/" up to the terminating null, whatever separators they already have.
std::string BuildPath(const char* first, ...) __attribute__((sentinel));

enum store_item_t {
  STORE_ITEM_FILE = 0,
  STORE_ITEM_DIRECTORY = 1,
  STORE_ITEM_NONE = 2,
};

class UpdaterStoreItem {
 public:
  UpdaterStoreItem() = default;
  // Loads basePath/name/.settings, creating it when missing.
  UpdaterStoreItem(const std::string& basePath, const std::string& name, store_item_t kind);

  bool IsValid() const { return !basePath.empty() && !name.empty(); }
  bool FileExists(const char* fileName) const;
  // Replaces basePath/name/fileName only once the new content is completely written.
  aErr WriteFile(const char* fileName, const uint8_t* bytes, uint64_t length) const;
  // Throws std::runtime_error("Invalid bird <path>") or "Failed to load bird data".
  BirdFile ReadBirdFile(const char* fileName) const;

  std::string Path() const { return BuildPath(basePath.c_str(), name.c_str(), nullptr); }

  std::string basePath;
  std::string name;
  store_item_t kind = STORE_ITEM_NONE;
  KeyValueStore settings;
};

class UpdaterStore {
 public:
  // Throws std::runtime_error when the directory cannot be made or a file is in its way.
  explicit UpdaterStore(const char* storageDirectory);

  const char* BasePath() const { return basePath.c_str(); }
  UpdaterStoreItem AddDevice(uint32_t serial);
  UpdaterStoreItem AddDevice(const char* name);
  bool FindDevice(uint32_t serial, UpdaterStoreItem* item) const;
  bool FindDevice(const char* name, UpdaterStoreItem* item) const;
  bool FindLocalBuilds(uint32_t serial, std::vector<UpdaterStoreItem>& items) const;

 private:
  std::string basePath;
};

// What _find_item looks for while a directory is listed.
struct result_t {
  bool found = false;
  std::string name;
  UpdaterStoreItem* item = nullptr;
  bool directoriesOnly = false;  // device lookups accept only directories
};

std::string _serial_name(uint32_t serial);
void _ensure_directory(const std::string& path);
