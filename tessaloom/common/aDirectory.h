#pragma once
// Directory helpers: existence, creating whole paths, listing with a callback, deleting trees
// and joining path components.
#include <cstddef>
#include <cstdint>

#include "tessaloom/common/aError.h"

#define aDIR_PATH_SEP "/"
constexpr unsigned aDIRECTORY_MAX_COMPONENTS = 10;

struct aDirectoryListData {
  const char* path;  // valid only during the callback
  uint32_t size;
  bool isDirectory;
};

// Answers true to go on listing, false to stop.
typedef bool (*aDirectoryListCallback)(const aDirectoryListData* entry, void* reference);

bool aDirectory_Exists(const char* path);
aErr aDirectory_Ensure(const char* path, unsigned permissions);
aErr aDirectory_List(const char* path, aDirectoryListCallback callback, void* reference);
aErr aDirectory_Delete(const char* path);
aErr aDirectory_DeleteTree(const char* path);
aErr aDirectory_CWD(char* buffer, size_t size);
aErr aDirectory_ExecutableFilePath(char* buffer, size_t size);
aErr aDirectory_GetHomeDirectory(char* buffer, size_t size);
aErr aDirectory_JoinPath(char* buffer, size_t size, const char* first, const char* second);
// Components end with a null pointer.
aErr aDirectory_BuildPath(char* buffer, size_t size, const char* first, ...) __attribute__((sentinel));
// Last occurrence of pattern in text; text itself for an empty pattern; null when absent.
const char* backwards_memcmp(const char* text, const char* pattern);
