// Buffers against GEOS on random points, lines (degenerate ones included) and polygons, for every
// cap, join and side: the area within the error the circle tolerance allows and a small symmetric
// difference; exact-arc buffers against the analytic disc, stadium and ring band; the refusals
// and their messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/tolerance.h"
#include "overlay/buffer.h"
#include "support/geos_oracle.h"

using namespace kelo;
using kelo_test::GeosOracle;

namespace {

constexpr double kPi = 3.14159265358979323846;

GM_Object Wkt(const std::string& text) {
    GM_Object g;
    EXPECT_EQ(WktToGeometry(text, g), 1) << text;
    return g;
}

struct Random {
    std::mt19937 rng;
    explicit Random(unsigned seed) : rng(seed) {}
    double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    static std::string Xy(double x, double y) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%.17g %.17g", x, y);
        return buf;
    }
    // A walk whose turns stay within maxTurn, so mitres and one-sided buffers have one answer.
    std::string Walk(int n, double maxTurn, double step) {
        double x = Real(-50, 50), y = Real(-50, 50), h = Real(0, 2 * kPi);
        std::string s = "LINESTRING(" + Xy(x, y);
        for (int i = 1; i < n; ++i) {
            h += Real(-maxTurn, maxTurn);
            const double len = Real(0.5, 1.5) * step;
            x += len * std::cos(h);
            y += len * std::sin(h);
            s += ", " + Xy(x, y);
        }
        return s + ")";
    }
    std::string Points(int n) {
        std::string s = "MULTIPOINT(";
        for (int i = 0; i < n; ++i) s += (i ? ", (" : "(") + Xy(Real(-20, 20), Real(-20, 20)) + ")";
        return s + ")";
    }
    std::string Star(double cx, double cy, double r, bool hole) {
        auto ring = [&](double r0, double r1, bool cw, int n) {
            std::string s = "(", first;
            for (int i = 0; i < n; ++i) {
                const double a = 2 * kPi * (i + Real(0.1, 0.9)) / n * (cw ? -1 : 1), rr = Real(r0, r1);
                std::string p = Xy(cx + rr * std::cos(a), cy + rr * std::sin(a));
                if (i == 0) first = p;
                s += p + ", ";
            }
            return s + first + ")";
        };
        return "POLYGON(" + ring(0.6 * r, r, false, Int(3, 12)) + (hole ? ", " + ring(0.05 * r, 0.15 * r, true, 6) : "") + ")";
    }
};

struct Style {
    int cap, join, side;
    int geosCap, geosJoin;  // GEOS's codes: caps 1 round, 2 flat, 3 square; joins 1 round, 2 mitre, 3 bevel
};

}  // namespace

TEST(Buffer, AgreesWithGeos) {
    GeosOracle geos;
    Random rnd(20);
    const Style styles[] = {
        {kBufferCapRound, kBufferJoinRound, kBufferBoth, 1, 1}, {kBufferCapSquare, kBufferJoinBevel, kBufferBoth, 3, 3},
        {kBufferCapNone, kBufferJoinMitre, kBufferBoth, 2, 2},  {kBufferCapNone, kBufferJoinRound, kBufferLeft, 2, 1},
        {kBufferCapNone, kBufferJoinRound, kBufferRight, 2, 1},
    };
    const std::vector<std::string> degenerate = {
        "LINESTRING(3 3, 3 3)", "LINESTRING(0 0, 5 0, 5 0, 5 0, 9 4)", "LINESTRING(0 0, 10 0, 2 0)",
        "LINESTRING(0 0, 10 0, 0 0.001, 10 0.002)", "LINESTRING(0 0, 4 0, 4 4, 0 4, 0 0)",
    };
    int cases = 0;
    for (int trial = 0; trial < 90; ++trial) {
        const Style& st = styles[trial % 5];
        const bool oneSided = st.side != kBufferBoth;
        std::string wkt;
        switch (trial / 5 % 6) {
        case 0: wkt = rnd.Points(rnd.Int(1, 25)); break;
        case 1: wkt = rnd.Walk(rnd.Int(2, 40), oneSided || st.join == kBufferJoinMitre ? 1.4 : 3.1, 4); break;
        case 2: wkt = rnd.Walk(rnd.Int(2, 6), 1.4, 10); break;
        case 3: wkt = rnd.Star(0, 0, 10, trial % 2); break;
        case 4: wkt = "MULTIPOLYGON((" + rnd.Star(0, 0, 5, false).substr(8) + ", (" + rnd.Star(8, 3, 5, true).substr(8) + ")"; break;
        default: wkt = degenerate[trial % degenerate.size()]; break;
        }
        // GEOS draws points with the cap style, mitres turns sharper than a right angle farther
        // out than the clipped mitre here, and buffers polygons on one side by other rules: those
        // cases only have to come out valid.
        const int family = trial / 5 % 6;
        const bool compare = family == 0 || family == 5 ? trial % 5 == 0
                                                        : !((oneSided || st.join == kBufferJoinMitre) && family >= 3);
        for (double tol : {0.1, 0.01}) {
            const double d = rnd.Real(0.3, 3);
            GM_Object in = Wkt(wkt), out;
            std::vector<GM_Object*> objects{&in};
            ASSERT_EQ(ComputeBuffer(objects, d, out, st.cap, st.join, st.side, tol, 1), 1);
            GeosOracle::Ptr ours = geos.From(out), ing = geos.From(in);
            ASSERT_TRUE(ours && ing) << wkt;
            if (!geos.Invalidity(ing.get()).empty()) continue;  // a hole that strayed out of its star
            GEOSBufferParams* params = GEOSBufferParams_create_r(geos.ctx());
            GEOSBufferParams_setEndCapStyle_r(geos.ctx(), params, st.geosCap);
            GEOSBufferParams_setJoinStyle_r(geos.ctx(), params, st.geosJoin);
            GEOSBufferParams_setMitreLimit_r(geos.ctx(), params, 10);
            GEOSBufferParams_setQuadrantSegments_r(geos.ctx(), params, 256);
            GEOSBufferParams_setSingleSided_r(geos.ctx(), params, oneSided);
            GeosOracle::Ptr ref = geos.Own(GEOSBufferWithParams_r(geos.ctx(), ing.get(), params, st.side == kBufferRight ? -d : d));
            GEOSBufferParams_destroy_r(geos.ctx(), params);
            ASSERT_TRUE(ref);
            EXPECT_EQ(geos.Invalidity(ours.get()), "") << wkt;
            if (!compare) continue;
            // Chords lie at most tol * d inside their circles and the line is thinned by half that,
            // so the two boundaries stay within 1.5 * tol * d of each other.
            const double band = geos.Length(ref.get()) * 1.5 * tol * d + 1e-9;
            const double a = geos.Area(ours.get()), b = geos.Area(ref.get());
            EXPECT_NEAR(a, b, band) << wkt << " d " << d << " tol " << tol << " style " << trial % 5;
            EXPECT_LE(geos.XorArea(ours.get(), ref.get()), band) << wkt << " d " << d << " style " << trial % 5;
            ++cases;
        }
    }
    EXPECT_GT(cases, 80);
}

