// The drawing path: point-type bytes, figures, curves as cubic pieces, reading back; and the export
// of point runs into it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "KeloGeomNet.h"

using namespace kelo;

namespace {
struct PathData {
    std::vector<GpPointF> pts;
    std::vector<uint8_t> types;
};

PathData Read(GpPath* path) {
    int32_t n = -1;
    EXPECT_EQ(GdipGetPointCount(path, &n), Ok);
    PathData d{std::vector<GpPointF>(size_t(n)), std::vector<uint8_t>(size_t(n))};
    GpPathData data{n, d.pts.data(), d.types.data()};
    EXPECT_EQ(GdipGetPathData(path, &data), Ok);
    EXPECT_EQ(data.Count, n);
    return d;
}

GpPointF Cubic(const GpPointF* c, double t) {
    double u = 1 - t;
    return {float(u * u * u * c[0].X + 3 * u * u * t * c[1].X + 3 * u * t * t * c[2].X + t * t * t * c[3].X),
            float(u * u * u * c[0].Y + 3 * u * u * t * c[1].Y + 3 * u * t * t * c[2].Y + t * t * t * c[3].Y)};
}

// Every cubic piece of the path stays on the circle within tol.
void ExpectOnCircle(const PathData& d, size_t from, double cx, double cy, double r, double tol) {
    for (size_t i = from; i + 3 < d.pts.size(); i += 3)
        for (double t = 0; t <= 1.0001; t += 0.1) {
            GpPointF p = Cubic(&d.pts[i], t);
            EXPECT_NEAR(std::hypot(p.X - cx, p.Y - cy), r, tol) << i << " " << t;
        }
}

struct PathGuard {
    GpPath* p = nullptr;
    PathGuard() { EXPECT_EQ(GdipCreatePath(FillModeAlternate, &p), Ok); }
    ~PathGuard() { GdipDeletePath(p); }
};
}  // namespace

TEST(GraphicsPath, FiguresAndTypeBytes) {
    PathGuard g;
    GpPointF line[3] = {{0, 0}, {10, 0}, {10, 10}};
    ASSERT_EQ(GdipAddPathLine2(g.p, line, 3), Ok);
    // Continuing the figure: a joining line, but no repeated point where it already ends.
    GpPointF more[2] = {{10, 10}, {0, 10}};
    ASSERT_EQ(GdipAddPathLine2(g.p, more, 2), Ok);
    ASSERT_EQ(GdipClosePathFigure(g.p), Ok);
    GpPointF bez[4] = {{20, 0}, {21, 5}, {29, 5}, {30, 0}};
    ASSERT_EQ(GdipAddPathBeziers(g.p, bez, 4), Ok);
    PathData d = Read(g.p);
    std::vector<uint8_t> expect = {0, 1, 1, 0x81, 0, 3, 3, 3};
    EXPECT_EQ(d.types, expect);
    // A second element in an open figure joins with a line.
    ASSERT_EQ(GdipAddPathLine2(g.p, line, 1), Ok);
    EXPECT_EQ(Read(g.p).types.back(), 1);

    EXPECT_EQ(GdipAddPathBeziers(g.p, bez, 3), InvalidParameter);
    EXPECT_EQ(GdipAddPathLine2(g.p, line, 0), InvalidParameter);
    EXPECT_EQ(GdipAddPathCurve2(g.p, line, 1, 0.5f), InvalidParameter);
    EXPECT_EQ(GdipAddPathClosedCurve2(g.p, line, 2, 0.5f), InvalidParameter);
    EXPECT_EQ(GdipAddPathArc(g.p, 0, 0, 0, 5, 0, 90), InvalidParameter);
    EXPECT_EQ(GdipAddPathLine2(nullptr, line, 2), InvalidParameter);
    int32_t n = 0;
    EXPECT_EQ(GdipGetPointCount(g.p, &n), Ok);
    EXPECT_EQ(n, 9);  // failed calls add nothing
    std::vector<GpPointF> small(2);
    std::vector<uint8_t> st(2);
    GpPathData data{2, small.data(), st.data()};
    EXPECT_EQ(GdipGetPathData(g.p, &data), InsufficientBuffer);
}

