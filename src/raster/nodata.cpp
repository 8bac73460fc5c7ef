#include "raster/nodata.h"

namespace kelo {

namespace {
// Process-wide like the tolerances; a host changes it between operations, never during one.
int32_t g_nodata = kDefaultNodata;
}  // namespace

int32_t GetNodata() { return g_nodata; }
void SetNodata(int32_t value) { g_nodata = value; }

}  // namespace kelo
