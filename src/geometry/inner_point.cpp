// The interior point of a polygon: a point strictly inside the outer ring and outside every hole.
//
// A horizontal scan line that passes through no vertex meets the rings only in proper crossings;
// between consecutive crossings, taken in pairs, lies polygon interior (even-odd, which for rings
// that nest properly is inside-the-outer-and-outside-the-holes). The middle of such a run is
// strictly inside whatever the shape: concave, spiral or full of holes.
#include <algorithm>
#include <cmath>
#include <vector>

#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

struct Seg {
    double x0, y0, x1, y1;
};

struct Run {
    double x0 = 0, x1 = 0, y = 0;
    double width() const { return x1 - x0; }
};

// Interior runs of the scan line y (which must avoid every vertex y).
void RunsAt(const std::vector<Seg>& segs, double y, std::vector<double>& xs, std::vector<Run>& runs) {
    xs.clear();
    runs.clear();
    for (const Seg& s : segs) {
        if ((s.y0 < y) == (s.y1 < y)) continue;
        const double t = (y - s.y0) / (s.y1 - s.y0);
        xs.push_back(s.x0 + t * (s.x1 - s.x0));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) runs.push_back(Run{xs[i], xs[i + 1], y});
}

}  // namespace

bool innerPoint(const keloPolygon& polygon, double& x, double& y, double& z, double eps, int variant) {
    (void)eps;  // the middle of the widest run keeps the largest distance the scan can offer
    std::vector<std::vector<Point3D>> rings;
    Box box;
    for (int r = 0; r < polygon.GetRingsCount(); ++r) {
        const keloParts* ring = polygon.GetOriginalRingAt(r);
        if (!ring) continue;
        std::vector<Point3D> pts;
        ring->Discrete(pts, g_epsZero);  // curved parts become chords; straight ones stay as they are
        pts.erase(std::remove_if(pts.begin(), pts.end(),
                                 [](const Point3D& p) { return !std::isfinite(p.x) || !std::isfinite(p.y); }),
                  pts.end());
        if (pts.size() < 3) continue;  // a ring of one segment encloses nothing
        for (const Point3D& p : pts) box.add(p.x, p.y);
        rings.push_back(std::move(pts));
    }
    if (rings.empty() || box.IsEmpty()) return false;

    // Work in a range of about [-1, 1] so that projected coordinates in the millions do not
    // eat the precision of the crossings.
    double cx = 0, cy = 0, w = 0, h = 0;
    box.GetCenter(cx, cy);
    box.GetSize(w, h);
    const double s = std::max(w, h) / 2;
    if (!(s > 0) || !std::isfinite(s)) return false;
    std::vector<Seg> segs;
    std::vector<double> ys;
    double ax = 0, ay = 0, aw = 0;  // area centre, for the centroid variant
    for (const auto& ring : rings) {
        const size_t n = ring.size();
        for (size_t i = 0; i < n; ++i) {
            const Point3D& a = ring[i];
            const Point3D& b = ring[(i + 1) % n];  // closes an open ring by its chord
            const Seg sg{(a.x - cx) / s, (a.y - cy) / s, (b.x - cx) / s, (b.y - cy) / s};
            ys.push_back(sg.y0);
            if (sg.x0 == sg.x1 && sg.y0 == sg.y1) continue;
            segs.push_back(sg);
            const double c = sg.x0 * sg.y1 - sg.x1 * sg.y0;
            ax += (sg.x0 + sg.x1) * c;
            ay += (sg.y0 + sg.y1) * c;
            aw += 3 * c;
        }
    }
    if (segs.size() < 2) return false;
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    if (ys.size() < 2) return false;

    struct Gap {
        double y, height;
    };
    std::vector<Gap> gaps;
    gaps.reserve(ys.size());
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        const double mid = (ys[i] + ys[i + 1]) / 2;
        if (mid > ys[i] && mid < ys[i + 1]) gaps.push_back(Gap{mid, ys[i + 1] - ys[i]});
    }
    if (gaps.empty()) return false;

    // Scan lines: the gap at the aim height and its neighbours, and the tallest gaps, where
    // runs are least likely to be slivers.
    const bool centroidVariant = variant == 1 && std::fabs(aw) > 1e-300;
    const double aimX = centroidVariant ? ax / aw : 0.0;
    const double aimY = centroidVariant ? ay / aw : 0.0;
    std::vector<size_t> pick;
    const auto at = std::lower_bound(gaps.begin(), gaps.end(), aimY, [](const Gap& g, double v) { return g.y < v; });
    const size_t k = static_cast<size_t>(at - gaps.begin());
    for (size_t d = 0; d < 3; ++d) {
        if (k + d < gaps.size()) pick.push_back(k + d);
        if (k >= d + 1) pick.push_back(k - d - 1);
    }
    std::vector<size_t> order(gaps.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    const size_t tall = std::min<size_t>(8, order.size());
    std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(tall), order.end(),
                      [&](size_t a, size_t b) { return gaps[a].height > gaps[b].height; });
    pick.insert(pick.end(), order.begin(), order.begin() + static_cast<std::ptrdiff_t>(tall));

    std::vector<double> xs;
    std::vector<Run> runs;
    Run best;
    double bestScore = -1;
    bool found = false;
    for (size_t g : pick) {
        RunsAt(segs, gaps[g].y, xs, runs);
        for (const Run& r : runs) {
            if (!(r.width() > 0)) continue;
            double score = std::min(r.width(), 2 * gaps[g].height);
            if (centroidVariant) {
                // Closest run to the area centre wins; one holding it is at distance zero.
                const double dx = aimX < r.x0 ? r.x0 - aimX : aimX > r.x1 ? aimX - r.x1 : 0.0;
                score = -(dx * dx + (r.y - aimY) * (r.y - aimY));
            }
            if (!found || score > bestScore) {
                best = r;
                bestScore = score;
                found = true;
            }
        }
    }
    if (!found) return false;
    double px = (best.x0 + best.x1) / 2;
    if (centroidVariant && aimX > best.x0 && aimX < best.x1) {
        // Keep the centre's x when it is well inside the run, else fall back to the run's middle.
        const double margin = best.width() / 8;
        if (aimX - best.x0 > margin && best.x1 - aimX > margin) px = aimX;
    }
    x = cx + px * s;
    y = cy + best.y * s;
    z = polygon.GetH();
    return true;
}

}  // namespace kelo
