// Every request a test makes goes to a server on 127.0.0.1: no proxy setting of the machine
// may ever send one elsewhere. This runs before any test, and the programs tests start
// inherit the cleaned environment.
#include <cstdlib>
#include <initializer_list>

namespace {

struct ClearProxies {
  ClearProxies() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
      unsetenv(name);
    setenv("no_proxy", "*", 1);
    setenv("NO_PROXY", "*", 1);
  }
} g_clearProxies;

}  // namespace
