// Export control for libKeloGeomNet.so. The library is built with hidden default visibility, so
// only declarations marked KELO_API are reachable from a host.
#pragma once

#if defined(KELO_BUILDING_LIBRARY)
#define KELO_API __attribute__((visibility("default")))
#else
#define KELO_API
#endif

#define KELO_VERSION_STRING "0.1.0"
