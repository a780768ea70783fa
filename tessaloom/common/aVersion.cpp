#include "tessaloom/common/aVersion.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

constexpr const char* kPhase = ".";

struct Feature {
  const char* name;
  const char* description;
};
constexpr Feature kFeatures[] = {{"VERSION", "Version Query API"}};

}  // namespace

uint32_t aVersion_Pack(uint8_t major, uint8_t minor, uint8_t patch) {
  const bool current = major > 2 || (major == 2 && minor > 14);
  if (current) return (aVERSION_CURRENT_TAG << 24) | (uint32_t{major} << 16) | (uint32_t{minor} << 8) | patch;
  return (uint32_t{major} << 28) | (uint32_t{minor & 0xFu} << 24) | patch;
}

bool aVersion_IsLegacyFormat(uint32_t packed) {
  return aVersion_IsAtLeastCompare(2, 15, 0, static_cast<uint8_t>(packed >> 28),
                                   static_cast<uint8_t>((packed >> 24) & 0xF), 255);
}

uint8_t aVersion_ParseMajor(uint32_t packed) {
  return static_cast<uint8_t>(aVersion_IsLegacyFormat(packed) ? packed >> 28 : (packed >> 16) & 0xFF);
}

uint8_t aVersion_ParseMinor(uint32_t packed) {
  return static_cast<uint8_t>(aVersion_IsLegacyFormat(packed) ? (packed >> 24) & 0xF : (packed >> 8) & 0xFF);
}

uint32_t aVersion_ParsePatch(uint32_t packed) {
  return aVersion_IsLegacyFormat(packed) ? packed & 0xFFFFFF : packed & 0xFF;
}

int aVersion_ParseString(uint32_t packed, char* buffer, size_t size) {
  return std::snprintf(buffer, size, "%d.%d.%d", aVersion_ParseMajor(packed), aVersion_ParseMinor(packed),
                       static_cast<int>(aVersion_ParsePatch(packed)));
}

bool aVersion_IsAtLeastCompare(uint8_t major1, uint8_t minor1, uint8_t patch1, uint8_t major2,
                               uint8_t minor2, uint8_t patch2) {
  if (major1 != major2) return major1 > major2;
  if (minor1 != minor2) return minor1 > minor2;
  return patch1 >= patch2;
}

uint8_t aVersion_GetMajor() { return aVERSION_MAJOR; }
uint8_t aVersion_GetMinor() { return aVERSION_MINOR; }
uint8_t aVersion_GetPatch() { return aVERSION_PATCH; }

bool aVersion_IsAtLeast(uint8_t major, uint8_t minor, uint8_t patch) {
  return aVersion_IsAtLeastCompare(aVERSION_MAJOR, aVERSION_MINOR, aVERSION_PATCH, major, minor, patch);
}

const char* aVersion_GetString() {
  // A function-local static is initialised exactly once even under concurrent first calls.
  struct Text {
    char value[15];
    Text() { std::snprintf(value, sizeof value, "%d.%d%s%d", aVERSION_MAJOR, aVERSION_MINOR, kPhase, aVERSION_PATCH); }
  };
  static const Text text;
  return text.value;
}

bool aVersion_HasFeature(const char* name) {
  if (name == nullptr) return false;
  for (const Feature& f : kFeatures)
    if (std::strcmp(f.name, name) == 0) return true;
  return false;
}

char* aVersion_GetFeatureList() {
  std::string list;
  for (const Feature& f : kFeatures) {
    if (!list.empty()) list += "\n";
    list += f.name;
    list += " - ";
    list += f.description;
  }
  char* copy = new (std::nothrow) char[list.size() + 1];
  if (copy != nullptr) std::memcpy(copy, list.c_str(), list.size() + 1);
  return copy;
}

void aVersion_DestroyFeatureList(char** list) {
  if (list == nullptr) return;
  delete[] *list;
  *list = nullptr;
}
