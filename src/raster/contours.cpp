// Contours are linked level by level: a sweep over the quads sorted by their lowest corner keeps
// only the quads that can cross the current level active, each active quad pairs its crossing
// edges (saddles by the shorter total length), and the pairs are walked into lines. Link arrays
// are stamped with the level instead of being cleared.
#include "raster/contours.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "companion/ui.h"
#include "raster/grid_detail.h"
#include "raster/nodata.h"

namespace kelo {

namespace {

struct Quad {
    int32_t cell;  // index of the top-left centre
    int32_t lo, hi;
};

class ContourLattice {
public:
    ContourLattice(const int32_t* dem, int cols, int rows)
        : dem_(dem), cols_(cols), rows_(rows), nodata_(GetNodata()) {
        const size_t edges = 2 * detail::GridCells(cols, rows);
        link1_.assign(edges, -1);
        link2_.assign(edges, -1);
        stamp_.assign(edges, 0);
        traced_.assign(edges, 0);
    }

    // Edge ends: horizontal edges go right, vertical edges down.
    void Ends(int32_t e, int& r, int& c, int& r2, int& c2) const {
        const int32_t cell = e >> 1;
        r = cell / cols_;
        c = cell % cols_;
        r2 = r + (e & 1);
        c2 = c + 1 - (e & 1);
    }
    bool Crosses(int32_t e, double h) const {
        int r, c, r2, c2;
        Ends(e, r, c, r2, c2);
        if (r2 >= rows_ || c2 >= cols_) return false;
        const int32_t a = At(r, c), b = At(r2, c2);
        if (a == nodata_ || b == nodata_) return false;
        return std::min(a, b) <= h && h <= std::max(a, b);
    }
    // Crossing point in lattice coordinates (x = column, y = row).
    Point3D Cut(int32_t e, double h) const {
        int r, c, r2, c2;
        Ends(e, r, c, r2, c2);
        const double a = At(r, c), b = At(r2, c2);
        const double t = (h - a) / (b - a);
        return {c + t * (c2 - c), r + t * (r2 - r), h};
    }

    // Pairs the crossing edges of the quad with top-left centre `cell` at level h (stamp > 0).
    void LinkQuad(int32_t cell, double h, uint16_t stamp) {
        const int32_t base = 2 * cell;
        const int32_t sides[4] = {base, base + 3, base + 2 * cols_, base + 1};  // top, right, bottom, left
        int32_t cross[4];
        int n = 0;
        for (int32_t e : sides)
            if (Crosses(e, h)) cross[n++] = e;
        if (n == 2) {
            Pair(cross[0], cross[1], stamp);
        } else if (n == 4) {
            Point3D p[4];
            for (int k = 0; k < 4; ++k) p[k] = Cut(cross[k], h);
            auto d = [&](int i, int j) { return std::hypot(p[i].x - p[j].x, p[i].y - p[j].y); };
            if (d(1, 2) + d(3, 0) < d(0, 1) + d(2, 3)) {
                Pair(cross[1], cross[2], stamp);
                Pair(cross[3], cross[0], stamp);
            } else {
                Pair(cross[0], cross[1], stamp);
                Pair(cross[2], cross[3], stamp);
            }
        }
    }
    bool Linked(int32_t e, uint16_t stamp) const { return stamp_[static_cast<size_t>(e)] == stamp && link1_[e] >= 0; }
    bool Traced(int32_t e, uint16_t stamp) const { return traced_[static_cast<size_t>(e)] == stamp; }

