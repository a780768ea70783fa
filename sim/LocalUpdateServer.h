#pragma once
// A stand-in for the maker's update server: speaks the update protocol on 127.0.0.1 from a
// catalogue of devices and a folder of BIRD files, logs every request target, and can be told
// to misbehave per request.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace updatesim {

enum class Fault {
  None,
  Status500,      // HTTP 500 with a short body
  NotOk,          // a first line other than "ok"
  MissingLines,   // "ok" and nothing after it
  EmptyPayload,   // "ok" and an empty line where the data belongs
  BrokenPayload,  // the BIRD data with characters outside base64 in it
  Stall,          // never answers (until the server stops)
  Drip,           // answers one byte every 1.5 seconds
  Huge,           // "ok" and then 300 MiB of "A"
};
Fault ParseFault(const std::string& name);

struct Build {
  std::string version;
  std::string file;  // absolute path of the BIRD file
};

struct Device {
  std::string model;
  std::string firmware;  // the firmware tag QueryBuild answers with
  uint32_t latest = 0;
  std::string token;
  std::map<uint32_t, Build> builds;
};

struct Catalogue {
  std::map<uint32_t, Device> devices;
  // "%08X %08X %08X %08X" -> serial number and recovery build
  std::map<std::string, std::pair<uint32_t, uint32_t>> fingerprints;

  // JSON: {"devices": [{"serial": "40F5849A", "model", "firmware", "latest", "token",
  //        "builds": [{"build", "version", "file"}]}],
  //        "fingerprints": [{"fingerprint": [four hex words], "serial", "build"}]}
  // File names are relative to the catalogue's folder. Throws std::runtime_error.
  static Catalogue Load(const std::string& path);
};

// Writes a demo catalogue ("catalogue.json") and its BIRD files into the folder: two devices
// with two builds each, one with a fingerprint for recovery. Answers the catalogue's path.
std::string WriteDemoCatalogue(const std::string& folder);

class LocalUpdateServer {
 public:
  explicit LocalUpdateServer(Catalogue catalogue, uint16_t port = 0);
  // The same over TLS with the given certificate and key (PEM files); Url() is then https.
  LocalUpdateServer(Catalogue catalogue, const std::string& certificate, const std::string& key, uint16_t port = 0);
  ~LocalUpdateServer();
  LocalUpdateServer(const LocalUpdateServer&) = delete;
  LocalUpdateServer& operator=(const LocalUpdateServer&) = delete;

  uint16_t Port() const { return port_; }
  std::string Url() const;  // http://127.0.0.1:PORT/cgi/u

  // op is the request's "op" value (hi, qu, bird, builds, fix, ent_jwt) or "*" for all.
  void SetFault(const std::string& op, Fault fault);
  // Request targets (path and query as sent), oldest first.
  std::vector<std::string> Requests() const;
  // Also print each request target, one per line, to this stream.
  void EchoRequestsTo(FILE* stream);

 private:
  struct Answer;
  void start(uint16_t port);
  Answer answer(const std::string& op, const std::multimap<std::string, std::string>& params);
  Fault fault_for(const std::string& op) const;
  const std::string& encoded(const std::string& file);
  void stall();

  Catalogue catalogue_;
  std::unique_ptr<httplib::Server> server_;
  uint16_t port_ = 0;
  bool tls_ = false;
  std::thread thread_;

  mutable std::mutex lock_;
  std::map<std::string, Fault> faults_;
  std::vector<std::string> requests_;
  std::map<std::string, std::string> encodedFiles_;
  FILE* echo_ = nullptr;

  std::mutex stopLock_;
  std::condition_variable stopped_;
  std::atomic<bool> stopping_{false};
};

}  // namespace updatesim
