// Multi-part lines: storage, parts, vertex numbering across parts, segments, transforms, measures.
#include "geometry/parts.h"
#include "overlay/rect_clip.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "geometry/circle_arc.h"
#include "geometry/convex_hull.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

keloPoints& View(CurveSegment& s) { return reinterpret_cast<keloPoints&>(s); }

// Puts n points into the run before its point `at` with one allocation; inserting them one at a
// time would copy the whole run once per point.
void InsertRunAt(CurveSegment& run, uint32_t at, const Point3D* pts, int n) {
    const size_t old = run.pointCount, add = static_cast<size_t>(n);
    auto* grown = new Point3D[old + add];
    if (at) std::memcpy(grown, run.points, sizeof(Point3D) * at);
    std::memcpy(grown + at, pts, sizeof(Point3D) * add);
    if (old > at) std::memcpy(grown + at + add, run.points + at, sizeof(Point3D) * (old - at));
    View(run).DeleteContent();
    run.points = grown;
    run.pointCount = static_cast<uint32_t>(old + add);
}

// Vertices a part adds after the parts before it: all its points for the first stored part, one
// fewer for the later ones (their first point is the joint).
int VertexSpan(const CurveSegment& s) { return s.pointCount ? static_cast<int>(s.pointCount) - 1 : 0; }

bool IsJoinable(klLineType t) {
    // Runs of these types stay the same curve when two of them are chained at a joint; splines do
    // not (their tangents depend on the neighbours) and a circle is whole by itself.
    return t == klLTPolyline || t == klLTBezier || t == klLT3PArc || t == klLTEllipse || t == klLTNone;
}

// Calls f(v, point) for every vertex in order, each at its first stored copy, in one pass over the
// parts (the per-vertex lookup would make whole-line scans quadratic).
template <class F>
void ForEachVertex(const keloParts& line, F f) {
    int count = line.GetVertexCount(), v = 0;
    bool first = true;
    for (int k = 0; k < line.GetPartsCount() && v < count; ++k) {
        const CurveSegment& s = line.parts[k];
        if (s.pointCount == 0) continue;
        for (uint32_t i = first ? 0 : 1; i < s.pointCount && v < count; ++i) f(v++, s.points[i]);
        first = false;
    }
}

// Distance to the trailing half arc of an even arc run: the piece between its last two points of
// the circle through its last three (their chord when they are collinear or too few).
double DistanceToTrailingHalfArc(const Point3D* pts, int n, const Point3D& q, Point3D& foot) {
    const Point3D &a = pts[n - 2], &b = pts[n - 1];
    Point3D c;
    double r, start, sweep;
    if (n < 3 || !ArcSweep3P(pts + n - 3, c, r, start, sweep)) return DistanceToSegment(a, b, q, &foot);
    double from = std::atan2(a.y - c.y, a.x - c.x);
    double piece = std::remainder(start + sweep - from, 2 * M_PI);
    if (sweep > 0 && piece < 0) piece += 2 * M_PI;
    if (sweep < 0 && piece > 0) piece -= 2 * M_PI;
    double rho = std::hypot(q.x - c.x, q.y - c.y);
    double angle = std::atan2(q.y - c.y, q.x - c.x);
    if (rho > 0 && AngleOnArc(angle, from, piece, 0.0)) {
        foot = {c.x + r * std::cos(angle), c.y + r * std::sin(angle), kUnknownZ};
        return std::abs(rho - r);
    }
    double da = PointPointDistance(&a, &q), db = PointPointDistance(&b, &q);
    foot = da <= db ? a : b;
    return std::min(da, db);
}

}  // namespace

// ---- construction and ownership ------------------------------------------------------------

keloParts::keloParts(const LineString* record) : keloParts() {
    if (record) CopyWKBLineString(*this, *record);
}

keloParts::keloParts(int count, const keloPoints* parts) : keloParts() {
    if (count <= 0 || !parts) return;
    this->parts = new CurveSegment[count]();
    partCount = static_cast<uint32_t>(count);
    for (int i = 0; i < count; ++i) CopyCurveSegment(this->parts[i], parts[i]);
}

keloParts::keloParts(const std::vector<Point3D>& pts, klLineType type) : keloParts() {
    Create(static_cast<int>(pts.size()), pts.data(), type);
}

keloParts::keloParts(const keloPoints& part) : keloParts() { Create(part); }

