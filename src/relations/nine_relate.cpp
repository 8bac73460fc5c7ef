// The nine-intersection matrix of two geometries. Every contact between the linework of A and of
// B (crossings, ends on segments, the ends of overlaps) splits the segments it lies on; between
// two splits a line keeps one location in the other geometry, so each stretch of a line or ring is
// located once, by its middle point. A stretch gives dimension 1 to its own cell, and where areas
// are involved the two sides of the stretch give dimension 2 to the cells of the areas they touch.
// The contact points, the free ends of lines and the points give dimension 0.
#include <algorithm>
#include <cmath>

#include "geometry/circle_arc.h"
#include "geometry/buckets.h"
#include "geometry/parts.h"
#include "geometry/segment_runs.h"
#include "relations/nine_detail.h"

namespace kelo::detail {

namespace {

bool FinitePt(const Point3D& p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool ByX(const Point3D& a, const Point3D& b) { return a.x < b.x; }

// Whether some point of a list sorted by x lies within tol of p.
bool NearAny(const std::vector<Point3D>& pts, const Point3D& p, double tol) {
    auto it = std::lower_bound(pts.begin(), pts.end(), Point3D{p.x - tol, 0, 0}, ByX);
    for (; it != pts.end() && it->x <= p.x + tol; ++it)
        if (pp_IsOverlap(&*it, &p, tol)) return true;
    return false;
}

// A segment read as a curve of parameter 0..1: the chord for straight segments (and arcs without
// a circle), the circle from start through middle to end for arcs.
struct Curve {
    Point3D a, b, c;
    double r = 0, start = 0, sweep = 0;
    bool arc = false;

    explicit Curve(const CsSegment& s) : a(*s.Head()), b(*s.Tail()) {
        if (s.Is3PArc()) arc = ArcSweep3P(s.points, c, r, start, sweep) && sweep != 0;
    }
    Point3D At(double t) const {
        if (!arc) return Point3D{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, 0};
        double th = start + sweep * t;
        return Point3D{c.x + r * std::cos(th), c.y + r * std::sin(th), 0};
    }
    // Direction of travel at t (not normalised).
    void Tangent(double t, double& tx, double& ty) const {
        if (!arc) {
            tx = b.x - a.x;
            ty = b.y - a.y;
            return;
        }
        double th = start + sweep * t, sgn = sweep > 0 ? 1.0 : -1.0;
        tx = -std::sin(th) * sgn;
        ty = std::cos(th) * sgn;
    }
    // Parameter of the point of the curve nearest to p.
    double Param(const Point3D& p) const {
        if (!arc) {
            double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
            if (l2 <= 0) return 0;
            return std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0);
        }
        const double twoPi = 2 * M_PI, span = std::fabs(sweep);
        double ang = std::atan2(p.y - c.y, p.x - c.x);
        double d = sweep > 0 ? ang - start : start - ang;
        d = std::fmod(std::fmod(d, twoPi) + twoPi, twoPi);
        if (d <= span) return d / span;
        return d - span > (twoPi - span) / 2 ? 0.0 : 1.0;
    }
};

struct FlatSeg {
    const CsSegment* seg;
    const Box* box;
};

// The line parts and rings of one side, in the order the walk takes them.
struct PartRef {
    const C9iPartsIndex* index;
    bool ring;
    bool leftInterior;
};

std::vector<PartRef> PartsOf(const RelGeom& g) {
    std::vector<PartRef> out;
    for (const auto& poly : g.polygons)
        for (const RelRing& r : poly) out.push_back({r.index, true, r.leftInterior});
    for (const C9iPartsIndex* l : g.lines) out.push_back({l, false, false});
    return out;
}

void Raise(int m[3][3], int row, int col, int dim) {
    if (m[row][col] < dim) m[row][col] = dim;
}

// Which side of the boundary of g's areas, near p on that boundary, is inside: true when the
// area lies on the left of the direction (tx, ty). The nearest ring segment decides.
bool AreaOnLeft(const RelGeom& g, const Point3D& p, double tol, double tx, double ty, bool& found) {
    found = false;
    double best = 0;
    bool left = false;
    for (size_t k = 0; k < g.polygons.size(); ++k) {
        if (!IsBoxIntersect(g.polygonBoxes[k], Box(p.x, p.y, p.x, p.y), tol)) continue;
        for (const RelRing& ring : g.polygons[k]) {
            double d = 0;
            Point3D foot;
            int i = ring.index->NearestSegment(p, tol, d, foot);
            if (i < 0 || (found && d >= best)) continue;
            const Curve cv(ring.index->GetSegmentById(static_cast<uint32_t>(i + 1)));
            double ux = 0, uy = 0;
            cv.Tangent(cv.Param(foot), ux, uy);
            const bool same = ux * tx + uy * ty > 0;
            found = true;
            best = d;
            left = same ? ring.leftInterior : !ring.leftInterior;
        }
    }
    return left;
}

// A contact on a segment: the segment's flat number and the parameter there.
using Split = std::pair<uint32_t, double>;

class Relater {
public:
    Relater(const RelGeom& a, const RelGeom& b, double tol, int m[3][3]) : a_(a), b_(b), tol_(tol), m_(m) {}

