// The library-wide nodata value of the integer grids.
#pragma once

#include <cstdint>

#include "kelo_api.h"

namespace kelo {

inline constexpr int32_t kDefaultNodata = 999999;

KELO_API int32_t GetNodata();
KELO_API void SetNodata(int32_t value);

}  // namespace kelo
