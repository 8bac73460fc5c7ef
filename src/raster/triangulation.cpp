// Breaklines, polygon insides and the batch inside test, built on the Delaunay core.
#include "raster/triangulation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "raster/exact_predicates.h"

namespace kelo {

namespace {

constexpr double kSame = 1e-8;

bool Same(const Point3D& a, const Point3D& b) { return std::fabs(a.x - b.x) <= kSame && std::fabs(a.y - b.y) <= kSame; }

// A ring's points as a closed polyline (curves discretised), consecutive repeats removed.
std::vector<Point3D> RingPolyline(const keloParts& ring) {
    std::vector<Point3D> raw, out;
    ring.Discrete(raw, g_epsZero);
    for (const Point3D& p : raw)
        if (std::isfinite(p.x) && std::isfinite(p.y) && (out.empty() || !Same(out.back(), p))) out.push_back(p);
    if (out.size() > 1 && !Same(out.front(), out.back())) out.push_back(out.front());
    return out;
}

std::vector<std::vector<Point3D>> PolygonRings(const keloPolygon& polygon) {
    std::vector<std::vector<Point3D>> rings;
    for (int i = 0; i < polygon.GetRingsCount(); ++i) {
        const keloParts* ring = polygon.GetOriginalRingAt(i);
        if (!ring) continue;
        std::vector<Point3D> r = RingPolyline(*ring);
        if (r.size() >= 4) rings.push_back(std::move(r));
    }
    return rings;
}

void PushTriangle(std::vector<Point3D>& out, const Point3D& a, const Point3D& b, const Point3D& c) {
    out.push_back(a);
    out.push_back(b);
    out.push_back(c);
}

// Splits the faces cut by breaklines: the triangulation's edges and the breaklines are noded
// together and every bounded face of the arrangement is triangulated on its own.
void CutByBreaklines(const std::vector<Point3D>& pts, const std::vector<int>& tri,
                     const std::vector<Point3D>& breaklines, std::vector<Point3D>& triangles) {
    std::vector<std::pair<Point3D, Point3D>> lines;
    for (size_t k = 0; k + 1 < breaklines.size(); k += 2)
        if (!Same(breaklines[k], breaklines[k + 1])) lines.push_back({breaklines[k], breaklines[k + 1]});
    // Triangulation edges once each, without those a breakline already covers.
    std::vector<std::pair<int, int>> edges;
    for (size_t t = 0; t < tri.size(); t += 3)
        for (int k = 0; k < 3; ++k) {
            int a = tri[t + k], b = tri[t + (k + 1) % 3];
            edges.push_back({std::min(a, b), std::max(a, b)});
        }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<std::pair<Point3D, Point3D>> sortedLines = lines;
    for (auto& l : sortedLines)
        if (l.second.x < l.first.x || (l.second.x == l.first.x && l.second.y < l.first.y)) std::swap(l.first, l.second);
    std::sort(sortedLines.begin(), sortedLines.end(),
              [](const auto& a, const auto& b) { return a.first.x < b.first.x; });
    auto covered = [&](const Point3D& a, const Point3D& b) {
        auto it = std::lower_bound(sortedLines.begin(), sortedLines.end(), a.x - 2 * kSame,
                                   [](const auto& l, double x) { return l.first.x < x; });
        for (; it != sortedLines.end() && it->first.x <= a.x + 2 * kSame; ++it)
            if ((Same(it->first, a) && Same(it->second, b)) || (Same(it->first, b) && Same(it->second, a))) return true;
        return false;
    };
    CKeloMakeArcPolygon maker(kSame);
    for (auto& l : lines) {
        Point3D seg[2] = {l.first, l.second};
        maker.Add(CsSegment(seg, klLTPolyline));
    }
    for (auto& e : edges) {
        // pts is sorted by x, so the lower index is the left end.
        if (covered(pts[static_cast<size_t>(e.first)], pts[static_cast<size_t>(e.second)])) continue;
        Point3D seg[2] = {pts[static_cast<size_t>(e.first)], pts[static_cast<size_t>(e.second)]};
        maker.Add(CsSegment(seg, klLTPolyline));
    }
    maker.Solve();
    // Face corners that are no input point were made where a breakline crosses an edge or another
    // breakline; they take the height of the breakline there, the same in every face around them.
    auto height = [&](Point3D& p) {
        auto it = std::lower_bound(pts.begin(), pts.end(), p.x - kSame, [](const Point3D& q, double x) { return q.x < x; });
        for (; it != pts.end() && it->x <= p.x + kSame; ++it)
            if (Same(*it, p)) {
                p.z = it->z;
                return;
            }
        for (const auto& l : lines) {
            const double dx = l.second.x - l.first.x, dy = l.second.y - l.first.y, len2 = dx * dx + dy * dy;
            const double t = ((p.x - l.first.x) * dx + (p.y - l.first.y) * dy) / len2;
            if (t < -1e-9 || t > 1 + 1e-9) continue;
            if (std::hypot(l.first.x + t * dx - p.x, l.first.y + t * dy - p.y) > 1e-6 * (1 + std::sqrt(len2))) continue;
            p.z = l.first.z + t * (l.second.z - l.first.z);
            return;
        }
    };
    for (int i = 0; i + 1 < maker.GetPolygonCount(); ++i) {
        keloPolygon face;
        if (!maker.GetPolygon(i, face) || face.GetRingsCount() < 1) continue;
        std::vector<Point3D> ring = RingPolyline(*face.GetOriginalRingAt(0));
        if (ring.size() < 4) continue;
        ring.pop_back();
        for (Point3D& p : ring) height(p);
        if (ring.size() == 3) {
            if (detail::Orient2dSign(ring[0], ring[1], ring[2]) > 0) PushTriangle(triangles, ring[0], ring[1], ring[2]);
            else if (detail::Orient2dSign(ring[0], ring[1], ring[2]) < 0) PushTriangle(triangles, ring[0], ring[2], ring[1]);
        } else {
            detail::TriangulateRing(std::move(ring), triangles);
        }
    }
}

}  // namespace

namespace detail {

void TriangulateRing(std::vector<Point3D> ring, std::vector<Point3D>& triangles) {
    std::vector<Point3D> v;
    for (const Point3D& p : ring)
        if (v.empty() || !Same(v.back(), p)) v.push_back(p);
    while (v.size() > 1 && Same(v.front(), v.back())) v.pop_back();
    if (v.size() < 3) return;
    double area2 = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const Point3D &a = v[i], &b = v[(i + 1) % v.size()];
        area2 += a.x * b.y - b.x * a.y;
    }
    if (area2 < 0) std::reverse(v.begin(), v.end());
    std::vector<size_t> idx(v.size());
    for (size_t i = 0; i < idx.size(); ++i) idx[i] = i;
    auto isEar = [&](size_t k) {
        const size_t n = idx.size();
        const Point3D &a = v[idx[(k + n - 1) % n]], &b = v[idx[k]], &c = v[idx[(k + 1) % n]];
        if (Orient2dSign(a, b, c) <= 0) return false;
        for (size_t m = 0; m < n; ++m) {
            const Point3D& p = v[idx[m]];
            if (m == k || Same(p, a) || Same(p, b) || Same(p, c)) continue;
            if (Orient2dSign(a, b, p) >= 0 && Orient2dSign(b, c, p) >= 0 && Orient2dSign(c, a, p) >= 0) return false;
        }
        return true;
    };
    while (idx.size() > 3) {
        const size_t n = idx.size();
        size_t cut = n;
        for (size_t k = 0; k < n && cut == n; ++k)
            if (isEar(k)) cut = k;
        if (cut < n) {
            PushTriangle(triangles, v[idx[(cut + n - 1) % n]], v[idx[cut]], v[idx[(cut + 1) % n]]);
        } else {
            // No proper ear: a straight corner can go without losing area; anything else means
            // the ring crosses itself and the rest is left out.
            for (size_t k = 0; k < n && cut == n; ++k)
                if (Orient2dSign(v[idx[(k + n - 1) % n]], v[idx[k]], v[idx[(k + 1) % n]]) == 0) cut = k;
            if (cut == n) return;
        }
        idx.erase(idx.begin() + static_cast<std::ptrdiff_t>(cut));
    }
    if (Orient2dSign(v[idx[0]], v[idx[1]], v[idx[2]]) > 0) PushTriangle(triangles, v[idx[0]], v[idx[1]], v[idx[2]]);
}

}  // namespace detail

