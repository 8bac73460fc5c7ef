// Buffers by construction and union: a circle for every point, a body for every segment, a cap
// for every open end and a join for every turn whose outer side is buffered, all unioned once by
// the region-wise merge.
#include "overlay/buffer.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/gmobject_detail.h"
#include "geometry/parts.h"
#include "geometry/point_run.h"
#include "geometry/tolerance.h"
#include "overlay/boolean_overlay.h"
#include "overlay/dilute.h"

namespace kelo {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Turns sharper than this get a clipped mitre instead of a full one.
constexpr double kSharpTurn = 1.5707953267948966;

struct Vec {
    double x, y;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(double k, Vec a) { return {k * a.x, k * a.y}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
double Cross(Vec a, Vec b) { return a.x * b.y - a.y * b.x; }
Vec LeftOf(Vec a) { return {-a.y, a.x}; }
double Angle(Vec a) { return std::atan2(a.y, a.x); }
Vec Of(const Point3D& p) { return {p.x, p.y}; }
Point3D Pt(Vec v) { return {v.x, v.y, kUnknownZ}; }
Vec Polar(double a) { return {std::cos(a), std::sin(a)}; }

class PieceMaker {
public:
    PieceMaker(double d, int cap, int join, int side, double step, std::vector<GM_Object*>& out)
        : m_d(d), m_cap(cap), m_join(join), m_left(side == kBufferBoth || side == kBufferLeft),
          m_right(side != kBufferLeft), m_step(step), m_out(out) {
        // No polygonal arc is cut finer than the global arc step.
        if (m_step > 0) m_step = std::max(m_step, GetArcDangle() * kPi / 180);
    }

    void Circle(Vec c) {
        if (Exact()) {
            // The eighths of the circle from exact unit values, so that the circle is symmetric
            // to the last bit and its quarter points lie exactly level with its centre.
            const double h = std::sqrt(0.5);
            const Vec eighths[8] = {{1, 0}, {h, h}, {0, 1}, {-h, h}, {-1, 0}, {-h, -h}, {0, -1}, {h, -h}};
            std::vector<Point3D> pts;
            for (int k = 0; k <= 8; ++k) pts.push_back(Pt(c + m_d * eighths[k % 8]));
            Add(keloParts(pts, klLT3PArc));
            return;
        }
        std::vector<Point3D> pts;
        ArcPoints(c, 0, 2 * kPi, pts);
        pts.back() = pts.front();
        Ring(pts);
    }

    // One run of the line, discretised, cleared of repeated points and thinned at half the
    // allowed circle error before any piece is made.
    void Line(const keloParts& part, double thin) {
        std::vector<Point3D> raw;
        part.Discrete(raw, g_epsZero);
        std::vector<Vec> run;
        for (const Point3D& p : raw)
            if (run.empty() || std::hypot(p.x - run.back().x, p.y - run.back().y) > kEpsInner) run.push_back(Of(p));
        if (run.empty()) return;
        bool closed = run.size() > 2 && std::hypot(run.front().x - run.back().x, run.front().y - run.back().y) <= kEpsInner;
        if (closed) run.back() = run.front();
        if (thin > 1e-8 && run.size() > 2) {
            std::vector<Point3D> pts;
            for (Vec v : run) pts.push_back(Pt(v));
            keloPoints in(pts, klLTPolyline), thinned;
            if (Dilute1(in, thin, thinned, 0) && thinned.GetCount() > 0) {
                run.clear();
                for (int i = 0; i < thinned.GetCount(); ++i) run.push_back(Of(thinned[i]));
            }
        }
        if (run.size() == 1 || (closed && run.size() < 3)) {
            // A line without length: a closed one is a point; an open one takes its caps' shape.
            if (closed || m_cap == kBufferCapRound) Circle(run.front());
            else if (m_cap == kBufferCapSquare) Ring({Pt(run[0] + Vec{-m_d, -m_d}), Pt(run[0] + Vec{m_d, -m_d}),
                                                      Pt(run[0] + Vec{m_d, m_d}), Pt(run[0] + Vec{-m_d, m_d})});
            return;
        }
        const size_t m = run.size() - 1;
        std::vector<Vec> dir(m);
        for (size_t i = 0; i < m; ++i) {
            Vec v = run[i + 1] - run[i];
            dir[i] = (1 / std::hypot(v.x, v.y)) * v;
        }
        for (size_t i = 0; i < m; ++i) {
            const Vec* prev = i > 0 ? &dir[i - 1] : closed ? &dir[m - 1] : nullptr;
            const Vec* next = i + 1 < m ? &dir[i + 1] : closed ? &dir[0] : nullptr;
            Body(run[i], run[i + 1], dir[i], prev, next);
        }
        if (!closed) {
            Cap(run[0], dir[0], true);
            Cap(run[m], dir[m - 1], false);
        }
        for (size_t i = closed ? 0 : 1; i < m; ++i) Turn(run[i], dir[i > 0 ? i - 1 : m - 1], dir[i]);
    }

private:
    bool Exact() const { return m_step == 0; }
    bool Both() const { return m_left && m_right; }
    double Sigma() const { return m_left ? 1 : -1; }

    void Add(keloParts&& ring) { m_out.push_back(new GM_Object(ring, 1)); }

    void Ring(std::vector<Point3D> pts) {
        if (pts.size() < 3) return;
        if (pts.back().x != pts.front().x || pts.back().y != pts.front().y) pts.push_back(pts.front());
        Add(keloParts(pts, klLTPolyline));
    }

    // Points of the arc about c at the buffer distance, both ends included, at the angular step.
    void ArcPoints(Vec c, double a0, double sweep, std::vector<Point3D>& pts) const {
        const double s = sweep > 0 ? 1 : -1;
        pts.push_back(Pt(c + m_d * Polar(a0)));
        for (double k = 1; k * m_step < std::fabs(sweep) - 1e-9; ++k) pts.push_back(Pt(c + m_d * Polar(a0 + s * k * m_step)));
        pts.push_back(Pt(c + m_d * Polar(a0 + sweep)));
    }

    // The circular sector with its centre as a corner.
    void Sector(Vec c, double a0, double sweep) {
        if (Exact()) {
            keloParts ring;
            const double r = m_d;
            Point3D a = Pt(c + r * Polar(a0)), mid = Pt(c + r * Polar(a0 + sweep / 2)), b = Pt(c + r * Polar(a0 + sweep));
            ring.InsertPointsAt(keloPoints(std::vector<Point3D>{Pt(c), a}, klLTPolyline), -1);
            ring.InsertPointsAt(keloPoints(std::vector<Point3D>{a, mid, b}, klLT3PArc), -1);
            ring.InsertPointsAt(keloPoints(std::vector<Point3D>{b, Pt(c)}, klLTPolyline), -1);
            Add(std::move(ring));
            return;
        }
        std::vector<Point3D> pts{Pt(c)};
        ArcPoints(c, a0, sweep, pts);
        Ring(std::move(pts));
    }

    void Body(Vec p, Vec q, Vec u, const Vec* prev, const Vec* next) {
        const double d = m_d;
        if (Both()) {
            Vec n = LeftOf(u);
            Ring({Pt(p - d * n), Pt(p + d * n), Pt(q + d * n), Pt(q - d * n)});
            return;
        }
        // A neighbour turning back into the buffered side cuts this body's end along its own line,
        // so that the one-sided buffer never reaches past the line onto the other side.
        const Vec v = Sigma() * LeftOf(u);
        const double len = Dot(q - p, u);
        Vec ls = v, le = v;
        if (prev && Dot(-1 * *prev, v) > 0 && Dot(-1 * *prev, u) > 0) ls = -1 * *prev;
        if (next && Dot(*next, v) > 0 && Dot(*next, u) < 0) le = *next;
        const double xs = d * Dot(ls, u) / Dot(ls, v), xe = len + d * Dot(le, u) / Dot(le, v);
        if (xs < xe) {
            Ring({Pt(p), Pt(q), Pt(p + xe * u + d * v), Pt(p + xs * u + d * v)});
            return;
        }
        // The two cut lines meet short of the full width: a triangle.
        const double a = Dot(ls, u), b = Dot(ls, v), c = Dot(le, u), e = Dot(le, v);
        const double det = a * e - b * c;
        if (!(det > 1e-15)) return;
        const double s = len * e / det;
        if (s * b > 1e-12 * len) Ring({Pt(p), Pt(q), Pt(p + s * ls)});
    }

    void Cap(Vec e, Vec t, bool atStart) {
        const Vec u = atStart ? -1 * t : t, n = LeftOf(t);
        const double d = m_d;
        if (m_cap == kBufferCapRound) {
            if (!Both()) {
                const Vec v = Sigma() * n;
                Sector(e, Angle(u), std::remainder(Angle(v) - Angle(u), 2 * kPi));
            } else if (Exact()) {
                Circle(e);
            } else {
                std::vector<Point3D> pts;
                ArcPoints(e, Angle(u) - kPi / 2, kPi, pts);
                Ring(std::move(pts));
            }
        } else if (m_cap == kBufferCapSquare) {
            if (Both()) {
                Ring({Pt(e - d * n), Pt(e + d * n), Pt(e + d * n + d * u), Pt(e - d * n + d * u)});
            } else {
                const Vec v = Sigma() * n;
                Ring({Pt(e), Pt(e + d * u), Pt(e + d * u + d * v), Pt(e + d * v)});
            }
        }
    }

    void Turn(Vec p, Vec t1, Vec t2) {
        const double cross = Cross(t1, t2), dot = Dot(t1, t2);
        const bool reversal = dot < 0 && std::fabs(cross) <= 1e-9;
        if (!reversal && std::fabs(cross) <= 1e-12) return;
        // The outer side of the turn: right of a left turn, left of a right turn; a line that
        // doubles back has both sides outside.
        double sigma = cross > 0 ? -1 : 1;
        if (reversal) sigma = Sigma();
        else if (!(sigma > 0 ? m_left : m_right)) return;
        const double d = m_d;
        const Vec n1 = sigma * LeftOf(t1), n2 = sigma * LeftOf(t2);
        if (m_join == kBufferJoinRound) {
            if (Both()) Circle(p);
            else Sector(p, Angle(n1), reversal ? -sigma * kPi : std::remainder(Angle(n2) - Angle(n1), 2 * kPi));
            return;
        }
        const Vec a1 = p + d * n1, a2 = p + d * n2;
        const double turn = std::acos(std::clamp(dot, -1.0, 1.0));
        if (m_join == kBufferJoinMitre && !reversal && turn <= kSharpTurn)
            Ring({Pt(p), Pt(a1), Pt(p + (d / (1 + Dot(n1, n2))) * (n1 + n2)), Pt(a2)});
        else if (m_join == kBufferJoinMitre)
            Ring({Pt(p), Pt(a1), Pt(a1 + d * t1), Pt(a2 - d * t2), Pt(a2)});
        else if (!reversal)
            Ring({Pt(p), Pt(a1), Pt(a2)});
    }

    double m_d;
    int m_cap, m_join;
    bool m_left, m_right;
    double m_step;
    std::vector<GM_Object*>& m_out;
};

}  // namespace

int MakeBufferPieces(const std::vector<GM_Object*>& objects, double distance, int capStyle, int joinStyle, int side,
                     double tolerance, int tolIsRelative, std::vector<GM_Object*>& pieces) {
    if (!(distance >= 1e-8)) {
        AfxMessageBox2(KELO_GBK("缓冲距不得为0").c_str());
        return 0;
    }
    const double t = tolIsRelative ? tolerance : tolerance / distance;
    if (!(t < 1)) {
        AfxMessageBox2(KELO_GBK("tolerance(折线化容差)不得大于缓冲距").c_str());
        return 0;
    }
    const double step = t >= 0.99999999 ? kPi / 4 : t > 1e-8 ? 2 * std::acos(1 - t) : 0;
    const double thin = distance * t * 0.5;
    PieceMaker maker(distance, capStyle, joinStyle, side, step, pieces);
    for (const GM_Object* g : objects) {
        if (!g) continue;
        detail::WalkPolygons(*g, [&](WKBPolygon& p) {
            // A polygon without area adds nothing but would come through the union as a sliver.
            if (detail::AsPolygon(p).GetArea() > 0) pieces.push_back(new GM_Object(p));
            return false;
        });
        detail::WalkPoints(*g, [&](Point3D& p) {
            maker.Circle(Of(p));
            return false;
        });
        detail::WalkParts(*g, [&](LineString& line, bool, WKBPolygon*, int) {
            maker.Line(detail::AsParts(line), thin);
            return false;
        });
    }
    return 1;
}

int ComputeBuffer(const std::vector<GM_Object*>& objects, double distance, GM_Object& out, int capStyle,
                  int joinStyle, int side, double tolerance, int tolIsRelative) {
    std::vector<GM_Object*> pieces;
    if (!MakeBufferPieces(objects, distance, capStyle, joinStyle, side, tolerance, tolIsRelative, pieces)) return 0;
    if (pieces.empty()) out.DeleteContent();
    else mergePolygons(pieces, out);
    for (GM_Object* p : pieces) delete p;
    return 1;
}

GM_Object* GM_Object::buffer(double d) const {
    auto out = std::make_unique<GM_Object>();
    std::vector<GM_Object*> self{const_cast<GM_Object*>(this)};
    if (!ComputeBuffer(self, d, *out, kBufferCapRound, kBufferJoinRound, kBufferBoth, 0.1, 1)) return nullptr;
    return out.release();
}

}  // namespace kelo
