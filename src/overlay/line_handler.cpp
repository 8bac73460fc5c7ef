#include "overlay/line_handler.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/parts.h"
#include "geometry/tolerance.h"
#include "overlay/arc_polygon.h"
#include "overlay/slip_cal.h"

namespace kelo {

namespace detail {

namespace {

// Node ids for segment ends: ends within eps share one.
std::vector<int> EndNodes(const std::vector<OwnedSeg>& segs, double eps) {
    const size_t n = segs.size() * 2;
    auto pt = [&](size_t k) -> const Point3D& { return k % 2 ? segs[k / 2].tail() : segs[k / 2].head(); };
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return pt(a).x < pt(b).x || (pt(a).x == pt(b).x && pt(a).y < pt(b).y);
    });
    std::vector<int> node(n, -1);
    int next = 0;
    for (size_t k = 0; k < n; ++k) {
        if (node[order[k]] >= 0) continue;
        node[order[k]] = next;
        const Point3D& a = pt(order[k]);
        for (size_t m = k + 1; m < n && pt(order[m]).x - a.x <= eps; ++m) {
            const Point3D& b = pt(order[m]);
            if (node[order[m]] < 0 && std::abs(b.y - a.y) <= eps && std::hypot(b.x - a.x, b.y - a.y) <= eps)
                node[order[m]] = next;
        }
        ++next;
    }
    return node;
}

OwnedSeg Reversed(const OwnedSeg& s) {
    OwnedSeg r = s;
    std::swap(r.p[0], r.tail());
    return r;
}

}  // namespace

std::vector<std::vector<OwnedSeg>> ChainSegments(const std::vector<OwnedSeg>& segs, double eps) {
    const std::vector<int> node = EndNodes(segs, std::max(eps, 0.0));
    const int nodes = node.empty() ? 0 : *std::max_element(node.begin(), node.end()) + 1;
    std::vector<std::vector<int>> at(static_cast<size_t>(nodes));  // half-ends: 2k head, 2k + 1 tail
    for (size_t k = 0; k < node.size(); ++k) at[static_cast<size_t>(node[k])].push_back(static_cast<int>(k));
    std::vector<char> used(segs.size(), 0);
    std::vector<std::vector<OwnedSeg>> chains;
    auto walk = [&](int end) {
        std::vector<OwnedSeg> chain;
        while (true) {
            const size_t s = static_cast<size_t>(end / 2);
            if (used[s]) break;
            used[s] = 1;
            const bool forward = end % 2 == 0;
            chain.push_back(forward ? segs[s] : Reversed(segs[s]));
            const int farEnd = forward ? end + 1 : end - 1;
            const auto& here = at[static_cast<size_t>(node[static_cast<size_t>(farEnd)])];
            if (here.size() != 2) break;  // chains stop where more or fewer than two segments meet
            end = here[0] == farEnd ? here[1] : here[0];
        }
        if (!chain.empty()) chains.push_back(std::move(chain));
    };
    for (const auto& ends : at)
        if (ends.size() != 2)
            for (int e : ends) walk(e);
    for (size_t s = 0; s < segs.size(); ++s)
        if (!used[s]) walk(static_cast<int>(2 * s));  // what is left are closed rings
    return chains;
}

}  // namespace detail

namespace {

using detail::OwnedSeg;

// Runs of one kind along a chain: consecutive runs share their joining point.
std::vector<keloPoints> ChainRuns(const std::vector<OwnedSeg>& chain) {
    std::vector<keloPoints> runs;
    std::vector<Point3D> pts;
    bool arc = false;
    auto flush = [&]() {
        if (pts.size() >= 2) runs.emplace_back(pts, arc ? klLT3PArc : klLTPolyline);
        pts.clear();
    };
    for (const OwnedSeg& s : chain) {
        if (!pts.empty() && s.arc != arc) {
            const Point3D last = pts.back();
            flush();
            pts.push_back(last);
        }
        arc = s.arc;
        if (pts.empty()) pts.push_back(s.head());
        if (s.arc) pts.push_back(s.p[1]);
        pts.push_back(s.tail());
    }
    flush();
    return runs;
}

std::vector<OwnedSeg> FromViews(const CsSegment* segs, int count) {
    std::vector<OwnedSeg> out;
    for (int i = 0; segs && i < count; ++i) {
        if (!segs[i].points) continue;
        OwnedSeg o;
        o.arc = segs[i].Is3PArc();
        for (int k = 0; k < segs[i].PtCount(); ++k) o.p[k] = segs[i].points[k];
        out.push_back(o);
    }
    return out;
}

int PointsFromChains(const std::vector<std::vector<OwnedSeg>>& chains, std::vector<keloPoints*>& out) {
    int made = 0;
    for (const auto& chain : chains)
        for (keloPoints& run : ChainRuns(chain)) {
            out.push_back(new keloPoints(std::move(run)));
            ++made;
        }
    return made;
}

int PartsFromChains(const std::vector<std::vector<OwnedSeg>>& chains, std::vector<keloParts*>& out) {
    for (const auto& chain : chains) out.push_back(new keloParts(detail::ChainToParts(chain)));
    return static_cast<int>(chains.size());
}

}  // namespace