void DelaunayTriangulation(const std::vector<Point3D>& points, std::vector<Point3D>& triangles,
                           const std::vector<Point3D>& breaklines) {
    triangles.clear();
    std::vector<Point3D> all = points;
    // Breakline ends join the points, so that every breakline runs from vertex to vertex and
    // cuts whole triangles.
    const size_t usable = breaklines.size() & ~static_cast<size_t>(1);
    all.insert(all.end(), breaklines.begin(), breaklines.begin() + static_cast<std::ptrdiff_t>(usable));
    const std::vector<Point3D> pts = detail::MergedSortedPoints(all);
    const std::vector<int> tri = detail::DelaunayIndexTriangles(pts);
    if (tri.empty()) return;
    if (usable == 0) {
        triangles.reserve(tri.size());
        for (int i : tri) triangles.push_back(pts[static_cast<size_t>(i)]);
        return;
    }
    CutByBreaklines(pts, tri, breaklines, triangles);
}

void checkPointInsidePolygon_Faster(keloPolygon& polygon, std::vector<Point3D>& points, std::vector<uint8_t>& flags) {
    flags.assign(points.size(), 0);
    struct Seg {
        Point3D a, b;
        double xmin, xmax;
    };
    std::vector<Seg> segs;
    for (const auto& ring : PolygonRings(polygon))
        for (size_t k = 0; k + 1 < ring.size(); ++k)
            segs.push_back({ring[k], ring[k + 1], std::min(ring[k].x, ring[k + 1].x), std::max(ring[k].x, ring[k + 1].x)});
    if (segs.empty()) return;
    std::sort(segs.begin(), segs.end(), [](const Seg& s, const Seg& t) { return s.xmin < t.xmin; });
    std::vector<size_t> order(points.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return points[a].x < points[b].x; });
    // Sweep over x: the active list holds the segments spanning the current abscissa.
    std::vector<size_t> active;
    size_t nextSeg = 0;
    for (size_t i : order) {
        const Point3D& p = points[i];
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) continue;
        while (nextSeg < segs.size() && segs[nextSeg].xmin <= p.x + kSame) active.push_back(nextSeg++);
        size_t keep = 0;
        bool inside = false, onBoundary = false;
        for (size_t s : active) {
            const Seg& g = segs[s];
            if (g.xmax < p.x - kSame) continue;
            active[keep++] = s;
            const double dx = g.b.x - g.a.x, dy = g.b.y - g.a.y, len2 = dx * dx + dy * dy;
            double t = len2 > 0 ? ((p.x - g.a.x) * dx + (p.y - g.a.y) * dy) / len2 : 0;
            t = std::clamp(t, 0.0, 1.0);
            if (std::hypot(g.a.x + t * dx - p.x, g.a.y + t * dy - p.y) <= kSame) onBoundary = true;
            // Half-open rule on x, counting the crossings above the point.
            if ((g.a.x <= p.x) != (g.b.x <= p.x)) {
                const double y = g.a.y + (p.x - g.a.x) * dy / dx;
                if (y > p.y) inside = !inside;
            }
        }
        active.resize(keep);
        flags[i] = inside || onBoundary ? 1 : 0;
    }
}