TEST(GraphicsPath, EllipseAndArcsAreCubicPieces) {
    PathGuard g;
    ASSERT_EQ(GdipAddPathEllipse(g.p, 0, 0, 20, 20), Ok);
    PathData d = Read(g.p);
    ASSERT_EQ(d.pts.size(), 13u);
    EXPECT_EQ(d.types[0], 0);
    EXPECT_EQ(d.types[12], 0x83);
    EXPECT_FLOAT_EQ(d.pts[0].X, 20);  // starts at the rightmost point
    EXPECT_FLOAT_EQ(d.pts[3].Y, 20);  // then towards +y
    ExpectOnCircle(d, 0, 10, 10, 10, 10 * 3e-4);

    // Arcs: quarter pieces at most, ends where the angles say, either sense of travel.
    for (float sweep : {90.f, -135.f, 300.f, 360.f}) {
        PathGuard a;
        ASSERT_EQ(GdipAddPathArc(a.p, -5, -5, 10, 10, 30, sweep), Ok);
        PathData ad = Read(a.p);
        size_t pieces = size_t(std::ceil(std::abs(sweep) / 90.0));
        ASSERT_EQ(ad.pts.size(), 3 * pieces + 1) << sweep;
        double end = (30 + sweep) * M_PI / 180;
        EXPECT_NEAR(ad.pts.back().X, 5 * std::cos(end), 1e-4);
        EXPECT_NEAR(ad.pts.back().Y, 5 * std::sin(end), 1e-4);
        ExpectOnCircle(ad, 0, 0, 0, 5, 5 * 3e-4);
    }
    // On an ellipse the angles are those of the points seen from the centre.
    PathGuard e;
    ASSERT_EQ(GdipAddPathArc(e.p, -4, -2, 8, 4, 45, 45), Ok);
    PathData ed = Read(e.p);
    EXPECT_NEAR(std::atan2(ed.pts[0].Y, ed.pts[0].X), M_PI / 4, 1e-5);
    EXPECT_NEAR(ed.pts[0].X * ed.pts[0].X / 16 + ed.pts[0].Y * ed.pts[0].Y / 4, 1, 1e-5);
}

TEST(GraphicsPath, CardinalCurvesPassThroughTheirPoints) {
    GpPointF pts[4] = {{0, 0}, {10, 5}, {20, -5}, {30, 0}};
    PathGuard g;
    ASSERT_EQ(GdipAddPathCurve2(g.p, pts, 4, 0.5f), Ok);
    PathData d = Read(g.p);
    ASSERT_EQ(d.pts.size(), 10u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(d.pts[3 * i].X, pts[i].X);
        EXPECT_FLOAT_EQ(d.pts[3 * i].Y, pts[i].Y);
    }
    // Tangent at an inner point: tension/3 of the neighbours' difference.
    EXPECT_NEAR(d.pts[4].X - d.pts[3].X, 0.5 / 3 * (20 - 0), 1e-5);
    EXPECT_NEAR(d.pts[2].Y - d.pts[3].Y, -0.5 / 3 * (-5 - 0), 1e-5);
    // Tension 0 gives straight pieces.
    PathGuard s;
    GdipAddPathCurve2(s.p, pts, 4, 0.0f);
    PathData sd = Read(s.p);
    EXPECT_FLOAT_EQ(sd.pts[1].X, 0);
    PathGuard c;
    ASSERT_EQ(GdipAddPathClosedCurve2(c.p, pts, 4, 0.5f), Ok);
    PathData cd = Read(c.p);
    ASSERT_EQ(cd.pts.size(), 13u);
    EXPECT_EQ(cd.types.back(), 0x83);
    EXPECT_FLOAT_EQ(cd.pts.back().X, 0);
}

