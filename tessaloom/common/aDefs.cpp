#include "tessaloom/common/aDefs.h"

#include <array>

namespace {

// Index = model code. Gaps are codes that were reserved or retired.
constexpr std::array<const char*, 28> kModelNames = {
    nullptr, nullptr, nullptr, nullptr,
    "HubLink4",   // 4
    "Shuttle",    // 5
    "Heddle",     // 6
    "Bobbin",     // 7
    nullptr,      // 8
    "Spindle",    // 9
    "Warp8",      // 10
    "Weft16",     // 11
    nullptr,      // 12
    "Reed",       // 13
    nullptr,      // 14
    "Selvage",    // 15
    "Treadle",    // 16
    nullptr,      // 17
    "Tapestry",   // 18
    "HubLink7",   // 19
    nullptr,      // 20
    "MeterDC",    // 21
    nullptr,      // 22
    "ScopeLite",  // 23
    "Gauge3",     // 24
    nullptr,      // 25
    "Junction",   // 26
    "LoomIO",     // 27
};

}  // namespace

const char* aDefs_GetModelName(uint32_t model) {
  if (model < kModelNames.size() && kModelNames[model] != nullptr) return kModelNames[model];
  return "Unknown";
}
