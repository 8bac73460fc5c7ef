// The area overlay. Both operands' rings are noded together and every face of the arrangement is
// classified by a point that certainly lies inside it: a face's area centre can fall outside a
// C-shaped or ring-shaped face, which would keep or drop the wrong face, so the interior-point
// routine is used instead. Faces never straddle an operand's boundary after noding, so one point
// decides for the whole face. Where kept faces are neighbours (union, and symmetric difference of
// operands sharing an edge) the edges between them cancel in an id toggle and the faces are traced
// again, so results come out as whole polygons rather than pieces of the arrangement.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/discrete.h"
#include "geometry/segment_runs.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "overlay/boolean_overlay.h"
#include "overlay/overlay_detail.h"
#include "overlay/straight_area_index.h"
#include "platform/huge_pages.h"
#include "relations/nine_intersection.h"

namespace kelo {

namespace detail {

void SetPolygons(GM_Object& g, PolygonList& polys) {
    g.DeleteContent();
    if (polys.empty()) return;
    if (polys.size() == 1) {
        g.type = wkbPolygon;
        g.polygon.ringCount = polys[0].ringCount;
        g.polygon.rings = polys[0].Detach();
        return;
    }
    g.type = wkbMultiPolygon;
    g.multiPolygon.polygonCount = static_cast<uint32_t>(polys.size());
    g.multiPolygon.polygons = new WKBPolygon[polys.size()];
    for (size_t i = 0; i < polys.size(); ++i) {
        g.multiPolygon.polygons[i].ringCount = polys[i].ringCount;
        g.multiPolygon.polygons[i].rings = polys[i].Detach();
    }
}

void AppendPolygons(const GM_Object& g, PolygonList& polys) {
    for (int i = 0; i < g.GetPolygonCount(); ++i) polys.push_back(*g.GetOriginalPolygonAt(i));
}

namespace {
bool HasRunOf(const WKBGeometry& g, bool (*pick)(klLineType)) {
    bool found = false;
    ForEachLine(g, [&](LineString& l) {
        for (uint32_t s = 0; s < l.partCount && l.parts; ++s) found = found || pick(l.parts[s].lineType);
    });
    return found;
}
}  // namespace

namespace {
// An arc that ends where it starts is a full circle through its middle point; the relations and
// the interior-point search read it as nothing, so it becomes two half circles.
void OpenClosedArcs(GM_Object& g) {
    ForEachLine(g, [](LineString& l) {
        for (uint32_t s = 0; s < l.partCount && l.parts; ++s) {
            CurveSegment& run = l.parts[s];
            if (run.lineType != klLT3PArc || run.pointCount < 3) continue;
            std::vector<Point3D> pts{run.points[0]};
            bool changed = false;
            for (uint32_t i = 0; i + 2 < run.pointCount; i += 2) {
                const Point3D &a = run.points[i], &m = run.points[i + 1], &b = run.points[i + 2];
                if (a.x == b.x && a.y == b.y && (a.x != m.x || a.y != m.y)) {
                    const double cx = (a.x + m.x) / 2, cy = (a.y + m.y) / 2, rx = a.x - cx, ry = a.y - cy;
                    pts.push_back({cx - ry, cy + rx, a.z});
                    pts.push_back(m);
                    pts.push_back({cx + ry, cy - rx, a.z});
                    changed = true;
                } else {
                    pts.push_back(m);
                }
                pts.push_back(b);
            }
            if (!changed) continue;
            delete[] run.points;
            run.points = new Point3D[pts.size()];
            std::copy(pts.begin(), pts.end(), run.points);
            run.pointCount = static_cast<uint32_t>(pts.size());
        }
    });
}
}  // namespace

bool MakeNodable(GM_Object& g) {
    OpenClosedArcs(g);
    bool curved = false;
    if (HasRunOf(g, [](klLineType t) { return t != klLTPolyline && t != klLT3PArc && t != klLT3PCircle; })) {
        g.Discrete(klDPSpline | klDPBezier | klDPEllipse);
        curved = true;
    }
    // Full circles are not segments the noding takes: they go to straight pieces.
    if (HasRunOf(g, [](klLineType t) { return t == klLT3PCircle; })) {
        g.Discrete(klDPArc);
        curved = true;
    }
    return curved;
}

}  // namespace detail

using detail::PolygonList;

namespace {

constexpr double kFineTol = 1e-8;

bool IsArea(const WKBGeometry* g) { return g && (g->type == wkbPolygon || g->type == wkbMultiPolygon); }

// An operand, indexed: a private copy with its curves other than arcs made straight or arc
// chains, or, when it has nothing but straight runs and so nothing to convert, the caller's
// record itself, only read (a million-vertex operand would otherwise be copied only to be read).
// An operand of a few rings of straight runs (large coastlines) is located through a light
// index over its own points; the relation engine's index, which copies every ring, is built
// where curves need it, and for many rings (a lake with thousands of islands), which it finds
// through their boxes where one index over all rings would scan whole rows of them.
constexpr int kFewRings = 32;

int RingCount(const WKBGeometry& g) {
    int n = 0;
    detail::ForEachLine(g, [&](LineString&) { ++n; });
    return n;
}

struct Operand {
    GM_Object obj;
    bool curved = false;
    bool borrowed = false;
    std::unique_ptr<CStraightAreaIndex> straight;
    mutable std::unique_ptr<C9iObjIndex> index;