keloParts::keloParts(const keloParts& other) : keloParts() { CopyWKBLineString(*this, other); }

keloParts::keloParts(keloParts&& other) noexcept : LineString(other) {
    other.partCount = 0;
    other.parts = nullptr;
}

keloParts::~keloParts() { DeleteContent(); }

keloParts& keloParts::operator=(const keloParts& other) { return *this = static_cast<const LineString&>(other); }

keloParts& keloParts::operator=(const LineString& other) {
    if (this == &other) return *this;
    LineString copy{0, nullptr};
    CopyWKBLineString(copy, other);
    DeleteContent();
    static_cast<LineString&>(*this) = copy;
    return *this;
}

keloParts& keloParts::operator=(keloParts&& other) noexcept {
    if (this != &other) {
        DeleteContent();
        static_cast<LineString&>(*this) = other;
        other.partCount = 0;
        other.parts = nullptr;
    }
    return *this;
}

int keloParts::Create(int count, const CurveSegment* src) {
    partCount = 0;
    parts = nullptr;
    if (count <= 0 || !src) return 0;
    LineString view{static_cast<uint32_t>(count), const_cast<CurveSegment*>(src)};
    CopyWKBLineString(*this, view);
    return 1;
}

int keloParts::Create(int count, const Point3D* pts, klLineType type) {
    partCount = 0;
    parts = nullptr;
    if (count < 1 || !pts) return 0;
    parts = new CurveSegment[1]();
    partCount = 1;
    View(parts[0]).Create(type, count, pts);
    return 1;
}

int keloParts::Create(const keloPoints& part) {
    partCount = 0;
    parts = nullptr;
    parts = new CurveSegment[1]();
    partCount = 1;
    CopyCurveSegment(parts[0], part);
    return 1;
}

void keloParts::Attach(int count, CurveSegment* src) {
    DeleteContent();
    if (count <= 0 || !src) return;
    parts = src;
    partCount = static_cast<uint32_t>(count);
}

CurveSegment* keloParts::Detach() {
    CurveSegment* p = parts;
    parts = nullptr;
    partCount = 0;
    return p;
}

void keloParts::DeleteContent() { DeleteWKBLineString(this); }

// ---- parts ---------------------------------------------------------------------------------

keloPoints* keloParts::GetOriginalPointsAt(int i) const {
    if (i < 0 || i >= GetPartsCount() || !parts) return nullptr;
    return &View(parts[i]);
}

int keloParts::GetPointsAt(keloPoints& out, int i) const {
    keloPoints* p = GetOriginalPointsAt(i);
    if (!p) return 0;
    out = static_cast<const CurveSegment&>(*p);
    return 1;
}

keloPoints* keloParts::GetPointsAt(int i) const {
    keloPoints* p = GetOriginalPointsAt(i);
    if (!p) return nullptr;
    auto* copy = new keloPoints;
    *copy = static_cast<const CurveSegment&>(*p);
    return copy;
}

int keloParts::InsertPointsAt(const keloPoints& part, int i) {
    int n = GetPartsCount();
    if (i < 0 || i > n) i = n;
    auto* grown = new CurveSegment[n + 1]();
    for (int k = 0; k < i; ++k) grown[k] = parts[k];
    CopyCurveSegment(grown[i], part);
    for (int k = i; k < n; ++k) grown[k + 1] = parts[k];
    delete[] parts;
    parts = grown;
    partCount = static_cast<uint32_t>(n + 1);
    return 1;
}

int keloParts::ReplacePointsAt(const keloPoints& part, int i) {
    keloPoints* p = GetOriginalPointsAt(i);
    if (!p) return 0;
    *p = static_cast<const CurveSegment&>(part);
    return 1;
}

int keloParts::DeletePointsAt(int i) {
    int n = GetPartsCount();
    if (i < 0 || i >= n) return 0;
    DeleteCurveSegment(&parts[i]);
    if (n == 1) {
        delete[] parts;
        parts = nullptr;
        partCount = 0;
        return 1;
    }
    std::memmove(parts + i, parts + i + 1, sizeof(CurveSegment) * static_cast<size_t>(n - i - 1));
    --partCount;
    return 1;
}

int keloParts::Combine(const keloParts& other) {
    if (other.partCount == 0 || !other.parts) return 0;
    if (&other == this) {
        keloParts copy(other);
        return Combine(copy);
    }
    for (uint32_t i = 0; i < other.partCount; ++i) InsertPointsAt(View(other.parts[i]), -1);
    return 1;
}