void DelaunayPolygonTriangulation(keloPolygon& polygon, std::vector<Point3D>& triangles) {
    triangles.clear();
    if (polygon.GetRingsCount() == 0) return;
    const keloParts* outer = polygon.GetOriginalRingAt(0);
    if (polygon.GetRingsCount() == 1 && outer && outer->GetPartsCount() == 1 &&
        outer->parts[0].lineType == klLTPolyline && outer->parts[0].pointCount < 500) {
        std::vector<Point3D> ring(outer->parts[0].points, outer->parts[0].points + outer->parts[0].pointCount);
        detail::TriangulateRing(std::move(ring), triangles);
        return;
    }
    std::vector<Point3D> points, breaklines;
    for (const auto& ring : PolygonRings(polygon))
        for (size_t k = 0; k + 1 < ring.size(); ++k) {
            points.push_back(ring[k]);
            breaklines.push_back(ring[k]);
            breaklines.push_back(ring[k + 1]);
        }
    std::vector<Point3D> all;
    DelaunayTriangulation(points, all, breaklines);
    std::vector<Point3D> centroids;
    for (size_t t = 0; t + 2 < all.size(); t += 3)
        centroids.push_back({(all[t].x + all[t + 1].x + all[t + 2].x) / 3, (all[t].y + all[t + 1].y + all[t + 2].y) / 3, 0});
    std::vector<uint8_t> inside;
    checkPointInsidePolygon_Faster(polygon, centroids, inside);
    for (size_t t = 0; t < inside.size(); ++t)
        if (inside[t]) triangles.insert(triangles.end(), all.begin() + static_cast<std::ptrdiff_t>(3 * t),
                                        all.begin() + static_cast<std::ptrdiff_t>(3 * t + 3));
}

void DelaunayGeometryTriangulation(GM_Object& object, std::vector<Point3D>& triangles) {
    triangles.clear();
    for (int i = 0; i < object.GetPolygonCount(); ++i) {
        keloPolygon* polygon = object.GetOriginalPolygonAt(i);
        if (!polygon) continue;
        std::vector<Point3D> part;
        DelaunayPolygonTriangulation(*polygon, part);
        triangles.insert(triangles.end(), part.begin(), part.end());
    }
}

}  // namespace kelo