    explicit Operand(const WKBGeometry& g) {
        borrowed = !detail::HasRunOf(g, [](klLineType t) { return t != klLTPolyline; });
        if (borrowed) {
            static_cast<WKBGeometry&>(obj) = g;  // shallow: the arrays stay the caller's
            if (RingCount(g) <= kFewRings) straight = std::make_unique<CStraightAreaIndex>(obj);
            else index = std::make_unique<C9iObjIndex>(&obj);
        } else {
            obj.Create(g);
            curved = detail::MakeNodable(obj);
            index = std::make_unique<C9iObjIndex>(&obj);
        }
    }
    ~Operand() {
        index.reset();
        straight.reset();
        if (borrowed) static_cast<WKBGeometry&>(obj) = WKBGeometry();
    }
    Operand(const Operand&) = delete;
    Operand& operator=(const Operand&) = delete;
    const C9iObjIndex& Index() const {
        if (!index) index = std::make_unique<C9iObjIndex>(&obj);
        return *index;
    }
    // The record's box, from the light index where it has one (another pass over a million
    // points otherwise).
    kelo::Box Box() const {
        kelo::Box box;
        return straight && straight->PointBox(box) ? box : obj.mbRegion();
    }
    // 2 inside, 1 on the boundary, 0 outside.
    int Where(const Point3D& p, double tol) const {
        if (straight) return straight->Where(p, tol);
        const int loc = index->Locate(p, tol);
        return loc == 0 ? 2 : loc == 1 ? 1 : 0;
    }
    void WhereAll(const std::vector<Point3D>& points, double tol, std::vector<int>& out) const {
        if (straight) return straight->WhereAll(points, tol, out);
        out.resize(points.size());
        for (size_t i = 0; i < points.size(); ++i) out[i] = Where(points[i], tol);
    }
};

size_t SegmentCount(const GM_Object& g) {
    size_t n = 0;
    detail::ForEachLine(g, [&](LineString& l) {
        for (uint32_t s = 0; s < l.partCount && l.parts; ++s)
            n += static_cast<size_t>(std::max(GetSegmentCount(static_cast<int>(l.parts[s].pointCount), l.parts[s].lineType), 0));
    });
    return n;
}

// Whether the boundaries of a and b come within tol of each other, through the operands' own
// ring indexes: ring pairs whose boxes meet come from a sweep over the ring boxes, and each
// segment of the shorter ring of a pair looks up its neighbours in the longer one's index. It
// stands in for the full relation of the two operands, whose ring-by-ring work grows with the
// square of the ring count (a lake with ten thousand islands), where only "touching or not" is
// needed, and it stops at the first contact. Two operands of a few straight rings ask their
// light indexes the same question.
bool BoundariesMeet(const Operand& a, const Operand& b, double tol) {
    if (a.straight && b.straight)
        return a.straight->SurelyMeets(*b.straight, tol) || b.straight->SurelyMeets(*a.straight, tol) || a.straight->Meets(*b.straight, tol);
    struct RingItem {
        const C9iPartsIndex* ring;
        bool fromB;
    };
    std::vector<RingItem> rings;
    for (const Operand* o : {&a, &b})
        for (int i = 0; i < o->Index().GetSize(); ++i)
            for (const C9iPartsIndex* r : o->Index().GetList(i))
                if (r && r->Segments() && r->GetSegmentCount() > 0) rings.push_back({r, o == &b});
    std::sort(rings.begin(), rings.end(), [](const RingItem& x, const RingItem& y) { return x.ring->GetBox().minx < y.ring->GetBox().minx; });
    std::vector<uint32_t> near;
    for (size_t k = 0; k < rings.size(); ++k) {
        const Box& bk = rings[k].ring->GetBox();
        for (size_t m = k + 1; m < rings.size() && rings[m].ring->GetBox().minx <= bk.maxx + tol; ++m) {
            if (rings[k].fromB == rings[m].fromB || !IsBoxIntersect(bk, rings[m].ring->GetBox(), tol)) continue;
            const C9iPartsIndex *walk = rings[k].ring, *look = rings[m].ring;
            if (walk->GetSegmentCount() > look->GetSegmentCount()) std::swap(walk, look);
            const detail::LineSegments& ws = *walk->Segments();
            const detail::LineSegments& ls = *look->Segments();
            const Box& lookBox = look->GetBox();
            for (size_t i = 0; i < ws.size(); ++i) {
                if (!IsBoxIntersect(ws.box(i), lookBox, tol)) continue;
                near.clear();
                look->SegmentsNear(ws.box(i), tol, near);
                for (uint32_t j : near) {
                    Point3D p, q;
                    if (ws[i].IntersectInfo(ls[j], p, q, tol) != 0) return true;
                }
            }
        }
    }
    return false;
}

// Clipping an operand to the region where the result can lie. An intersection lies within both
// operands' boxes and a difference within the first operand's, so edges beyond that region only
// add faces that are dropped; on large coastlines a quarter of the segments can lie there. The
// segments are cut to a rectangle a little larger than the region and the rectangle's own sides
// close the cut boundaries, so every face inside the region is exactly a face of the whole
// arrangement (faces are classified against the whole operands, never against the cut rings).
// The margin keeps the rectangle's sides and the cut points well away from every edge that
// bounds a kept face. Small operands go whole, and so do operands with less than an eighth of
// their points outside: the extra passes would cost more than they save.
constexpr size_t kClipMinSegments = 1000, kClipMinShare = 8;

// The part of segment a-b inside w, with each cut end exactly on the side it was cut at.
bool ClipSegment(const Point3D& a, const Point3D& b, const Box& w, Point3D out[2]) {
    if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) return false;
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t0 = 0, t1 = 1;
    int s0 = -1, s1 = -1;
    // The part where p * t <= q, for each side.
    auto side = [&](double p, double q, int s) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            if (r > t0) t0 = r, s0 = s;
        } else {
            if (r < t0) return false;
            if (r < t1) t1 = r, s1 = s;
        }
        return true;
    };
    if (!side(-dx, a.x - w.minx, 0) || !side(dx, w.maxx - a.x, 1) || !side(-dy, a.y - w.miny, 2) || !side(dy, w.maxy - a.y, 3) || !(t0 < t1))
        return false;
    auto at = [&](double t, int s) {
        if (s < 0) return t == 0 ? a : b;
        Point3D p{a.x + t * dx, a.y + t * dy, a.z + t * (b.z - a.z)};
        if (s == 0) p.x = w.minx;
        if (s == 1) p.x = w.maxx;
        if (s == 2) p.y = w.miny;
        if (s == 3) p.y = w.maxy;
        p.x = std::clamp(p.x, w.minx, w.maxx);
        p.y = std::clamp(p.y, w.miny, w.maxy);
        return p;
    };
    out[0] = at(t0, s0);
    out[1] = at(t1, s1);
    return true;
}

