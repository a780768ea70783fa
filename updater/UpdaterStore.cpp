#include "updater/UpdaterStore.h"

#include <cstdarg>

std::string BuildPath(const char* first, ...) {
  std::string path(first != nullptr ? first : "");
  va_list args;
  va_start(args, first);
  for (const char* part = va_arg(args, const char*); part != nullptr; part = va_arg(args, const char*)) {
    path += "/";
    path += part;
  }
  va_end(args);
  return path;
}
