// Douglas-Peucker thinning with the optional removal and shift passes, by tolerance and by count.
#include "overlay/dilute.h"

#include <algorithm>
#include <cmath>
#include <queue>
#include <utility>

#include "geometry/geometry_object.h"
#include "geometry/gmobject_detail.h"
#include "geometry/tolerance.h"

namespace kelo {

namespace {

constexpr int kShiftRounds = 20;
// The kept point is favoured by this much, so a candidate must do measurably better to move it.
constexpr double kStayBonus = 1e-8;

}  // namespace

void Dilute::Load(const keloPoints& in) {
    const int n = in.GetCount();
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
    for (int i = 0; i < n; ++i) {
        x0 = std::min(x0, in[i].x);
        x1 = std::max(x1, in[i].x);
        y0 = std::min(y0, in[i].y);
        y1 = std::max(y1, in[i].y);
    }
    const double cx = n ? 0.5 * (x0 + x1) : 0, cy = n ? 0.5 * (y0 + y1) : 0;
    m_pts.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) m_pts[i] = {in[i].x - cx, in[i].y - cy};
    m_keep.clear();
}

double Dilute::Farthest(int i, int j, int& k) const {
    k = -1;
    if (j - i < 2) return 0;
    const Point2D a = m_pts[i], b = m_pts[j];
    const double abx = b.x - a.x, aby = b.y - a.y;
    const double len = std::hypot(abx, aby);
    double best = -1;
    for (int m = i + 1; m < j; ++m) {
        const Point2D p = m_pts[m];
        double d;
        if (abx * (p.x - a.x) + aby * (p.y - a.y) <= 0)
            d = std::hypot(p.x - a.x, p.y - a.y);
        else if (-abx * (p.x - b.x) - aby * (p.y - b.y) <= 0)
            d = std::hypot(p.x - b.x, p.y - b.y);
        else
            d = std::fabs((p.x - a.x) * aby - (p.y - a.y) * abx) / len;
        if (d > best) {
            best = d;
            k = m;
        }
    }
    return best;
}

void Dilute::RemovalPass(double tolerance) {
    if (m_keep.size() < 3) return;
    std::vector<int> kept;
    kept.reserve(m_keep.size());
    kept.push_back(m_keep.front());
    for (size_t q = 1; q + 1 < m_keep.size(); ++q)
        if (Deviation(kept.back(), m_keep[q + 1]) > tolerance) kept.push_back(m_keep[q]);
    kept.push_back(m_keep.back());
    m_keep = std::move(kept);
}

void Dilute::ShiftPass(double tolerance, bool remove) {
    std::vector<int> stamp(m_keep.size(), 0);
    for (int r = 0; r < kShiftRounds && m_keep.size() >= 3; ++r) {
        bool changed = false;
        for (size_t q = 1; q + 1 < m_keep.size(); ++q) {
            if (stamp[q] < r || stamp[q - 1] < r || stamp[q + 1] < r) continue;
            const int a = m_keep[q - 1], o = m_keep[q], b = m_keep[q + 1];
            if (remove && Deviation(a, b) <= tolerance) {
                m_keep.erase(m_keep.begin() + static_cast<std::ptrdiff_t>(q));
                stamp.assign(m_keep.size(), r + 1);
                changed = true;
                break;
            }
            int best = o;
            double bestScore = 0;
            bool first = true;
            for (int c = std::max(o - 2, a + 1); c <= std::min(o + 2, b - 1); ++c) {
                double score = std::max(Deviation(a, c), Deviation(c, b));
                if (c == o) score -= kStayBonus;
                if (first || score < bestScore) {
                    best = c;
                    bestScore = score;
                    first = false;
                }
            }
            if (best != o) {
                m_keep[q] = best;
                stamp[q] = r + 1;
                changed = true;
            }
        }
        if (!changed) break;
    }
}