    void Run() {
        Flatten(a_, partsA_, flatA_, baseA_);
        Flatten(b_, partsB_, flatB_, baseB_);
        FindContacts();
        for (const Point3D& p : contacts_) Node(p, LineworkLoc(a_, p), LineworkLoc(b_, p));
        for (const Point3D& p : a_.lineEnds) Node(p, a_.Locate(p, tol_), b_.Locate(p, tol_));
        for (const Point3D& p : b_.lineEnds) Node(p, a_.Locate(p, tol_), b_.Locate(p, tol_));
        for (const Point3D& p : a_.points) Node(p, a_.Locate(p, tol_), b_.Locate(p, tol_));
        for (const Point3D& p : b_.points) Node(p, a_.Locate(p, tol_), b_.Locate(p, tol_));
        Walk(partsA_, flatA_, baseA_, splitsA_, b_, false);
        Walk(partsB_, flatB_, baseB_, splitsB_, a_, true);
    }

private:
    static void Flatten(const RelGeom& g, std::vector<PartRef>& parts, std::vector<FlatSeg>& flat, std::vector<size_t>& base) {
        parts = PartsOf(g);
        for (const PartRef& p : parts) {
            base.push_back(flat.size());
            const LineSegments* segs = p.index->Segments();
            if (!segs) continue;
            for (size_t i = 0; i < segs->size(); ++i) flat.push_back({&(*segs)[i], &segs->box(i)});
        }
        base.push_back(flat.size());
    }

    // Every segment of A asks the band index of each part of B for the segments near it.
    void FindContacts() {
        std::vector<uint32_t> near;
        for (size_t k = 0; k < partsB_.size(); ++k) {
            const C9iPartsIndex* part = partsB_[k].index;
            if (!IsBoxIntersect(part->GetBox(), a_.box, tol_)) continue;
            for (size_t i = 0; i < flatA_.size(); ++i) {
                const Box& box = *flatA_[i].box;
                if (!(box.minx <= box.maxx) || !IsBoxIntersect(box, part->GetBox(), tol_)) continue;
                near.clear();
                part->SegmentsNear(box, tol_, near);
                for (uint32_t j : near) Pair(i, baseB_[k] + j);
            }
        }
    }

    void Pair(size_t i, size_t j) {
        const FlatSeg &sa = flatA_[i], &sb = flatB_[j];
        Point3D p1, p2;
        const int code = sa.seg->IntersectInfo(*sb.seg, p1, p2, tol_);
        if (code == 0) return;
        auto add = [&](const Point3D& p) {
            if (!FinitePt(p)) return;
            contacts_.push_back(p);
            splitsA_.push_back({static_cast<uint32_t>(i), Curve(*sa.seg).Param(p)});
            splitsB_.push_back({static_cast<uint32_t>(j), Curve(*sb.seg).Param(p)});
        };
        if (IntersectInfoType(code, 1, nullptr, nullptr)) add(p1);
        if (IntersectInfoType(code, 0, nullptr, nullptr)) add(p2);
    }

