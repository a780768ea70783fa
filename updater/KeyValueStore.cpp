#include "updater/KeyValueStore.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "app/Log.h"
#include "tessaloom/unix/aFile.h"
#include "updater/AtomicFile.h"

namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

}  // namespace

KeyValueStore::KeyValueStore(const char* file) {
  if (file != nullptr) Load(file);
}

std::string KeyValueStore::TimeStamp() {
  const time_t now = std::time(nullptr);
  char text[64] = "";
  if (ctime_r(&now, text) == nullptr) return "";
  std::string stamp(text);
  while (!stamp.empty() && (stamp.back() == '\n' || stamp.back() == '\r')) stamp.pop_back();
  return stamp;
}

const char* KeyValueStore::operator[](const char* key) const {
  const auto found = entries.find(key);
  return found == entries.end() ? nullptr : found->second.c_str();
}

std::string KeyValueStore::GetString(const char* key, const char* defaultValue) const {
  const auto found = entries.find(key);
  if (found != entries.end()) return found->second;
  return defaultValue != nullptr ? defaultValue : "";
}

const std::string* KeyValueStore::typed_lookup(const char* key) {
  const std::string& value = entries[key];
  return value.empty() ? nullptr : &value;
}

int KeyValueStore::GetInt(const char* key, int defaultValue) {
  const std::string* value = typed_lookup(key);
  return value == nullptr ? defaultValue : std::atoi(value->c_str());
}

uint32_t KeyValueStore::GetHex(const char* key, uint32_t defaultValue) {
  const std::string* value = typed_lookup(key);
  return value == nullptr ? defaultValue : static_cast<uint32_t>(std::strtol(value->c_str(), nullptr, 16));
}

bool KeyValueStore::GetBOOL(const char* key, bool defaultValue) {
  const std::string* value = typed_lookup(key);
  return value == nullptr ? defaultValue : std::atoi(value->c_str()) != 0;
}

double KeyValueStore::GetDouble(const char* key, double defaultValue) {
  const std::string* value = typed_lookup(key);
  return value == nullptr ? defaultValue : std::atof(value->c_str());
}

bool KeyValueStore::Add(const char* key, const std::string& value) {
  std::string& current = entries[key];
  if (current != value) modified = true;
  current = value;
  return true;
}

bool KeyValueStore::Add(const char* key, const char* value) { return Add(key, std::string(value != nullptr ? value : "")); }

bool KeyValueStore::Add(const char* key, int value) { return Add(key, std::to_string(value)); }

bool KeyValueStore::Add(const char* key, double value) {
  char text[512];
  std::snprintf(text, sizeof text, "%f", value);
  return Add(key, std::string(text));
}

bool KeyValueStore::AddHex(const char* key, uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return Add(key, std::string(text));
}

bool KeyValueStore::Add(const KeyValueStore& other) {
  for (const auto& [key, value] : other.entries) {
    entries[key] = value;
    modified = true;
  }
  return true;
}

bool KeyValueStore::Clear() {
  entries.clear();
  modified = true;
  return true;
}

void KeyValueStore::Load(const char* file) {
  if (file == nullptr) return;
  aFileHandle handle = aFile_Open(file, aFileModeRead);
  if (handle == nullptr) {
    const int error = errno;
    Log::log(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file: '%s' (%d)\n", file, error);
    if (error == ENOENT) {
      Add(KEY_CREATED_TIME, TimeStamp());
      Save(file);
    } else {
      path = file;
      unreadablePath = file;
    }
    return;
  }

  path = file;
  modified = false;
  unreadablePath.clear();
  char line[LINE_BUFFER_SIZE];
  uint64_t length = 0;
  bool skipping = false;  // inside the tail of a line too long for the buffer
  for (;;) {
    const aErr result = aFile_ReadLine(handle, line, sizeof line, &length);
    if (result == aErrOverrun) {
      if (!skipping)
        Log::log(DEBUG_Attributes, "Attibutes: skipping a line longer than %zu characters in '%s'\n",
                 sizeof line - 1, file);
      skipping = true;
      continue;
    }
    if (result != aErrNone) {
      if (result != aErrEOF) {
        Log::log(DEBUG_Attributes, "Attibutes: Error - cannot read attributes file: '%s' (%d)\n", file, errno);
        unreadablePath = file;
      }
      break;
    }
    if (skipping) {  // this was the end of the long line
      skipping = false;
      continue;
    }
    if (length < 3 || line[0] == '#') continue;
    const std::string_view text(line, length);
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = trim(text.substr(0, equals));
    if (key.empty()) continue;
    entries[std::string(key)] = std::string(trim(text.substr(equals + 1)));
  }
  aFile_Close(&handle);
}

void KeyValueStore::Save(const char* file) {
  if (file != nullptr && file[0] != '\0') {
    path = file;
  } else if (path.empty()) {
    path = DEFAULT_FILENAME;
    Log::log(DEBUG_Attributes, "Attibutes: no filename given for attributes, using default:[%s]\n", path.c_str());
  }
  if (!unreadablePath.empty() && path == unreadablePath) {
    Log::log(DEBUG_Attributes, "Attibutes: Error - not replacing unreadable attributes file: '%s'\n", path.c_str());
    return;
  }
  if (modified) Add(KEY_UPDATED_TIME, TimeStamp());

  AtomicFile out(path);
  if (!out.IsOpen()) {
    Log::log(DEBUG_Attributes, "Attibutes: Error - cannot open attributes file for writting: '%s' (%d)\n",
             path.c_str(), out.Error());
    return;
  }
  for (const auto& [key, value] : entries) out.Printf("%s=%s\n", key.c_str(), value.c_str());
  if (!out.Commit()) {
    Log::log(DEBUG_Attributes, "Attibutes: Error - cannot write attributes file: '%s' (%d)\n", path.c_str(),
             out.Error());
    return;
  }
  modified = false;
}