Box RunBox(const CurveSegment& run) {
    Box b;
    for (uint32_t i = 0; i < run.pointCount; ++i) b.add(run.points[i].x, run.points[i].y);
    return b;
}

bool Within(const Box& in, const Box& out) {
    return in.minx >= out.minx && in.maxx <= out.maxx && in.miny >= out.miny && in.maxy <= out.maxy;
}

// A run's segments. Straight runs go in through their points: the run's own segment views look
// up the run's kind and count again for every segment, a million times on a large operand.
void AddWhole(CKeloMakeArcPolygon& faces, CurveSegment& run) {
    if (run.lineType != klLTPolyline || !run.points) return faces.AddRun(run);
    for (uint32_t i = 0; i + 1 < run.pointCount; ++i) faces.Add(CsSegment(run.points + i, klLTPolyline));
}

// Adds g's segments as far as they lie in w; true when a segment was cut, so that the caller
// closes the cut boundaries with w's sides. Runs inside w go in whole and runs beyond it not at
// all.
bool AddClipped(CKeloMakeArcPolygon& faces, const GM_Object& g, const Box& w) {
    bool cut = false;
    detail::ForEachLine(g, [&](LineString& l) {
        for (uint32_t s = 0; s < l.partCount && l.parts; ++s) {
            CurveSegment& run = l.parts[s];
            if (!run.points || run.pointCount < 2 || run.lineType != klLTPolyline) {
                faces.AddRun(run);
                continue;
            }
            const Box rb = RunBox(run);
            if (Within(rb, w)) {
                AddWhole(faces, run);
                continue;
            }
            if (!IsBoxIntersect(rb, w, 0)) continue;
            Point3D piece[2];
            for (uint32_t i = 0; i + 1 < run.pointCount; ++i) {
                const Point3D &a = run.points[i], &b = run.points[i + 1];
                const bool aIn = a.x >= w.minx && a.x <= w.maxx && a.y >= w.miny && a.y <= w.maxy;
                const bool bIn = b.x >= w.minx && b.x <= w.maxx && b.y >= w.miny && b.y <= w.maxy;
                if (aIn && bIn) {
                    faces.Add(CsSegment(run.points + i, klLTPolyline));
                } else if (ClipSegment(a, b, w, piece)) {
                    faces.Add(CsSegment(piece, klLTPolyline));
                    cut = true;
                }
            }
        }
    });
    return cut;
}