keloParts detail::ChainToParts(const std::vector<OwnedSeg>& chain) {
    keloParts parts;
    for (const keloPoints& run : ChainRuns(chain)) parts.AddPointsTo(run, -1);
    return parts;
}

CLineHandler::CLineHandler(double eps) : m_eps(eps) { detail::NodingCoordEps() = eps >= 1e-6 ? 1e-6 : 1e-11; }

CLineHandler::~CLineHandler() = default;

int CLineHandler::AddLine(const Point3D* points, int count, klLineType type) {
    if (!points || count < 2) return 0;
    const bool arc = Is3PArcSegment(type);
    const int n = kelo::GetSegmentCount(count, type);
    for (int i = 0; i < n; ++i) {
        OwnedSeg o;
        o.arc = arc;
        const int first = arc ? 2 * i : i;
        for (int k = 0; k < (arc ? 3 : 2); ++k) o.p[k] = points[first + k];
        m_input.push_back(o);
    }
    return n;
}

int CLineHandler::AddLine(const keloPoints* points) {
    return points ? AddLine(points->points, points->GetCount(), points->GetLineType()) : 0;
}

int CLineHandler::AddGeometry(const GM_Object* object) {
    if (!object) return 0;
    int added = 0;
    detail::ForEachOriginalParts(*object, [&](int, const keloParts& line, bool) {
        for (int s = 0; s < line.GetPartsCount(); ++s) added += AddLine(line.GetOriginalPointsAt(s));
    });
    return added;
}

int CLineHandler::Node(int mode) {
    m_result = m_input;
    detail::NodeSegments(m_result, mode, m_eps);
    m_noded = true;
    return static_cast<int>(m_result.size());
}

int CLineHandler::OrOverLines(int) { return Node(0); }
int CLineHandler::OrEqualLines(int) { return Node(1); }
int CLineHandler::XorOverLines(int) { return Node(2); }
int CLineHandler::XorEqualLines(int) { return Node(3); }

std::vector<OwnedSeg>& CLineHandler::Current() { return m_noded && !m_result.empty() ? m_result : m_input; }

int CLineHandler::GetSegmentCount() const {
    return static_cast<int>(m_noded && !m_result.empty() ? m_result.size() : m_input.size());
}

int CLineHandler::GetSegmentAt(int i, CsSegment& out) {
    std::vector<OwnedSeg>& segs = Current();
    if (i < 0 || i >= static_cast<int>(segs.size())) return 0;
    out = segs[static_cast<size_t>(i)].View();
    return 1;
}

int CLineHandler::GetSegments(int& count, CsSegment*& out) {
    std::vector<OwnedSeg>& segs = Current();
    count = static_cast<int>(segs.size());
    out = count ? new CsSegment[segs.size()] : nullptr;
    for (size_t i = 0; i < segs.size(); ++i) out[i] = segs[i].View();
    return count;
}

int CLineHandler::CombineToPoints(std::vector<keloPoints*>& out, bool) {
    return PointsFromChains(detail::ChainSegments(Current(), m_eps), out);
}

int CLineHandler::CombineToParts(std::vector<keloParts*>& out, bool) {
    return PartsFromChains(detail::ChainSegments(Current(), m_eps), out);
}

int CLineHandler::CombineToPolys(std::vector<GM_Object*>& out, bool) {
    std::vector<OwnedSeg>& segs = Current();
    if (segs.empty()) return 0;
    CKeloMakeArcPolygon faces(m_eps);
    for (OwnedSeg& s : segs) faces.Add(s.View());
    faces.Solve();
    int made = 0;
    for (int i = 0; i + 1 < faces.GetPolygonCount(); ++i) {
        keloPolygon polygon;
        if (!faces.GetPolygon(i, polygon)) continue;
        out.push_back(new GM_Object(polygon));
        ++made;
    }
    return made;
}

CSlipCal* CLineHandler::CreateSlipCal() {
    std::vector<OwnedSeg>& segs = Current();
    Box box;
    for (OwnedSeg& s : segs) box.add(s.View().GetBox());
    auto* cal = new CSlipCal(box);
    for (OwnedSeg& s : segs) {
        CsSegment v = s.View();
        cal->AddpLine(&v);
    }
    return cal;
}

int CombineSegments2Points(const CsSegment* segs, int count, std::vector<keloPoints*>& out) {
    return PointsFromChains(detail::ChainSegments(FromViews(segs, count), g_epsZero), out);
}

int CombineSegments2Parts(const CsSegment* segs, int count, std::vector<keloParts*>& out) {
    return PartsFromChains(detail::ChainSegments(FromViews(segs, count), g_epsZero), out);
}

}  // namespace kelo
