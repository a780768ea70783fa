// Arbitrary reply bodies through every update-server reply parser and through base64_decode.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "updater/UpdateServerRequest.h"
#include "updater/base64.h"

namespace {

HTTPResponse reply(const std::string& body) { return HTTPResponse("http://127.0.0.1/cgi/u", 200, body); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  std::string build, tag, payload, token;
  BuildMap builds;
  uint32_t serial = 0, recovery = 0;
  {
    HTTPResponse r = reply(body);
    UpdateServerRequest::ParseQueryBuild(r, build, tag);
  }
  {
    HTTPResponse r = reply(body);
    UpdateServerRequest::ParseGetBuild(r, payload);
  }
  {
    HTTPResponse r = reply(body);
    UpdateServerRequest::ParseGetBuildList(r, builds);
    UpdateServerRequest::SortBuildsByVersion(builds);
  }
  {
    HTTPResponse r = reply(body);
    UpdateServerRequest::ParseGetRecoveryInfo(r, &serial, &recovery);
  }
  {
    HTTPResponse r = reply(body);
    if (UpdateServerRequest::ParseGetDeviceJWT(r, token) && token.size() < 8) abort();
  }
  size_t length = 0;
  std::free(base64_decode(body.data(), body.size(), &length));
  std::free(base64_decode(payload.data(), payload.size(), &length));
  return 0;
}
