#include "overlay/clean_base.h"

#include <algorithm>
#include <cmath>
#include <bit>

#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "overlay/line_handler.h"

namespace kelo {

using detail::OwnedSeg;

namespace {

OwnedSeg SegOf(const keloPoints& run) {
    OwnedSeg o;
    o.arc = run.IsArc() && run.GetCount() >= 3;
    o.p[0] = run.points[0];
    o.p[1] = run.points[1];
    if (o.arc) o.p[2] = run.points[2];
    return o;
}

keloPoints RunOf(const OwnedSeg& s) { return keloPoints(s.arc ? klLT3PArc : klLTPolyline, s.arc ? 3 : 2, s.p); }

}  // namespace

CKeloCleanBase::CKeloCleanBase() : m_eps(g_epsZero) {}
CKeloCleanBase::~CKeloCleanBase() = default;

double CKeloCleanBase::SetEpsZero(double eps) {
    const double old = m_eps;
    m_eps = eps;
    return old;
}

int CKeloCleanBase::AddInitialPoints(const keloPoints* run) {
    if (!run || run->GetCount() < 2) return 0;
    keloPoints copy;
    copy = *run;
    copy.Normalizing();
    int added = 0;
    for (int i = 0; i < copy.GetSegmentCount(); ++i) {
        const Point3D* p = copy.GetSegment(i);
        if (!p) continue;
        m_runs.emplace_back(copy.IsArc() ? klLT3PArc : klLTPolyline, copy.PtCountOneSegment(), p);
        ++added;
    }
    return added;
}

int CKeloCleanBase::EndInitialPoints() {
    Box all;
    for (const keloPoints& r : m_runs) all.add(r.GetBox());
    m_index = std::make_unique<GeometryIndex>(all, 0, 0);
    for (size_t i = 0; i < m_runs.size(); ++i) {
        const Box b = m_runs[i].GetBox();
        m_index->Add(&b, static_cast<uint32_t>(i));
    }
    m_cursor = 0;
    return GetPointsCount();
}

keloPoints* CKeloCleanBase::GetFirstPoints() {
    m_cursor = 0;
    return GetNextPoints();
}

keloPoints* CKeloCleanBase::GetNextPoints() { return m_cursor < m_runs.size() ? &m_runs[m_cursor++] : nullptr; }

int CKeloCleanBase::CombineSegmentToArc() {
    std::vector<OwnedSeg> segs;
    for (const keloPoints& r : m_runs) segs.push_back(SegOf(r));
    // The fit tolerance: digitised arcs leave their circle by more than the coordinate tolerance.
    const double tol = std::max(m_eps, g_epsLimit);
    std::vector<keloPoints> runs;
    int arcs = 0;
    for (const auto& chain : detail::ChainSegments(segs, m_eps)) {
        std::vector<Point3D> straight;
        auto flush = [&]() {
            if (straight.size() >= 2) {
                keloParts fitted;
                arcs += detail::ArclizeRun(keloPoints(straight, klLTPolyline), tol, fitted);
                for (int k = 0; k < fitted.GetPartsCount(); ++k) {
                    keloPoints& piece = *fitted.GetOriginalPointsAt(k);
                    for (int i = 0; i < piece.GetSegmentCount(); ++i)
                        runs.emplace_back(piece.GetLineType(), piece.PtCountOneSegment(), piece.GetSegment(i));
                }
            }
            straight.clear();
        };
        for (const OwnedSeg& s : chain) {
            if (s.arc) {
                flush();
                runs.push_back(RunOf(s));
                continue;
            }
            if (straight.empty()) straight.push_back(s.head());
            straight.push_back(s.tail());
        }
        flush();
    }
    m_runs = std::move(runs);
    if (m_index) EndInitialPoints();
    return arcs;
}

int CKeloCleanBase::CombineSegmentToParts(std::vector<keloParts*>& out) {
    std::vector<OwnedSeg> segs;
    for (const keloPoints& r : m_runs) segs.push_back(SegOf(r));
    int made = 0;
    for (const auto& chain : detail::ChainSegments(segs, m_eps)) {
        out.push_back(new keloParts(detail::ChainToParts(chain)));
        ++made;
    }
    return made;
}

int CKeloCleanBase::CombineToPolys(std::vector<GM_Object*>& out) { return MakeTopo(*this, out, m_eps); }

int MakeTopo(CKeloCleanBase& base, std::vector<GM_Object*>& out, double eps) {
    CLineHandler handler(eps);
    for (keloPoints* r = base.GetFirstPoints(); r; r = base.GetNextPoints()) handler.AddLine(r);
    handler.OrOverLines(0);
    return handler.CombineToPolys(out, false);
}

// ---- edge ids -------------------------------------------------------------------------------

namespace {

uint64_t Bits(double z) { return std::bit_cast<uint64_t>(z); }
double FromBits(uint64_t b) { return std::bit_cast<double>(b); }

}  // namespace

CEdgeIds::CEdgeIds(double x0, double y0, double cell) : m_x0(x0), m_y0(y0), m_cell(cell > 0 ? cell : 1.0) {}

int32_t CEdgeIds::GetEdgeFeaId(const Point3D& p) { return static_cast<int32_t>(Bits(p.z) & 0xffffffffu); }
int32_t CEdgeIds::GetEdgeFriendFeaId(const Point3D& p) { return static_cast<int32_t>(Bits(p.z) >> 32); }

void CEdgeIds::SetEdgeFeaId(Point3D& p, int32_t id) {
    p.z = FromBits((Bits(p.z) & 0xffffffff00000000ull) | static_cast<uint32_t>(id));
}

void CEdgeIds::SetEdgeFriendFeaId(Point3D& p, int32_t id) {
    p.z = FromBits((Bits(p.z) & 0xffffffffull) | (static_cast<uint64_t>(static_cast<uint32_t>(id)) << 32));
}

bool CEdgeIds::GetLineTopo(const keloParts& parts, int32_t& left, int32_t& right) {
    const keloPoints* run = parts.GetPartsCount() ? parts.GetOriginalPointsAt(0) : nullptr;
    if (!run || run->GetCount() == 0) return false;
    left = GetEdgeFeaId(run->points[0]);
    right = GetEdgeFriendFeaId(run->points[0]);
    return left >= 0 && right >= 0;
}

void CEdgeIds::SetLineTopo(keloParts& parts, int32_t left, int32_t right) {
    keloPoints* run = parts.GetPartsCount() ? parts.GetOriginalPointsAt(0) : nullptr;
    for (int i = 0; run && i < run->GetCount(); ++i) {
        SetEdgeFeaId(run->points[i], left);
        SetEdgeFriendFeaId(run->points[i], right);
    }
}

uint64_t CEdgeIds::EdgeKey(const Point3D& a, const Point3D& b) const {
    const double mx = (a.x + b.x) / 2, my = (a.y + b.y) / 2;
    // Cells beyond the 32-bit range (or from non-finite points) are clamped rather than wrapped.
    auto cell = [&](double v) {
        const double c = std::trunc(v / m_cell);
        return static_cast<uint32_t>(static_cast<int64_t>(std::isfinite(c) ? std::clamp(c, -2147483648.0, 4294967295.0) : 0.0));
    };
    const uint32_t cx = cell(mx - m_x0), cy = cell(my - m_y0);
    return (static_cast<uint64_t>(cy) << 32) | cx;
}

}  // namespace kelo
