// Random geometry records for round-trip tests. The policy decides what a point and a run are and
// how few parts a ring may have, so each test draws only what its format can carry; the shapes of
// the records (counts, members, triangles, grids) are drawn here.
#pragma once

#include <cstdint>
#include <random>

#include "geometry/records.h"

namespace kelo::test {

template <class Policy>
struct RandomRecords : Policy {
    using Policy::Policy;

    void Line(LineString& l, int minParts = 0) {
        l.partCount = static_cast<uint32_t>(this->Int(minParts, 3));
        l.parts = l.partCount ? new CurveSegment[l.partCount]() : nullptr;
        for (uint32_t i = 0; i < l.partCount; ++i) this->Part(l.parts[i]);
    }
    void Polygon(WKBPolygon& p) {
        p.ringCount = this->Int(0, 3);
        p.rings = p.ringCount ? new LineString[p.ringCount]() : nullptr;
        for (int i = 0; i < p.ringCount; ++i) Line(p.rings[i], Policy::kMinRingParts);
    }
    void Geometry(WKBGeometry& g, int type) {
        g.type = static_cast<wkbGeometryType>(type);
        switch (type) {
            case wkbPoint: g.point = this->Pt(); break;
            case wkbLineString: Line(g.line); break;
            case wkbPolygon: Polygon(g.polygon); break;
            case wkbMultiPoint: {
                uint32_t n = static_cast<uint32_t>(this->Int(0, 5));
                g.multiPoint = {n, n ? new Point3D[n] : nullptr};
                for (uint32_t i = 0; i < n; ++i) g.multiPoint.points[i] = this->Pt();
                break;
            }
            case wkbMultiLineString: {
                uint32_t n = static_cast<uint32_t>(this->Int(0, 3));
                g.multiLine = {n, n ? new LineString[n]() : nullptr};
                for (uint32_t i = 0; i < n; ++i) Line(g.multiLine.lines[i]);
                break;
            }
            case wkbMultiPolygon: {
                uint32_t n = static_cast<uint32_t>(this->Int(0, 3));
                g.multiPolygon = {n, n ? new WKBPolygon[n]() : nullptr};
                for (uint32_t i = 0; i < n; ++i) Polygon(g.multiPolygon.polygons[i]);
                break;
            }
            case wkbGeometryCollection: {
                uint32_t n = static_cast<uint32_t>(this->Int(0, 4));
                g.collection = {n, n ? new WKBSimpleGeometry[n]() : nullptr};
                for (uint32_t i = 0; i < n; ++i) Geometry(g.collection.members[i], this->Int(1, 6));
                break;
            }
            case wkbTin: {
                uint32_t n = static_cast<uint32_t>(this->Int(0, 4));
                g.tin = {n, n ? new Triangle[n] : nullptr};
                for (uint32_t i = 0; i < n; ++i)
                    for (Point3D& p : g.tin.triangles[i].p) p = this->Pt();
                break;
            }
            case wkbGrid: {
                uint32_t a = static_cast<uint32_t>(this->Int(0, 4)), b = static_cast<uint32_t>(this->Int(0, 4));
                g.grid = {a, b, new unsigned char[kGridHeaderSize], nullptr};
                for (size_t i = 0; i < kGridHeaderSize; ++i)
                    g.grid.header[i] = static_cast<unsigned char>(this->Int(0, 255));
                if (a && b) {
                    g.grid.values = new double[a * b];
                    for (uint32_t i = 0; i < a * b; ++i) g.grid.values[i] = this->Real();
                }
                break;
            }
        }
    }
};

}  // namespace kelo::test