TEST(PathExport, DroppingAndMergingDevicePoints) {
    // All points on one integer device position: nothing is added.
    keloPoints tiny(std::vector<Point3D>{{0.1, 0.1, 0}, {0.5, 0.9, 0}, {0.7, 0.2, 0}}, klLTPolyline);
    PathGuard g;
    EXPECT_EQ(klAddPoints2Path(&tiny, g.p, 0, 0, 1.0), 0);
    EXPECT_EQ(Read(g.p).pts.size(), 0u);
    // Points continuing a straight line merge into its far end; a turn is kept.
    keloPoints straight(std::vector<Point3D>{{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}, {30, 10, 0}}, klLTPolyline);
    EXPECT_EQ(klAddPoints2Path(&straight, g.p, 0, 0, 1.0), 3);
    PathData d = Read(g.p);
    ASSERT_EQ(d.pts.size(), 3u);
    EXPECT_FLOAT_EQ(d.pts[1].X, 30);
    // Origin and scale give device units.
    PathGuard h;
    keloPoints seg(100, 200, 140, 260);
    klAddPoints2Path(&seg, h.p, 100, 200, 2.0);
    PathData hd = Read(h.p);
    EXPECT_FLOAT_EQ(hd.pts[1].X, 20);
    EXPECT_FLOAT_EQ(hd.pts[1].Y, 30);
    EXPECT_EQ(klAddPoints2Path(&seg, h.p, 0, 0, 0.0), 0);
    EXPECT_EQ(klAddPoints2Path(nullptr, h.p, 0, 0, 1.0), 0);
}

TEST(PathExport, CurveKindsBecomePathCurves) {
    // Arc chain: each arc as cubic pieces on its circle.
    keloPoints arcs(Point3D{0, 0, 0}, 50.0);
    PathGuard g;
    EXPECT_EQ(klAddPoints2Path(&arcs, g.p, 0, 0, 1.0), 5);
    PathData d = Read(g.p);
    EXPECT_EQ(d.pts.size(), 13u);  // two half circles of two quarter pieces each
    ExpectOnCircle(d, 0, 0, 0, 50, 50 * 3e-4);
    // A three-point circle is an ellipse figure of its own.
    keloPoints circle(std::vector<Point3D>{{0, 0, 0}, {10, 10, 0}, {20, 0, 0}}, klLT3PCircle);
    PathGuard c;
    klAddPoints2Path(&circle, c.p, 0, 0, 1.0);
    PathData cd = Read(c.p);
    ASSERT_EQ(cd.pts.size(), 13u);
    EXPECT_EQ(cd.types.back(), 0x83);
    ExpectOnCircle(cd, 0, 10, 0, 10, 10 * 3e-4);
    // A closed spline drops its repeated last point and closes the figure.
    double old = SetGzZlytParameter(4.0);
    keloPoints ring(std::vector<Point3D>{{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {0, 0, 0}}, klLTSpline);
    PathGuard s;
    EXPECT_EQ(klAddPoints2Path(&ring, s.p, 0, 0, 1.0), 5);
    PathData sd = Read(s.p);
    ASSERT_EQ(sd.pts.size(), 13u);
    EXPECT_EQ(sd.types.back(), 0x83);
    EXPECT_NEAR(sd.pts[1].X - sd.pts[0].X, 0.5 / 3 * (10 - 0), 1e-5);  // tension 1/sqrt(4)
    SetGzZlytParameter(old);
    // An ellipse goes in as its Bezier form.
    std::vector<Point3D> e;
    for (int k = 0; k <= 4; ++k) e.push_back(EllipsePointAt({0, 0, 0}, 40, 20, 0, k * M_PI / 2));
    keloPoints ell(e, klLTEllipse);
    PathGuard el;
    EXPECT_EQ(klAddPoints2Path(&ell, el.p, 0, 0, 1.0), 13);
    PathData ed = Read(el.p);
    for (size_t i = 0; i + 3 < ed.pts.size(); i += 3) {
        GpPointF p = Cubic(&ed.pts[i], 0.5);
        EXPECT_NEAR(p.X * p.X / 1600 + p.Y * p.Y / 400, 1, 1e-3);
    }
}
