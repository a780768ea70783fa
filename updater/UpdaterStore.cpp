#include "updater/UpdaterStore.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <stdexcept>

#include "app/Log.h"
#include "tessaloom/common/aDirectory.h"
#include "updater/AtomicFile.h"

namespace {

constexpr unsigned kDirectoryMode = 0755;

std::string last_component(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

bool _find_item(const aDirectoryListData* entry, void* reference) {
  auto* result = static_cast<result_t*>(reference);
  Log::log(DEBUG_Updater, "%s([%s], %d, %d) searching for %s\n", "_find_item", entry->path, entry->isDirectory,
           static_cast<int>(entry->size), result->name.c_str());
  const std::string path = entry->path;
  const std::string name = last_component(path);
  if (name == "." || name == "..") return true;
  // A plain substring test on the full path, so 1234.bird also matches 41234.bird.
  if (path.find(result->name) == std::string::npos) return true;
  if (result->directoriesOnly && !entry->isDirectory) return true;
  result->found = true;
  if (result->item != nullptr) {
    const size_t slash = path.find_last_of('/');
    *result->item = UpdaterStoreItem(path.substr(0, slash), path.substr(slash + 1),
                                     entry->isDirectory ? STORE_ITEM_DIRECTORY : STORE_ITEM_FILE);
  }
  return false;
}

struct items_t {
  std::string directory;
  std::vector<UpdaterStoreItem>* items;
};

bool _find_items(const aDirectoryListData* entry, void* reference) {
  auto* found = static_cast<items_t*>(reference);
  Log::log(DEBUG_Updater, "%s([%s], %d, %d)\n", "_find_items", entry->path, entry->isDirectory,
           static_cast<int>(entry->size));
  const std::string name = last_component(entry->path);
  if (name.empty() || name[0] == '.') return true;
  UpdaterStoreItem item;
  item.basePath = found->directory;
  item.name = name;
  item.kind = entry->isDirectory ? STORE_ITEM_DIRECTORY : STORE_ITEM_FILE;
  found->items->push_back(std::move(item));
  return true;
}

bool search(const std::string& directory, const char* name, UpdaterStoreItem* item, bool directoriesOnly) {
  result_t result;
  result.name = name != nullptr ? name : "";
  result.item = item;
  result.directoriesOnly = directoriesOnly;
  if (aDirectory_List(directory.c_str(), _find_item, &result) != aErrNone) return false;
  return result.found;
}

}  // namespace

std::string BuildPath(const char* first, ...) {
  std::string path(first != nullptr ? first : "");
  va_list args;
  va_start(args, first);
  for (const char* part = va_arg(args, const char*); part != nullptr; part = va_arg(args, const char*)) {
    path += "/";
    path += part;
  }
  va_end(args);
  return path;
}

std::string _serial_name(uint32_t serial) {
  char name[9];
  std::snprintf(name, sizeof name, "%08X", serial);
  return name;
}

void _ensure_directory(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    const aErr err = aDirectory_Ensure(path.c_str(), kDirectoryMode);
    if (err != aErrNone)
      throw std::runtime_error("UpdaterStore: Could not create directory " + path + " error " +
                               std::to_string(static_cast<int>(err)));
    Log::log(DEBUG_Updater, "UpdaterStore: Created directory [%s].\n", path.c_str());
  } else if (!S_ISDIR(st.st_mode)) {
    throw std::runtime_error("UpdaterStore: " + path + " exists and is a file");
  } else {
    Log::log(DEBUG_Updater, "UpdaterStore: [%s] already exists.\n", path.c_str());
  }
}

UpdaterStoreItem::UpdaterStoreItem(const std::string& base, const std::string& entry, store_item_t what)
    : basePath(base), name(entry), kind(what) {
  settings.Load(BuildPath(basePath.c_str(), name.c_str(), KeyValueStore::DEFAULT_FILENAME, nullptr).c_str());
}

bool UpdaterStoreItem::FileExists(const char* fileName) const {
  const bool found = search(Path(), fileName, nullptr, false);
  Log::log(DEBUG_Updater, "UpdaterStore: FindDevice %s %s.\n", found ? "Found" : "Not Found",
           fileName != nullptr ? fileName : "");
  return found;
}

aErr UpdaterStoreItem::WriteFile(const char* fileName, const uint8_t* bytes, uint64_t length) const {
  if (bytes == nullptr || fileName == nullptr) return aErrNotFound;
  const std::string target = BuildPath(Path().c_str(), fileName, nullptr);
  AtomicFile out(target);
  if (!out.IsOpen()) {
    Log::log(DEBUG_Updater, "UpdaterStore: cannot open [%s] for writing (%d)\n", target.c_str(), out.Error());
    return aErrNotFound;
  }
  if (!out.Write(bytes, length) || !out.Commit()) {
    Log::log(DEBUG_Updater, "UpdaterStore: writing [%s] failed (%d); the stored file is unchanged\n", target.c_str(),
             out.Error());
    return aErrIO;
  }
  return aErrNone;
}

BirdFile UpdaterStoreItem::ReadBirdFile(const char* fileName) const {
  const std::string file = BuildPath(Path().c_str(), fileName != nullptr ? fileName : "", nullptr);
  if (!BirdFile::VerifyFile(file.c_str())) throw std::runtime_error("Invalid bird " + file);
  return BirdFile(file.c_str());
}

UpdaterStore::UpdaterStore(const char* storageDirectory) : basePath(storageDirectory != nullptr ? storageDirectory : "") {
  _ensure_directory(basePath);
}

UpdaterStoreItem UpdaterStore::AddDevice(uint32_t serial) { return AddDevice(_serial_name(serial).c_str()); }

UpdaterStoreItem UpdaterStore::AddDevice(const char* name) {
  _ensure_directory(BuildPath(basePath.c_str(), name, nullptr));
  return UpdaterStoreItem(basePath, name, STORE_ITEM_DIRECTORY);
}

bool UpdaterStore::FindDevice(uint32_t serial, UpdaterStoreItem* item) const {
  return FindDevice(_serial_name(serial).c_str(), item);
}

bool UpdaterStore::FindDevice(const char* name, UpdaterStoreItem* item) const {
  const bool found = search(basePath, name, item, true);
  Log::log(DEBUG_Updater, "UpdaterStore: FindDevice %s %s.\n", found ? "Found" : "Not Found", name != nullptr ? name : "");
  return found;
}

bool UpdaterStore::FindLocalBuilds(uint32_t serial, std::vector<UpdaterStoreItem>& items) const {
  UpdaterStoreItem device;
  if (!FindDevice(serial, &device)) return true;
  items_t found{device.Path(), &items};
  aDirectory_List(found.directory.c_str(), _find_items, &found);
  return true;
}