void Dilute::Emit(const keloPoints& in, keloPoints& out) const {
    auto* pts = new Point3D[m_keep.size() ? m_keep.size() : 1];
    for (size_t q = 0; q < m_keep.size(); ++q) pts[q] = in[m_keep[q]];
    out.DeleteContent();
    if (m_keep.empty()) {
        delete[] pts;
        out.SetLineType(klLTPolyline);
        return;
    }
    out.Attach(static_cast<int>(m_keep.size()), pts, klLTPolyline);
}

int Dilute::Solve1(keloPoints& in, double tolerance, keloPoints& out, int method) {
    if (in.GetLineType() != klLTPolyline || !(tolerance >= -1e-13)) return 0;
    tolerance = std::max(tolerance, 0.0);
    Load(in);
    const int n = in.GetCount();
    if (n < 2) {
        for (int i = 0; i < n; ++i) m_keep.push_back(i);
    } else {
        std::vector<std::pair<int, int>> stack{{0, n - 1}};
        m_keep.push_back(0);
        while (!stack.empty()) {
            auto [i, j] = stack.back();
            stack.pop_back();
            int k;
            if (j == i + 1 || tolerance >= Farthest(i, j, k)) {
                m_keep.push_back(j);
                continue;
            }
            stack.emplace_back(k, j);
            stack.emplace_back(i, k);
        }
        if (method >= 1) RemovalPass(tolerance);
        if (method >= 2) ShiftPass(tolerance, true);
    }
    Emit(in, out);
    return 1;
}

int Dilute::Solve2(keloPoints& in, int count, keloPoints& out, int method) {
    const int n = in.GetCount();
    if (in.GetLineType() != klLTPolyline || count < 2 || count > n) return 0;
    Load(in);
    struct Range {
        double deviation;
        int k, i, j;
    };
    // Largest deviation first; among equals the range nearer the start.
    auto lower = [](const Range& a, const Range& b) {
        return a.deviation < b.deviation || (a.deviation == b.deviation && a.i > b.i);
    };
    std::priority_queue<Range, std::vector<Range>, decltype(lower)> queue(lower);
    auto push = [&](int i, int j) {
        if (j - i < 2) return;
        Range r{0, 0, i, j};
        r.deviation = Farthest(i, j, r.k);
        queue.push(r);
    };
    m_keep = {0, n - 1};
    push(0, n - 1);
    for (int split = 0; split < count - 2 && !queue.empty(); ++split) {
        Range r = queue.top();
        queue.pop();
        m_keep.push_back(r.k);
        push(r.i, r.k);
        push(r.k, r.j);
    }
    std::sort(m_keep.begin(), m_keep.end());
    if (method >= 1) {
        double worst = 0;
        for (size_t q = 0; q + 1 < m_keep.size(); ++q) worst = std::max(worst, Deviation(m_keep[q], m_keep[q + 1]));
        RemovalPass(worst + 1e-8);
    }
    if (method >= 2) ShiftPass(0, false);
    if (static_cast<int>(m_keep.size()) > count) return 0;
    Emit(in, out);
    return 1;
}

int Dilute1(keloPoints& in, double tolerance, keloPoints& out, int method) {
    Dilute solver;
    return solver.Solve1(in, tolerance, out, method);
}

int Dilute2(keloPoints& in, int count, keloPoints& out, int method) {
    Dilute solver;
    return solver.Solve2(in, count, out, method);
}

int Geometry_Dilute(GM_Object& object, int byTolerance, double tolerance) {
    if (object.GetPartsCount() == 0) return 0;
    if (tolerance <= 1e-8) tolerance = GetGzSys01mmRealLen();
    Dilute solver;
    detail::WalkParts(object, [&](LineString& line, bool, WKBPolygon*, int) {
        keloParts& parts = detail::AsParts(line);
        for (int k = 0; k < parts.GetPartsCount(); ++k) {
            keloPoints* run = parts.GetOriginalPointsAt(k);
            keloPoints temp;
            int ok = byTolerance ? solver.Solve1(*run, tolerance, temp, 0)
                                 : solver.Solve2(*run, run->GetCount() / 2, temp, 0);
            if (ok && temp.GetCount() >= 2) *run = std::move(temp);
        }
        return false;
    });
    return 1;
}

}  // namespace kelo