    // Walks the contour through edge s in both directions; lattice points, closed ones repeating
    // their first point.
    std::vector<Point3D> Trace(int32_t s, double h, uint16_t stamp) {
        std::vector<Point3D> pts{Cut(s, h)};
        traced_[s] = stamp;
        if (Walk(s, -1, h, stamp, pts)) return pts;
        if (link2_[s] >= 0) {
            std::reverse(pts.begin(), pts.end());
            Walk(s, link1_[s], h, stamp, pts);
        }
        return pts;
    }

private:
    int32_t At(int r, int c) const { return dem_[static_cast<size_t>(r) * cols_ + c]; }
    void Pair(int32_t a, int32_t b, uint16_t stamp) {
        Attach(a, b, stamp);
        Attach(b, a, stamp);
    }
    void Attach(int32_t e, int32_t other, uint16_t stamp) {
        if (stamp_[e] != stamp) {
            stamp_[e] = stamp;
            link1_[e] = link2_[e] = -1;
        }
        (link1_[e] < 0 ? link1_[e] : link2_[e]) = other;
    }
    // Returns true when the walk came back to its start (and closed the line).
    bool Walk(int32_t start, int32_t prev, double h, uint16_t stamp, std::vector<Point3D>& pts) {
        int32_t cur = start;
        for (;;) {
            int32_t next = link1_[cur] != prev ? link1_[cur] : link2_[cur];
            if (next < 0 || next == prev) return false;
            if (next == start) {
                pts.push_back(pts.front());
                return true;
            }
            if (traced_[next] == stamp) return false;
            traced_[next] = stamp;
            pts.push_back(Cut(next, h));
            prev = cur;
            cur = next;
        }
    }

