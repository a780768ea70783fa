#include "app/Log.h"

#include <cstdarg>

uint32_t Log::package_bitmask = 0;
FILE* Log::fh = nullptr;

void Log::log(uint32_t package, const char* format, ...) {
  if (!IsActive(package)) return;
  char buffer[BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (fh != nullptr) std::fputs(buffer, fh);
}