void AddRectangle(CKeloMakeArcPolygon& faces, const Box& w) {
    const Point3D corner[5] = {{w.minx, w.miny, 0}, {w.maxx, w.miny, 0}, {w.maxx, w.maxy, 0}, {w.minx, w.maxy, 0}, {w.minx, w.miny, 0}};
    for (int i = 0; i < 4; ++i) {
        Point3D side[2] = {corner[i], corner[i + 1]};
        faces.Add(CsSegment(side, klLTPolyline));
    }
}

// Which results a face goes to, by where its point lies in A and B (split has three results,
// the others one). -1: dropped.
int SlotOf(uint32_t op, int ra, int rb) {
    const bool ia = ra == 2, ib = rb == 2;
    if (ia || ib) {
        switch (op) {
        case kBoolIntersection: return ia && ib ? 0 : -1;
        case kBoolUnion: return 0;
        case kBoolDifference: return ib ? -1 : 0;
        case kBoolSymDifference: return ia && ib ? -1 : 0;
        case kBoolSplit: return ia && ib ? 0 : ia ? 1 : 2;
        default: return -1;
        }
    }
    return op == kBoolUnion && (ra != 0 || rb != 0) ? 0 : -1;
}

// A point well inside the face: the interior-point routine keeps its distance from the rings
// where the face leaves room, so the point is off the operands' boundaries too.
bool FacePoint(const keloPolygon& face, double tol, Point3D& p) {
    double x = 0, y = 0, z = 0;
    if (!innerPoint(face, x, y, z, 2 * tol, 0)) return false;
    p = Point3D{x, y, 0};
    return true;
}

// The faces, built at tol; where the finer tolerance leaves pieces shorter than the coordinate
// tolerance, the edges are noded once more at the coordinate tolerance so that no needle faces
// come out.
std::unique_ptr<CKeloMakeArcPolygon> BuildFaces(std::unique_ptr<CKeloMakeArcPolygon> faces, double tol) {
    faces->Solve();
    if (tol + kFineTol >= g_epsZero) return faces;
    bool shortPiece = false;
    keloPoints arc;
    for (int i = 0; i < faces->GetArcCount() && !shortPiece; ++i) {
        faces->GetArc(i, arc);
        const Point3D &a = arc.points[0], &b = arc.points[arc.GetCount() - 1];
        shortPiece = std::hypot(b.x - a.x, b.y - a.y) <= g_epsZero;
    }
    if (!shortPiece) return faces;
    auto again = std::make_unique<CKeloMakeArcPolygon>(g_epsZero);
    for (int i = 0; i < faces->GetArcCount(); ++i) {
        faces->GetArc(i, arc);
        again->AddArc(&arc);
    }
    again->Solve();
    return again;
}

class AreaOverlay {
public:
    AreaOverlay(const WKBGeometry& a, const WKBGeometry& b, uint32_t op)
        : m_a(a), m_b(b), m_op(op == kBoolFineIntersection ? kBoolIntersection : op == kBoolFineDifference ? kBoolDifference : op),
          m_tol(op == kBoolFineIntersection || op == kBoolFineDifference ? kFineTol : g_epsZero) {}

