// The pseudo-random generator shared by the library (tours, proximity colours, scripts).
#pragma once

#include <cstdint>

#include "kelo_api.h"

namespace kelo {

inline constexpr int kKeloRandMax = 32767;

// Behaves like the platform's rand/srand: values 0..32767, the same sequence for the same seed.
KELO_API int KeloRand();
KELO_API void KeloSrand(uint32_t seed);

}  // namespace kelo
