// Helpers the overlay files share: moving polygon lists in and out of geometry objects without
// the per-insertion rebuilds of the object's editing members.
#pragma once

#include <vector>

#include "geometry/geometry_object.h"

namespace kelo::detail {

using PolygonList = std::vector<keloPolygon>;

// Replaces g's content by the polygons, which are moved in: type 3 for one, 6 for several,
// empty for none.
void SetPolygons(GM_Object& g, PolygonList& polys);
// Appends copies of g's polygons.
void AppendPolygons(const GM_Object& g, PolygonList& polys);

// Discretises the curves the noding cannot take (Bezier, ellipse and spline runs; arcs stay arcs,
// ellipses become arc chains in the ellipse-as-arcs mode; full circles become straight pieces).
// True when something was converted.
bool MakeNodable(GM_Object& g);

// Calls f(LineString&) for every line and ring of the record in order, walking the record itself
// (the flat part numbering of the object costs a walk per lookup).
template <class F>
void ForEachLine(const WKBGeometry& g, F f) {
    auto polygon = [&](const WKBPolygon& p) {
        for (int r = 0; r < p.ringCount && p.rings; ++r) f(p.rings[r]);
    };
    switch (g.type) {
    case wkbLineString: f(const_cast<LineString&>(g.line)); break;
    case wkbPolygon: polygon(g.polygon); break;
    case wkbMultiLineString:
        for (uint32_t i = 0; i < g.multiLine.lineCount && g.multiLine.lines; ++i) f(g.multiLine.lines[i]);
        break;
    case wkbMultiPolygon:
        for (uint32_t i = 0; i < g.multiPolygon.polygonCount && g.multiPolygon.polygons; ++i) polygon(g.multiPolygon.polygons[i]);
        break;
    case wkbGeometryCollection:
        for (uint32_t i = 0; i < g.collection.memberCount && g.collection.members; ++i) ForEachLine(g.collection.members[i], f);
        break;
    default: break;
    }
}

}  // namespace kelo::detail
