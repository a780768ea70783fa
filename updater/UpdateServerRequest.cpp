#include "updater/UpdateServerRequest.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

#include "app/Log.h"
#include "tessaloom/common/aVersion.h"

namespace {

using VersionKey = std::array<uint8_t, 3>;

// Each piece compares as an unsigned byte, as the modules store it.
std::optional<VersionKey> version_key(const std::vector<std::string>& parts, bool log_failure) {
  try {
    return VersionKey{static_cast<uint8_t>(std::stoi(parts.at(0))), static_cast<uint8_t>(std::stoi(parts.at(1))),
                      static_cast<uint8_t>(std::stoi(parts.at(2)))};
  } catch (const std::exception& e) {
    if (log_failure) Log::log(DEBUG_ServerComm, "%s: Exception converting version: %s\n", "_sortVersion", e.what());
    return std::nullopt;
  }
}

bool newer(const VersionKey& a, const VersionKey& b) {
  return !aVersion_IsAtLeastCompare(b[0], b[1], b[2], a[0], a[1], a[2]);
}

}  // namespace

std::vector<std::string> UpdateServerRequest::SplitTessaloomVersion(const std::string& version) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = version.find('.', start);
    parts.push_back(version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts.size() != 3) parts.clear();
  return parts;
}

bool _sortVersion(const std::pair<std::string, std::string>& a, const std::pair<std::string, std::string>& b) {
  const auto pa = UpdateServerRequest::SplitTessaloomVersion(a.second);
  const auto pb = UpdateServerRequest::SplitTessaloomVersion(b.second);
  if (pa.empty() && pb.empty()) return false;
  const auto ka = version_key(pa, true);
  const auto kb = version_key(pb, true);
  if (!ka || !kb) return false;
  return newer(*ka, *kb);
}

BuildList UpdateServerRequest::SortBuildsByVersion(const BuildMap& builds) {
  // Sorting with _sortVersion itself would hand std::sort a relation that is not a strict weak
  // order whenever some version is unreadable, which is undefined behaviour. Sorting readable
  // versions by key gives the same order for them and keeps the rest together at the end.
  struct Entry {
    std::pair<std::string, std::string> build;
    std::optional<VersionKey> key;
  };
  std::vector<Entry> entries;
  entries.reserve(builds.size());
  for (const auto& build : builds) {
    const auto parts = SplitTessaloomVersion(build.second);
    entries.push_back({build, parts.empty() ? std::nullopt : version_key(parts, true)});
  }
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.key && b.key) return newer(*a.key, *b.key);
    return a.key.has_value() && !b.key.has_value();
  });
  BuildList sorted;
  sorted.reserve(entries.size());
  for (auto& e : entries) sorted.push_back(std::move(e.build));
  return sorted;
}
