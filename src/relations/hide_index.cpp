#include "relations/hide_index.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "companion/plane.h"
#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/parts.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

constexpr uint32_t kStride = 10000;
constexpr uint32_t kLastCell = 9999;
constexpr double kFarCells = 9998;
constexpr double kEdgeTol = 1e-8;

uint32_t Band(double offset, double step) {
    double u = offset / step;
    // A zero step gives infinities (which the ends catch) or, at the origin itself, no number;
    // the latter is placed with everything left of the origin rather than converted.
    if (!(u >= 0)) return 0;
    if (u >= kFarCells) return kLastCell;
    return static_cast<uint32_t>(u) + 1;
}

void BandRange(uint32_t band, double origin, double step, double& lo, double& hi) {
    if (band == 0) {
        lo = origin - kLastCell * step;
        hi = origin;
    } else if (band >= kLastCell) {
        lo = origin + kLastCell * step;
        hi = origin + 2 * kLastCell * step;
    } else {
        lo = origin + (band - 1) * step;
        hi = origin + band * step;
    }
}

// Cohen-Sutherland outcode of a point against a box.
int OutCode(double x, double y, const Box& b) {
    return (x < b.minx ? 1 : 0) | (x > b.maxx ? 2 : 0) | (y < b.miny ? 4 : 0) | (y > b.maxy ? 8 : 0);
}

bool SegmentMeetsCell(const Point3D& a, const Point3D& b, const Box& cell) {
    int ca = OutCode(a.x, a.y, cell), cb = OutCode(b.x, b.y, cell);
    if (ca & cb) return false;
    if (ca == 0 || cb == 0) return true;
    return MyCrossRect(a.x, a.y, b.x, b.y, cell.minx, cell.miny, cell.maxx, cell.maxy) > 1;
}

// The object's outline flattened once: its loose points and each line or ring as a polyline.
struct Outline {
    std::vector<Point3D> points;
    std::vector<std::vector<Point3D>> lines;
    std::vector<const keloPolygon*> polygons;  // filled only when the object is areal
};

Outline Flatten(const GM_Object& g) {
    Outline o;
    int np = g.GetPointCount();
    for (int i = 0; i < np; ++i) {
        Point3D p;
        if (g.GetPointAt(p, i)) o.points.push_back(p);
    }
    bool allRings = g.GetPartsCount() > 0;
    detail::ForEachOriginalParts(g, [&](int, const keloParts& line, bool isRing) {
        allRings = allRings && isRing;
        std::vector<Point3D> flat;
        line.Discrete(flat, g_epsZero);
        if (!flat.empty()) o.lines.push_back(std::move(flat));
    });
    if (allRings && np == 0) {
        int polygons = g.GetPolygonCount();
        for (int i = 0; i < polygons; ++i)
            if (const keloPolygon* p = g.GetOriginalPolygonAt(i)) o.polygons.push_back(p);
    }
    return o;
}

bool MeetsCell(const Outline& o, const Box& cell) {
    Box inner = cell;
    inner.InflateBox(-kEdgeTol, -kEdgeTol);
    for (const Point3D& p : o.points)
        if (p.x >= inner.minx && p.x <= inner.maxx && p.y >= inner.miny && p.y <= inner.maxy) return true;
    for (const auto& line : o.lines)
        for (const Point3D& p : line)
            if (p.x >= inner.minx && p.x <= inner.maxx && p.y >= inner.miny && p.y <= inner.maxy) return true;
    for (const auto& line : o.lines)
        for (size_t k = 1; k < line.size(); ++k)
            if (SegmentMeetsCell(line[k - 1], line[k], cell)) return true;
    if (!o.polygons.empty()) {
        Point3D c{(cell.minx + cell.maxx) / 2, (cell.miny + cell.maxy) / 2, 0};
        for (const keloPolygon* p : o.polygons)
            if (p->IsPointIn(c, kEdgeTol) != 0) return true;
    }
    return false;
}

}  // namespace

