#pragma once
// Settings kept as key=value lines in a small text file, read whole and rewritten whole.
#include <cstdint>
#include <map>
#include <string>

class KeyValueStore {
 public:
  static constexpr const char* KEY_CREATED_TIME = "CREATED_TIME";
  static constexpr const char* KEY_UPDATED_TIME = "UPDATED_TIME";
  static constexpr const char* DEFAULT_FILENAME = ".settings";
  static constexpr size_t LINE_BUFFER_SIZE = 2048;

  explicit KeyValueStore(const char* path = nullptr);

  // Lookups. GetString and operator[] never create entries; the typed getters leave an empty
  // entry behind for a missing key (it is saved as "KEY=").
  const char* operator[](const char* key) const;
  std::string GetString(const char* key, const char* defaultValue = nullptr) const;
  int GetInt(const char* key, int defaultValue);
  uint32_t GetHex(const char* key, uint32_t defaultValue);
  bool GetBOOL(const char* key, bool defaultValue);
  double GetDouble(const char* key, double defaultValue);

  bool Add(const char* key, int value);
  bool Add(const char* key, double value);
  bool Add(const char* key, const char* value);
  bool Add(const char* key, const std::string& value);
  bool AddHex(const char* key, uint32_t value);
  bool Add(const KeyValueStore& other);
  bool Clear();

  void Load(const char* path);
  void Save(const char* path = nullptr);

  const std::string& Path() const { return path; }
  bool IsModified() const { return modified; }
  const std::map<std::string, std::string>& Entries() const { return entries; }

  // The current time as ctime text without its newline.
  static std::string TimeStamp();

 private:
  // Empty when the key is missing or has an empty value; creates the entry.
  const std::string* typed_lookup(const char* key);

  std::string path;
  std::map<std::string, std::string> entries;
  bool modified = false;
  // A file that exists but could not be read whole; it is never written over, so a passing
  // fault cannot replace a device's history with an empty one.
  std::string unreadablePath;
};
