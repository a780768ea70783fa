#pragma once
#include <cstdint>

// Display name of a module model code; "Unknown" for codes without a name.
const char* aDefs_GetModelName(uint32_t model);
