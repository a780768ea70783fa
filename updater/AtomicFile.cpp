#include "updater/AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace {

std::atomic<unsigned> g_sequence{0};

std::string temporary_name(const std::string& target) {
  const size_t slash = target.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  // Leading "." keeps the file out of every listing of the directory.
  return directory + "." + base + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(g_sequence.fetch_add(1));
}

}  // namespace

AtomicFile::AtomicFile(const std::string& target) : target_(target) {
  for (unsigned attempt = 0; attempt < 16; ++attempt) {
    temporary_ = temporary_name(target);
    // 0666 lets the umask decide the final mode, exactly as a plain fopen would.
    const int fd = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      fail(errno);
      break;
    }
    file_ = fdopen(fd, "wb");
    if (file_ == nullptr) {
      fail(errno);
      close(fd);
      unlink(temporary_.c_str());
    }
    break;
  }
  if (file_ == nullptr) {
    if (error_ == 0) error_ = EEXIST;
    temporary_.clear();
  }
}

AtomicFile::~AtomicFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

bool AtomicFile::fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  return false;
}

bool AtomicFile::Write(const void* data, size_t length) {
  if (file_ == nullptr || error_ != 0) return fail(EBADF);
  if (length > 0 && std::fwrite(data, 1, length, file_) != length) return fail(errno);
  return true;
}

bool AtomicFile::Printf(const char* format, ...) {
  if (file_ == nullptr || error_ != 0) return fail(EBADF);
  va_list args;
  va_start(args, format);
  const int written = std::vfprintf(file_, format, args);
  va_end(args);
  return written >= 0 || fail(errno);
}

bool AtomicFile::Commit() {
  if (file_ == nullptr || error_ != 0) return fail(EBADF);
  bool ok = std::fflush(file_) == 0 || fail(errno);
  ok = ok && (fsync(fileno(file_)) == 0 || fail(errno));
  const int close_result = std::fclose(file_);
  file_ = nullptr;
  ok = ok && (close_result == 0 || fail(errno));
  ok = ok && (std::rename(temporary_.c_str(), target_.c_str()) == 0 || fail(errno));
  committed_ = ok;
  return ok;
}