    void Run(std::vector<GM_Object>& results) {
        std::vector<PolygonList> out(m_op == kBoolSplit ? 3 : 1);
        Compute(out);
        results.assign(out.size(), GM_Object());
        for (size_t i = 0; i < out.size(); ++i) detail::SetPolygons(results[i], out[i]);
    }

private:
    void Compute(std::vector<PolygonList>& out) {
        if (FastPath(out)) return;
        auto faces = std::make_unique<CKeloMakeArcPolygon>(m_tol);
        // Room for the pieces the noding cuts as well: pages not written cost nothing.
        const size_t segsA = SegmentCount(m_a.obj), segsB = SegmentCount(m_b.obj), edges = segsA + segsB;
        faces->Reserve(edges + edges / 4);
        Box region;
        const bool clipA = Clips(m_a, region, segsA, true), clipB = Clips(m_b, region, segsB, false);
        bool cut = false;
        for (const Operand* o : {&m_a, &m_b}) {
            if (o == &m_a ? clipA : clipB) {
                cut = AddClipped(*faces, o->obj, region) || cut;
                continue;
            }
            detail::ForEachLine(o->obj, [&](LineString& l) {
                for (uint32_t s = 0; s < l.partCount && l.parts; ++s) AddWhole(*faces, l.parts[s]);
            });
        }
        if (cut) AddRectangle(*faces, region);
        faces = BuildFaces(std::move(faces), m_tol);
        if (m_op == kBoolUnion || m_op == kBoolSymDifference) {
            Dissolve(*faces, Classify(*faces, nullptr), out[0]);
            return;
        }
        // The kept faces as built for their points: they are the result.
        std::vector<keloPolygon> kept;
        const std::vector<int> slot = Classify(*faces, &kept);
        for (size_t f = 0; f < slot.size(); ++f)
            if (slot[f] >= 0 && kept[f].GetRingsCount() > 0) out[static_cast<size_t>(slot[f])].push_back(std::move(kept[f]));
    }

    // Whether the operand is worth clipping, and to what: an intersection needs only what lies
    // in both operands' boxes, a difference only the part of the second within the first's box.
    // The region is widened by a margin of many tolerances plus a share of its size, so that
    // rounding at any coordinate magnitude stays far inside it.
    bool Clips(const Operand& o, Box& region, size_t segments, bool first) const {
        if (segments < kClipMinSegments || !o.borrowed) return false;
        if (m_op != kBoolIntersection && !(m_op == kBoolDifference && !first)) return false;
        const Box &ba = m_boxA, &bb = m_boxB;
        Box w = ba;
        if (m_op == kBoolIntersection) {
            w.minx = std::max(ba.minx, bb.minx), w.maxx = std::min(ba.maxx, bb.maxx);
            w.miny = std::max(ba.miny, bb.miny), w.maxy = std::min(ba.maxy, bb.maxy);
        }
        if (!(w.minx <= w.maxx && w.miny <= w.maxy)) return false;
        const double margin = 16 * std::max(m_tol, g_epsZero) + 1e-3 * std::max(w.maxx - w.minx, w.maxy - w.miny);
        w = Box(w.minx - margin, w.miny - margin, w.maxx + margin, w.maxy + margin);
        if (!std::isfinite(w.minx) || !std::isfinite(w.maxx) || !std::isfinite(w.miny) || !std::isfinite(w.maxy)) return false;
        region = w;
        if (Within(first ? ba : bb, w)) return false;
        // Cutting costs a pass and a rectangle's long sides in the noding: it pays only where a
        // real share of the operand lies outside.
        size_t outside = 0, all = 0;
        if (o.straight) return o.straight->CountOutside(w, all) * kClipMinShare >= all;
        detail::ForEachLine(o.obj, [&](LineString& l) {
            for (uint32_t s = 0; s < l.partCount && l.parts; ++s)
                for (uint32_t i = 0; i < l.parts[s].pointCount && l.parts[s].points; ++i) {
                    const Point3D& p = l.parts[s].points[i];
                    outside += p.x < w.minx || p.x > w.maxx || p.y < w.miny || p.y > w.maxy;
                    ++all;
                }
        });
        return outside * kClipMinShare >= all;
    }