    const int32_t* dem_;
    int cols_, rows_;
    int32_t nodata_;
    std::vector<int32_t> link1_, link2_;
    // Level stamps: at most 30000 levels, so 16 bits each keep the arrays small on large grids.
    std::vector<uint16_t> stamp_, traced_;
};

// Lattice points to world points with z in height units.
void ToWorld(std::vector<Point3D>& pts, double x0, double yTop, double cellX, double cellY, double zScale) {
    for (Point3D& p : pts) p = {x0 + (p.x + 0.5) * cellX, yTop - (p.y + 0.5) * cellY, (p.z - 0.5) / zScale};
}

bool LatticeFits(int cols, int rows) {
    return cols >= 2 && rows >= 2 &&
           static_cast<double>(cols) * rows * 2 + 2 * cols < static_cast<double>(std::numeric_limits<int32_t>::max());
}

}  // namespace

namespace detail {

void ThinContour(std::vector<Point3D>& points) {
    std::vector<Point3D> out;
    out.reserve(points.size());
    for (const Point3D& p : points) {
        while (out.size() >= 3) {
            const Point3D &a = out[out.size() - 2], &q = out.back();
            const double len = std::hypot(p.x - a.x, p.y - a.y);
            const double off = std::fabs((p.x - a.x) * (q.y - a.y) - (p.y - a.y) * (q.x - a.x));
            if (off > 0.001 * len * len) break;  // off / len is the distance from the chord
            out.pop_back();
        }
        out.push_back(p);
    }
    points.swap(out);
}

}  // namespace detail

int CreateDgxFromDem(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                     double interval, int zScale, ContourSink emit, void* user, double /*extra*/) {
    if (!dem || !LatticeFits(cols, rows)) return 0;
    const int32_t nodata = GetNodata();
    int32_t zmin = std::numeric_limits<int32_t>::max(), zmax = std::numeric_limits<int32_t>::min();
    for (size_t i = 0, n = detail::GridCells(cols, rows); i < n; ++i)
        if (dem[i] != nodata) {
            zmin = std::min(zmin, dem[i]);
            zmax = std::max(zmax, dem[i]);
        }
    const double step = std::floor(interval * zScale + 0.5);
    if (!(step > 0) || !std::isfinite(step)) return 0;
    if (zmin > zmax) return 1;  // nothing but nodata: no level
    const double first = std::ceil((zmin - 0.01) / step) * step + 0.5;
    const double last = std::floor((zmax - 0.01) / step) * step + 0.5;
    const double count = std::trunc((last - first) / step + 1.5);
    if (count > kMaxContourLevels) return 0;
    _LWaitMsg("initial");

    // Quads that cross at least one level, in the order of the first level they cross (their
    // lowest valid corner): a counting sort over the levels.
    const int levels = static_cast<int>(count);
    auto firstLevel = [&](int32_t lo) {
        return std::max(0.0, std::floor((lo - first) / step) + 1);  // first k with first + k step > lo
    };
    std::vector<Quad> crossing;
    std::vector<size_t> start(static_cast<size_t>(levels) + 1, 0);
    for (int r = 0; r + 1 < rows; ++r)
        for (int c = 0; c + 1 < cols; ++c) {
            const size_t i = static_cast<size_t>(r) * cols + c;
            const int32_t v[4] = {dem[i], dem[i + 1], dem[i + cols + 1], dem[i + cols]};
            int32_t lo = std::numeric_limits<int32_t>::max(), hi = std::numeric_limits<int32_t>::min();
            int valid = 0;
            for (int32_t z : v)
                if (z != nodata) {
                    ++valid;
                    lo = std::min(lo, z);
                    hi = std::max(hi, z);
                }
            if (valid < 2 || lo >= hi) continue;
            const double k = firstLevel(lo);
            if (k >= levels || first + k * step > hi) continue;
            crossing.push_back({static_cast<int32_t>(i), lo, hi});
            ++start[static_cast<size_t>(k) + 1];
        }
    for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    std::vector<Quad> quads(crossing.size());
    {
        std::vector<size_t> fill(start.begin(), start.end() - 1);
        for (const Quad& q : crossing) quads[fill[static_cast<size_t>(firstLevel(q.lo))]++] = q;
    }
    crossing.clear();
    crossing.shrink_to_fit();

    char caption[64];
    std::snprintf(caption, sizeof caption, "%0.0lf ", count);
    ContourLattice lattice(dem, cols, rows);
    std::vector<Quad> active;
    size_t joined = 0;
    uint16_t stamp = 0;
    for (double h = first; h <= last + 1e-8 && stamp < levels; h += step) {
        ++stamp;
        _LWaitReMsg(caption, stamp - 1);
        for (const size_t end = start[stamp]; joined < end;) active.push_back(quads[joined++]);
        active.erase(std::remove_if(active.begin(), active.end(), [h](const Quad& q) { return q.hi < h; }),
                     active.end());
        for (const Quad& q : active) lattice.LinkQuad(q.cell, h, stamp);
        for (const Quad& q : active) {
            const int32_t base = 2 * q.cell;
            for (int32_t e : {base, base + 3, base + 2 * cols, base + 1}) {
                if (!lattice.Linked(e, stamp) || lattice.Traced(e, stamp)) continue;
                std::vector<Point3D> line = lattice.Trace(e, h, stamp);
                detail::ThinContour(line);
                if (line.size() < 2) continue;
                ToWorld(line, x0, yTop, cellX, cellY, zScale);
                if (emit) emit(&line, user);
            }
        }
    }
    _LWaitMsgEnd();
    return 1;
}

int CreateOneDgxByPt(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                     double px, double py, std::vector<Point3D>& out, int zScale) {
    out.clear();
    if (!dem || !LatticeFits(cols, rows) || !(cellX > 0) || !(cellY > 0)) return 0;
    const double fr = std::floor((yTop - py) / cellY), fc = std::floor((px - x0) / cellX);
    if (!(fr >= 0 && fr < rows && fc >= 0 && fc < cols)) return 0;
    const int r = static_cast<int>(fr), c = static_cast<int>(fc);
    const int32_t nodata = GetNodata();
    const size_t i = static_cast<size_t>(r) * cols + c;
    const int32_t z = dem[i];
    if (z == nodata) return 0;
    int32_t edge;
    int32_t other;
    if (c + 1 < cols && dem[i + 1] != nodata) {
        edge = static_cast<int32_t>(2 * i);
        other = dem[i + 1];
    } else if (r + 1 < rows && dem[i + cols] != nodata) {
        edge = static_cast<int32_t>(2 * i + 1);
        other = dem[i + cols];
    } else {
        return 0;
    }
    if (std::llabs(static_cast<long long>(other) - z) < 1) return 0;
    const double h = z <= other ? z + 0.5 : z - 0.5;
    ContourLattice lattice(dem, cols, rows);
    for (int rr = 0; rr + 1 < rows; ++rr)
        for (int cc = 0; cc + 1 < cols; ++cc) lattice.LinkQuad(rr * cols + cc, h, 1);
    if (!lattice.Linked(edge, 1)) return 0;
    out = lattice.Trace(edge, h, 1);
    detail::ThinContour(out);
    ToWorld(out, x0, yTop, cellX, cellY, detail::SafeScale(zScale));
    if (out.size() < 2) {
        out.clear();
        return 0;
    }
    return 1;
}

}  // namespace kelo
