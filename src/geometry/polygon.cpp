// Polygons over their records: rings, area, orientation, validity, label point and height, and the
// building of polygons from loose rings.
#include <algorithm>
#include <cmath>
#include <vector>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/parts.h"
#include "overlay/rect_clip.h"

namespace kelo {

namespace {

keloParts& Ring(LineString& r) { return static_cast<keloParts&>(r); }

}  // namespace

keloPolygon::keloPolygon(const WKBPolygon* record) : keloPolygon() {
    if (record) CopyWKBPolygon(*this, *record);
}

keloPolygon::keloPolygon(const keloParts& ring) : keloPolygon() { Create(ring); }

keloPolygon::keloPolygon(const keloPolygon& other) : keloPolygon() { CopyWKBPolygon(*this, other); }

keloPolygon::keloPolygon(keloPolygon&& other) noexcept : WKBPolygon(other) {
    other.ringCount = 0;
    other.rings = nullptr;
}

keloPolygon::~keloPolygon() { DeleteContent(); }

keloPolygon& keloPolygon::operator=(const keloPolygon& other) {
    if (this == &other) return *this;
    WKBPolygon copy{0, nullptr};
    CopyWKBPolygon(copy, other);
    DeleteContent();
    static_cast<WKBPolygon&>(*this) = copy;
    return *this;
}

keloPolygon& keloPolygon::operator=(keloPolygon&& other) noexcept {
    if (this != &other) {
        DeleteContent();
        static_cast<WKBPolygon&>(*this) = other;
        other.ringCount = 0;
        other.rings = nullptr;
    }
    return *this;
}

int keloPolygon::Create(int count, const LineString* src) {
    if (count <= 0 || !src) return 0;
    for (int i = 0; i < count; ++i) {
        const keloParts& ring = static_cast<const keloParts&>(src[i]);
        if (ring.GetVertexCount() <= 2 || ring.IsClosed()) {
            InsertRing(ring, 1);
        } else {
            keloParts closed(ring);
            closed.MakeClose();
            InsertRing(closed, 1);
        }
    }
    return 1;
}

int keloPolygon::Create(const keloParts& ring) { return Create(1, &ring); }

void keloPolygon::Attach(int count, LineString* src) {
    DeleteContent();
    if (count <= 0 || !src) return;
    rings = src;
    ringCount = count;
}

LineString* keloPolygon::Detach() {
    LineString* r = rings;
    rings = nullptr;
    ringCount = 0;
    return r;
}

void keloPolygon::DeleteContent() { DeleteWKBPolygon(this); }

keloParts* keloPolygon::GetOriginalRingAt(int i) const {
    if (i < 0 || i >= GetRingsCount() || !rings) return nullptr;
    return &Ring(rings[i]);
}

int keloPolygon::InsertRing(const keloParts& ring, int atEnd) {
    int n = GetRingsCount();
    auto* grown = new LineString[n + 1]();
    int at = atEnd ? n : 0;
    for (int k = 0, j = 0; k < n + 1; ++k) {
        if (k == at) CopyWKBLineString(grown[k], ring);
        else grown[k] = rings[j++];
    }
    delete[] rings;
    rings = grown;
    ringCount = n + 1;
    return 1;
}

int keloPolygon::DeleteRingAt(int i) {
    int n = GetRingsCount();
    if (i < 0 || i >= n) return 0;
    DeleteWKBLineString(&rings[i]);
    for (int k = i; k + 1 < n; ++k) rings[k] = rings[k + 1];
    ringCount = n - 1;
    if (ringCount == 0) {
        delete[] rings;
        rings = nullptr;
    }
    return 1;
}

double keloPolygon::GetArea() const {
    int n = GetRingsCount();
    if (n == 0) return 0.0;
    double area = std::abs(Ring(rings[0]).GetArea());
    for (int i = 1; i < n; ++i) area -= std::abs(Ring(rings[i]).GetArea());
    return area;
}

double keloPolygon::GetPerimeter() const {
    double len = 0;
    for (int i = 0; i < GetRingsCount(); ++i) len += Ring(rings[i]).GetPerimeter();
    return len;
}

double keloPolygon::GetRatio() const {
    double len = GetPerimeter();
    return len < 1e-8 ? -1.0 : GetArea() / len;
}

Box keloPolygon::GetBox() const {
    Box box;
    for (int i = 0; i < GetRingsCount(); ++i) box.add(Ring(rings[i]).GetBox());
    return box;
}

int keloPolygon::IsPointIn(const Point3D& p, double eps) const {
    int n = GetRingsCount();
    if (n == 0) return 0;
    int outer = RingPointTest(&rings[0], p.x, p.y, eps);
    if (outer == -1) return 2;
    if (outer == 0) return 0;
    for (int i = 1; i < n; ++i) {
        int hole = RingPointTest(&rings[i], p.x, p.y, eps);
        if (hole == -1) return 2;
        if (hole == 1) return 0;
    }
    return 1;
}

bool keloPolygon::IsClockwise() const {
    int n = GetRingsCount();
    if (n == 0) return true;
    if (!(Ring(rings[0]).GetArea() < 0)) return false;
    for (int i = 1; i < n; ++i)
        if (Ring(rings[i]).GetArea() < 0) return false;
    return true;
}

int keloPolygon::Clockwise(int corner, int cw) {
    int n = GetRingsCount();
    for (int i = 0; i < n; ++i) Ring(rings[i]).Clockwise(corner, i == 0 ? cw : !cw);
    return n;
}

int keloPolygon::IsNormal(double eps, int flags) const {
    int n = GetRingsCount();
    if (flags & 63) {
        for (int i = 0; i < n; ++i) {
            const keloParts& ring = Ring(rings[i]);
            if (!ring.IsNormal(eps, flags)) return 0;
            if ((flags & 16) && (!ring.IsClosed() || std::abs(ring.GetArea()) < 1e-8)) {
                Point3D* first = ring.GetPointByVertexAt(0);
                if (first) g_lastAbnormalPoint = *first;
                return 0;
            }
        }
    }
    if (flags & 64) {
        for (int i = 0; i < n; ++i) {
            double a = Ring(rings[i]).GetArea();
            if (i == 0 ? a < 0 : a > 0) {
                Point3D* first = Ring(rings[i]).GetPointByVertexAt(0);
                if (first) g_lastAbnormalPoint = *first;
                return 0;
            }
        }
    }
    if ((flags & 128) && GetRelationPolygon(1e-8) != 1) return 0;
    return 1;
}

int keloPolygon::Normalizing(double, int) {
    AfxMessageBox2(KELO_GBK("keloPolygon::Normalizing未完成").c_str());
    return 0;
}

// ---- label point and height ------------------------------------------------------------------

double keloPolygon::GetH() const {
    if (GetRingsCount() == 0) return 0.0;
    const Point3D* v0 = Ring(rings[0]).GetPointByVertexAt(0);
    if (!v0) return 0.0;
    keloPoint p(*v0);
    uint16_t id;
    float value;
    if (p.GetMF(id, value) && id == kLabelMeasureId) return value;
    return v0->z;
}

bool keloPolygon::SetH(double h) {
    if (GetRingsCount() == 0) return false;
    keloParts& outer = Ring(rings[0]);
    const Point3D* v0 = outer.GetPointByVertexAt(0);
    if (!v0) return false;
    keloPoint p(*v0);
    uint16_t id;
    float value;
    if (p.GetMF(id, value) && id == kLabelMeasureId) return outer.SetVertexZ(0, MakeMF(kLabelMeasureId, static_cast<float>(h)));
    return outer.SetVertexZ(0, h);
}

bool keloPolygon::GetLabelPt(double& x, double& y) const {
    if (GetRingsCount() == 0) return false;
    const keloParts& outer = Ring(rings[0]);
    if (outer.GetVertexCount() < 3) return false;
    float m[3];
    for (int v = 0; v < 3; ++v) {
        keloPoint p(*outer.GetPointByVertexAt(v));
        uint16_t id;
        if (!p.GetMF(id, m[v]) || id != kLabelMeasureId) return false;
    }
    const Point3D* v0 = outer.GetPointByVertexAt(0);
    x = v0->x + m[1];
    y = v0->y + m[2];
    return true;
}

bool keloPolygon::SetLabelPt(double x, double y) {
    if (GetRingsCount() == 0) return false;
    keloParts& outer = Ring(rings[0]);
    if (outer.GetVertexCount() < 3) return false;
    double h = GetH();
    const Point3D v0 = *outer.GetPointByVertexAt(0);
    outer.SetVertexZ(0, MakeMF(kLabelMeasureId, static_cast<float>(h)));
    outer.SetVertexZ(1, MakeMF(kLabelMeasureId, static_cast<float>(x - v0.x)));
    outer.SetVertexZ(2, MakeMF(kLabelMeasureId, static_cast<float>(y - v0.y)));
    return true;
}

// ---- polygons from loose rings ----------------------------------------------------------------

int keloPolygon::MakePolygonsByRings(std::vector<keloParts*>& rings, std::vector<keloPolygon*>& polygons,
                                     double eps) {
    rings.erase(std::remove_if(rings.begin(), rings.end(),
                               [](const keloParts* r) { return !r || r->GetVertexCount() < 3; }),
                rings.end());
    size_t n = rings.size();
    if (n == 0) return 0;
    if (n == 1) {
        polygons.push_back(new keloPolygon(*rings[0]));
        return 1;
    }
    std::vector<Point3D> probe(n);
    std::vector<Box> box(n);
    for (size_t i = 0; i < n; ++i) {
        probe[i] = rings[i]->GetOriginalPointsAt(0)->GetMidPoint();
        box[i] = rings[i]->GetBox();
    }
    // containers[j]: the rings that hold ring j.
    std::vector<std::vector<size_t>> containers(n);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            if (i != j && box[i].contain(box[j]) && rings[i]->PointInside(probe[j], eps))
                containers[j].push_back(i);

    std::vector<keloPolygon*> made(n, nullptr);
    int count = 0;
    for (size_t i = 0; i < n; ++i)
        if (containers[i].size() % 2 == 0) {
            made[i] = new keloPolygon(*rings[i]);
            polygons.push_back(made[i]);
            ++count;
        }
    for (size_t j = 0; j < n; ++j) {
        size_t depth = containers[j].size();
        if (depth % 2 == 0) continue;
        keloPolygon* owner = nullptr;
        for (size_t c : containers[j])
            if (containers[c].size() == depth - 1) owner = made[c];
        if (!owner) break;
        keloParts hole(*rings[j]);
        if (!hole.IsClosed()) hole.MakeClose();
        double outerArea = owner->GetOriginalRingAt(0)->GetArea();
        if ((outerArea > 0) == (hole.GetArea() > 0)) hole.Reverse();
        owner->InsertRing(hole, 1);
    }
    return count;
}

}  // namespace kelo
