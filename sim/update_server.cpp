// update_server: the local stand-in for the update server, for demos and benchmarks.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>

#include "sim/LocalUpdateServer.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

const char kUsage[] =
    "usage: update_server (--catalogue FILE | --demo FOLDER) [--port N] [--fault OP=KIND]... [--quiet]\n"
    "Serves the update protocol on 127.0.0.1 (port N, or a free one) under /cgi/u and prints\n"
    "\"listening on URL\" once it is ready; each request target is logged on standard error.\n"
    "--demo writes a demo catalogue and its BIRD files into FOLDER and serves them.\n"
    "OP is hi, qu, bird, builds, fix, ent_jwt or *; KIND is status-500, not-ok, missing-lines,\n"
    "empty-payload, broken-payload, stall, drip or huge. Stops on SIGINT or SIGTERM.\n";

}  // namespace

int main(int argc, char** argv) {
  std::string catalogue, demo;
  int port = 0;
  bool quiet = false;
  std::vector<std::pair<std::string, updatesim::Fault>> faults;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      const bool has_value = i + 1 < argc;
      if (a == "--catalogue" && has_value) catalogue = argv[++i];
      else if (a == "--demo" && has_value) demo = argv[++i];
      else if (a == "--port" && has_value) port = std::stoi(argv[++i]);
      else if (a == "--quiet") quiet = true;
      else if (a == "--fault" && has_value) {
        const std::string f = argv[++i];
        const size_t eq = f.find('=');
        if (eq == std::string::npos) throw std::invalid_argument("--fault needs OP=KIND");
        faults.emplace_back(f.substr(0, eq), updatesim::ParseFault(f.substr(eq + 1)));
      } else {
        std::cerr << kUsage;
        return a == "-h" || a == "--help" ? 0 : 2;
      }
    }
    if (catalogue.empty() == demo.empty()) {
      std::cerr << kUsage;
      return 2;
    }
    if (!demo.empty()) catalogue = updatesim::WriteDemoCatalogue(demo);

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    updatesim::LocalUpdateServer server(updatesim::Catalogue::Load(catalogue), static_cast<uint16_t>(port));
    for (const auto& [op, fault] : faults) server.SetFault(op, fault);
    if (!quiet) server.EchoRequestsTo(stderr);
    std::printf("listening on %s\n", server.Url().c_str());
    std::fflush(stdout);
    while (!g_stop) usleep(20000);
  } catch (const std::exception& e) {
    std::cerr << "update_server: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
