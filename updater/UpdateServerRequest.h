#pragma once
// The update server's protocol: one GET per request with a few query keys; every answer is
// lines of text whose first begins with "ok".
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "updater/HTTPRequest.h"

#define UPDATER_DEFAULT_HOST "update.marlovex.example"
#define UPDATER_DEFAULT_URL "http://" UPDATER_DEFAULT_HOST "/cgi/u"

using BuildMap = std::map<std::string, std::string>;  // build text -> version text
using BuildList = std::vector<std::pair<std::string, std::string>>;

class UpdateServerRequest {
 public:
  // A null URL means the default update server.
  static bool ping(const char* url);
  static bool QueryBuild(uint32_t serial, std::string& build, std::string& firmwareTag, const char* url);
  static bool GetBuild(uint32_t serial, const char* firmwareTag, const char* build, std::string& payload,
                       const char* url, bool noCalibration);
  static bool GetBuildList(uint32_t serial, BuildMap& builds, const char* url);
  static bool GetRecoveryInfo(const uint32_t* fingerprint, uint32_t* serial, uint32_t* build, const char* url);
  static bool GetDeviceJWT(uint32_t serial, std::string& token, const char* url);

  // The three dot-separated pieces of a version text, or nothing unless there are exactly three.
  static std::vector<std::string> SplitTessaloomVersion(const std::string& version);
  // Newest version first; entries whose version cannot be read go last, in build order.
  static BuildList SortBuildsByVersion(const BuildMap& builds);

  // The reply parsers, applied to a response with status 200. Each answers what its request
  // answers and writes its outputs as the request does.
  static bool ParseQueryBuild(HTTPResponse& response, std::string& build, std::string& firmwareTag);
  static bool ParseGetBuild(HTTPResponse& response, std::string& payload);
  static bool ParseGetBuildList(HTTPResponse& response, BuildMap& builds);
  static bool ParseGetRecoveryInfo(HTTPResponse& response, uint32_t* serial, uint32_t* build);
  static bool ParseGetDeviceJWT(HTTPResponse& response, std::string& token);
};

// A strict weak order: readable versions newest first, then unreadable ones; ties by build.
bool _sortVersion(const std::pair<std::string, std::string>& a, const std::pair<std::string, std::string>& b);
