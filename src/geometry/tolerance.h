// Library-wide tolerances and their settings-file persistence.
#pragma once

#include "kelo_api.h"

namespace kelo {

// Process-wide, unguarded: hosts call the library from one thread at a time.
extern KELO_API double g_epsZero;
extern KELO_API double g_epsLimit;

KELO_API double GetGzCoordEpsZero();
KELO_API double SetGzCoordEpsZero(double v);
KELO_API double LoadGzCoordEpsZero(bool degrees);
KELO_API void WriteGzCoordEpsZero(double v, bool degrees);
KELO_API double GetGzSys01mmRealLen();
KELO_API double SetGzSys01mmRealLen(double v);
KELO_API double GetGzZlytParameter();
KELO_API double SetGzZlytParameter(double v);
KELO_API double Cal_epsZero_ByScale(double s);
// Reports the noding module's own coordinate tolerance; the name is historical and it changes nothing.
KELO_API double SetCoordEps(double v);

namespace detail {
// The noding module tolerance, set by each CLineHandler from its own tolerance.
double& NodingCoordEps();
}  // namespace detail

}  // namespace kelo
