#include "companion/random.h"

namespace kelo {

namespace {
// Process-wide like the C library's generator it stands for; seed 1 until someone reseeds.
uint32_t g_seed = 1;
}  // namespace

int KeloRand() {
    g_seed = g_seed * 214013u + 2531011u;
    return static_cast<int>((g_seed >> 16) & 0x7FFFu);
}

void KeloSrand(uint32_t seed) { g_seed = seed; }

}  // namespace kelo