int keloParts::AddPointsTo(const keloPoints& run, int i) {
    int n = GetPartsCount();
    if (n == 0) return InsertPointsAt(run, 0);
    if (i < 0 || i >= n) i = n - 1;
    keloPoints& part = View(parts[i]);
    bool merge = part.GetLineType() == run.GetLineType() && IsJoinable(run.GetLineType()) && part.GetCount() > 0 &&
                 run.GetCount() > 1 &&
                 PointOverlap(&part[part.GetCount() - 1], &run[0], kEpsInner) == True;
    // A three-point arc chain ending on a half arc cannot take more arcs after it.
    if (merge && part.IsArc() && part.GetCount() % 2 == 0) merge = false;
    if (!merge) return InsertPointsAt(run, i + 1);
    part.AddPoints(run.GetCount() - 1, run.points + 1);
    return 1;
}

int keloParts::InsertPointArray(const std::vector<Point3D>& pts, klLineType type) {
    if (pts.empty()) return 0;
    keloPoints run(type, static_cast<int>(pts.size()), pts.data());
    return InsertPointsAt(run, -1);
}

int keloParts::InsertPoint(const Point3D& p) {
    if (partCount == 0) return Create(1, &p, klLTPolyline);
    return View(parts[partCount - 1]).AddPoint(p);
}

int keloParts::AddPtsAtTerminal(int end, const Point3D* pts, int n) {
    if (n <= 0 || !pts) return 0;
    if (partCount == 0) return Create(n, pts, klLTPolyline);
    if (end == 0) {
        keloPoints& first = View(parts[0]);
        if (first.GetLineType() == klLTPolyline || first.GetCount() == 0) {
            InsertRunAt(parts[0], 0, pts, n);
            return 1;
        }
        // A curved first part keeps its shape: the new points form a straight part ending at it.
        std::vector<Point3D> run(pts, pts + n);
        run.push_back(first[0]);
        keloPoints lead(run, klLTPolyline);
        return InsertPointsAt(lead, 0);
    }
    keloPoints& last = View(parts[partCount - 1]);
    if (last.GetLineType() == klLTPolyline || last.GetCount() == 0) return last.AddPoints(n, pts);
    std::vector<Point3D> run;
    run.push_back(last[last.GetCount() - 1]);
    run.insert(run.end(), pts, pts + n);
    keloPoints tail(run, klLTPolyline);
    return InsertPointsAt(tail, -1);
}

int keloParts::InsertPtsIntoSegAt(int seg, const Point3D* pts, int n) {
    int local;
    keloPoints* part = GetPointsWithSegAt(seg, local);
    if (!part || n <= 0 || !pts) return 0;
    if (part->GetLineType() != klLTPolyline && part->GetLineType() != klLTNone) return 0;
    InsertRunAt(*part, static_cast<uint32_t>(std::clamp(local + 1, 0, part->GetCount())), pts, n);
    return 1;
}

// ---- points and vertices --------------------------------------------------------------------

int keloParts::GetAuxPointCount() const {
    int n = 0;
    for (uint32_t i = 0; i < partCount; ++i) n += static_cast<int>(parts[i].pointCount);
    return n;
}

int keloParts::GetVertexCount() const {
    int stored = 0, n = 0;
    for (uint32_t i = 0; i < partCount; ++i) {
        stored += static_cast<int>(parts[i].pointCount);
        n += VertexSpan(parts[i]);
    }
    if (stored == 0) return 0;
    ++n;  // the first point of the line
    if (IsClosed() && n > 1) --n;
    return n;
}

int keloParts::GetVertexAt(int part, int index) const {
    if (part < 0 || part >= GetPartsCount() || index < 0 || index >= static_cast<int>(parts[part].pointCount))
        return -1;
    int base = 0;
    for (int k = 0; k < part; ++k) base += VertexSpan(parts[k]);
    int v = base + index;
    if (part == GetPartsCount() - 1 && index == static_cast<int>(parts[part].pointCount) - 1 && IsClosed()) v = 0;
    return v;
}

bool keloParts::LocateVertex(int v, int& part, int& index) const {
    if (v < 0 || v >= GetVertexCount()) return false;
    int base = 0;
    for (int k = 0; k < GetPartsCount(); ++k) {
        int n = static_cast<int>(parts[k].pointCount);
        if (n && v - base < n) {
            part = k;
            index = v - base;
            return true;
        }
        base += VertexSpan(parts[k]);
    }
    return false;
}

