// Recovering arcs from straight runs: consecutive straight segments that follow one circle within
// the cleaning tolerance become three-point arcs, so lines that were discretised from arcs (or
// digitised along them) get their arcs back.
#include <algorithm>
#include <cmath>

#include "geometry/circle_arc.h"
#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"
#include "overlay/clean_base.h"
#include "relations/segment.h"

namespace kelo {

namespace {

struct ArcFit {
    double cx, cy, r, start, sweep;
};

// Whether the n points (n >= 4) follow one circle: every point within tol of it, every chord
// turning the same way about the centre and within tol of the arc it cuts off, half a turn at most
// in all. Half a turn keeps the three-point form well conditioned; a full circle becomes two arcs.
bool FitArc(const Point3D* q, int n, double tol, ArcFit& fit) {
    const int m = (n - 1) / 2;
    double cx, cy, r;
    if (!Circle3P(q[0].x, q[0].y, q[m].x, q[m].y, q[n - 1].x, q[n - 1].y, cx, cy, r)) return false;
    double sweep = 0;
    int sense = 0;
    for (int k = 0; k < n; ++k) {
        const double ax = q[k].x - cx, ay = q[k].y - cy;
        if (std::abs(std::hypot(ax, ay) - r) > tol) return false;
        if (k + 1 == n) break;
        const double bx = q[k + 1].x - cx, by = q[k + 1].y - cy;
        const double piece = std::atan2(ax * by - ay * bx, ax * bx + ay * by);
        const int s = piece > 0 ? 1 : piece < 0 ? -1 : 0;
        if (s == 0 || (sense != 0 && s != sense)) return false;
        sense = s;
        const double half = std::hypot(bx - ax, by - ay) / 2;
        if (r - std::sqrt(std::max(0.0, r * r - half * half)) > tol) return false;
        sweep += piece;
    }
    if (std::abs(sweep) > M_PI + 1e-9) return false;
    fit = {cx, cy, r, std::atan2(q[0].y - cy, q[0].x - cx), sweep};
    return true;
}

}  // namespace

int detail::ArclizeRun(const keloPoints& run, double tol, keloParts& out) {
    const Point3D* q = run.points;
    const int n = run.GetCount();
    std::vector<Point3D> straight;
    auto flush = [&]() {
        if (straight.size() >= 2) out.AddPointsTo(keloPoints(straight, klLTPolyline), -1);
        straight.clear();
    };
    int arcs = 0;
    for (int i = 0; i < n;) {
        int end = -1;
        ArcFit best{};
        for (int j = i + 3; j < n; ++j) {
            ArcFit f;
            if (!FitArc(q + i, j - i + 1, tol, f)) break;
            end = j;
            best = f;
        }
        // An arc that never leaves its chord by more than tol is a straight run and stays one.
        if (end > 0 && best.r * (1 - std::cos(best.sweep / 2)) > tol) {
            straight.push_back(q[i]);
            flush();
            const double mid = best.start + best.sweep / 2;
            Point3D arc[3] = {q[i], {best.cx + best.r * std::cos(mid), best.cy + best.r * std::sin(mid), (q[i].z + q[end].z) / 2},
                              q[end]};
            out.AddPointsTo(keloPoints(klLT3PArc, 3, arc), -1);
            ++arcs;
            i = end;
            continue;
        }
        straight.push_back(q[i]);
        ++i;
    }
    flush();
    return arcs;
}

int LineStringArclize(GM_Object* object) {
    if (object == nullptr) return 0;
    const wkbGeometryType t = object->GetType();
    const bool linesOrPolygons =
        t == wkbLineString || t == wkbPolygon || t == wkbMultiLineString || t == wkbMultiPolygon;
    if (!linesOrPolygons || object->bWithCurveEx()) return object->PutGMInOrder();
    const double tol = g_epsLimit;
    int arcs = 0;
    for (int k = 0; k < object->GetPartsCount(); ++k) {
        int isRing = 0;
        keloParts* line = object->GetOriginalPartsAt(&isRing, k);
        if (line == nullptr) continue;
        keloParts rebuilt;
        for (int s = 0; s < line->GetPartsCount(); ++s) {
            const keloPoints& run = *line->GetOriginalPointsAt(s);
            const bool straight = run.GetLineType() == klLTPolyline || run.GetLineType() == klLTNone;
            if (straight && run.GetCount() >= 4)  // an arc needs three segments to be told from a corner
                arcs += detail::ArclizeRun(run, tol, rebuilt);
            else if (run.GetCount() > 0)
                rebuilt.AddPointsTo(run, -1);
        }
        *line = std::move(rebuilt);
    }
    return arcs;
}

}  // namespace kelo
