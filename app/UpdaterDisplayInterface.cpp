#include "app/UpdaterDisplayInterface.h"

#include <cstdarg>
#include <cstdio>

void UpdaterDisplayInterface::message(int level, const char* format, ...) {
  if (muted) return;
  char buffer[BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (level == LEVEL_ERROR)
    error_message(buffer);
  else
    info_message(buffer);
}

std::string UpdaterDisplayInterface::printable(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  return out;
}
