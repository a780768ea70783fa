#pragma once
// Replaces a file only once its new content is completely on disk: the data goes to a hidden
// temporary file beside the target, which is renamed over the target after every write, the
// flush and the close succeeded. Until then the old file stays untouched.
#include <cstddef>
#include <cstdio>
#include <string>

class AtomicFile {
 public:
  explicit AtomicFile(const std::string& target);
  ~AtomicFile();  // discards the temporary file unless Commit succeeded
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const { return file_ != nullptr; }
  // errno of the first failure, 0 while all went well.
  int Error() const { return error_; }

  bool Write(const void* data, size_t length);
  bool Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool Commit();

  const std::string& TemporaryPath() const { return temporary_; }

 private:
  bool fail(int error);

  std::string target_;
  std::string temporary_;
  FILE* file_ = nullptr;
  int error_ = 0;
  bool committed_ = false;
};