    // Disjoint and strictly nested operands need no noding.
    bool FastPath(std::vector<PolygonList>& out) {
        m_boxA = m_a.Box(), m_boxB = m_b.Box();
        const Box &ba = m_boxA, &bb = m_boxB;
        const bool boxesApart = ba.maxx < bb.minx - m_tol || bb.maxx < ba.minx - m_tol || ba.maxy < bb.miny - m_tol ||
                                bb.maxy < ba.miny - m_tol;
        const int rel = boxesApart ? kl9iDisjoint : Nesting();
        if (rel == kl9iDisjoint) {
            switch (m_op) {
            case kBoolIntersection: break;
            case kBoolUnion:
            case kBoolSymDifference: Add(out[0], m_a.obj), Add(out[0], m_b.obj); break;
            case kBoolDifference: Add(out[0], m_a.obj); break;
            case kBoolSplit: Add(out[1], m_a.obj), Add(out[2], m_b.obj); break;
            }
            return true;
        }
        if (rel != kl9iInside) return false;
        const bool aOuter = m_aContainsB;
        const GM_Object& outer = aOuter ? m_a.obj : m_b.obj;
        const GM_Object& inner = aOuter ? m_b.obj : m_a.obj;
        // Holes of the inner operand would become islands with the outer's holes in them: that
        // arrangement is left to the general path.
        const bool punchable = HolesFree(inner);
        switch (m_op) {
        case kBoolIntersection: Add(out[0], inner); return true;
        case kBoolUnion: Add(out[0], outer); return true;
        case kBoolDifference:
            if (!aOuter) return true;  // the first lies inside the second: nothing is left
            if (!punchable) return false;
            Punch(out[0], outer, inner);
            return true;
        case kBoolSymDifference:
            if (!punchable) return false;
            Punch(out[0], outer, inner);
            return true;
        case kBoolSplit:
            if (!punchable) return false;
            Add(out[0], inner);
            Punch(out[aOuter ? 1 : 2], outer, inner);
            return true;
        }
        return false;
    }

    // Disjoint, one strictly inside the other, or neither (overlap), for operands whose boxes
    // meet. Without boundary contact every ring lies wholly inside or outside the other operand,
    // which one vertex tells: B lies in A when all of B's polygons start inside A and none of A's
    // rings (a hole of A that B would cover) lies inside B.
    int Nesting() {
        if (BoundariesMeet(m_a, m_b, m_tol)) return kl9iOverlap;
        struct Count {
            int outersOut = 0, ringsIn = 0;
        };
        auto count = [&](const GM_Object& g, const Operand& other) {
            Count c;
            for (int i = 0; i < g.GetPolygonCount(); ++i) {
                const keloPolygon* poly = g.GetOriginalPolygonAt(i);
                for (int r = 0; r < poly->GetRingsCount(); ++r) {
                    const Point3D* p = poly->GetOriginalRingAt(r)->GetPointByVertexAt(0);
                    if (!p) continue;
                    const bool in = other.Where(*p, m_tol) == 2;
                    c.ringsIn += in;
                    if (r == 0 && !in) ++c.outersOut;
                }
            }
            return c;
        };
        const Count a = count(m_a.obj, m_b), b = count(m_b.obj, m_a);
        if (a.ringsIn == 0 && b.ringsIn == 0) return kl9iDisjoint;
        if (b.outersOut == 0 && a.ringsIn == 0) {
            m_aContainsB = true;
            return kl9iInside;
        }
        if (a.outersOut == 0 && b.ringsIn == 0) {
            m_aContainsB = false;
            return kl9iInside;
        }
        return kl9iOverlap;
    }

    static bool HolesFree(const GM_Object& g) {
        for (int i = 0; i < g.GetPolygonCount(); ++i)
            if (g.GetOriginalPolygonAt(i)->GetRingsCount() > 1) return false;
        return true;
    }

    static void Add(PolygonList& to, const GM_Object& from) { detail::AppendPolygons(from, to); }