    // Location of a point known to lie on g's linework.
    Loc LineworkLoc(const RelGeom& g, const Point3D& p) const {
        if (!g.lines.empty() && !g.HasAreas()) return g.IsLineEnd(p, tol_) ? kLocBoundary : kLocInterior;
        if (g.lines.empty() && g.HasAreas() && g.points.empty()) return kLocBoundary;
        return g.Locate(p, tol_);
    }

    void Node(const Point3D& p, Loc la, Loc lb) {
        if (FinitePt(p)) Raise(m_, la, lb, 0);
    }

    // Walks every part of self, locating each stretch between splits in other. flipped: self is B.
    void Walk(const std::vector<PartRef>& parts, const std::vector<FlatSeg>& flat, const std::vector<size_t>& base,
              std::vector<Split>& splits, const RelGeom& other, bool flipped) {
        std::sort(splits.begin(), splits.end());
        size_t cursor = 0;
        std::vector<double> ts;
        for (size_t k = 0; k < parts.size(); ++k) {
            const PartRef& part = parts[k];
            const Loc selfLoc = part.ring ? kLocBoundary : kLocInterior;
            Loc selfLeft = kLocExterior, selfRight = kLocExterior;
            if (part.ring) {
                selfLeft = part.leftInterior ? kLocInterior : kLocExterior;
                selfRight = part.leftInterior ? kLocExterior : kLocInterior;
            }
            bool newRun = true;
            for (size_t f = base[k]; f < base[k + 1]; ++f) {
                ts.clear();
                while (cursor < splits.size() && splits[cursor].first < f) ++cursor;
                for (; cursor < splits.size() && splits[cursor].first == f; ++cursor) ts.push_back(splits[cursor].second);
                const Curve cv(*flat[f].seg);
                if (!FinitePt(cv.a) || !FinitePt(cv.b)) {
                    newRun = true;
                    continue;
                }
                double t0 = 0;
                size_t s = 0;
                while (s < ts.size() && ts[s] <= 0) {
                    newRun = true;
                    ++s;
                }
                const bool endSplit = !ts.empty() && ts.back() >= 1;
                const bool moreSegs = f + 1 < base[k + 1];
                for (;;) {
                    const bool last = s >= ts.size() || ts[s] >= 1;
                    const double t1 = last ? 1.0 : ts[s];
                    // A short stretch that runs on into the next segment is located there instead,
                    // away from the contact it starts at.
                    const bool runsOn = last && moreSegs && !endSplit;
                    if (t1 > t0) Piece(cv, t0, t1, newRun, runsOn, selfLoc, selfLeft, selfRight, other, flipped);
                    if (last) break;
                    newRun = true;
                    t0 = t1;
                    ++s;
                }
                if (endSplit) newRun = true;
            }
        }
    }

    void Piece(const Curve& cv, double t0, double t1, bool& newRun, bool runsOn, Loc selfLoc, Loc selfLeft,
               Loc selfRight, const RelGeom& other, bool flipped) {
        if (!newRun) return;
        const Point3D p0 = cv.At(t0), p1 = cv.At(t1);
        const double len = std::hypot(p1.x - p0.x, p1.y - p0.y);
        // A stretch no longer than the tolerance lies wholly in the contact's neighbourhood.
        if (len <= tol_ || (runsOn && len <= 4 * tol_)) return;
        newRun = false;
        const double tm = (t0 + t1) / 2;
        const Point3D mid = cv.At(tm);
        // A stretch of line cannot lie in a point: only the other's areas and lines can hold it.
        Loc loc = other.HasAreas() ? other.LocateInAreas(mid, tol_) : kLocExterior;
        if (loc != kLocInterior && other.OnLines(mid, tol_)) loc = kLocInterior;
        Cell(selfLoc, loc, 1, flipped);
        if (!other.HasAreas() && selfLeft == kLocExterior && selfRight == kLocExterior) {
            return;
        }
        Loc otherLeft = kLocExterior, otherRight = kLocExterior;
        if (other.HasAreas()) {
            Loc areaLoc = other.lines.empty() ? loc : other.LocateInAreas(mid, tol_);
            if (areaLoc == kLocBoundary) {
                double tx = 0, ty = 0;
                cv.Tangent(tm, tx, ty);
                bool found = false;
                bool left = AreaOnLeft(other, mid, tol_, tx, ty, found);
                otherLeft = found && left ? kLocInterior : kLocExterior;
                otherRight = found && !left ? kLocInterior : kLocExterior;
            } else {
                otherLeft = otherRight = areaLoc;
            }
        }
        Cell(selfLeft, otherLeft, 2, flipped);
        Cell(selfRight, otherRight, 2, flipped);
    }