CKeloHideIndexBase::~CKeloHideIndexBase() = default;

int CKeloHideIndexBase::Create(double originX, double originY, double cellWidth, double cellHeight, double scale) {
    m_originX = originX;
    m_originY = originY;
    m_cellWidth = cellWidth;
    m_cellHeight = cellHeight;
    m_scale = scale;
    return 1;
}

int CKeloHideIndexBase::CreateFromLayerMemo(const char* text) {
    double field[7] = {0, 0, 0, 0, 0, 0, 0};
    std::string memo = text ? text : "";
    size_t start = 0;
    for (int k = 0; k < 7 && start <= memo.size(); ++k) {
        size_t end = memo.find('#', start);
        if (end == std::string::npos) end = memo.size();
        field[k] = std::atof(memo.substr(start, end - start).c_str());
        start = end + 1;
    }
    m_cellWidth = field[1];
    m_originX = field[2];
    m_cellHeight = field[4];
    m_originY = field[5];
    m_scale = field[6];
    m_cellWidth *= m_scale / 1000;
    m_cellHeight *= m_scale / 1000;
    return 1;
}

uint32_t CKeloHideIndexBase::GetCellId(double x, double y) const {
    return Band(y - m_originY, m_cellHeight) * kStride + Band(x - m_originX, m_cellWidth);
}

Box CKeloHideIndexBase::GetCellBox(uint32_t id) const {
    Box b;
    BandRange(id % kStride, m_originX, m_cellWidth, b.minx, b.maxx);
    BandRange(id / kStride, m_originY, m_cellHeight, b.miny, b.maxy);
    b.minz = b.maxz = 0;
    return b;
}

void CKeloHideIndexBase::ExpandBox(uint32_t id, Box& box) const { box.add(GetCellBox(id)); }

int CKeloHideIndexBase::GetCellIds(const Box* box, CKeloIds& ids) const {
    ids.RemoveAll();
    if (!box || box->IsEmpty()) return 0;
    uint32_t c1 = GetCellId(box->minx, box->miny), c2 = GetCellId(box->maxx, box->maxy);
    for (uint32_t r = c1 / kStride; r <= c2 / kStride; ++r)
        for (uint32_t c = c1 % kStride; c <= c2 % kStride; ++c) ids.Add(r * kStride + c);
    return ids.GetSize();
}

int CKeloHideIndexBase::GetCellIds(const GM_Object* object, CKeloIds& ids) const {
    ids.RemoveAll();
    if (!object) return 0;
    Box box = object->envelope();
    if (box.IsEmpty()) return 0;
    uint32_t c1 = GetCellId(box.minx, box.miny), c2 = GetCellId(box.maxx, box.maxy);
    if (c1 == c2) {
        ids.Add(c1);  // refuses cell 0 itself
        return ids.GetSize();
    }
    int64_t col1 = c1 % kStride, col2 = c2 % kStride, row1 = c1 / kStride, row2 = c2 / kStride;
    // A box that only grazes the edge of its corner cell does not enter it.
    Box first = GetCellBox(c1), last = GetCellBox(c2);
    if (std::fabs(box.minx - first.maxx) <= kEdgeTol) ++col1;
    if (std::fabs(box.maxx - last.minx) <= kEdgeTol) --col2;
    if (std::fabs(box.miny - first.maxy) <= kEdgeTol) ++row1;
    if (std::fabs(box.maxy - last.miny) <= kEdgeTol) --row2;
    Outline outline = Flatten(*object);
    for (int64_t r = row1; r <= row2; ++r)
        for (int64_t c = col1; c <= col2; ++c) {
            uint32_t id = static_cast<uint32_t>(r * kStride + c);
            if (MeetsCell(outline, GetCellBox(id))) ids.Add(id);
        }
    return ids.GetSize();
}

}  // namespace kelo