    // The outer operand with every inner polygon as a hole of the polygon holding it.
    static void Punch(PolygonList& to, const GM_Object& outer, const GM_Object& inner) {
        std::vector<keloPolygon> polys;
        for (int i = 0; i < outer.GetPolygonCount(); ++i) polys.push_back(*outer.GetOriginalPolygonAt(i));
        for (int j = 0; j < inner.GetPolygonCount(); ++j) {
            const keloParts* ring = inner.GetOriginalPolygonAt(j)->GetOriginalRingAt(0);
            if (!ring || ring->GetVertexCount() < 1) continue;
            const Point3D probe = *ring->GetPointByVertexAt(0);
            for (keloPolygon& p : polys)
                if (p.IsPointIn(probe, 0) == 1) {
                    keloParts hole(*ring);
                    if (!hole.IsClockwise()) hole.Reverse();
                    p.InsertRing(hole, 1);
                    break;
                }
        }
        GM_Object punched;
        detail::SetPolygons(punched, polys);
        punched.NormalizePolygons(kFineTol);
        detail::AppendPolygons(punched, to);
    }

    // Each bounded face's result slot (-1 dropped); kept, when given, receives the faces kept.
    // All faces' points are found first, so that each operand locates them together.
    std::vector<int> Classify(const CKeloMakeArcPolygon& faces, std::vector<keloPolygon>* kept) const {
        const size_t count = static_cast<size_t>(std::max(faces.GetPolygonCount() - 1, 0));
        std::vector<int> slot(count, -1);
        if (kept) kept->resize(count);
        std::vector<Point3D> points;
        std::vector<uint32_t> face;  // the face of each point
        std::vector<char> built(count, 0);
        keloPolygon poly;
        for (size_t f = 0; f < count; ++f) {
            const int i = static_cast<int>(f);
            // Most faces have a clear point beside an edge; building a face's rings only to find
            // a point in it costs more than the rest of its classification.
            Point3D p;
            if (!faces.GetClearPoint(i, 2 * m_tol, p)) {
                if (!faces.GetPolygon(i, poly) || !FacePoint(poly, m_tol, p)) continue;
                built[f] = 1;
                if (kept) (*kept)[f] = std::move(poly);
            }
            points.push_back(p);
            face.push_back(static_cast<uint32_t>(f));
        }
        std::vector<int> ra, rb;
        m_a.WhereAll(points, m_tol, ra);
        // Intersection and difference keep only faces inside A, and union keeps every face
        // inside A: B need not be asked otherwise.
        auto needB = [&](int inA) { return m_op == kBoolUnion ? inA != 2 : inA == 2 || (m_op != kBoolIntersection && m_op != kBoolDifference); };
        std::vector<Point3D> askB;
        for (size_t k = 0; k < points.size(); ++k)
            if (needB(ra[k])) askB.push_back(points[k]);
        m_b.WhereAll(askB, m_tol, rb);
        for (size_t k = 0, j = 0; k < points.size(); ++k) {
            const size_t f = face[k];
            slot[f] = SlotOf(m_op, ra[k], needB(ra[k]) ? rb[j++] : 0);
            if (!kept) continue;
            if (slot[f] < 0) (*kept)[f] = keloPolygon();
            else if (!built[f]) faces.GetPolygon(static_cast<int>(f), (*kept)[f]);
        }
        return slot;
    }

    // The kept faces with the edges between neighbouring kept faces taken out, traced again. A new
    // face is kept when it runs along one of its edges the way the kept face beside that edge
    // did; testing a point against the operands again could hit an edge that was taken out.
    // Vertices where the merged boundary now runs straight on (the ends of a shared edge) stay:
    // a third polygon of the same layer may have its corner there, and dropping the vertex would
    // open a sliver between the merged polygon and that neighbour.
    static void Dissolve(const CKeloMakeArcPolygon& faces, const std::vector<int>& slot, PolygonList& out) {
        // The summed directions of the kept faces along each arc: a face runs an arc at most once
        // each way, so they lie in -2..2. Bytes, for a million arcs are many pages.
        // The large lists here go to 2 MB pages: one fault each instead of one per 4 KB page.
        std::vector<int8_t> side = detail::HugeVector<int8_t>(static_cast<size_t>(faces.GetArcCount()), 0);
        std::vector<int> ids;
        detail::ReserveHuge(ids, 2 * side.size());  // no face runs more arcs than that
        for (size_t f = 0; f < slot.size(); ++f) {
            if (slot[f] < 0) continue;
            faces.GetPolygonArcs(static_cast<int>(f), ids);
            for (int id : ids) side[static_cast<size_t>(std::abs(id) - 1)] += static_cast<int8_t>(id > 0 ? 1 : -1);
        }
        CKeloMakeArcPolygon kept(faces.GetEps());
        // Sized first: grown push by push, a million-arc list would be copied a dozen times.
        std::vector<size_t> arcs;
        detail::ReserveHuge(arcs, side.size() - static_cast<size_t>(std::count(side.begin(), side.end(), 0)));
        for (size_t e = 0; e < side.size(); ++e)
            if (side[e] != 0) arcs.push_back(e);
        kept.AddArcsOf(faces, arcs);
        kept.SolveNoded();
        keloPolygon face;
        for (int f = 0; f + 1 < kept.GetPolygonCount(); ++f) {
            kept.GetPolygonArcs(f, ids);
            if (ids.empty() || (ids[0] > 0) != (side[arcs[static_cast<size_t>(std::abs(ids[0]) - 1)]] > 0)) continue;
            if (kept.GetPolygon(f, face)) out.push_back(std::move(face));
        }
    }

