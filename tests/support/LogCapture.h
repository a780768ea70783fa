#pragma once
// Sends the diagnostic log to a buffer with the given packages enabled, for one scope.
#include <cstdio>
#include <string>

#include "app/Log.h"

class LogCapture {
 public:
  explicit LogCapture(uint32_t packages) : saved_mask_(Log::package_bitmask), saved_out_(Log::fh) {
    file_ = std::tmpfile();
    Log::DeactivatePackage(0xFFFFFFFF);
    Log::ActivatePackage(packages);
    Log::SetOutput(file_);
  }
  ~LogCapture() {
    Log::SetOutput(saved_out_);
    Log::DeactivatePackage(0xFFFFFFFF);
    Log::ActivatePackage(saved_mask_);
    if (file_ != nullptr) std::fclose(file_);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::string text() const {
    std::string out;
    if (file_ == nullptr) return out;
    std::fflush(file_);
    std::rewind(file_);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) out.append(buffer, n);
    std::fseek(file_, 0, SEEK_END);
    return out;
  }
  bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

 private:
  uint32_t saved_mask_;
  FILE* saved_out_;
  FILE* file_ = nullptr;
};
