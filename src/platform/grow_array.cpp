#include "platform/grow_array.h"

namespace kelo::detail {

namespace {

// Room for the arrays of a graph of about two million lines, released whole.
constexpr size_t kKeptBytesMost = size_t{256} << 20;

// Unmaps the kept reservations at exit. The cache itself is never destroyed: arrays in static
// objects destroyed after this one still give their storage back, and then it is unmapped at once.
struct CloseAtExit {
    ~CloseAtExit() { KeptReservations().Close(); }
} g_closeAtExit;

}  // namespace

ReservationCache& KeptReservations() {
    static ReservationCache* const cache = new ReservationCache(kKeptBytesMost);
    return *cache;
}

}  // namespace kelo::detail