    Operand m_a, m_b;
    uint32_t m_op;
    double m_tol;
    bool m_aContainsB = false;
    Box m_boxA, m_boxB;  // the operands' boxes, found once
};

bool KnownArea(uint32_t op) {
    return op <= kBoolSymDifference || op == kBoolSplit || op == kBoolFineIntersection || op == kBoolFineDifference;
}

// The results are the overlay's own: their arrays change hands instead of being copied (a lake
// with ten thousand holes would otherwise be copied once more on the way out).
void AdoptPolygons(GM_Object& g, std::vector<WKBPolygon*>& out) {
    if (g.type == wkbPolygon) out.push_back(new WKBPolygon(g.polygon));
    if (g.type == wkbMultiPolygon) {
        for (uint32_t i = 0; i < g.multiPolygon.polygonCount; ++i) out.push_back(new WKBPolygon(g.multiPolygon.polygons[i]));
        delete[] g.multiPolygon.polygons;
    }
    static_cast<WKBGeometry&>(g) = WKBGeometry();
}

void Adopt(GM_Object& to, GM_Object& from) {
    to.DeleteContent();
    static_cast<WKBGeometry&>(to) = from;
    static_cast<WKBGeometry&>(from) = WKBGeometry();
}

}  // namespace

int BoolOp2DObjects(const WKBGeometry* a, const WKBGeometry* b, uint32_t op, std::vector<GM_Object>& out) {
    out.clear();
    if (!IsArea(a) || !IsArea(b) || !KnownArea(op)) return 0;
    EllipseAsArcsScope arcs;
    AreaOverlay overlay(*a, *b, op);
    overlay.Run(out);
    return 1;
}

int BoolOp2DGeometry(const WKBGeometry* a, const WKBGeometry* b, uint32_t op, std::vector<WKBPolygon*>& out) {
    std::vector<GM_Object> results;
    if (!BoolOp2DObjects(a, b, op, results)) return 0;
    for (GM_Object& r : results) AdoptPolygons(r, out);
    return 1;
}

int BoolOp2DGeometry(const GM_Object* a, const GM_Object* b, uint32_t op, GM_Object& out) {
    std::vector<GM_Object> results;
    if (!BoolOp2DObjects(a, b, op, results)) return 0;
    if (results[0].GetPolygonCount() > 0) Adopt(out, results[0]);
    return 1;
}

int BoolOp2D(const WKBPolygon* a, const WKBPolygon* b, uint32_t op, std::vector<WKBPolygon*>& out) {
    if (!a || !b) return 0;
    // Shallow wrappers: the records stay the caller's.
    WKBGeometry ga, gb;
    ga.type = gb.type = wkbPolygon;
    ga.polygon = *a;
    gb.polygon = *b;
    return BoolOp2DGeometry(&ga, &gb, op, out);
}

int BoolOpWKBGeometry(const WKBGeometry* a, const WKBGeometry* b, uint32_t op, std::vector<WKBGeometry*>& out) {
    if (!IsArea(a) || !IsArea(b)) {
        AfxMessageBox2(KELO_GBK("仅支持面与面的布尔操作\n线与线、与边界的布尔操作可使用线布尔").c_str());
        return 0;
    }
    for (WKBGeometry* g : out) FreeWKBGeometry(g);
    out.clear();
    std::vector<WKBPolygon*> polygons;
    const int ok = BoolOp2DGeometry(a, b, op, polygons);
    for (WKBPolygon* p : polygons) {
        auto* g = new WKBGeometry;
        g->type = wkbPolygon;
        g->polygon = *p;  // adopts the rings
        delete p;
        out.push_back(g);
    }
    return ok;
}

}  // namespace kelo
