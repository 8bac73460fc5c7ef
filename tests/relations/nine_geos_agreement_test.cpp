// The eight dimensions and the distances against GEOS on random pairs drawn on a half-unit grid,
// where shared vertices, shared edges, points on edges, nesting, identical shapes and rays through
// vertices happen all the time. Grid coordinates are exact, so every feature lies either on
// another or farther from it than the tolerance.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "relations/nine_test_support.h"

using namespace kelo;
using namespace ninetest;

namespace {

constexpr double kTol = 1e-9;

class Draw {
public:
    explicit Draw(unsigned seed) : rng_(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    double Grid() { return Int(0, 16) * 0.5; }
    Point3D Pt() { return {Grid(), Grid(), 0}; }

    Ring Line() {
        Ring l{Pt()};
        const int n = Int(2, 4);
        while (static_cast<int>(l.size()) < n) {
            Point3D p = Pt();
            if (p.x != l.back().x || p.y != l.back().y) l.push_back(p);
        }
        return l;
    }
    Ring RectRing(double minSize) {
        for (;;) {
            double x0 = Int(0, 7), y0 = Int(0, 7), x1 = Int(1, 8), y1 = Int(1, 8);
            if (x1 - x0 >= minSize && y1 - y0 >= minSize) return Rect(x0, y0, x1, y1);
        }
    }
    // A star-shaped ring about a grid centre; may be invalid after snapping (callers check).
    Ring Star() {
        const double cx = Int(2, 6), cy = Int(2, 6);
        const int n = Int(4, 7);
        std::vector<double> ang;
        for (int i = 0; i < n; ++i) ang.push_back(std::uniform_real_distribution<double>(0, 2 * M_PI)(rng_));
        std::sort(ang.begin(), ang.end());
        Ring r;
        for (double a : ang) {
            double rad = Int(1, 6) * 0.5;
            r.push_back({cx + std::round(2 * rad * std::cos(a)) / 2, cy + std::round(2 * rad * std::sin(a)) / 2, 0});
        }
        r.push_back(r.front());
        return r;
    }

    Shape Any(const Geos& geos) {
        for (;;) {
            Shape s;
            switch (Int(0, 8)) {
            case 0: s.points = {Pt()}; break;
            case 1: s.points = {Pt(), Pt(), Pt()}; break;
            case 2:
            case 3: s.lines = {Line()}; break;
            case 4: s.lines = {Line(), Line()}; break;
            case 5: s.polygons = {{RectRing(1)}}; break;
            case 6: {
                Ring outer = RectRing(3);
                double x0 = outer[0].x, y0 = outer[0].y, x1 = outer[2].x, y1 = outer[2].y;
                s.polygons = {{outer, Rect(x0 + 1, y0 + 1, std::max(x0 + 1.5, x1 - 1 - 0.5 * Int(0, 1)), y1 - 1)}};
                break;
            }
            case 7: s.polygons = {{Star()}}; break;
            default: s.polygons = {{RectRing(1)}, {RectRing(1)}}; break;
            }
            // Points repeated in a multipoint are fine for both; the rest must be valid shapes.
            if (s.points.size() > 1) {
                auto& p = s.points;
                std::sort(p.begin(), p.end(), [](const Point3D& a, const Point3D& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
                p.erase(std::unique(p.begin(), p.end(), [](const Point3D& a, const Point3D& b) { return a.x == b.x && a.y == b.y; }), p.end());
            }
            if (geos.Valid(s)) return s;
        }
    }

    // A partner for a: often built from a itself, so that the two share what the cases need.
    Shape Partner(const Shape& a, const Geos& geos) {
        const Ring* ring = !a.polygons.empty() ? &a.polygons[0][0] : !a.lines.empty() ? &a.lines[0] : nullptr;
        switch (Int(0, 9)) {
        case 0: return a;  // identical
        case 1: {          // the same shape travelled the other way
            Shape b = a;
            for (auto& rings : b.polygons)
                for (Ring& r : rings) std::reverse(r.begin(), r.end());
            for (Ring& l : b.lines) std::reverse(l.begin(), l.end());
            return b;
        }
        case 2: {  // moved by one grid step
            Shape b = a;
            const double dx = Int(-1, 1) * 0.5, dy = Int(-1, 1) * 0.5;
            auto move = [&](Point3D& p) { p.x += dx, p.y += dy; };
            for (auto& rings : b.polygons)
                for (Ring& r : rings) std::for_each(r.begin(), r.end(), move);
            for (Ring& l : b.lines) std::for_each(l.begin(), l.end(), move);
            std::for_each(b.points.begin(), b.points.end(), move);
            return b;
        }
        case 3:
            if (ring) {  // a vertex, or the middle of an edge
                Shape b;
                const size_t i = static_cast<size_t>(Int(0, static_cast<int>(ring->size()) - 2));
                const Point3D &p = (*ring)[i], &q = (*ring)[i + 1];
                b.points = {Int(0, 1) ? p : Point3D{(p.x + q.x) / 2, (p.y + q.y) / 2, 0}};
                return b;
            }
            break;
        case 4:
            if (ring) {  // a line along part of the boundary, maybe running on beyond it
                Shape b;
                const size_t i = static_cast<size_t>(Int(0, static_cast<int>(ring->size()) - 2));
                Ring l{(*ring)[i], (*ring)[i + 1]};
                if (Int(0, 1)) l.push_back(Pt());
                if (l.size() == 3 && l[2].x == l[1].x && l[2].y == l[1].y) l.pop_back();
                b.lines = {l};
                if (geos.Valid(b)) return b;
            }
            break;
        case 5:
            if (a.polygons.size() == 1 && a.polygons[0].size() > 1) {  // in the hole, or the hole itself
                Shape b;
                const Ring& hole = a.polygons[0][1];
                if (Int(0, 1)) b.points = {{(hole[0].x + hole[2].x) / 2, (hole[0].y + hole[2].y) / 2, 0}};
                else b.polygons = {{hole}};
                return b;
            }
            break;
        default: break;
        }
        return Any(geos);
    }

private:
    std::mt19937 rng_;
};

// Which kind of shape this is, for the tally of results.
std::string KindName(const Shape& s) {
    if (!s.polygons.empty()) return s.polygons.size() > 1 ? "mpolygon" : s.polygons[0].size() > 1 ? "holed" : "polygon";
    if (!s.lines.empty()) return s.lines.size() > 1 ? "mline" : "line";
    return s.points.size() > 1 ? "mpoint" : "point";
}

bool HasClosedLine(const Shape& s) {
    for (const Ring& l : s.lines)
        if (l.front().x == l.back().x && l.front().y == l.back().y) return true;
    return false;
}

// Known classes of disagreement, each with its reason (see docs/relations.md). Empty when the
// pair belongs to none.
std::string KnownClass(const Geos& geos, const Shape& a, const Shape& b) {
    // A closed line has no boundary; the endpoint rule of GEOS still puts its closing point there.
    if (HasClosedLine(a) || HasClosedLine(b)) return "closed line";
    // Lines crossing themselves (or each other within one object) at a point off the grid: GEOS
    // rounds that crossing and then no longer sees the other object's stretch along it.
    for (const Shape* s : {&a, &b})
        if (!s->lines.empty()) {
            GEOSGeometry* g = geos.Read(s->Wkt());
            const bool simple = GEOSisSimple_r(geos.ctx(), g) == 1;
            geos.Free(g);
            if (!simple) return "self-crossing lines";
        }
    return "";
}

TEST(NineIntersectionAgreement, EightDimensionsMatchGeosOnRandomGridPairs) {
    const Geos geos;
    // KELO_NINE_SEED and KELO_NINE_CASES let a longer hunt run outside the test suite.
    const char* seed = std::getenv("KELO_NINE_SEED");
    const char* cases = std::getenv("KELO_NINE_CASES");
    Draw draw(seed ? static_cast<unsigned>(std::atoi(seed)) : 20261206u);
    const int kCases = cases ? std::atoi(cases) : 4000;
    int agree = 0, unexplained = 0;
    std::map<std::string, int> known, kinds;
    for (int c = 0; c < kCases; ++c) {
        const Shape a = draw.Any(geos);
        const Shape b = draw.Partner(a, geos);
        const std::string expect = geos.Relate(a, b);
        ASSERT_EQ(expect.size(), 9u) << a.Wkt() << " / " << b.Wkt();
        const GM_Object ga = a.Object(), gb = b.Object();
        int dims[8];
        Relate9i(ga, gb, kTol, dims);
        const std::string got = Text8(dims);
        ++kinds[KindName(a) + "/" + KindName(b)];
        // B to A is the transpose, whatever GEOS says.
        int back[8];
        Relate9i(gb, ga, kTol, back);
        const int transpose[8] = {0, 3, 6, 1, 4, 7, 2, 5};
        for (int k = 0; k < 8; ++k) EXPECT_EQ(dims[k], back[transpose[k]]) << a.Wkt() << "  vs  " << b.Wkt();
        if (got == expect.substr(0, 8)) {
            ++agree;
            continue;
        }
        const std::string why = KnownClass(geos, a, b);
        if (!why.empty()) {
            ++known[why];
            continue;
        }
        if (unexplained++ < 10)
            ADD_FAILURE() << "case " << c << ": " << a.Wkt() << "  vs  " << b.Wkt() << "\n  GEOS " << expect << "  ours " << got;
    }
    std::printf("agreement: %d of %d pairs over %zu kind pairs\n", agree, kCases, kinds.size());
    for (const auto& [why, n] : known) std::printf("  known disagreement, %s: %d\n", why.c_str(), n);
    EXPECT_EQ(unexplained, 0);
    // The known classes stay rare; a jump means a new fault hiding behind them.
    EXPECT_GT(agree, kCases * 98 / 100);
}

// Off the grid: shapes in general position, where contacts are proper crossings computed in
// floating point, plus identical and reversed partners and partners through a vertex.
TEST(NineIntersectionAgreement, EightDimensionsMatchGeosOffTheGrid) {
    const Geos geos;
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> u(0, 10);
    auto star = [&] {
        const double cx = 3 + u(rng) * 0.4, cy = 3 + u(rng) * 0.4;
        std::vector<double> ang;
        for (int i = 0; i < 9; ++i) ang.push_back(u(rng) * 0.2 * M_PI);
        std::sort(ang.begin(), ang.end());
        Ring r;
        for (double a : ang) r.push_back({cx + (1 + u(rng) * 0.3) * std::cos(a), cy + (1 + u(rng) * 0.3) * std::sin(a), 0});
        r.push_back(r.front());
        return r;
    };
    auto any = [&](int kind) {
        Shape s;
        if (kind == 0) s.points = {{u(rng), u(rng), 0}};
        else if (kind == 1) s.lines = {{{u(rng), u(rng), 0}, {u(rng), u(rng), 0}, {u(rng), u(rng), 0}}};
        else s.polygons = {{star()}};
        return s;
    };
    int agree = 0, known = 0, tried = 0;
    const int kCases = 1500;
    for (int c = 0; c < kCases; ++c) {
        const Shape a = any(c % 3);
        Shape b;
        switch ((c / 3) % 4) {
        case 0: b = a; break;
        case 1:
            b = a;
            for (auto& rings : b.polygons) std::reverse(rings[0].begin(), rings[0].end());
            for (Ring& l : b.lines) std::reverse(l.begin(), l.end());
            break;
        case 2:
            if (!a.points.empty()) b = any(2);
            else b.points = {(a.polygons.empty() ? a.lines[0] : a.polygons[0][0])[1]};
            break;
        default: b = any((c / 12) % 3); break;
        }
        if (!geos.Valid(a) || !geos.Valid(b)) continue;
        ++tried;
        int dims[8];
        Relate9i(a.Object(), b.Object(), kTol, dims);
        const std::string expect = geos.Relate(a, b);
        if (Text8(dims) == expect.substr(0, 8)) {
            ++agree;
        } else if (!KnownClass(geos, a, b).empty()) {
            ++known;
        } else {
            ADD_FAILURE() << a.Wkt() << "  vs  " << b.Wkt() << "\n  GEOS " << expect << "  ours " << Text8(dims);
        }
    }
    std::printf("off the grid: %d of %d agree, %d in known classes\n", agree, tried, known);
    EXPECT_GT(tried, kCases * 8 / 10);  // most drawn shapes are valid, so the comparison is not empty
}

TEST(NineIntersectionAgreement, DistancesMatchGeos) {
    const Geos geos;
    Draw draw(7);
    for (int c = 0; c < 1500; ++c) {
        const Shape a = draw.Any(geos);
        Shape b = draw.Any(geos);
        const double expect = geos.Distance(a, b);
        Point3D pa, pb;
        const GM_Object ga = a.Object(), gb = b.Object();
        const double got = DistanceOfGMObject(ga, gb, pa, pb);
        ASSERT_NEAR(got, expect, 1e-9 * std::max(1.0, expect)) << a.Wkt() << "  vs  " << b.Wkt();
        // The nearest points lie on their objects and are as far apart as the distance says.
        EXPECT_NEAR(std::hypot(pa.x - pb.x, pa.y - pb.y), got, 1e-9 * std::max(1.0, got));
        EXPECT_LE(DistanceOfGMObject(ga, GM_Object(pa)), 1e-9);
        EXPECT_LE(DistanceOfGMObject(gb, GM_Object(pb)), 1e-9);
    }
}

}  // namespace
