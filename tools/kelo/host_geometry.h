// The run's table of geometries: what a klPoints value handed to a script points at. Host
// functions that make geometries (text, routes, areas) keep them here until the run ends.
#pragma once

#include <memory>
#include <string>

#include "KeloGeomNet.h"

namespace kelo_tool {

// A geometry read from a file or WKT is a whole object; text and routes make one point run.
struct HostGeometry {
    kelo::keloPoints points;
    bool polygon = false;
    kelo::GM_Object object;
    bool whole = false;
};

// The geometry as an object: the whole object, or the point run as a line or polygon.
void GeometryObject(const HostGeometry& g, kelo::GM_Object& out);
// Keeps an object; when it is one line or one single-run ring the point-run view is filled too,
// so the functions that take point positions accept it.
void* KeepObject(const kelo::GM_Object& object);

// "POINT (x y)", "LINESTRING (x y, ...)" or "POLYGON ((x y, ...))" (the outer ring, closed when
// open); false for anything else.
bool ParseGeometryText(const std::string& text, HostGeometry& g);

// Takes g into the table; the result is the handle of its klPoints value.
void* KeepGeometry(std::unique_ptr<HostGeometry> g);

// The geometry a klPoints value names, or null when the value is no geometry of this run.
const HostGeometry* FindGeometry(const kelo::Tdata& v);

}  // namespace kelo_tool