Point3D* keloParts::GetPointByVertexAt(int v, int* part, int* index) const {
    int k, i;
    if (!LocateVertex(v, k, i)) return nullptr;
    if (part) *part = k;
    if (index) *index = i;
    return &parts[k].points[i];
}

int keloParts::GetAllVertex(std::vector<Point3D>& out) const {
    int n = 0;
    ForEachVertex(*this, [&](int, const Point3D& p) {
        out.push_back(p);
        ++n;
    });
    return n;
}

int keloParts::GetAllOriginalPoint(std::vector<Point3D>& out) const {
    for (uint32_t i = 0; i < partCount; ++i)
        if (parts[i].pointCount) out.insert(out.end(), parts[i].points, parts[i].points + parts[i].pointCount);
    return GetAuxPointCount();
}

int keloParts::GetLeftRightPointsAtVertex(int v, int& lpart, int& lindex, int& rpart, int& rindex) const {
    if (!LocateVertex(v, lpart, lindex)) return 0;
    rpart = lpart;
    rindex = lindex;
    int last = static_cast<int>(parts[lpart].pointCount) - 1;
    if (lindex == last) {
        // A joint: the right copy starts the next stored part; the closing vertex wraps to part 0.
        for (int k = lpart + 1; k < GetPartsCount(); ++k)
            if (parts[k].pointCount) {
                rpart = k;
                rindex = 0;
                return 1;
            }
    }
    if (v == 0 && IsClosed()) {
        // Vertex 0 of a closed line is also the last point of the last part.
        for (int k = GetPartsCount() - 1; k >= 0; --k)
            if (parts[k].pointCount) {
                lpart = k;
                lindex = static_cast<int>(parts[k].pointCount) - 1;
                break;
            }
    }
    return 1;
}

int keloParts::ReplaceVertexAt(int v, const Point3D& p) {
    int lp, li, rp, ri;
    if (!GetLeftRightPointsAtVertex(v, lp, li, rp, ri)) return 0;
    parts[lp].points[li] = p;
    parts[rp].points[ri] = p;
    return 1;
}

bool keloParts::SetVertexZ(int v, double z) {
    int lp, li, rp, ri;
    if (!GetLeftRightPointsAtVertex(v, lp, li, rp, ri)) return false;
    parts[lp].points[li].z = z;
    parts[rp].points[ri].z = z;
    return true;
}

int keloParts::DeleteVertexAt(int v) {
    int lp, li, rp, ri;
    if (!GetLeftRightPointsAtVertex(v, lp, li, rp, ri)) return 0;
    bool closed = IsClosed();
    if (v == 0 && closed) {
        // Remove the start of a ring and close it again on the new start.
        View(parts[rp]).DeletePointAt(ri);
        View(parts[lp]).DeletePointAt(static_cast<int>(parts[lp].pointCount) - 1);
        if (parts[rp].pointCount) {
            Point3D start = parts[rp].points[0];
            if (lp < GetPartsCount() && parts[lp].pointCount) View(parts[lp]).AddPoint(start);
        }
    } else if (lp != rp || li != ri) {
        // A joint: the earlier part loses its end and the later one starts where the earlier now ends.
        View(parts[lp]).DeletePointAt(li);
        if (parts[lp].pointCount) parts[rp].points[ri] = parts[lp].points[parts[lp].pointCount - 1];
        else View(parts[rp]).DeletePointAt(ri);
    } else {
        View(parts[lp]).DeletePointAt(li);
    }
    // Parts that no longer hold a segment go, unless the line would lose its last part.
    for (int k = GetPartsCount() - 1; k >= 0 && GetPartsCount() > 1; --k)
        if (parts[k].pointCount < 2) DeletePointsAt(k);
    return 1;
}

int keloParts::DeleteVertextFromAt(int from, int to) {
    if (from > to) std::swap(from, to);
    if (from < 0 || to >= GetVertexCount()) return 0;
    for (int k = from; k <= to; ++k)
        if (!DeleteVertexAt(from)) return 0;
    return 1;
}

