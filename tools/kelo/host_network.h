// Road networks for scripts: a script makes a network, adds roads to it and asks for routes,
// the nearest facility, delivery tours and service areas. Networks live until the script frees
// them or the run ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KeloGeomNet.h"

namespace kelo_tool {

// In the order of their host names (netCreate ... netFree).
enum class NetFn { kCreate, kAddRoad, kRoute, kNearest, kTour, kArea, kFree };

// Carries out one call: non-zero when the result cell holds the answer; zero, with the reason
// written to text, when the arguments are wrong.
intptr_t CallNetworkFunction(NetFn fn, kelo::Tdata* cells, const std::vector<int32_t>& args, int32_t result,
                             std::string& text);

// Drops every network of the run.
void FreeNetworks();

}  // namespace kelo_tool
