#include "geometry/point_run.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "geometry/tolerance.h"

namespace kelo {

Point3D g_lastAbnormalPoint{0.0, 0.0, 0.0};

namespace {
double g_arcDangle = 1.0;
constexpr double kArcDangleFloor = 0.001;

Point3D* CopyOf(int count, const Point3D* pts) {
    auto* out = new Point3D[static_cast<size_t>(count)];
    std::memcpy(out, pts, sizeof(Point3D) * static_cast<size_t>(count));
    return out;
}
}  // namespace

bool Is3PArcSegment(int type) { return type == klLT3PArc || type == klLT3PCircle; }

int GetSegmentCount(int count, int type) {
    if (count < 2) return 0;
    return Is3PArcSegment(type) ? (count - 1) / 2 : count - 1;
}

double SetArcDangle(double v) {
    double old = g_arcDangle;
    g_arcDangle = v >= kArcDangleFloor ? v : kArcDangleFloor;  // NaN lands on the floor too
    return old;
}

double GetArcDangle() {
    if (!(g_arcDangle >= kArcDangleFloor)) g_arcDangle = kArcDangleFloor;
    return g_arcDangle;
}

// ---- construction and ownership ----------------------------------------------------------

keloPoints::keloPoints(klLineType type, int count, const Point3D* pts) : keloPoints() { Create(type, count, pts); }

keloPoints::keloPoints(const CurveSegment* record) : keloPoints() {
    if (record) Create(record->lineType, static_cast<int>(record->pointCount), record->points);
}

keloPoints::keloPoints(const keloPoints& other) : CurveSegment(other) {}

keloPoints::keloPoints(keloPoints&& other) noexcept : CurveSegment(other) {
    other.lineType = klLTPolyline;
    other.pointCount = 0;
    other.points = nullptr;
}

keloPoints::keloPoints(const std::vector<Point3D>& pts, klLineType type) : keloPoints() {
    Create(type, static_cast<int>(pts.size()), pts.data());
}

keloPoints::keloPoints(double x1, double y1, double x2, double y2) : keloPoints() { Create(x1, y1, x2, y2); }
keloPoints::keloPoints(const Point3D& centre, double r) : keloPoints() { Create(centre, r); }
keloPoints::keloPoints(const Point3D& centre, double r, double a0, double a1) : keloPoints() {
    Create(centre, r, a0, a1);
}
keloPoints::keloPoints(const Box& box) : keloPoints() { Create(box); }

keloPoints::~keloPoints() { DeleteContent(); }

keloPoints& keloPoints::operator=(const keloPoints& other) {
    return *this = static_cast<const CurveSegment&>(other);
}

keloPoints& keloPoints::operator=(const CurveSegment& other) {
    if (this == &other) return *this;
    // Copy before freeing: other may be a view sharing our array.
    Point3D* copy = (other.pointCount && other.points) ? CopyOf(static_cast<int>(other.pointCount), other.points)
                                                       : nullptr;
    uint32_t n = copy ? other.pointCount : 0;
    klLineType t = other.lineType;
    DeleteContent();
    lineType = t;
    pointCount = n;
    points = copy;
    return *this;
}

keloPoints& keloPoints::operator=(keloPoints&& other) noexcept {
    if (this == &other) return *this;
    DeleteContent();
    lineType = other.lineType;
    pointCount = other.pointCount;
    points = other.points;
    other.lineType = klLTPolyline;
    other.pointCount = 0;
    other.points = nullptr;
    return *this;
}

int keloPoints::Create(klLineType type, int count, const Point3D* pts) {
    lineType = type;
    if (count > 0 && pts) {
        points = CopyOf(count, pts);
        pointCount = static_cast<uint32_t>(count);
    } else {
        points = nullptr;
        pointCount = 0;
    }
    return static_cast<int>(pointCount);
}

int keloPoints::Create(double x1, double y1, double x2, double y2) {
    Point3D p[2] = {{x1, y1, 0.0}, {x2, y2, 0.0}};
    return Create(klLTPolyline, 2, p);
}

int keloPoints::Create(const Point3D& c, double r) {
    Point3D p[5] = {{c.x - r, c.y, c.z}, {c.x, c.y + r, c.z}, {c.x + r, c.y, c.z}, {c.x, c.y - r, c.z},
                    {c.x - r, c.y, c.z}};
    return Create(klLT3PArc, 5, p);
}

int keloPoints::Create(const Point3D& c, double r, double a0, double a1) {
    if (std::abs(a0 - a1) < kEpsInner) return Create(c, r);
    double am = (a0 + a1) / 2;
    Point3D p[3] = {{c.x + r * std::cos(a0), c.y + r * std::sin(a0), c.z},
                    {c.x + r * std::cos(am), c.y + r * std::sin(am), c.z},
                    {c.x + r * std::cos(a1), c.y + r * std::sin(a1), c.z}};
    return Create(klLT3PArc, 3, p);
}

int keloPoints::Create(const Box& b) {
    Point3D p[5] = {{b.minx, b.miny, 0.0}, {b.minx, b.maxy, 0.0}, {b.maxx, b.maxy, 0.0}, {b.maxx, b.miny, 0.0},
                    {b.minx, b.miny, 0.0}};
    return Create(klLTPolyline, 5, p);
}

void keloPoints::Attach(int count, Point3D* pts, klLineType type) {
    DeleteContent();
    lineType = type;
    if (count > 0 && pts) {
        points = pts;
        pointCount = static_cast<uint32_t>(count);
    } else {
        // An adopted array that holds no points is still ours to free.
        delete[] pts;
        points = nullptr;
        pointCount = 0;
    }
}

Point3D* keloPoints::Detach() {
    Point3D* p = points;
    lineType = klLTPolyline;
    pointCount = 0;
    points = nullptr;
    return p;
}

void keloPoints::DeleteContent() {
    if (points && pointCount) delete[] points;
    points = nullptr;
    pointCount = 0;
}

// ---- segments and access -----------------------------------------------------------------

int keloPoints::CtrlPtCountOneSegment() const {
    switch (lineType) {
        case klLT3PArc:
        case klLT3PCircle: return 1;
        case klLTBezier: return 2;
        case klLTEllipse: return 3;
        default: return 0;
    }
}

Point3D* keloPoints::GetSegment(int seg) const {
    // A segment's reader takes two or three points from here, so the whole segment must exist.
    if (seg < 0 || seg >= GetSegmentCount()) return nullptr;
    return GetOriginalPointAt(GetSegPointAt(seg));
}

Point3D* keloPoints::GetOriginalPointAt(int i) const {
    if (i < 0 || static_cast<uint32_t>(i) >= pointCount || !points) return nullptr;
    return points + i;
}

int keloPoints::GetPointAt(keloPoint& out, int i) const {
    const Point3D* p = GetOriginalPointAt(i);
    if (!p) return 0;
    out = *p;
    return 1;
}

keloPoint* keloPoints::GetPointAt(int i) const {
    const Point3D* p = GetOriginalPointAt(i);
    return p ? new keloPoint(*p) : nullptr;
}

int keloPoints::GetPointIndex(const Point3D& p) const {
    for (uint32_t i = 0; i < pointCount; ++i)
        if (IsTwoPointXYEqual(points[i], p, kEpsInner)) return static_cast<int>(i);
    return -1;
}

bool keloPoints::operator==(const keloPoints& o) const {
    if (lineType != o.lineType || pointCount != o.pointCount) return false;
    for (uint32_t i = 0; i < pointCount; ++i)
        if (!pp_IsEqual(points + i, o.points + i)) return false;
    return true;
}

// ---- editing -----------------------------------------------------------------------------

int keloPoints::InsertPointAt(const Point3D& p, int i) {
    int n = GetCount();
    if (i < 0) i = 0;
    if (i > n) i = n;
    auto* grown = new Point3D[static_cast<size_t>(n) + 1];
    if (n) {
        std::memcpy(grown, points, sizeof(Point3D) * static_cast<size_t>(i));
        std::memcpy(grown + i + 1, points + i, sizeof(Point3D) * static_cast<size_t>(n - i));
    }
    grown[i] = p;
    DeleteContent();
    points = grown;
    pointCount = static_cast<uint32_t>(n + 1);
    return 1;
}

int keloPoints::ReplacePointAt(const Point3D& p, int i) {
    Point3D* q = GetOriginalPointAt(i);
    if (!q) return 0;
    *q = p;
    return 1;
}

int keloPoints::DeletePointAt(int i) {
    if (!GetOriginalPointAt(i)) return 0;
    int n = GetCount();
    if (n == 1) {
        DeleteContent();
        return 1;
    }
    std::memmove(points + i, points + i + 1, sizeof(Point3D) * static_cast<size_t>(n - i - 1));
    --pointCount;
    return 1;
}

int keloPoints::AddPoint(const Point3D& p) { return InsertPointAt(p, GetCount()); }

int keloPoints::AddPoints(int n, const Point3D* pts) {
    if (n <= 0 || !pts) return 0;
    int old = GetCount();
    auto* grown = new Point3D[static_cast<size_t>(old) + static_cast<size_t>(n)];
    if (old) std::memcpy(grown, points, sizeof(Point3D) * static_cast<size_t>(old));
    std::memcpy(grown + old, pts, sizeof(Point3D) * static_cast<size_t>(n));
    DeleteContent();
    points = grown;
    pointCount = static_cast<uint32_t>(old + n);
    return 1;
}

}  // namespace kelo
