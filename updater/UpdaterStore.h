#pragma once
// The local store: one directory per device under the storage directory.
#include <string>

// Joins the texts with "/" up to the terminating null, whatever separators they already have.
std::string BuildPath(const char* first, ...) __attribute__((sentinel));
