#include "tessaloom/common/aDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxPath = 4096;
constexpr size_t kListPathSize = 2048;

bool is_directory(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool make_one(const std::string& path, unsigned permissions) {
  return mkdir(path.c_str(), static_cast<mode_t>(permissions)) == 0 || errno == EEXIST;
}

bool is_dot_entry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Deletes the contents of the open directory fd, never following symbolic links: a link is
// removed as a link, so nothing outside the tree is touched. Answers false after a failure.
bool delete_contents(int fd, const std::string& path) {
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return false;
  }
  bool ok = true;
  while (ok) {
    errno = 0;
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    if (is_dot_entry(entry->d_name)) continue;
    const std::string child = path + aDIR_PATH_SEP + entry->d_name;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      const int sub = openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      ok = sub >= 0 && delete_contents(sub, child) && unlinkat(dirfd(dir), entry->d_name, AT_REMOVEDIR) == 0;
    } else if (unlinkat(dirfd(dir), entry->d_name, 0) != 0) {
      std::perror("aDirectory_DeleteTree");
      std::printf("---error unlink-ing file [%s]\n", child.c_str());
      ok = false;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

bool aDirectory_Exists(const char* path) { return path != nullptr && is_directory(path); }

aErr aDirectory_Ensure(const char* path, unsigned permissions) {
  if (path == nullptr || *path == '\0') return aErrParam;
  if (strnlen(path, kMaxPath + 1) > kMaxPath) return aErrFileNameLength;
  if (is_directory(path)) return aErrNone;

  const std::string full(path);
  // Find the deepest ancestor that exists; creation starts just after it.
  std::string probe = full;
  size_t start = 0;
  for (;;) {
    const size_t cut = probe.find_last_of('/');
    if (cut == std::string::npos) break;
    probe.resize(cut);
    if (probe.empty() || is_directory(probe.c_str())) {
      start = cut + 1;
      break;
    }
  }

  aErr result = aErrNone;
  for (size_t pos = full.find('/', start); pos != std::string::npos; pos = full.find('/', pos + 1)) {
    if (pos == 0 || full[pos - 1] == '/') continue;  // repeated separators
    const std::string part = full.substr(0, pos);
    if (!is_directory(part.c_str()) && !make_one(part, permissions)) {
      result = aErrPermission;
      break;
    }
  }
  if (!is_directory(path) && !make_one(full, permissions)) return aErrPermission;
  if (result == aErrNone && !is_directory(path)) return aErrPermission;  // something else is in the way
  return result;
}

aErr aDirectory_List(const char* path, aDirectoryListCallback callback, void* reference) {
  if (path == nullptr || callback == nullptr) return aErrParam;
  DIR* dir = opendir(path);
  if (dir == nullptr) return aErrNotFound;
  char full[kListPathSize];
  for (const dirent* entry = readdir(dir); entry != nullptr; entry = readdir(dir)) {
    if (aDirectory_JoinPath(full, sizeof full, path, entry->d_name) != aErrNone) continue;
    struct stat st;
    if (stat(full, &st) != 0) continue;
    const aDirectoryListData data{full, static_cast<uint32_t>(st.st_size), S_ISDIR(st.st_mode)};
    if (!callback(&data, reference)) break;
  }
  closedir(dir);
  return aErrNone;
}

aErr aDirectory_Delete(const char* path) {
  return (path != nullptr && rmdir(path) == 0) ? aErrNone : aErrUnknown;
}

aErr aDirectory_DeleteTree(const char* path) {
  if (path == nullptr) return aErrParam;
  const int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return aErrNotFound;
  delete_contents(fd, path);
  return aDirectory_Delete(path);
}

aErr aDirectory_CWD(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return aErrParam;
  return getcwd(buffer, size) != nullptr ? aErrNone : aErrParam;
}

aErr aDirectory_ExecutableFilePath(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return aErrParam;
  const ssize_t n = readlink("/proc/self/exe", buffer, size - 1);
  if (n < 0) {
    buffer[0] = '\0';
    return aErrRead;
  }
  buffer[n] = '\0';
  return aErrNone;
}

aErr aDirectory_GetHomeDirectory(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return aErrParam;
  buffer[0] = '\0';
  const char* home = nullptr;
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> scratch(16384);
  if (getpwuid_r(getuid(), &entry, scratch.data(), scratch.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] != '\0')
    home = found->pw_dir;
  else
    home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') return aErrNotFound;
  const size_t length = std::strlen(home);
  if (length >= size) return aErrOverrun;
  std::memcpy(buffer, home, length + 1);
  return aErrNone;
}

aErr aDirectory_JoinPath(char* buffer, size_t size, const char* first, const char* second) {
  return aDirectory_BuildPath(buffer, size, first, second, static_cast<const char*>(nullptr));
}

aErr aDirectory_BuildPath(char* buffer, size_t size, const char* first, ...) {
  if (buffer == nullptr || size == 0 || first == nullptr) return aErrParam;

  const char* components[aDIRECTORY_MAX_COMPONENTS];
  unsigned count = 0;
  components[count++] = first;
  va_list args;
  va_start(args, first);
  for (const char* c = va_arg(args, const char*); c != nullptr; c = va_arg(args, const char*)) {
    if (count == aDIRECTORY_MAX_COMPONENTS) {
      va_end(args);
      return aErrParam;
    }
    components[count++] = c;
  }
  va_end(args);

  // The result is built in place, so no component may live inside the buffer.
  const auto lo = reinterpret_cast<uintptr_t>(buffer);
  for (unsigned i = 0; i < count; ++i) {
    const auto at = reinterpret_cast<uintptr_t>(components[i]);
    if (at >= lo && at - lo < size) return aErrParam;
  }

  buffer[0] = '\0';
  size_t length = std::strlen(first);
  if (length >= size - 1) return aErrOverrun;
  std::memcpy(buffer, first, length + 1);

  for (unsigned i = 1; i < count; ++i) {
    const char* component = components[i];
    size_t space = size - length - 1;
    const bool ends_with_sep = length > 0 && buffer[length - 1] == '/';
    if (space > 1 && !ends_with_sep && component[0] != '/') {
      buffer[length++] = '/';
      buffer[length] = '\0';
      --space;
    }
    const size_t add = std::strlen(component);
    if (add >= space) return aErrOverrun;
    std::memcpy(buffer + length, component, add + 1);
    length += add;
  }
  return aErrNone;
}

const char* backwards_memcmp(const char* text, const char* pattern) {
  if (text == nullptr || pattern == nullptr) return nullptr;
  const size_t text_length = std::strlen(text);
  const size_t pattern_length = std::strlen(pattern);
  if (pattern_length == 0) return text;
  if (pattern_length > text_length) return nullptr;
  for (size_t i = text_length - pattern_length + 1; i-- > 0;)
    if (std::memcmp(text + i, pattern, pattern_length) == 0) return text + i;
  return nullptr;
}
