#pragma once
// Packed 32-bit versions. Values whose top byte is below 0x2F use the legacy layout
// (4-bit major, 4-bit minor, 24-bit patch); newer ones are 0x2F, major, minor, patch.
#include <cstddef>
#include <cstdint>

constexpr uint8_t aVERSION_MAJOR = 2;
constexpr uint8_t aVERSION_MINOR = 12;
constexpr uint8_t aVERSION_PATCH = 1;
constexpr uint32_t aVERSION_CURRENT_TAG = 0x2F;

uint32_t aVersion_Pack(uint8_t major, uint8_t minor, uint8_t patch);
bool aVersion_IsLegacyFormat(uint32_t packed);
uint8_t aVersion_ParseMajor(uint32_t packed);
uint8_t aVersion_ParseMinor(uint32_t packed);
uint32_t aVersion_ParsePatch(uint32_t packed);
int aVersion_ParseString(uint32_t packed, char* buffer, size_t size);
bool aVersion_IsAtLeastCompare(uint8_t major1, uint8_t minor1, uint8_t patch1, uint8_t major2,
                               uint8_t minor2, uint8_t patch2);

uint8_t aVersion_GetMajor();
uint8_t aVersion_GetMinor();
uint8_t aVersion_GetPatch();
bool aVersion_IsAtLeast(uint8_t major, uint8_t minor, uint8_t patch);
const char* aVersion_GetString();

bool aVersion_HasFeature(const char* name);
// A new string the caller releases with aVersion_DestroyFeatureList.
char* aVersion_GetFeatureList();
void aVersion_DestroyFeatureList(char** list);
