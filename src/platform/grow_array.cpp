#include "platform/grow_array.h"

#include <new>

namespace kelo::detail {

namespace {

// Room for the arrays of a graph of about two million lines, released whole.
constexpr size_t kKeptBytesMost = size_t{256} << 20;

// Unmaps the kept reservations at exit. The cache itself is never destroyed: arrays in static
// objects destroyed after this one still give their storage back, and then it is unmapped at once.
struct CloseAtExit {
    ~CloseAtExit() { KeptReservations().Close(); }
} g_closeAtExit;

// In static storage rather than on the heap: a library unloaded and loaded again leaves nothing
// behind that a leak checker would report.
alignas(ReservationCache) unsigned char g_cacheStorage[sizeof(ReservationCache)];

}  // namespace

ReservationCache& KeptReservations() {
    static ReservationCache* const cache = new (g_cacheStorage) ReservationCache(kKeptBytesMost);
    return *cache;
}

}  // namespace kelo::detail