int keloParts::GetSubPartsFromVertexAt(int from, int to, keloParts& out) const {
    int fp, fi, tp, ti;
    if (from > to || !LocateVertex(from, fp, fi) || !LocateVertex(to, tp, ti)) return 0;
    out.DeleteContent();
    for (int k = fp; k <= tp; ++k) {
        const CurveSegment& s = parts[k];
        int a = k == fp ? fi : 0;
        int b = k == tp ? ti : static_cast<int>(s.pointCount) - 1;
        if (b - a + 1 < 1) continue;
        if (b == a && fp != tp) continue;  // just a joint, already held by the neighbouring run
        keloPoints run(s.lineType, b - a + 1, s.points + a);
        if (run.GetCount() < 2 || (run.IsArc() && run.GetCount() < 3)) run.SetLineType(klLTPolyline);
        out.InsertPointsAt(run, -1);
    }
    return out.GetPartsCount() ? 1 : 0;
}

int keloParts::SearchVertexAtNearPt(const Point3D& p, double& dist) const {
    int best = -1;
    double bestD = std::numeric_limits<double>::infinity();
    ForEachVertex(*this, [&](int v, const Point3D& q) {
        double d = PointPointDistance(&q, &p);
        if (d < bestD) {
            bestD = d;
            best = v;
        }
    });
    if (best >= 0) dist = bestD;
    return best;
}

keloPoint keloParts::GetCorner(int i, int& seg) const {
    seg = -1;
    keloPoint best;
    Box box = GetBox();
    if (box.IsEmpty()) return best;
    Point3D target = box.GetCorner(i);
    double bestD = std::numeric_limits<double>::infinity();
    int n = GetSegmentCount();
    for (int s = 0; s < n; ++s) {
        const Point3D* head = GetSegmentAt(s);
        double d = PointPointDistanceSqual(head, &target);
        if (d < bestD) {
            bestD = d;
            best = *head;
            seg = s;
        }
    }
    Point3D last;
    if (!IsClosed() && GetEndPoints(nullptr, &last)) {
        if (PointPointDistanceSqual(&last, &target) < bestD) {
            best = last;
            seg = n;
        }
    }
    return best;
}

bool keloParts::IsCorner(int i) const {
    int seg;
    GetCorner(i, seg);
    return seg == 0;
}

// ---- segments ------------------------------------------------------------------------------

int keloParts::GetSegmentCount() const {
    int n = 0;
    for (uint32_t i = 0; i < partCount; ++i) n += View(parts[i]).GetSegmentCount();
    return n;
}

keloPoints* keloParts::GetPointsWithSegAt(int i, int& local) const {
    if (i < 0) return nullptr;
    for (uint32_t k = 0; k < partCount; ++k) {
        int n = View(parts[k]).GetSegmentCount();
        if (i < n) {
            local = i;
            return &View(parts[k]);
        }
        i -= n;
    }
    return nullptr;
}

Point3D* keloParts::GetSegmentAt(int i) const {
    int local;
    keloPoints* part = GetPointsWithSegAt(i, local);
    return part ? part->GetSegment(local) : nullptr;
}

int keloParts::GetPrevSegment(int i) const {
    int n = GetSegmentCount();
    if (i < 0 || i >= n) return -1;
    if (i > 0) return i - 1;
    return IsClosed() ? n - 1 : -1;
}

int keloParts::GetNextSegment(int i) const {
    int n = GetSegmentCount();
    if (i < 0 || i >= n) return -1;
    if (i + 1 < n) return i + 1;
    return IsClosed() ? 0 : -1;
}

int keloParts::GetNearbySegment(int i, int& prev, int& next) const {
    prev = GetPrevSegment(i);
    next = GetNextSegment(i);
    return (prev >= 0 ? 1 : 0) + (next >= 0 ? 1 : 0);
}

int keloParts::GetSideSegAt(int v, int side) const {
    int lp, li, rp, ri;
    if (!GetLeftRightPointsAtVertex(v, lp, li, rp, ri)) return -1;
    auto firstSegOf = [&](int part) {
        int base = 0;
        for (int k = 0; k < part; ++k) base += View(parts[k]).GetSegmentCount();
        return base;
    };
    if (side == 0) {
        const keloPoints& run = View(parts[lp]);
        if (li == 0) return -1;
        int local = run.IsArc() ? (li - 1) / 2 : li - 1;
        // The last point of an even arc chain closes a half arc that no segment covers.
        return local < run.GetSegmentCount() ? firstSegOf(lp) + local : -1;
    }
    const keloPoints& run = View(parts[rp]);
    int local = run.GetSegAtByPointAt(ri);
    if (ri < run.GetCount() - 1 && local < run.GetSegmentCount()) return firstSegOf(rp) + local;
    return IsClosed() && GetSegmentCount() > 0 ? 0 : -1;
}

