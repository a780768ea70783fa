#pragma once
// Requests to the update server and the handling of what it answers.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

using BuildMap = std::map<std::string, std::string>;           // build text -> version text
using BuildList = std::vector<std::pair<std::string, std::string>>;

class UpdateServerRequest {
 public:
  // The three dot-separated pieces of a version text, or nothing unless there are exactly three.
  static std::vector<std::string> SplitTessaloomVersion(const std::string& version);
  // Newest version first. Entries whose version cannot be read go last, in build order.
  static BuildList SortBuildsByVersion(const BuildMap& builds);
};

// True when a's version is newer than b's.
bool _sortVersion(const std::pair<std::string, std::string>& a, const std::pair<std::string, std::string>& b);
