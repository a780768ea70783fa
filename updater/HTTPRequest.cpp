#include "updater/HTTPRequest.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <stdexcept>

#include "app/Log.h"

namespace {

std::mutex g_limitsLock;
HTTPRequest::Limits g_limits;

struct CurlHandle {
  CURL* handle = curl_easy_init();
  ~CurlHandle() {
    if (handle != nullptr) curl_easy_cleanup(handle);
  }
};

}  // namespace

HTTPRequest::Limits HTTPRequest::GetLimits() {
  std::lock_guard<std::mutex> hold(g_limitsLock);
  return g_limits;
}

void HTTPRequest::SetLimitsForTesting(const Limits& limits) {
  std::lock_guard<std::mutex> hold(g_limitsLock);
  g_limits = limits;
}

std::string HTTPRequest::BuildURL(const char* url, const HTTPParameters& parameters) {
  std::string full = url != nullptr ? url : "";
  if (!parameters.empty()) full += "?";
  for (const auto& [key, value] : parameters) full += key + "=" + value + "&";
  return full;
}

size_t _rcv_data(char* data, size_t size, size_t count, void* target) {
  auto* response = static_cast<HTTPResponse*>(target);
  const size_t bytes = size * count;
  Log::log(DEBUG_ServerComm, "rcv_data called (..., %d, %d, %08X) [%100.*s]\n", static_cast<int>(size),
           static_cast<int>(count), static_cast<unsigned>(reinterpret_cast<uintptr_t>(response)),
           static_cast<int>(std::min<size_t>(bytes, 100)), data);
  // Nothing may be thrown through libcurl's C frames; answering 0 stops the transfer.
  try {
    const size_t limit = HTTPRequest::GetLimits().maxBodyBytes;
    if (response->body().size() + bytes > limit) {
      response->overflowed = true;
      return 0;
    }
    if (response->body().empty() && response->transfer != nullptr) {
      // A size announced by the server avoids growing (and copying) the buffer repeatedly.
      curl_off_t expected = -1;
      if (curl_easy_getinfo(static_cast<CURL*>(response->transfer), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected) ==
              CURLE_OK &&
          expected > 0 && static_cast<uint64_t>(expected) <= limit)
        response->body().reserve(static_cast<size_t>(expected));
    }
    response->process(data, bytes);
  } catch (...) {
    response->overflowed = true;
    return 0;
  }
  Log::log(DEBUG_ServerComm, "rcv_data returns %d\n", static_cast<int>(bytes));
  return bytes;
}

HTTPResponse HTTPRequest::GET(const char* url, const HTTPParameters& parameters) {
  CurlHandle curl;
  const std::string full = BuildURL(url, parameters);
  HTTPResponse response(full);
  if (curl.handle == nullptr) throw std::runtime_error("Could not create curl instance");
  const Limits limits = GetLimits();

  CURL* h = curl.handle;
  response.transfer = h;
  CURLcode rc = curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, _rcv_data);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_WRITEDATA, &response);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_URL, full.c_str());
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  // Firmware from a peer nobody authenticated is exactly what an attacker would serve.
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_SSL_VERIFYSTATUS, 0L);
  // A private certificate authority is named the way OpenSSL programs name it.
  if (const char* file = std::getenv("SSL_CERT_FILE"); rc == CURLE_OK && file != nullptr && *file != '\0')
    rc = curl_easy_setopt(h, CURLOPT_CAINFO, file);
  if (const char* dir = std::getenv("SSL_CERT_DIR"); rc == CURLE_OK && dir != nullptr && *dir != '\0')
    rc = curl_easy_setopt(h, CURLOPT_CAPATH, dir);
  // Bounded waits: a server that accepts and then stalls must not hang the program. Requests
  // run on a worker thread too, where libcurl must not use signals.
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connectTimeoutMs);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedTimeSeconds);
  if (rc == CURLE_OK) {
    Log::log(DEBUG_ServerComm, "GET(%s)\n", full.c_str());
    rc = curl_easy_perform(h);
  }
  long status = 0;
  if (rc == CURLE_OK) rc = curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (response.overflowed)
    throw std::runtime_error("Response body larger than " + std::to_string(limits.maxBodyBytes) + " bytes");
  if (rc != CURLE_OK) throw std::runtime_error(curl_easy_strerror(rc));
  response.set_status(status);
  response.transfer = nullptr;
  return response;
}