int keloParts::GetVertexAtSegment(int i) const {
    int local;
    keloPoints* part = GetPointsWithSegAt(i, local);
    if (!part) return -1;
    int k = static_cast<int>(part - &View(parts[0]));
    return GetVertexAt(k, part->GetSegPointAt(local));
}

int keloParts::SearchSegAtNearPt(const Point3D& p, double& dist) const {
    int best = -1, base = 0;
    double bestD = std::numeric_limits<double>::infinity();
    for (uint32_t k = 0; k < partCount; ++k) {
        const keloPoints& part = View(parts[k]);
        SearchSegResult r;
        if (part.SearchNearestLine(r, p, std::numeric_limits<double>::max(), 1) && r.distance < bestD) {
            bestD = r.distance;
            // Curved runs report their curve segment: map it to the first stored segment it covers.
            int seg = r.index;
            if (part.IsBezier()) seg *= 3;
            else if (part.IsEllipse()) seg *= 4;
            best = base + std::min(seg, std::max(part.GetSegmentCount() - 1, 0));
        }
        base += part.GetSegmentCount();
    }
    if (best >= 0) dist = bestD;
    return best;
}

// ---- whole line ------------------------------------------------------------------------------

Box keloParts::GetBox() const {
    Box box;
    for (uint32_t i = 0; i < partCount; ++i)
        if (parts[i].pointCount) box.add(View(parts[i]).GetBox());
    return box;
}

double keloParts::GetPerimeter() const {
    double len = 0;
    for (uint32_t i = 0; i < partCount; ++i) len += View(parts[i]).GetPerimeter();
    return len;
}

bool keloParts::IsClosed() const {
    if (partCount == 0 || !parts) return false;
    if (partCount == 1 && parts[0].pointCount < 3) return false;
    if (partCount == 1 && parts[0].lineType == klLT3PCircle) return true;
    Point3D first, last;
    return GetEndPoints(&first, &last) && PointOverlap(&first, &last, kEpsInner) == True;
}

int keloParts::Reverse() {
    for (uint32_t i = 0; i < partCount; ++i) View(parts[i]).ReversePoint();
    if (partCount > 1) std::reverse(parts, parts + partCount);
    return 1;
}

int keloParts::MakeClose() {
    Point3D first, last;
    if (!GetEndPoints(&first, &last) || IsClosed()) return 0;
    // The first point joins the last run whatever its type, so the closing piece follows that run's
    // curve (a trailing half arc, the last Bezier piece, a closed spline) as stored records expect.
    return View(parts[partCount - 1]).AddPoint(first);
}

Point3D* keloParts::GetStartPoint(int i) const {
    keloPoints* part = GetOriginalPointsAt(i);
    return part && part->GetCount() ? &(*part)[0] : nullptr;
}

int keloParts::GetEndPoints(Point3D* first, Point3D* last) const {
    if (partCount == 0 || !parts) return 0;
    const CurveSegment &a = parts[0], &b = parts[partCount - 1];
    if (a.pointCount == 0 || b.pointCount == 0) return 0;
    if (first) *first = a.points[0];
    if (last) *last = b.points[b.pointCount - 1];
    return 1;
}

bool keloParts::bWithCurve() const {
    for (uint32_t i = 0; i < partCount; ++i)
        if (parts[i].lineType != klLTPolyline) return true;
    return false;
}

bool keloParts::bWithCurveEx() const {
    for (uint32_t i = 0; i < partCount; ++i)
        if (View(parts[i]).IsCurveEx()) return true;
    return false;
}

int keloParts::PointOn(const Point3D& p, double eps) const {
    return RingPointTest(this, p.x, p.y, eps) == -1 ? 1 : 0;
}

int keloParts::PointInside(const Point3D& p, double eps) const {
    return RingPointTest(this, p.x, p.y, eps) == 1 ? 1 : 0;
}

