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
    bool allFinite = false;
};

// Calls f(a, b) for every edge between consecutive finite points of the ring, the closing edge
// included; repeated points give no edge.
template <class F>
void ForEachEdge(const RingView& r, F&& f) {
    if (r.allFinite) {
        // Zero-length edges change none of the sums, crossings or distances taken from edges.
        const Point3D* prev = nullptr;
        for (const Span& s : r.spans) {
            if (prev) f(*prev, s.p[0]);
            for (size_t i = 1; i < s.n; ++i) f(s.p[i - 1], s.p[i]);
            prev = s.p + s.n - 1;
        }
        f(*prev, r.spans[0].p[0]);
        return;
    }
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

template <class F>
void ForEachEdgeOf(const std::vector<RingView>& rings, F&& f) {
    for (const RingView& r : rings) ForEachEdge(r, f);
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
    size_t total = 0;
    for (const Span& s : out.spans) {
        total += s.n;
        for (size_t i = 0; i < s.n; ++i) out.finite += FiniteXY(s.p[i]) ? 1 : 0;
    }
    out.allFinite = out.finite == total;
    return out.finite >= 3;  // a ring of one segment encloses nothing
}

// A scan line at a height that no vertex has.
struct Line {
    double y;
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

// Squared distance from (x, y) to the segment a-b, all in local units (about 1, so squares
// neither overflow nor vanish).
double SegmentDistance2(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / len2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    const double ex = x - (ax + t * dx), ey = y - (ay + t * dy);
    return ex * ex + ey * ey;
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
            if (variant != 1) return;
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

    // Pass 2: the aim heights, most promising first (the area centre's for the centroid variant,
    // then the middle and the quarters of the box); each gives the band between the nearest
    // vertex heights below and above it.
    std::vector<double> aims;
    if (centroidVariant) aims.push_back(std::clamp(aimY, yMin, yMax));
    for (double f : {0.5, 0.25, 0.75}) aims.push_back(yMin + (yMax - yMin) * f);
    std::vector<double> sorted = aims;
    std::sort(sorted.begin(), sorted.end());
    const size_t K = sorted.size();
    // Bucket b holds vertex heights in [sorted[b-1], sorted[b]).
    std::vector<double> bucketMax(K + 1, -kInf), bucketMin(K + 1, kInf);
    for (const RingView& ring : rings)
        for (const Span& s : ring.spans)
            for (size_t i = 0; i < s.n; ++i) {
                if (!FiniteXY(s.p[i])) continue;
                const double vy = (s.p[i].y - cy) * inv;
                size_t b = 0;
                while (b < K && sorted[b] <= vy) ++b;
                bucketMax[b] = std::max(bucketMax[b], vy);
                bucketMin[b] = std::min(bucketMin[b], vy);
            }
    std::vector<Line> lines;
    for (double aim : aims) {
        const size_t j = static_cast<size_t>(std::lower_bound(sorted.begin(), sorted.end(), aim) - sorted.begin());
        double below = -kInf, above = kInf;
        for (size_t b = 0; b <= j; ++b) below = std::max(below, bucketMax[b]);
        for (size_t b = j + 1; b <= K; ++b) above = std::min(above, bucketMin[b]);
        if (!std::isfinite(below) || !std::isfinite(above)) continue;
        const double mid = below + (above - below) / 2;
        if (!(mid > below && mid < above)) continue;
        bool seen = false;
        for (const Line& l : lines) seen = seen || l.y == mid;
        if (!seen) lines.push_back(Line{mid, {}});
    }
    if (lines.empty()) return false;

    // The exact distance of a point to the rings; the estimate of a run ignores edges away from
    // its ends, and rounding back to world coordinates may move the point.
    auto clearanceOf = [&](double qx, double qy) {
        double best = kInf, best2 = kInf;
        for (const RingView& ring : rings)
            ForEachEdge(ring, [&](const Point3D& a, const Point3D& b) {
                const double x0 = (a.x - cx) * inv, y0 = (a.y - cy) * inv, x1 = (b.x - cx) * inv, y1 = (b.y - cy) * inv;
                if (std::min(y0, y1) - qy >= best || qy - std::max(y0, y1) >= best || std::min(x0, x1) - qx >= best ||
                    qx - std::max(x0, x1) >= best)
                    return;
                const double d2 = SegmentDistance2(qx, qy, x0, y0, x1, y1);
                if (d2 < best2) {
                    best2 = d2;
                    best = std::sqrt(d2);
                }
            });
        return best;
    };

    // Lines are scanned one at a time (pass 3) until one offers a point with room: the label
    // variants want some room relative to the shape, the centroid variant eps.
    const double enough = centroidVariant ? epsLocal : std::max(epsLocal, 1e-3);
    constexpr size_t kTries = 4;
    double bestX = 0, bestY = 0, bestClear = 0;
    bool found = false;
    std::vector<Candidate> cands;
    for (Line& l : lines) {
        ForEachEdgeOf(rings, [&](const Point3D& a, const Point3D& b) {
            const double y0 = (a.y - cy) * inv, y1 = (b.y - cy) * inv;
            if ((y0 < l.y) == (y1 < l.y)) return;
            const double x0 = (a.x - cx) * inv, x1 = (b.x - cx) * inv;
            const double dx = x1 - x0, dy = y1 - y0;
            l.crossings.push_back(Line::Cross{x0 + (l.y - y0) / dy * dx, std::fabs(dy) / std::hypot(dx, dy)});
        });
        std::sort(l.crossings.begin(), l.crossings.end(), [](const Line::Cross& a, const Line::Cross& b) { return a.x < b.x; });
        // Every run between paired crossings offers one point; its clearance is estimated from
        // the two edges that bound the run (the exact check below sees every edge).
        cands.clear();
        for (size_t i = 0; i + 1 < l.crossings.size(); i += 2) {
            const Line::Cross &c0 = l.crossings[i], &c1 = l.crossings[i + 1];
            const double width = c1.x - c0.x;
            if (!(width > 0)) continue;
            double px = c0.x + width / 2;
            if (centroidVariant && aimX - c0.x > width / 8 && c1.x - aimX > width / 8) px = aimX;
            const double clear = std::min((px - c0.x) * c0.sine, (c1.x - px) * c1.sine);
            const double dx = px - aimX, dy = l.y - aimY;
            cands.push_back(Candidate{px, l.y, clear, dx * dx + dy * dy});
        }
        // The centroid variant wants the nearest point to the area centre that still keeps eps
        // from every ring, and room only when no point can; the others want room.
        auto better = [&](const Candidate& a, const Candidate& b) {
            if (centroidVariant) {
                const bool ra = a.clearance >= epsLocal && a.clearance > 0, rb = b.clearance >= epsLocal && b.clearance > 0;
                if (ra != rb) return ra;
                if (ra) return a.aim2 < b.aim2;
            }
            return a.clearance > b.clearance;
        };
        const size_t top = std::min(kTries, cands.size());
        std::partial_sort(cands.begin(), cands.begin() + static_cast<std::ptrdiff_t>(top), cands.end(), better);
        for (size_t i = 0; i < top; ++i) {
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
        if (found && bestClear >= enough) break;
    }
    if (!found) return false;  // every point tried lies on a ring after rounding
    x = bestX;
    y = bestY;
    z = polygon.GetH();
    return true;
}

}  // namespace kelo
