#pragma once
#include <cstdint>

#include "tessaloom/common/aError.h"

// Wall-clock milliseconds since 1970; use differences for time-outs.
uint64_t aTime_GetMSTicks();
aErr aTime_MSSleep(uint64_t milliseconds);