    void Cell(Loc self, Loc other, int dim, bool flipped) {
        if (self == kLocExterior && other == kLocExterior) return;
        if (flipped) Raise(m_, other, self, dim);
        else Raise(m_, self, other, dim);
    }

    const RelGeom& a_;
    const RelGeom& b_;
    const double tol_;
    int (*m_)[3];
    std::vector<PartRef> partsA_, partsB_;
    std::vector<FlatSeg> flatA_, flatB_;
    std::vector<size_t> baseA_, baseB_;
    std::vector<Split> splitsA_, splitsB_;
    std::vector<Point3D> contacts_;
};

}  // namespace

int RelGeom::Dimension() const {
    if (!polygons.empty()) return 2;
    if (!lines.empty()) return 1;
    if (!points.empty()) return 0;
    return -1;
}

size_t HoleGrid::Cell(double v, int axis) const {
    const double lo = axis ? box.miny : box.minx, hi = axis ? box.maxy : box.maxx;
    return BucketOf((v - lo) / (std::max(hi - lo, 1e-300) / double(side)), side);
}

namespace {

// Below this many holes trying each in turn is as quick as the grid.
constexpr size_t kFewHoles = 16;

void MakeHoleGrid(const std::vector<RelRing>& rings, const Box& box, HoleGrid& grid) {
    if (rings.size() <= kFewHoles) return;
    grid.box = box;
    grid.side = std::clamp<size_t>(static_cast<size_t>(std::sqrt(double(rings.size()))), 1, 512);
    grid.cells.resize(grid.side * grid.side);
    for (size_t h = 1; h < rings.size(); ++h) {
        const Box& b = rings[h].index->GetBox();
        for (size_t gy = grid.Cell(b.miny, 1); gy <= grid.Cell(b.maxy, 1); ++gy)
            for (size_t gx = grid.Cell(b.minx, 0); gx <= grid.Cell(b.maxx, 0); ++gx)
                grid.cells[gy * grid.side + gx].push_back(static_cast<uint32_t>(h));
    }
}

}  // namespace

void RelGeom::Finish() {
    holeGrids.assign(polygons.size(), HoleGrid{});
    for (size_t k = 0; k < polygons.size(); ++k) MakeHoleGrid(polygons[k], polygonBoxes[k], holeGrids[k]);
    std::sort(points.begin(), points.end(), ByX);
    std::sort(lineEnds.begin(), lineEnds.end(), ByX);
    box = Box();
    for (const Box& b : polygonBoxes)
        if (!b.IsEmpty()) box.add(b);
    for (const C9iPartsIndex* l : lines)
        if (!l->GetBox().IsEmpty()) box.add(l->GetBox());
    for (const Point3D& p : points)
        if (FinitePt(p)) box.add(p.x, p.y);
}

bool RelGeom::IsLineEnd(const Point3D& p, double tol) const { return NearAny(lineEnds, p, tol); }
bool RelGeom::IsPoint(const Point3D& p, double tol) const { return NearAny(points, p, tol); }

bool RelGeom::OnLines(const Point3D& p, double tol) const {
    for (const C9iPartsIndex* l : lines)
        if (l->PointOn(p, tol)) return true;
    return false;
}

Loc RelGeom::LocateInAreas(const Point3D& p, double tol) const {
    Loc best = kLocExterior;
    for (size_t k = 0; k < polygons.size(); ++k) {
        if (!IsBoxIntersect(polygonBoxes[k], Box(p.x, p.y, p.x, p.y), tol)) continue;
        const auto& rings = polygons[k];
        int on = 0;
        if (!rings[0].index->PointIn(p, tol, on)) {
            if (on) best = kLocBoundary;
            continue;
        }
        // The first hole holding the point, or passing through it, decides, in ring order.
        Loc here = kLocInterior;
        auto hole = [&](size_t h) {
            int onHole = 0;
            if (rings[h].index->PointIn(p, tol, onHole)) here = kLocExterior;
            else if (onHole) here = kLocBoundary;
            return here != kLocInterior;
        };
        const HoleGrid* grid = k < holeGrids.size() && !holeGrids[k].cells.empty() ? &holeGrids[k] : nullptr;
        if (!grid) {
            for (size_t h = 1; h < rings.size() && !hole(h); ++h) {}
        } else {
            // A hole is a candidate wherever its test could see the point: the cells of the
            // point's box grown by twice the tolerance, usually one.
            const double t = 2 * tol;
            const size_t x0 = grid->Cell(p.x - t, 0), x1 = grid->Cell(p.x + t, 0);
            const size_t y0 = grid->Cell(p.y - t, 1), y1 = grid->Cell(p.y + t, 1);
            if (x0 == x1 && y0 == y1) {
                for (uint32_t h : grid->cells[y0 * grid->side + x0])
                    if (hole(h)) break;
            } else {
                std::vector<uint32_t> near;
                for (size_t gy = y0; gy <= y1; ++gy)
                    for (size_t gx = x0; gx <= x1; ++gx) {
                        const auto& c = grid->cells[gy * grid->side + gx];
                        near.insert(near.end(), c.begin(), c.end());
                    }
                std::sort(near.begin(), near.end());
                near.erase(std::unique(near.begin(), near.end()), near.end());
                for (uint32_t h : near)
                    if (hole(h)) break;
            }
        }
        if (here == kLocInterior) return kLocInterior;
        if (here == kLocBoundary) best = kLocBoundary;
    }
    return best;
}

Loc RelGeom::Locate(const Point3D& p, double tol) const {
    if (!FinitePt(p)) return kLocExterior;
    Loc loc = HasAreas() ? LocateInAreas(p, tol) : kLocExterior;
    if (loc == kLocInterior) return loc;
    if (!lines.empty()) {
        if (IsLineEnd(p, tol)) loc = kLocBoundary;
        else if (OnLines(p, tol)) return kLocInterior;
    }
    if (loc != kLocExterior) return loc;
    return IsPoint(p, tol) ? kLocInterior : kLocExterior;
}

void AddPolygon(RelGeom& g, const std::vector<C9iPartsIndex*>& rings) {
    std::vector<RelRing> out;
    Box box;
    for (size_t k = 0; k < rings.size(); ++k) {
        const C9iPartsIndex* r = rings[k];
        if (r->GetSegmentCount() == 0) {
            if (k == 0) return;  // no outer ring, no area
            continue;
        }
        const double area = r->GetParts() ? r->GetParts()->GetArea() : 0;
        // Outer rings bound the area on their inner side, holes on their outer side.
        const bool ccw = area > 0;
        out.push_back({r, k == 0 ? ccw : !ccw});
        if (k == 0) box = r->GetBox();
    }
    if (out.empty() || box.IsEmpty()) return;
    g.polygons.push_back(std::move(out));
    g.polygonBoxes.push_back(box);
}

void AddLine(RelGeom& g, const C9iPartsIndex* line) {
    if (!line || line->GetSegmentCount() == 0) return;
    g.lines.push_back(line);
    const keloParts* parts = line->GetParts();
    if (parts && !parts->IsClosed()) {
        Point3D first{}, last{};
        if (parts->GetEndPoints(&first, &last)) {
            if (FinitePt(first)) g.lineEnds.push_back(first);
            if (FinitePt(last)) g.lineEnds.push_back(last);
        }
    }
}

void RelateMatrix(const RelGeom& a, const RelGeom& b, double tol, int m[3][3]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m[i][j] = -1;
    if (!std::isfinite(tol) || tol < 0) tol = 0;
    if (a.Empty() || b.Empty()) return;
    m[2][2] = 2;
    Relater(a, b, tol, m).Run();
}

void MatrixToDims(const int m[3][3], int dims[8]) {
    for (int k = 0; k < 8; ++k) dims[k] = m[k / 3][k % 3];
}

int DimsToCode(const int dims[8]) {
    int code = 0;
    for (int k = 0; k < 8; ++k)
        if (dims[k] >= 0) code |= 1 << k;
    return code;
}

}  // namespace kelo::detail