double keloParts::DistanceWithPoint(const Point3D& p, Point3D* foot) const {
    double best = std::numeric_limits<double>::infinity();
    for (uint32_t k = 0; k < partCount; ++k) {
        const keloPoints& part = View(parts[k]);
        int n = part.GetCount();
        if (n == 1) {
            double d = PointPointDistance(&part[0], &p);
            if (d < best) {
                best = d;
                if (foot) *foot = part[0];
            }
            continue;
        }
        std::vector<Point3D> flat;
        bool exact = part.GetLineType() == klLTPolyline || part.GetLineType() == klLTNone || part.IsArc();
        if (!exact || part.GetLineType() == klLT3PCircle) part.Discrete(flat, g_epsZero);
        if (exact && part.GetLineType() == klLT3PArc) {
            for (int s = 0; s + 2 < n; s += 2) {
                Point3D f;
                double d = DistanceTo3PArc(&part[s], p, &f);
                if (d < best) {
                    best = d;
                    if (foot) *foot = f;
                }
            }
            if (n >= 2 && n % 2 == 0) {
                Point3D f;
                double d = DistanceToTrailingHalfArc(part.points, n, p, f);
                if (d < best) {
                    best = d;
                    if (foot) *foot = f;
                }
            }
        } else if (exact && part.GetLineType() != klLT3PCircle) {
            flat.assign(part.points, part.points + n);
        }
        for (size_t s = 0; s + 1 < flat.size(); ++s) {
            Point3D f;
            double d = DistanceToSegment(flat[s], flat[s + 1], p, &f);
            if (d < best) {
                best = d;
                if (foot) *foot = f;
            }
        }
    }
    return best;
}

double keloParts::DistanceToPoint(const Point3D& p) const { return DistanceWithPoint(p, nullptr); }

int keloParts::SearchNearestPoint(SearchSegResult& result, const Point3D& p, double eps) const {
    int found = 0;
    for (uint32_t k = 0; k < partCount; ++k) {
        SearchSegResult r;
        if (!View(parts[k]).SearchNearestPoint(r, p, eps)) continue;
        if (!found || r.distance < result.distance) {
            result = r;
            result.partIndex = static_cast<int>(k);
            found = 1;
        }
    }
    return found;
}

int keloParts::SearchNearestLine(SearchSegResult& result, const Point3D& p, double eps, int flag) const {
    int found = 0;
    for (uint32_t k = 0; k < partCount; ++k) {
        SearchSegResult r;
        if (!View(parts[k]).SearchNearestLine(r, p, eps, flag)) continue;
        if (!found || r.distance < result.distance) {
            result = r;
            result.partIndex = static_cast<int>(k);
            found = 1;
        }
    }
    return found;
}

int keloParts::Explode2Line(std::vector<keloPoints*>& out) const {
    for (uint32_t k = 0; k < partCount; ++k) View(parts[k]).Explode2Line(out);
    return static_cast<int>(out.size());
}

int keloParts::Discrete(std::vector<Point3D>& out, double eps, const Box* clip) const {
    size_t before = out.size();
    for (uint32_t k = 0; k < partCount; ++k) View(parts[k]).AddDiscreteToPnts(out, eps, clip);
    return static_cast<int>(out.size() - before);
}

int keloParts::Discrete(int32_t mask) {
    int n = 0;
    for (uint32_t k = 0; k < partCount; ++k) n += View(parts[k]).Discrete(mask);
    return n;
}

int keloParts::ConvertToBezier(int32_t mask) {
    int n = 0;
    for (uint32_t k = 0; k < partCount; ++k) n += View(parts[k]).ConvertToBezier(mask);
    return n;
}

int keloParts::UnionStraightPoints() {
    int merged = 0;
    for (int k = GetPartsCount() - 1; k > 0; --k) {
        CurveSegment &a = parts[k - 1], &b = parts[k];
        if (a.lineType != klLTPolyline || b.lineType != klLTPolyline || a.pointCount == 0 || b.pointCount == 0)
            continue;
        bool joint = PointOverlap(&a.points[a.pointCount - 1], &b.points[0], kEpsInner) == True;
        View(a).AddPoints(static_cast<int>(b.pointCount) - (joint ? 1 : 0), b.points + (joint ? 1 : 0));
        DeletePointsAt(k);
        ++merged;
    }
    return merged;
}

// ---- transforms ------------------------------------------------------------------------------

int keloParts::OffsetKeloParts(const Point3D& d) {
    for (uint32_t k = 0; k < partCount; ++k) View(parts[k]).OffsetKeloPoints(d);
    return GetAuxPointCount();
}