TEST(Buffer, ExactArcsGiveAnalyticAreas) {
    struct Case {
        const char* what;
        std::string wkt;
        double d, area;
    } cases[] = {
        {"disc", "POINT(3 4)", 2, kPi * 4},
        {"stadium", "LINESTRING(0 0, 6 8)", 1.5, 2 * 1.5 * 10 + kPi * 1.5 * 1.5},
        {"two discs apart", "MULTIPOINT((0 0), (10 0))", 1, 2 * kPi},
        // A square ring on both sides: a rounded outer square less the inner square hole.
        {"ring band", "LINESTRING(0 0, 10 0, 10 10, 0 10, 0 0)", 1, 12 * 12 - (4 - kPi) - 8 * 8},
    };
    for (const Case& c : cases) {
        GM_Object in = Wkt(c.wkt), out;
        std::vector<GM_Object*> objects{&in};
        ASSERT_EQ(ComputeBuffer(objects, c.d, out, kBufferCapRound, kBufferJoinRound, kBufferBoth, 0, 1), 1);
        // The circles touch the bodies' sides tangentially; the faces there must all survive.
        EXPECT_NEAR(out.GetArea(), c.area, 1e-9 * out.GetPerimeter()) << c.what;
        EXPECT_TRUE(out.bWithCurve()) << c.what;
    }
}

TEST(Buffer, PointBufferAndRefusals) {
    // The one-call form: a ring on the unit circle at the step 2 acos(0.9).
    GM_Object point(Point3D{5, -2, 0});
    std::unique_ptr<GM_Object> disc(point.buffer(1.0));
    ASSERT_TRUE(disc);
    ASSERT_EQ(disc->GetPolygonCount(), 1);
    keloParts* ring = disc->GetOriginalPolygonAt(0)->GetOriginalRingAt(0);
    std::vector<Point3D> pts;
    ring->GetAllOriginalPoint(pts);
    const double step = 2 * std::acos(0.9);
    EXPECT_EQ(pts.size(), static_cast<size_t>(std::ceil(2 * kPi / step)) + 1);
    for (const Point3D& p : pts) EXPECT_NEAR(std::hypot(p.x - 5, p.y + 2), 1, 1e-12);

    std::vector<std::string> shown;
    KeloUiHandler capture;
    capture.user = &shown;
    capture.messageBox = [](void* user, const char* text, uint32_t) {
        static_cast<std::vector<std::string>*>(user)->push_back(text);
        return kIdOk;
    };
    KeloUiHandler previous = SetKeloUiHandler(&capture);
    GM_Object line = Wkt("LINESTRING(0 0, 1 1)"), out = Wkt("POINT(7 7)");
    std::vector<GM_Object*> objects{&line};
    const std::string distanceText = KELO_GBK("缓冲距不得为0");
    const std::string toleranceText = KELO_GBK("tolerance(折线化容差)不得大于缓冲距");
    struct Case {
        const char* what;
        double d, tol;
        int relative;
        const std::string& message;
    } cases[] = {
        {"distance 0", 0, 0.1, 1, distanceText},
        {"negative distance", -1, 0.1, 1, distanceText},
        {"relative tolerance 1", 1, 1, 1, toleranceText},
        {"absolute tolerance above the distance", 2, 2.5, 0, toleranceText},
    };
    for (const Case& c : cases) {
        shown.clear();
        EXPECT_EQ(ComputeBuffer(objects, c.d, out, 0, 0, 3, c.tol, c.relative), 0) << c.what;
        ASSERT_EQ(shown.size(), 1u) << c.what;
        EXPECT_EQ(shown[0], c.message) << c.what;
        EXPECT_EQ(out.GetType(), wkbPoint) << c.what;
    }
    EXPECT_EQ(point.buffer(0), nullptr);
    SetKeloUiHandler(&previous);
}
