#include "updater/UpdateServerRequest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "app/Log.h"
#include "tessaloom/common/aVersion.h"

namespace {

using VersionKey = std::array<uint8_t, 3>;

const char* server(const char* url) { return url != nullptr ? url : UPDATER_DEFAULT_URL; }

std::string serial_text(uint32_t serial) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", serial);
  return text;
}

// Lines split at line feeds; empty lines vanish.
std::vector<std::string> split_lines(const std::string& body) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    if (end > start) lines.emplace_back(body, start, end - start);
    start = end + 1;
  }
  return lines;
}

std::string cut_at_line_end(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

// The request itself: GET, then status and "ok" checks. On success the body is the caller's.
std::optional<HTTPResponse> request(const char* name, const char* url, const HTTPParameters& parameters) {
  try {
    HTTPResponse response = HTTPRequest::GET(server(url), parameters);
    if (response.get_status() != 200) {
      if (std::strcmp(name, "ping") == 0)
        Log::log(DEBUG_ServerComm, "PING ==> [%d] [%s]\n", static_cast<int>(response.get_status()),
                 response.body().c_str());
      else
        Log::log(DEBUG_ServerComm, "%s ==> [%d] [%s]\n", name, static_cast<int>(response.get_status()),
                 response.body().c_str());
      return std::nullopt;
    }
    if (response.body().compare(0, 2, "ok") != 0) {
      Log::log(DEBUG_ServerComm, "ServerCommClass: %s failed [%s]\n", name, response.get_request());
      return std::nullopt;
    }
    return response;
  } catch (const std::exception& e) {
    Log::log(DEBUG_ServerComm, "%s ==> [%s]\n", name, e.what());
    return std::nullopt;
  }
}

// Each piece compares as an unsigned byte, as the modules store it.
std::optional<VersionKey> version_key(const std::string& version) {
  const auto parts = UpdateServerRequest::SplitTessaloomVersion(version);
  if (parts.empty()) return std::nullopt;
  try {
    return VersionKey{static_cast<uint8_t>(std::stoi(parts[0])), static_cast<uint8_t>(std::stoi(parts[1])),
                      static_cast<uint8_t>(std::stoi(parts[2]))};
  } catch (const std::exception& e) {
    Log::log(DEBUG_ServerComm, "%s: Exception converting version: %s\n", "_sortVersion", e.what());
    return std::nullopt;
  }
}

bool newer(const VersionKey& a, const VersionKey& b) {
  return !aVersion_IsAtLeastCompare(b[0], b[1], b[2], a[0], a[1], a[2]);
}

// A whole number in the given base, nothing before or after it but a line's carriage return.
bool parse_u32(const std::string& text, int base, uint32_t& out) {
  const std::string digits = cut_at_line_end(text);
  if (digits.empty() || digits[0] == '-' || digits[0] == '+' || std::isspace(static_cast<unsigned char>(digits[0])))
    return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(digits.c_str(), &end, base);
  if (errno != 0 || end == digits.c_str() || *end != '\0' || value > UINT32_MAX) return false;
  out = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

bool UpdateServerRequest::ping(const char* url) {
  return request("ping", url, {{"op", "hi"}, {"rv", "2"}}).has_value();
}

bool UpdateServerRequest::QueryBuild(uint32_t serial, std::string& build, std::string& firmwareTag, const char* url) {
  auto response = request("QueryBuild", url, {{"op", "qu"}, {"sn", serial_text(serial)}});
  return response && ParseQueryBuild(*response, build, firmwareTag);
}

bool UpdateServerRequest::GetBuild(uint32_t serial, const char* firmwareTag, const char* build, std::string& payload,
                                   const char* url, bool noCalibration) {
  auto response = request("GetBuild", url,
                          {{"op", "bird"},
                           {"sn", serial_text(serial)},
                           {"fw", firmwareTag != nullptr ? firmwareTag : ""},
                           {"bld", build != nullptr ? build : ""},
                           {"no_cal", noCalibration ? "true" : "false"}});
  return response && ParseGetBuild(*response, payload);
}

bool UpdateServerRequest::GetBuildList(uint32_t serial, BuildMap& builds, const char* url) {
  builds.clear();
  auto response = request("GetBuildList", url, {{"op", "builds"}, {"sn", serial_text(serial)}});
  return response && ParseGetBuildList(*response, builds);
}

bool UpdateServerRequest::GetRecoveryInfo(const uint32_t* fingerprint, uint32_t* serial, uint32_t* build,
                                          const char* url) {
  if (fingerprint == nullptr) return false;
  char fp[64];
  std::snprintf(fp, sizeof fp, "%08X%%20%08X%%20%08X%%20%08X", fingerprint[0], fingerprint[1], fingerprint[2],
                fingerprint[3]);
  auto response = request("GetRecoveryInfo", url, {{"op", "fix"}, {"fp", fp}, {"brief", "true"}});
  return response && ParseGetRecoveryInfo(*response, serial, build);
}

bool UpdateServerRequest::GetDeviceJWT(uint32_t serial, std::string& token, const char* url) {
  auto response = request("GetDeviceJWT", url, {{"op", "ent_jwt"}, {"sn", serial_text(serial)}, {"json", "false"}});
  return response && ParseGetDeviceJWT(*response, token);
}

bool UpdateServerRequest::ParseQueryBuild(HTTPResponse& response, std::string& build, std::string& firmwareTag) {
  const auto lines = split_lines(response.body());
  if (lines.empty() || lines[0].compare(0, 2, "ok") != 0) return false;
  if (lines.size() > 1) build = lines[1];
  if (lines.size() > 2) firmwareTag = cut_at_line_end(lines[2]);
  return true;
}

bool UpdateServerRequest::ParseGetBuild(HTTPResponse& response, std::string& payload) {
  // The payload is most of a body of many megabytes: it is cut out in place and moved, never
  // copied line by line.
  std::string& body = response.body();
  if (body.compare(0, 2, "ok") != 0) return false;
  payload.clear();
  size_t start = body.find('\n');
  if (start == std::string::npos) return true;
  while (start < body.size() && body[start] == '\n') ++start;
  if (start >= body.size()) return true;
  const size_t end = body.find('\n', start);
  if (end != std::string::npos) body.resize(end);
  body.erase(0, start);
  payload = std::move(body);
  body.clear();
  return true;
}

bool UpdateServerRequest::ParseGetBuildList(HTTPResponse& response, BuildMap& builds) {
  const auto lines = split_lines(response.body());
  if (lines.empty() || lines[0].compare(0, 2, "ok") != 0) return false;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    Log::log(DEBUG_ServerComm, "%s processing entry: [%s]\n", "GetBuildList", line.c_str());
    if (line.size() < 3) continue;
    const size_t first_end = line.find_first_of(";\r");
    const std::string build = line.substr(0, first_end);
    if (build.empty()) continue;
    std::string version;
    if (first_end != std::string::npos && line[first_end] == ';') {
      const size_t from = first_end + 1;
      version = line.substr(from, line.find_first_of(";\r", from) - from);
    }
    if (builds.emplace(build, version).second)
      Log::log(DEBUG_ServerComm, "%s [%.10s][%.10s]\n", "GetBuildList", build.c_str(), version.c_str());
  }
  return true;
}

bool UpdateServerRequest::ParseGetRecoveryInfo(HTTPResponse& response, uint32_t* serial, uint32_t* build) {
  const auto lines = split_lines(response.body());
  if (lines.empty() || lines[0].compare(0, 2, "ok") != 0) return false;
  auto line = [&](size_t i) { return i < lines.size() ? lines[i].c_str() : ""; };
  Log::log(DEBUG_ServerComm, "%s [%.20s][%.20s][%.20s]\n", "GetRecoveryInfo", line(0), line(1), line(2));
  // Both numbers or neither: a recovery must never start from half an answer.
  uint32_t s = 0, b = 0;
  if (lines.size() < 3 || !parse_u32(lines[1], 16, s) || !parse_u32(lines[2], 0, b)) return false;
  if (serial != nullptr) *serial = s;
  if (build != nullptr) *build = b;
  return true;
}

bool UpdateServerRequest::ParseGetDeviceJWT(HTTPResponse& response, std::string& token) {
  const auto lines = split_lines(response.body());
  if (lines.empty() || lines[0].compare(0, 2, "ok") != 0) return false;
  if (lines.size() < 2) return false;
  Log::log(DEBUG_ServerComm, "%s processing entry: [%s]\n", "GetDeviceJWT", lines[1].c_str());
  const std::string candidate = cut_at_line_end(lines[1]);
  if (candidate.size() <= 2) return false;
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t dot = candidate.find('.', start);
    parts.push_back(candidate.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts.size() != 3) return false;
  for (const auto& part : parts)
    if (part.size() < 2) return false;
  token = parts[0] + "." + parts[1] + "." + parts[2];
  return true;
}

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
  const auto ka = version_key(a.second);
  const auto kb = version_key(b.second);
  if (ka && kb) {
    if (newer(*ka, *kb)) return true;
    if (newer(*kb, *ka)) return false;
    return a.first < b.first;
  }
  if (ka || kb) return ka.has_value();
  return a.first < b.first;
}

BuildList UpdateServerRequest::SortBuildsByVersion(const BuildMap& builds) {
  BuildList sorted(builds.begin(), builds.end());
  std::sort(sorted.begin(), sorted.end(), _sortVersion);
  return sorted;
}
