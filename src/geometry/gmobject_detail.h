// Internal walks over a geometry record and the member list that edits are made on.
#pragma once

#include <vector>

#include "geometry/geometry_object.h"

namespace kelo::detail {

// Every part (line or ring) of the record in flat order. f(LineString&, isRing, polygon, ring)
// returns true to stop the walk. Members of unknown type are skipped, so a bad code never
// sends a walk into the wrong union member.
template <class F>
bool WalkParts(const WKBGeometry& g, F&& f) {
    auto polygonRings = [&](WKBPolygon& poly) {
        for (int r = 0; r < poly.ringCount && poly.rings; ++r)
            if (f(poly.rings[r], true, &poly, r)) return true;
        return false;
    };
    auto& m = const_cast<WKBGeometry&>(g);
    switch (g.type) {
    case wkbLineString: return f(m.line, false, static_cast<WKBPolygon*>(nullptr), -1);
    case wkbPolygon: return polygonRings(m.polygon);
    case wkbMultiLineString:
        for (uint32_t i = 0; i < m.multiLine.lineCount && m.multiLine.lines; ++i)
            if (f(m.multiLine.lines[i], false, static_cast<WKBPolygon*>(nullptr), -1)) return true;
        return false;
    case wkbMultiPolygon:
        for (uint32_t i = 0; i < m.multiPolygon.polygonCount && m.multiPolygon.polygons; ++i)
            if (polygonRings(m.multiPolygon.polygons[i])) return true;
        return false;
    case wkbGeometryCollection:
        for (uint32_t i = 0; i < m.collection.memberCount && m.collection.members; ++i) {
            const WKBGeometry& member = m.collection.members[i];
            if (member.type == wkbGeometryCollection) continue;  // never nested
            if (WalkParts(member, f)) return true;
        }
        return false;
    default: return false;
    }
}

// Every point member (types 1 and 4, and those inside a collection).
template <class F>
bool WalkPoints(const WKBGeometry& g, F&& f) {
    auto& m = const_cast<WKBGeometry&>(g);
    switch (g.type) {
    case wkbPoint: return f(m.point);
    case wkbMultiPoint:
        for (uint32_t i = 0; i < m.multiPoint.pointCount && m.multiPoint.points; ++i)
            if (f(m.multiPoint.points[i])) return true;
        return false;
    case wkbGeometryCollection:
        for (uint32_t i = 0; i < m.collection.memberCount && m.collection.members; ++i) {
            const WKBGeometry& member = m.collection.members[i];
            if (member.type == wkbGeometryCollection) continue;
            if (WalkPoints(member, f)) return true;
        }
        return false;
    default: return false;
    }
}

template <class F>
bool WalkPolygons(const WKBGeometry& g, F&& f) {
    auto& m = const_cast<WKBGeometry&>(g);
    switch (g.type) {
    case wkbPolygon: return f(m.polygon);
    case wkbMultiPolygon:
        for (uint32_t i = 0; i < m.multiPolygon.polygonCount && m.multiPolygon.polygons; ++i)
            if (f(m.multiPolygon.polygons[i])) return true;
        return false;
    case wkbGeometryCollection:
        for (uint32_t i = 0; i < m.collection.memberCount && m.collection.members; ++i) {
            const WKBGeometry& member = m.collection.members[i];
            if (member.type == wkbGeometryCollection) continue;
            if (WalkPolygons(member, f)) return true;
        }
        return false;
    default: return false;
    }
}

inline keloParts& AsParts(LineString& l) { return static_cast<keloParts&>(l); }
inline keloPolygon& AsPolygon(WKBPolygon& p) { return static_cast<keloPolygon&>(p); }

// f(index, parts, isRing) for every part in flat order, as GetOriginalPartsAt gives them: asking
// for each index in turn walks from the first part every time, quadratic in the rings of a lake.
template <class F>
void ForEachOriginalParts(const WKBGeometry& g, F&& f) {
    int k = 0;
    WalkParts(g, [&](LineString& l, bool ring, WKBPolygon*, int) {
        f(k++, AsParts(l), ring);
        return false;
    });
}

// One simple member, deep-copied out of a record: a point, a line or a polygon.
struct GmItem {
    int kind = 0;  // 1 point, 2 line, 3 polygon
    Point3D pt{0, 0, 0};
    keloParts line;
    keloPolygon poly;
};

// Whether the record's content can be split into simple members (types 0 to 7).
bool Decomposable(const WKBGeometry& g);
std::vector<GmItem> Decompose(const WKBGeometry& g);
// The simplest type that holds the items: 0, the simple type, the multi type, or 7.
wkbGeometryType SimplestType(const std::vector<GmItem>& items);
// Frees what g held, then builds type t from the items, adopting their arrays.
void Rebuild(WKBGeometry& g, std::vector<GmItem>& items, wkbGeometryType t);

}  // namespace kelo::detail