int keloParts::RotateKeloParts(const Point3D& c, double angle) {
    for (uint32_t k = 0; k < partCount; ++k) View(parts[k]).RotateKeloPoints(c, angle);
    return GetAuxPointCount();
}

int keloParts::MirrorKeloParts(const Point3D& a, const Point3D& b) {
    for (uint32_t k = 0; k < partCount; ++k) View(parts[k]).MirrorKeloPoints(a, b);
    return GetAuxPointCount();
}

void keloParts::transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy) {
    for (uint32_t k = 0; k < partCount; ++k) View(parts[k]).transform(dx, dy, c, angle, sx, sy);
}

int keloParts::OffsetKeloPartsPart(const Point3D& d, keloParts& out) const {
    out = *this;
    return out.OffsetKeloParts(d);
}

int keloParts::RotateKeloPartsPart(const Point3D& c, double angle, keloParts& out) const {
    out = *this;
    return out.RotateKeloParts(c, angle);
}

int keloParts::MirrorKeloPartsPart(const Point3D& a, const Point3D& b, keloParts& out) const {
    out = *this;
    return out.MirrorKeloParts(a, b);
}

// ---- vertex measures -------------------------------------------------------------------------

namespace {
// Vertex of the first measure of that kind and id, -1 when none.
int FindMeasure(const keloParts& line, uint16_t id, bool integer) {
    int found = -1;
    ForEachVertex(line, [&](int v, const Point3D& q) {
        if (found >= 0) return;
        keloPoint p(q);
        uint16_t got;
        int32_t iv;
        float fv;
        if ((integer ? p.GetMI(got, iv) : p.GetMF(got, fv)) && got == id) found = v;
    });
    return found;
}
}  // namespace

Point3D* keloParts::GetMIV(uint16_t id, int32_t& value) const {
    int v = FindMeasure(*this, id, true);
    if (v < 0) return nullptr;
    Point3D* p = GetPointByVertexAt(v);
    uint16_t got;
    static_cast<keloPoint*>(p)->GetMI(got, value);
    return p;
}

Point3D* keloParts::GetMFV(uint16_t id, float& value) const {
    int v = FindMeasure(*this, id, false);
    if (v < 0) return nullptr;
    Point3D* p = GetPointByVertexAt(v);
    uint16_t got;
    static_cast<keloPoint*>(p)->GetMF(got, value);
    return p;
}

int keloParts::FindNoMarkPos() const {
    int found = -1;
    ForEachVertex(*this, [&](int v, const Point3D& q) {
        if (found < 0 && !ZIsMF(q.z) && !ZIsMI(q.z)) found = v;
    });
    return found;
}

bool keloParts::SetMIV(uint16_t id, int32_t value) {
    int v = FindMeasure(*this, id, true);
    if (v < 0) v = FindNoMarkPos();
    return v >= 0 && SetVertexZ(v, MakeMI(id, value));
}

bool keloParts::SetMFV(uint16_t id, float value) {
    int v = FindMeasure(*this, id, false);
    if (v < 0) v = FindNoMarkPos();
    return v >= 0 && SetVertexZ(v, MakeMF(id, value));
}

bool keloParts::ClearMIV(uint16_t id, double z) {
    int v = FindMeasure(*this, id, true);
    return v >= 0 && SetVertexZ(v, z);
}

bool keloParts::ClearMFV(uint16_t id, double z) {
    int v = FindMeasure(*this, id, false);
    return v >= 0 && SetVertexZ(v, z);
}

int keloParts::ClearMV(double z) {
    std::vector<int> marked;
    ForEachVertex(*this, [&](int v, const Point3D& q) {
        if (ZIsMF(q.z) || ZIsMI(q.z)) marked.push_back(v);
    });
    for (int v : marked) SetVertexZ(v, z);
    return static_cast<int>(marked.size());
}

// keloPoints needs the multi-part line for its hull; it is defined here with the line.
keloParts* keloPoints::ConvexHull() const {
    auto* hull = new keloParts;
    if (pointCount == 0) return hull;
    std::vector<Point3D> copy(points, points + pointCount);
    int n = GetConvexHullOfPoints(copy.data(), static_cast<int>(copy.size()));
    if (n <= 0) return hull;
    copy.resize(static_cast<size_t>(n));
    if (n > 2) copy.push_back(copy[0]);
    hull->Create(static_cast<int>(copy.size()), copy.data(), klLTPolyline);
    return hull;
}

}  // namespace kelo
