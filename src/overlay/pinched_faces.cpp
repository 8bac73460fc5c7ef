#include "overlay/pinched_faces.h"

#include <cmath>

#include "geometry/geometry_object.h"

namespace kelo::detail {

namespace {

using Loop = std::vector<Point3D>;

bool Same(const Point3D& a, const Point3D& b, double eps) { return std::hypot(a.x - b.x, a.y - b.y) <= eps; }

double SignedArea(const Loop& v) {
    double a = 0;
    for (size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) a += (v[j].x * v[i].y - v[i].x * v[j].y) / 2;
    return a;
}

// The ring's vertices (without the closing repeat) cut into simple loops at repeated vertices.
void Loops(const keloParts& ring, double eps, std::vector<Loop>& out) {
    Loop path;
    ring.GetAllVertex(path);
    if (path.size() > 1 && Same(path.front(), path.back(), eps)) path.pop_back();
    Loop stack;
    for (const Point3D& p : path) {
        size_t j = 0;
        while (j < stack.size() && !Same(stack[j], p, eps)) ++j;
        if (j < stack.size()) {
            Loop loop(stack.begin() + static_cast<std::ptrdiff_t>(j), stack.end());
            if (loop.size() >= 3) out.push_back(std::move(loop));
            stack.resize(j);
        }
        stack.push_back(p);
    }
    if (stack.size() >= 3) out.push_back(std::move(stack));
}

keloParts Ring(Loop v) {
    v.push_back(v.front());
    return keloParts(v, klLTPolyline);
}

bool Straight(const keloParts& ring) {
    for (int k = 0; k < ring.GetPartsCount(); ++k)
        if (ring.parts[k].lineType != klLTPolyline) return false;
    return true;
}

}  // namespace

void SplitPinchedFace(const keloPolygon& face, double eps, std::vector<keloPolygon>& out) {
    std::vector<Loop> loops;
    for (int r = 0; r < face.GetRingsCount(); ++r) {
        const keloParts& ring = *face.GetOriginalRingAt(r);
        if (!Straight(ring)) {
            out.push_back(face);  // arcs keep their rings as traced
            return;
        }
        Loops(ring, eps, loops);
    }
    std::vector<keloPolygon> shells;
    std::vector<Loop> holes;
    for (Loop& l : loops) {
        if (SignedArea(l) > 0) shells.emplace_back(Ring(l));
        else holes.push_back(std::move(l));
    }
    for (Loop& h : holes) {
        keloPolygon hole{Ring(h)};
        double x = 0, y = 0, z = 0;
        if (!innerPoint(hole, x, y, z, 0, 0)) continue;
        for (keloPolygon& s : shells)
            if (shells.size() == 1 || s.GetOriginalRingAt(0)->PointInside({x, y, 0}, 0)) {
                s.InsertRing(Ring(h), 1);
                break;
            }
    }
    for (keloPolygon& s : shells) out.push_back(std::move(s));
}

}  // namespace kelo::detail
