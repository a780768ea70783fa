#pragma once
// A local update server on 127.0.0.1 serving the demo catalogue from a scratch folder.
#include <memory>
#include <string>

#include "sim/LocalUpdateServer.h"
#include "support/LoopbackServer.h"
#include "support/Process.h"
#include "updater/HTTPRequest.h"

struct ServerFixture {
  ServerFixture() : catalogue(updatesim::Catalogue::Load(updatesim::WriteDemoCatalogue(files.path()))) {}
  void Start() { server = std::make_unique<updatesim::LocalUpdateServer>(catalogue); }
  std::string Url() const { return server->Url(); }
  // Request targets with the path, e.g. "/cgi/u?op=hi&rv=2&".
  std::vector<std::string> Requests() const { return server->Requests(); }

  TempDir files;
  updatesim::Catalogue catalogue;
  std::unique_ptr<updatesim::LocalUpdateServer> server;
};

// Short waits for the duration of a test.
struct ShortLimits {
  explicit ShortLimits(size_t maxBody = size_t{256} << 20) : saved(HTTPRequest::GetLimits()) {
    HTTPRequest::Limits limits;
    limits.connectTimeoutMs = 2000;
    limits.lowSpeedTimeSeconds = 1;
    limits.maxBodyBytes = maxBody;
    HTTPRequest::SetLimitsForTesting(limits);
  }
  ~ShortLimits() { HTTPRequest::SetLimitsForTesting(saved); }
  HTTPRequest::Limits saved;
};

constexpr uint32_t kShuttle = 0x40F5849A;  // demo device: builds 1200 (2.10.3) and 1300 (2.11.0)
