#pragma once
// HTTP GET with query parameters over libcurl.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

class HTTPResponse {
 public:
  explicit HTTPResponse(std::string url) : request(std::move(url)) {}
  // A reply as if it had been received: for parsing bodies that came some other way.
  HTTPResponse(std::string url, int64_t code, std::string body)
      : request(std::move(url)), status(code), response(std::move(body)) {}

  const char* get_request() const { return request.c_str(); }
  int64_t get_status() const { return status; }
  // Mutable so callers may tokenise the body in place.
  char* get_response() { return response.data(); }
  const std::string& body() const { return response; }
  std::string& body() { return response; }
  void set_status(int64_t code) { status = code; }
  void process(const char* data, size_t length) { response.append(data, length); }

  // Set when the body outgrew the limit; the transfer was stopped there.
  bool overflowed = false;
  // The libcurl handle while the transfer runs, so the body callback can ask for its size.
  void* transfer = nullptr;

 private:
  std::string request;
  int64_t status = 0;
  std::string response;
};

using HTTPParameters = std::map<std::string, std::string>;

class HTTPRequest {
 public:
  // Throws std::runtime_error on any transport failure; other statuses than 200 are returned.
  static HTTPResponse GET(const char* url, const HTTPParameters& parameters);
  static std::string BuildURL(const char* url, const HTTPParameters& parameters);

  // How long a request may wait: to connect, and while the transfer stays below the speed
  // limit. There is no overall cap, so large builds still arrive.
  struct Limits {
    long connectTimeoutMs = 30000;
    long lowSpeedBytesPerSecond = 1;
    long lowSpeedTimeSeconds = 60;
    size_t maxBodyBytes = size_t{256} << 20;
  };
  static Limits GetLimits();
  // For tests only: shorter waits and smaller bodies, so stalls are seen in seconds.
  static void SetLimitsForTesting(const Limits& limits);
};

size_t _rcv_data(char* data, size_t size, size_t count, void* response);
