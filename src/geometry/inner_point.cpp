// The interior point of a polygon: a point strictly inside the outer ring and outside every hole.
//
// A horizontal scan line that passes through no vertex meets the rings only in proper crossings;
// between consecutive crossings, taken in pairs, lies polygon interior (even-odd, which for rings
// that nest properly is inside-the-outer-and-outside-the-holes). A point of such a run is strictly
// inside whatever the shape: concave, spiral or full of holes.
//
// The work is a few linear passes over the edges, read in place for straight rings: the box and
// area centre, then the vertex heights next to a handful of aim heights (no sort of all heights),
// then the crossings of the chosen lines, then an exact clearance check of the chosen point.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

bool FiniteXY(const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

struct Span {
    const Point3D* p;
    size_t n;
};

// One ring as runs of stored points; a ring with curved parts is read from its discretised copy.
struct RingView {
    std::vector<Span> spans;
    std::vector<Point3D> flat;
    size_t finite = 0;
};

// Calls f(a, b) for every edge between consecutive finite points of the ring, the closing edge
// included; repeated points give no edge.
template <class F>
void ForEachEdge(const RingView& r, F&& f) {
    const Point3D* first = nullptr;
    const Point3D* prev = nullptr;
    for (const Span& s : r.spans)
        for (size_t i = 0; i < s.n; ++i) {
            const Point3D* q = s.p + i;
            if (!FiniteXY(*q)) continue;
            if (!first) first = q;
            else if (prev->x != q->x || prev->y != q->y) f(*prev, *q);
            prev = q;
        }
    if (first && (prev->x != first->x || prev->y != first->y)) f(*prev, *first);
}

bool ReadRing(const keloParts& ring, RingView& out) {
    bool straight = true;
    for (int k = 0; k < ring.GetPartsCount(); ++k) {
        const keloPoints* run = ring.GetOriginalPointsAt(k);
        if (run && run->GetLineType() != klLTPolyline) straight = false;
    }
    if (straight) {
        for (int k = 0; k < ring.GetPartsCount(); ++k) {
            const keloPoints* run = ring.GetOriginalPointsAt(k);
            if (run && run->pointCount) out.spans.push_back(Span{run->points, run->pointCount});
        }
    } else {
        ring.Discrete(out.flat, g_epsZero);  // curved parts become chords
        out.spans.push_back(Span{out.flat.data(), out.flat.size()});
    }
    for (const Span& s : out.spans)
        for (size_t i = 0; i < s.n; ++i) out.finite += FiniteXY(s.p[i]) ? 1 : 0;
    return out.finite >= 3;  // a ring of one segment encloses nothing
}

// A scan line at height y inside the vertex-free band (lo, hi).
struct Line {
    double y, lo, hi;
    struct Cross {
        double x, sine;  // where an edge crosses, and |sin| of its angle with the line
    };
    std::vector<Cross> crossings;
};

struct Candidate {
    double x, y;
    double clearance;  // lower estimate of the distance to the rings, local units
    double aim2;       // squared distance to the aim point
};

// Distance from (x, y) to the segment a-b, all in local units.
double SegmentDistance(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

}  // namespace

bool innerPoint(const keloPolygon& polygon, double& x, double& y, double& z, double eps, int variant) {
    const int ringCount = polygon.GetRingsCount();
    std::vector<RingView> rings;
    std::vector<int> ringIndex;  // the polygon ring each view came from
    rings.reserve(static_cast<size_t>(std::max(ringCount, 0)));
    for (int r = 0; r < ringCount; ++r) {
        const keloParts* ring = polygon.GetOriginalRingAt(r);
        if (!ring) continue;
        rings.emplace_back();
        if (ReadRing(*ring, rings.back())) ringIndex.push_back(r);
        else rings.pop_back();
    }
    if (rings.empty()) return false;

    // Pass 1: the box, and the area centre taken about the first point with holes subtracted
    // whichever way each ring turns.
    const Point3D* o = nullptr;
    for (const Span& s : rings[0].spans)
        for (size_t i = 0; i < s.n && !o; ++i)
            if (FiniteXY(s.p[i])) o = s.p + i;
    const double ox = o->x, oy = o->y;
    double bx0 = kInf, by0 = kInf, bx1 = -kInf, by1 = -kInf;
    double ax = 0, ay = 0, aw = 0;
    for (size_t r = 0; r < rings.size(); ++r) {
        double rx = 0, ry = 0, rw = 0;
        ForEachEdge(rings[r], [&](const Point3D& a, const Point3D& b) {
            bx0 = std::min(bx0, a.x);
            bx1 = std::max(bx1, a.x);
            by0 = std::min(by0, a.y);
            by1 = std::max(by1, a.y);
            const double x0 = a.x - ox, y0 = a.y - oy, x1 = b.x - ox, y1 = b.y - oy;
            const double c = x0 * y1 - x1 * y0;
            rx += (x0 + x1) * c;
            ry += (y0 + y1) * c;
            rw += c;
        });
        const double sign = (rw < 0 ? -1.0 : 1.0) * (ringIndex[r] == 0 ? 1.0 : -1.0);
        ax += sign * rx;
        ay += sign * ry;
        aw += sign * 3 * rw;
    }
    if (!(bx0 <= bx1)) return false;  // no ring has an edge

    // Local coordinates about the box centre, scaled by a power of two (exact) to about [-1, 1], so
    // that projected coordinates in the millions do not eat the precision of the crossings.
    const double cx = bx0 + (bx1 - bx0) / 2, cy = by0 + (by1 - by0) / 2, w = bx1 - bx0, h = by1 - by0;
    const double half = std::max(w, h) / 2;
    if (!(half > 0) || !std::isfinite(half) || !(h > 0)) return false;
    int e = 0;
    std::frexp(half, &e);
    const double inv = std::ldexp(1.0, -e);
    const double epsLocal = eps > 0 && std::isfinite(eps) ? eps * inv : 0.0;
    const double yMin = (by0 - cy) * inv, yMax = (by1 - cy) * inv;

    const bool centroidVariant = variant == 1 && std::fabs(aw) > 1e-300 && std::isfinite(ax / aw) && std::isfinite(ay / aw);
    double aimX = 0, aimY = 0;
    if (centroidVariant) {
        aimX = ((ox - cx) + ax / aw) * inv;
        aimY = ((oy - cy) + ay / aw) * inv;
    }

    // Pass 2: aim heights spread over the box (plus the centre's for the centroid variant); each
    // gives the band between the nearest vertex heights below and above it.
    constexpr int kSpread = 16;
    std::vector<double> aims;
    for (int i = 0; i < kSpread; ++i) aims.push_back(yMin + (yMax - yMin) * (i + 0.5) / kSpread);
    if (centroidVariant) aims.push_back(std::clamp(aimY, yMin, yMax));
    std::sort(aims.begin(), aims.end());
    aims.erase(std::unique(aims.begin(), aims.end()), aims.end());
    const size_t K = aims.size();
    // Bucket b holds vertex heights in [aims[b-1], aims[b]).
    std::vector<double> bucketMax(K + 1, -kInf), bucketMin(K + 1, kInf);
    for (const RingView& ring : rings)
        for (const Span& s : ring.spans)
            for (size_t i = 0; i < s.n; ++i) {
                if (!FiniteXY(s.p[i])) continue;
                const double vy = (s.p[i].y - cy) * inv;
                const size_t b = static_cast<size_t>(std::upper_bound(aims.begin(), aims.end(), vy) - aims.begin());
                bucketMax[b] = std::max(bucketMax[b], vy);
                bucketMin[b] = std::min(bucketMin[b], vy);
            }
    std::vector<Line> lines;
    {
        std::vector<double> below(K), above(K);
        double run = -kInf;
        for (size_t j = 0; j < K; ++j) below[j] = run = std::max(run, bucketMax[j]);
        run = kInf;
        for (size_t j = K; j-- > 0;) above[j] = run = std::min(run, bucketMin[j + 1]);
        for (size_t j = 0; j < K; ++j) {
            if (!std::isfinite(below[j]) || !std::isfinite(above[j])) continue;
            const double mid = below[j] + (above[j] - below[j]) / 2;
            if (!(mid > below[j] && mid < above[j])) continue;
            if (!lines.empty() && lines.back().y == mid) continue;
            lines.push_back(Line{mid, below[j], above[j], {}});
        }
    }
    if (lines.empty()) return false;

    // Pass 3: where the edges cross the lines.
    for (const RingView& ring : rings)
        ForEachEdge(ring, [&](const Point3D& a, const Point3D& b) {
            const double x0 = (a.x - cx) * inv, y0 = (a.y - cy) * inv, x1 = (b.x - cx) * inv, y1 = (b.y - cy) * inv;
            const double lo = std::min(y0, y1), hi = std::max(y0, y1);
            auto it = std::lower_bound(lines.begin(), lines.end(), lo, [](const Line& l, double v) { return l.y < v; });
            for (; it != lines.end() && it->y < hi; ++it) {
                const double t = (it->y - y0) / (y1 - y0);
                const double dx = x1 - x0, dy = y1 - y0;
                it->crossings.push_back(Line::Cross{x0 + t * dx, std::fabs(dy) / std::hypot(dx, dy)});
            }
        });

    // Every run between paired crossings offers one point; its clearance is estimated from the
    // band and from the two edges that bound the run.
    std::vector<Candidate> cands;
    for (Line& l : lines) {
        std::sort(l.crossings.begin(), l.crossings.end(), [](const Line::Cross& a, const Line::Cross& b) { return a.x < b.x; });
        for (size_t i = 0; i + 1 < l.crossings.size(); i += 2) {
            const Line::Cross &c0 = l.crossings[i], &c1 = l.crossings[i + 1];
            const double width = c1.x - c0.x;
            if (!(width > 0)) continue;
            double px = c0.x + width / 2;
            if (centroidVariant && aimX - c0.x > width / 8 && c1.x - aimX > width / 8) px = aimX;
            const double clear = std::min({l.y - l.lo, l.hi - l.y, (px - c0.x) * c0.sine, (c1.x - px) * c1.sine});
            const double dx = px - aimX, dy = l.y - aimY;
            cands.push_back(Candidate{px, l.y, clear, dx * dx + dy * dy});
        }
    }
    if (cands.empty()) return false;
    // The label variants want room; the centroid variant wants the nearest point to the area centre
    // that still keeps eps from every ring, and room only when no point can.
    std::sort(cands.begin(), cands.end(), [&](const Candidate& a, const Candidate& b) {
        if (centroidVariant) {
            const bool ra = a.clearance >= epsLocal && a.clearance > 0, rb = b.clearance >= epsLocal && b.clearance > 0;
            if (ra != rb) return ra;
            if (ra) return a.aim2 < b.aim2;
        }
        return a.clearance > b.clearance;
    });

    // Pass 4: the exact distance of the rounded point to the rings; the estimate above ignores
    // edges away from the run ends, and rounding back to world coordinates may move the point.
    auto clearanceOf = [&](double qx, double qy) {
        double best = kInf;
        for (const RingView& ring : rings)
            ForEachEdge(ring, [&](const Point3D& a, const Point3D& b) {
                const double x0 = (a.x - cx) * inv, y0 = (a.y - cy) * inv, x1 = (b.x - cx) * inv, y1 = (b.y - cy) * inv;
                if (std::min(y0, y1) - qy >= best || qy - std::max(y0, y1) >= best || std::min(x0, x1) - qx >= best ||
                    qx - std::max(x0, x1) >= best)
                    return;
                best = std::min(best, SegmentDistance(qx, qy, x0, y0, x1, y1));
            });
        return best;
    };
    constexpr size_t kTries = 4;
    double bestX = 0, bestY = 0, bestClear = 0;
    bool found = false;
    for (size_t i = 0; i < cands.size() && i < kTries; ++i) {
        const double wx = cx + cands[i].x / inv, wy = cy + cands[i].y / inv;
        const double d = clearanceOf((wx - cx) * inv, (wy - cy) * inv);
        if (d > bestClear) {
            bestX = wx;
            bestY = wy;
            bestClear = d;
            found = true;
        }
        if (d >= epsLocal && d > 0) break;
    }
    if (!found) return false;  // every point tried lies on a ring after rounding
    x = bestX;
    y = bestY;
    z = polygon.GetH();
    return true;
}

}  // namespace kelo
