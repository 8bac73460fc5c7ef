#include "overlay/area_partition.h"

#include <algorithm>
#include <cmath>

#include "geometry/geometry_object.h"
#include "geometry/parts.h"
#include "overlay/arc_polygon.h"
#include "overlay/pinched_faces.h"
#include "transform/uniform_coordinate.h"

namespace kelo {

namespace {

struct Edge {
    double x0, y0, x1, y1;
};

// The polygon recentred, as directed edges: the first ring one way round, the holes the other, so
// the integral of y along all edges is the polygon's area whatever the stored orientation.
struct Frame {
    UniformCoordinate uc;
    std::vector<Point2D> vertices;
    std::vector<Edge> edges;
};

bool AllFinite(std::initializer_list<double> v) {
    return std::all_of(v.begin(), v.end(), [](double d) { return std::isfinite(d); });
}

bool BuildFrame(const keloPolygon* polygon, Frame& f) {
    if (!polygon || polygon->GetRingsCount() == 0) return false;
    for (int r = 0; r < polygon->GetRingsCount(); ++r) f.uc.Add(polygon->GetOriginalRingAt(r)->GetBox());
    if (!f.uc.Ready()) return false;
    for (int r = 0; r < polygon->GetRingsCount(); ++r) {
        const keloParts& ring = *polygon->GetOriginalRingAt(r);
        std::vector<Point2D> v;
        for (int k = 0; k < ring.GetPartsCount(); ++k) {
            const CurveSegment& run = ring.parts[k];
            if (run.pointCount < 2 || !run.points) continue;
            for (uint32_t i = 0; i + 1 < run.pointCount; ++i) {
                double x = run.points[i].x, y = run.points[i].y;
                if (!AllFinite({x, y})) return false;
                f.uc.Uniform(x, y);
                v.push_back({x, y});
            }
        }
        const size_t n = v.size();
        if (n == 0) continue;
        double s = 0;
        for (size_t i = 0; i < n; ++i) s += (v[(i + 1) % n].x - v[i].x) * (v[(i + 1) % n].y + v[i].y) * 0.5;
        const bool forward = (s > 0) == (r == 0);
        for (size_t i = 0; i < n; ++i) {
            const Point2D& a = v[i];
            const Point2D& b = forward ? v[(i + 1) % n] : v[(i + n - 1) % n];
            f.edges.push_back({a.x, a.y, b.x, b.y});
        }
        f.vertices.insert(f.vertices.end(), v.begin(), v.end());
    }
    return !f.edges.empty();
}

// The integral of min(y, h) over x along one edge.
double BelowLevel(const Edge& e, double h) {
    const double dx = e.x1 - e.x0;
    if (e.y0 <= h && e.y1 <= h) return (e.y0 + e.y1) * dx / 2;
    if (e.y0 >= h && e.y1 >= h) return h * dx;
    const double xc = ((h - e.y0) * e.x1 - (h - e.y1) * e.x0) / (e.y1 - e.y0);
    if (e.y0 < e.y1) return h * (e.x1 - xc) + (xc - e.x0) * (e.y0 + h) / 2;
    return h * (xc - e.x0) + (e.x1 - xc) * (e.y1 + h) / 2;
}

double AreaBelow(const std::vector<Edge>& edges, double h) {
    double a = 0;
    for (const Edge& e : edges) a += BelowLevel(e, h);
    return a;
}

// Rotation that turns direction theta into the +x axis, so the right-hand side lies below.
struct Turn {
    double c, s;
    explicit Turn(double theta) : c(std::cos(theta)), s(std::sin(theta)) {}
    void Apply(double& x, double& y) const {
        const double rx = x * c - y * s, ry = x * s + y * c;
        x = rx;
        y = ry;
    }
    void Undo(double& x, double& y) const {
        const double rx = x * c + y * s, ry = -x * s + y * c;
        x = rx;
        y = ry;
    }
};

std::vector<Edge> Rotated(const std::vector<Edge>& edges, const Turn& t) {
    std::vector<Edge> out(edges);
    for (Edge& e : out) {
        t.Apply(e.x0, e.y0);
        t.Apply(e.x1, e.y1);
    }
    return out;
}

// Area on the right of the line through (px, py) in direction d (recentred coordinates).
double AreaRightOf(const Frame& f, double px, double py, double d) {
    const Turn t(-d);
    t.Apply(px, py);
    return AreaBelow(Rotated(f.edges, t), py);
}

double TotalArea(const Frame& f) {
    double top = -1e100;
    for (const Edge& e : f.edges) top = std::max({top, e.y0, e.y1});
    return AreaBelow(f.edges, top);
}

bool Acceptable(const Frame& f, double area, double eps) { return eps < area && TotalArea(f) - eps > area; }

}  // namespace

double getAreaCutPolygon(const keloPolygon* polygon, double x1, double y1, double x2, double y2) {
    Frame f;
    if (!AllFinite({x1, y1, x2, y2}) || !BuildFrame(polygon, f)) return 0;
    f.uc.Uniform(x1, y1);
    f.uc.Uniform(x2, y2);
    const Turn t(-std::atan2(y2 - y1, x2 - x1));
    t.Apply(x1, y1);
    t.Apply(x2, y2);
    return AreaBelow(Rotated(f.edges, t), (y1 + y2) / 2);
}

int cutPolygonByAreaParallelMove(const keloPolygon* polygon, double x1, double y1, double x2, double y2, double area,
                                 double& ox1, double& oy1, double& ox2, double& oy2, double eps) {
    Frame f;
    if (!AllFinite({x1, y1, x2, y2, area, eps}) || !BuildFrame(polygon, f) || !Acceptable(f, area, eps)) return 0;
    if (!(std::abs(x1 - x2) > eps || std::abs(y1 - y2) > eps)) return 0;
    f.uc.Uniform(x1, y1);
    f.uc.Uniform(x2, y2);
    const Turn t(-std::atan2(y2 - y1, x2 - x1));
    const std::vector<Edge> edges = Rotated(f.edges, t);
    double lo = 1e100, hi = -1e100;
    for (const Edge& e : edges) {
        lo = std::min(lo, e.y0);
        hi = std::max(hi, e.y0);
    }
    for (int i = 0; i < 100; ++i) {
        const double h = (lo + hi) / 2;
        const double a = AreaBelow(edges, h);
        if (std::abs(a - area) <= eps * 0.001) break;
        (a < area ? lo : hi) = h;
    }
    const double level = (lo + hi) / 2;
    t.Apply(x1, y1);
    t.Apply(x2, y2);
    y1 = y2 = level;
    t.Undo(x1, y1);
    t.Undo(x2, y2);
    f.uc.UniformInv(x1, y1);
    f.uc.UniformInv(x2, y2);
    ox1 = x1;
    oy1 = y1;
    ox2 = x2;
    oy2 = y2;
    return 1;
}

int cutPolygonByAreaRotate(const keloPolygon* polygon, double px, double py, double qx, double qy, double area,
                           double& oqx, double& oqy, double eps) {
    Frame f;
    if (!AllFinite({px, py, qx, qy, area, eps}) || !BuildFrame(polygon, f) || !Acceptable(f, area, eps)) return 0;
    if (!(std::abs(px - qx) > eps || std::abs(py - qy) > eps)) return 0;
    const double length = std::hypot(qx - px, qy - py);
    f.uc.Uniform(px, py);
    f.uc.Uniform(qx, qy);
    const double theta0 = std::atan2(qy - py, qx - px);

    std::vector<double> dirs = {-M_PI, M_PI};
    for (const Point2D& v : f.vertices) {
        if (v.x == px && v.y == py) continue;
        const double d = std::atan2(v.y - py, v.x - px);
        dirs.push_back(d);
        dirs.push_back(d > 0 ? d - M_PI : d + M_PI);
    }
    std::sort(dirs.begin(), dirs.end());
    std::vector<double> cand;
    for (double d : dirs)
        if (cand.empty() || d > cand.back() + 0.06283185307179587) cand.push_back(d);
    std::vector<double> areas;
    for (double d : cand) areas.push_back(AreaRightOf(f, px, py, d));

    int best = -1;
    double bestGap = 0;
    for (size_t i = 0; i + 1 < cand.size(); ++i) {
        const double a = std::min(areas[i], areas[i + 1]), b = std::max(areas[i], areas[i + 1]);
        if (!(a <= area && area <= b)) continue;
        double gap = std::fmod(std::abs((cand[i] + cand[i + 1]) / 2 - theta0), 2 * M_PI);
        if (gap > M_PI) gap = 2 * M_PI - gap;
        if (best < 0 || gap < bestGap) {
            best = static_cast<int>(i);
            bestGap = gap;
        }
    }
    if (best < 0) return 0;
    double lo = cand[static_cast<size_t>(best)], hi = cand[static_cast<size_t>(best) + 1];
    double aLo = areas[static_cast<size_t>(best)];
    const double aHi = areas[static_cast<size_t>(best) + 1];
    const double tol = eps * 0.001;
    if (std::abs(aLo - area) <= tol) {
        hi = lo;  // the bracket's own end already cuts off the area
    } else if (std::abs(aHi - area) <= tol) {
        lo = hi;
    } else {
        for (int i = 0; i < 100; ++i) {
            const double mid = (lo + hi) / 2;
            const double a = AreaRightOf(f, px, py, mid);
            if (std::abs(a - area) <= tol) {
                lo = hi = mid;
                break;
            }
            if ((a < area) == (aLo < area)) {
                lo = mid;
                aLo = a;
            } else {
                hi = mid;
            }
        }
    }
    const double d = (lo + hi) / 2;
    double x = px + length * std::cos(d), y = py + length * std::sin(d);
    f.uc.UniformInv(x, y);
    oqx = x;
    oqy = y;
    return 1;
}

namespace {

double PolygonArea(const keloPolygon& p) {
    Frame f;
    return BuildFrame(&p, f) ? TotalArea(f) : 0;
}

struct Moved {
    int ring, run;
    uint32_t index;
};

}  // namespace

int changeAreaOfPolygon(keloPolygon* polygon, std::vector<Point3D>& points, double area, double tolerance) {
    if (!polygon || polygon->GetRingsCount() == 0 || !AllFinite({area, tolerance}) || area <= 0) return 0;
    const double now = PolygonArea(*polygon);
    const double allowed = std::max(1.0, area) * std::abs(tolerance);
    if (std::abs(now - area) <= allowed) return 1;
    if (now <= 0) return 0;
    if (points.empty()) {
        // Area grows with the square of a scale about the area centre.
        Point3D c{};
        GM_Object g(*polygon);
        if (!g.centroid3(c)) return 0;
        const double s = std::sqrt(area / now);
        for (int r = 0; r < polygon->GetRingsCount(); ++r) {
            keloParts& ring = *polygon->GetOriginalRingAt(r);
            for (int k = 0; k < ring.GetPartsCount(); ++k)
                for (uint32_t i = 0; i < ring.parts[k].pointCount; ++i) {
                    Point3D& p = ring.parts[k].points[i];
                    p.x = c.x + (p.x - c.x) * s;
                    p.y = c.y + (p.y - c.y) * s;
                }
        }
        return 1;
    }
    // Every stored copy of each named vertex moves, so rings stay closed and runs stay joined.
    const Box box = polygon->GetBox();
    const double size = std::max(box.maxx - box.minx, box.maxy - box.miny);
    const double match = std::max(size * 1e-6, 1e-9);
    std::vector<Moved> moved;
    std::vector<Point3D> origin;
    for (const Point3D& q : points) {
        bool found = false;
        for (int r = 0; r < polygon->GetRingsCount(); ++r) {
            keloParts& ring = *polygon->GetOriginalRingAt(r);
            for (int k = 0; k < ring.GetPartsCount(); ++k)
                for (uint32_t i = 0; i < ring.parts[k].pointCount; ++i)
                    if (std::hypot(ring.parts[k].points[i].x - q.x, ring.parts[k].points[i].y - q.y) <= match) {
                        moved.push_back({r, k, i});
                        origin.push_back(ring.parts[k].points[i]);
                        found = true;
                    }
        }
        if (!found) return 0;
    }
    double nx = 0, ny = 0;
    if (points.size() >= 2) {
        const double dx = points[1].x - points[0].x, dy = points[1].y - points[0].y, len = std::hypot(dx, dy);
        if (len > match) {
            nx = dy / len;
            ny = -dx / len;
        }
    }
    if (nx == 0 && ny == 0) {
        // One point, or two at one place: it moves away from the area centre.
        Point3D c{};
        GM_Object g(*polygon);
        g.centroid3(c);
        const double dx = points[0].x - c.x, dy = points[0].y - c.y, len = std::hypot(dx, dy);
        if (len <= match) return 0;
        nx = dx / len;
        ny = dy / len;
    }
    auto place = [&](double d) {
        for (size_t m = 0; m < moved.size(); ++m) {
            Point3D& p = polygon->GetOriginalRingAt(moved[m].ring)->parts[moved[m].run].points[moved[m].index];
            p.x = origin[m].x + d * nx;
            p.y = origin[m].y + d * ny;
        }
        return PolygonArea(*polygon) - area;
    };
    // Find an offset on the far side of the target, growing the step outward both ways.
    double lo = 0, flo = now - area, hi = 0, fhi = flo;
    bool bracketed = false;
    for (double step = std::max(size, match) * 1e-3; !bracketed && step < size * 1e3 + 1; step *= 2)
        for (double d : {step, -step}) {
            const double fd = place(d);
            if ((fd < 0) != (flo < 0)) {
                hi = d;
                fhi = fd;
                bracketed = true;
                break;
            }
        }
    if (bracketed) {
        for (int i = 0; i < 200; ++i) {
            const double mid = (lo + hi) / 2;
            const double fm = place(mid);
            if (std::abs(fm) <= allowed) {
                lo = hi = mid;
                break;
            }
            if ((fm < 0) == (flo < 0)) {
                lo = mid;
                flo = fm;
            } else {
                hi = mid;
                fhi = fm;
            }
        }
        const double fd = place((lo + hi) / 2);
        if (std::abs(fd) <= allowed) {
            for (size_t i = 0; i < points.size(); ++i) {
                points[i].x += (lo + hi) / 2 * nx;
                points[i].y += (lo + hi) / 2 * ny;
            }
            return 1;
        }
    }
    (void)fhi;
    place(0);
    return 0;
}

int cutPolygonByLine(const keloPolygon* polygon, double x1, double y1, double x2, double y2,
                     std::vector<GM_Object*>& out, double eps) {
    if (!polygon || polygon->GetRingsCount() == 0 || !AllFinite({x1, y1, x2, y2, eps})) return 0;
    if (std::hypot(x2 - x1, y2 - y1) <= std::max(eps, 0.0)) return 0;
    keloPolygon work(*polygon);
    UniformCoordinate uc;
    uc.Add(work.GetBox());
    if (!uc.Ready()) return 0;
    uc.Uniform(work);
    uc.Uniform(x1, y1);
    uc.Uniform(x2, y2);
    // The line reaches past the polygon's box both ways.
    const Box box = work.GetBox();
    const double reach = 2 * (std::hypot(box.maxx - box.minx, box.maxy - box.miny) + std::hypot(x1, y1) + 1);
    const double len = std::hypot(x2 - x1, y2 - y1), ux = (x2 - x1) / len, uy = (y2 - y1) / len;
    Point3D line[2] = {{x1 - ux * reach, y1 - uy * reach, kUnknownZ}, {x1 + ux * reach, y1 + uy * reach, kUnknownZ}};

    CKeloMakeArcPolygon faces(std::max(eps, 1e-12));
    for (int r = 0; r < work.GetRingsCount(); ++r) {
        const keloParts& ring = *work.GetOriginalRingAt(r);
        for (int k = 0; k < ring.GetPartsCount(); ++k) faces.AddArc(ring.GetOriginalPointsAt(k));
    }
    faces.Add(CsSegment(line, klLTPolyline));
    faces.Solve();
    int made = 0;
    for (int i = 0; i + 1 < faces.GetPolygonCount(); ++i) {
        keloPolygon piece;
        faces.GetPolygon(i, piece);
        double x = 0, y = 0, z = 0;
        if (!innerPoint(piece, x, y, z, 0, 0) || work.IsPointIn({x, y, 0}, 0) != 1) continue;
        std::vector<keloPolygon> split;
        detail::SplitPinchedFace(piece, std::max(eps, 1e-12), split);
        for (keloPolygon& part : split) {
            uc.UniformInv(part);
            out.push_back(new GM_Object(part));
            ++made;
        }
    }
    return made;
}

}  // namespace kelo
