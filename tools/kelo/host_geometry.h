// The run's table of geometries: what a klPoints value handed to a script points at. Host
// functions that make geometries (text, routes, areas) keep them here until the run ends.
#pragma once

#include <memory>
#include <string>

#include "KeloGeomNet.h"

namespace kelo_tool {

struct HostGeometry {
    kelo::keloPoints points;
    bool polygon = false;
};

// "POINT (x y)", "LINESTRING (x y, ...)" or "POLYGON ((x y, ...))" (the outer ring, closed when
// open); false for anything else.
bool ParseGeometryText(const std::string& text, HostGeometry& g);

// Takes g into the table; the result is the handle of its klPoints value.
void* KeepGeometry(std::unique_ptr<HostGeometry> g);

// The geometry a klPoints value names, or null when the value is no geometry of this run.
const HostGeometry* FindGeometry(const kelo::Tdata& v);

}  // namespace kelo_tool
