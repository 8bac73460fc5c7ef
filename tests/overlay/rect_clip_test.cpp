// Rectangle clipping: the area, segment results and moved ends, polyline pieces (with the rejoined
// start of a closed line), rings against an independent convex clip, and the selection tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "companion/plane.h"
#include "companion/ui.h"
#include "geometry/geometry_object.h"
#include "geometry/parts.h"
#include "overlay/rect_clip.h"

using namespace kelo;

namespace {

double Area(const std::vector<Point2D>& r) {
    double s = 0;
    for (size_t i = 0; i + 1 < r.size(); ++i) s += r[i].x * r[i + 1].y - r[i + 1].x * r[i].y;
    if (!r.empty()) s += r.back().x * r.front().y - r.front().x * r.back().y;
    return 0.5 * s;
}

double Cross(const Point2D& o, const Point2D& a, const Point2D& b) {
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Counter-clockwise hull, monotone chain.
std::vector<Point2D> Hull(std::vector<Point2D> p) {
    std::sort(p.begin(), p.end(), [](const Point2D& a, const Point2D& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    if (p.size() < 3) return p;
    std::vector<Point2D> h(2 * p.size());
    size_t k = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        while (k >= 2 && Cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    for (size_t i = p.size() - 1, t = k + 1; i-- > 0;) {
        while (k >= t && Cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
        h[k++] = p[i];
    }
    h.resize(k - 1);
    return h;
}

bool InConvex(const std::vector<Point2D>& ccw, const Point2D& q) {
    for (size_t i = 0; i < ccw.size(); ++i)
        if (Cross(ccw[i], ccw[(i + 1) % ccw.size()], q) < -1e-12) return false;
    return true;
}

// Area of a convex polygon inside a rectangle, built without any clipping pass: the hull of the
// polygon's vertices in the rectangle, the rectangle's corners in the polygon and all edge crossings.
double ConvexRectArea(const std::vector<Point2D>& poly, double x0, double y0, double x1, double y1) {
    std::vector<Point2D> rect = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    std::vector<Point2D> pts;
    for (const Point2D& p : poly)
        if (p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1) pts.push_back(p);
    for (const Point2D& c : rect)
        if (InConvex(poly, c)) pts.push_back(c);
    for (size_t i = 0; i < poly.size(); ++i) {
        Point2D a = poly[i], b = poly[(i + 1) % poly.size()];
        for (size_t j = 0; j < 4; ++j) {
            Point2D c = rect[j], d = rect[(j + 1) % 4];
            double den = (b.x - a.x) * (d.y - c.y) - (b.y - a.y) * (d.x - c.x);
            if (den == 0) continue;
            double t = ((c.x - a.x) * (d.y - c.y) - (c.y - a.y) * (d.x - c.x)) / den;
            double u = ((c.x - a.x) * (b.y - a.y) - (c.y - a.y) * (b.x - a.x)) / den;
            if (t >= 0 && t <= 1 && u >= 0 && u <= 1) pts.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
        }
    }
    std::vector<Point2D> h = Hull(pts);
    return h.size() < 3 ? 0.0 : Area(h);
}

void Free(std::vector<std::vector<Point2D>*>& pieces) {
    for (auto* p : pieces) delete p;
    pieces.clear();
}

}  // namespace

TEST(RectClip, AreaOutcodesAndPoints) {
    CRectClip clip(0, 0, 1, 1);
    clip.setcliparea(10, 20, 0, 5);
    EXPECT_EQ(clip.xmin, 0);
    EXPECT_EQ(clip.xmax, 10);
    EXPECT_EQ(clip.ymin, 5);
    EXPECT_EQ(clip.ymax, 20);
    double a, b, c, d;
    clip.getcliparea(a, b, c, d);
    EXPECT_EQ(std::vector<double>({a, b, c, d}), std::vector<double>({0, 5, 10, 20}));
    Box box = clip.GetBox();
    EXPECT_EQ(std::vector<double>({box.minx, box.miny, box.maxx, box.maxy}), std::vector<double>({0, 5, 10, 20}));

    struct Case {
        double x, y;
        int code;
    } cases[] = {{5, 10, 0}, {0, 5, 0}, {10, 20, 0}, {-1, 10, 1}, {11, 10, 2}, {5, 4, 4}, {5, 21, 8}, {-1, 4, 5}, {11, 21, 10}};
    for (const Case& k : cases) {
        EXPECT_EQ(clip.incode(k.x, k.y), k.code) << k.x << "," << k.y;
        EXPECT_EQ(clip.cutpoint(k.x, k.y), k.code == 0 ? 1 : 0) << k.x << "," << k.y;
    }
    EXPECT_EQ(clip.IsCutBox(Box(10, 20, 30, 40)), 1);  // touching at a corner
    EXPECT_EQ(clip.IsCutBox(Box(10.1, 0, 30, 40)), 0);
}

TEST(RectClip, SegmentsAndMovedEnds) {
    CRectClip clip(0, 0, 10, 10);
    struct Case {
        double ax, ay, bx, by;
        int result;
        double wax, way, wbx, wby;  // expected ends when the result is not 0
    } cases[] = {
        {0, 0, 10, 0, 1, 0, 0, 10, 0},          // on the border: unchanged
        {-5, 5, 15, 5, 4, 0, 5, 10, 5},         // left to right through the area
        {5, -5, 5, 15, 4, 5, 0, 5, 10},         // bottom to top
        {-5, 5, 5, 5, 2, 0, 5, 5, 5},           // first end outside
        {5, 5, 5, 15, 3, 5, 5, 5, 10},          // second end outside
        {-5, -5, 15, 15, 4, 0, 0, 10, 10},      // through two corners
        {-2, 4, 4, -2, 4, 0, 2, 2, 0},          // cuts the lower-left corner
        {-5, 6, 4, 15, 0, 0, 0, 0, 0},          // passes outside the upper-left corner
        {-6, 4, 4, -6, 0, 0, 0, 0, 0},          // diagonally outside the corner
        {-5, -1, 15, -1, 0, 0, 0, 0, 0},        // wholly below
        {20, 5, 30, 5, 0, 0, 0, 0, 0},          // wholly right
        {NAN, 5, 15, 5, 0, 0, 0, 0, 0},         // a non-finite end gives no piece
        {5, 5, 5, INFINITY, 0, 0, 0, 0, 0},
    };
    for (const Case& k : cases) {
        double ax = k.ax, ay = k.ay, bx = k.bx, by = k.by;
        int r = clip.cutline(ax, ay, bx, by);
        EXPECT_EQ(r, k.result) << k.ax << "," << k.ay << " - " << k.bx << "," << k.by;
        if (r == 0 || r != k.result) continue;
        EXPECT_NEAR(ax, k.wax, 1e-12);
        EXPECT_NEAR(ay, k.way, 1e-12);
        EXPECT_NEAR(bx, k.wbx, 1e-12);
        EXPECT_NEAR(by, k.wby, 1e-12);
    }
    // The corner miss is decided by the companion's rectangle crossing count.
    EXPECT_LT(MyCrossRect(-6, 4, 4, -6, 0, 0, 10, 10), 2);
    // The scratch segment is the one given, before the move.
    double ax = -5, ay = 5, bx = 15, by = 5;
    clip.cutline(ax, ay, bx, by);
    EXPECT_EQ(std::vector<double>({clip.x1, clip.y1, clip.x2, clip.y2}), std::vector<double>({-5, 5, 15, 5}));

    // Integer ends: moved ends are truncated.
    int32_t ix = -3, iy = 0, jx = 3, jy = 9;  // crosses x = 0 at y = 4.5
    EXPECT_EQ(clip.cutline(ix, iy, jx, jy), 2);
    EXPECT_EQ(ix, 0);
    EXPECT_EQ(iy, 4);
    EXPECT_EQ(jx, 3);
}

TEST(RectClip, ArcsAreReportedNotClipped) {
    std::vector<std::string> seen;
    KeloUiHandler capture;
    capture.user = &seen;
    capture.messageBox = [](void* user, const char* text, uint32_t) {
        static_cast<std::vector<std::string>*>(user)->push_back(text);
        return 42;
    };
    KeloUiHandler previous = SetKeloUiHandler(&capture);
    CRectClip clip(0, 0, 10, 10);
    EXPECT_EQ(clip.cutarc(-1, 0, 0, 1, 1, 0), 42);
    SetKeloUiHandler(&previous);
    EXPECT_EQ(seen, std::vector<std::string>{"arc clip need be done!"});
}

TEST(RectClip, PolylinePiecesAndTheRejoinedStart) {
    CRectClip clip(0, 0, 10, 10);
    std::vector<std::vector<Point2D>*> pieces;
    auto same = [](const std::vector<Point2D>& got, const std::vector<Point2D>& want) {
        if (got.size() != want.size()) return false;
        for (size_t i = 0; i < got.size(); ++i)
            if (std::abs(got[i].x - want[i].x) > 1e-12 || std::abs(got[i].y - want[i].y) > 1e-12) return false;
        return true;
    };

    // A closed square starting inside that leaves once: the halves around the start become one piece.
    std::vector<Point2D> square = {{5, 2}, {15, 2}, {15, 8}, {5, 8}, {5, 2}};
    ASSERT_EQ(clip.cutpolyline(square, pieces), 1);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_TRUE(same(*pieces[0], {{10, 8}, {5, 8}, {5, 2}, {10, 2}}));
    Free(pieces);

    // An open line leaving and re-entering stays in two pieces; pieces already in the list stay.
    pieces.push_back(new std::vector<Point2D>{{1, 1}});
    std::vector<Point2D> open = {{5, 2}, {15, 2}, {15, 8}, {5, 8}};
    ASSERT_EQ(clip.cutpolyline(open, pieces), 2);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_TRUE(same(*pieces[1], {{5, 2}, {10, 2}}));
    EXPECT_TRUE(same(*pieces[2], {{10, 8}, {5, 8}}));
    Free(pieces);

    // Too short, or wholly outside: nothing.
    EXPECT_EQ(clip.cutpolyline(std::vector<Point2D>{{5, 5}}, pieces), 0);
    EXPECT_EQ(clip.cutpolyline(std::vector<Point2D>{{20, 5}, {30, 5}, {30, 40}}, pieces), 0);
    EXPECT_TRUE(pieces.empty());

    // The 3D form carries z along the clipped segment.
    std::vector<std::vector<Point3D>*> pieces3;
    Point3D line3[] = {{-10, 5, 0}, {20, 5, 30}};
    ASSERT_EQ(clip.cutpolyline(line3, 2, pieces3), 1);
    ASSERT_EQ(pieces3[0]->size(), 2u);
    EXPECT_NEAR((*pieces3[0])[0].z, 10, 1e-12);
    EXPECT_NEAR((*pieces3[0])[1].z, 20, 1e-12);
    for (auto* p : pieces3) delete p;
}

TEST(RectClip, RingsInsideOutsideAndTheRecordForms) {
    CRectClip clip(0, 0, 10, 10);
    std::vector<Point2D> inside = {{1, 1}, {9, 1}, {9, 9}, {1, 9}};
    std::vector<Point2D> want = inside;
    want.push_back(inside[0]);
    ASSERT_EQ(clip.cutpolygon(inside), 5);
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(inside[i].x, want[i].x);
        EXPECT_EQ(inside[i].y, want[i].y);
    }
    std::vector<Point2D> outside = {{11, 1}, {19, 1}, {19, 9}, {11, 9}, {11, 1}};
    EXPECT_EQ(RectClipRegion(outside, 0, 0, 10, 10), 0);
    EXPECT_TRUE(outside.empty());
    std::vector<Point2D> two = {{1, 1}, {2, 2}};
    EXPECT_EQ(clip.cutpolygon(two), 0);

    // Record forms: one ring per ring that keeps something; the polygon form answers the list size.
    keloPolygon polygon(keloParts(std::vector<Point3D>{{-5, -5, 0}, {5, -5, 0}, {5, 5, 0}, {-5, 5, 0}, {-5, -5, 0}}, klLTPolyline));
    polygon.InsertRing(keloParts(std::vector<Point3D>{{20, 20, 0}, {21, 20, 0}, {21, 21, 0}, {20, 20, 0}}, klLTPolyline), 1);
    std::vector<std::vector<Point2D>*> rings;
    EXPECT_EQ(clip.cutpolygon(*static_cast<WKBPolygon*>(&polygon), rings), 1);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_NEAR(std::abs(Area(*rings[0])), 25, 1e-12);
    Free(rings);

    // RectClipRing copies the stored points: joints once, the last point kept.
    keloParts twoRuns;
    twoRuns.InsertPointsAt(keloPoints(std::vector<Point3D>{{-5, -5, 0}, {5, -5, 0}, {5, 5, 0}}, klLTPolyline), -1);
    twoRuns.InsertPointsAt(keloPoints(std::vector<Point3D>{{5, 5, 0}, {-5, 5, 0}, {-5, -5, 0}}, klLTPolyline), -1);
    std::vector<Point2D> out;
    EXPECT_EQ(RectClipRing(&twoRuns, 0, 0, 10, 10, out), 5);
    EXPECT_NEAR(std::abs(Area(out)), 25, 1e-12);
}

TEST(RectClip, ConvexRingsMatchAnIndependentClip) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-20, 20);
    for (int round = 0; round < 400; ++round) {
        std::vector<Point2D> cloud;
        int n = 3 + round % 12;
        for (int i = 0; i < n; ++i) cloud.push_back({u(rng), u(rng)});
        std::vector<Point2D> poly = Hull(cloud);
        if (poly.size() < 3) continue;
        double ax = u(rng), ay = u(rng), bx = u(rng), by = u(rng);
        double want = ConvexRectArea(poly, std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by));

        std::vector<Point2D> ring = poly;
        if (round % 2) std::reverse(ring.begin(), ring.end());
        CRectClip clip(ax, ay, bx, by);
        clip.cutpolygon(ring);
        EXPECT_NEAR(std::abs(Area(ring)), want, 1e-9 * (1 + want)) << "round " << round;

        std::vector<Point3D> ring3;
        for (const Point2D& p : poly) ring3.push_back({p.x, p.y, 7});
        RectClipRegion(ring3, std::min(ax, bx), std::min(ay, by), std::max(ax, bx), std::max(ay, by));
        std::vector<Point2D> flat;
        for (const Point3D& p : ring3) {
            flat.push_back({p.x, p.y});
            EXPECT_EQ(p.z, 7);
        }
        EXPECT_NEAR(std::abs(Area(flat)), want, 1e-9 * (1 + want)) << "round " << round;
    }
}

TEST(RectClip, SelectionModes) {
    CRectClip clip(0, 0, 10, 10);
    GM_Object crossing(keloParts(std::vector<Point3D>{{-5, 5, 0}, {15, 5, 0}}, klLTPolyline), 0);
    GM_Object within(keloParts(std::vector<Point3D>{{1, 1, 0}, {9, 9, 0}}, klLTPolyline), 0);
    GM_Object away(keloParts(std::vector<Point3D>{{20, 20, 0}, {30, 30, 0}}, klLTPolyline), 0);
    // A polygon around the whole area: its ring never meets the area, its inside does.
    GM_Object around(keloParts(std::vector<Point3D>{{-5, -5, 0}, {15, -5, 0}, {15, 15, 0}, {-5, 15, 0}, {-5, -5, 0}}, klLTPolyline), 1);
    GM_Object point(Point3D{3, 3, 0});
    struct Case {
        const GM_Object* object;
        uint16_t mode;
        int want;
    } cases[] = {
        {&crossing, 1, 1}, {&crossing, 2, 0}, {&crossing, 0, 1}, {&within, 2, 1}, {&within, 3, 1},
        {&away, 1, 0},     {&around, 1, 0},   {&around, 3, 1},   {&around, 2, 0}, {&point, 1, 1},
        {&point, 2, 1},    {&crossing, 4, 0}, {&point, 7, 0},
    };
    for (const Case& k : cases) EXPECT_EQ(clip.Search(k.object, k.mode), k.want) << "mode " << k.mode;
    EXPECT_EQ(clip.Search(nullptr, 1), 0);

    Point3D mp[] = {{1, 1, 0}, {20, 20, 0}};
    WKBMultiPoint* multi = ConstructMultiPointByPoints(mp, 2);
    WKBGeometry record;
    record.type = wkbMultiPoint;
    record.multiPoint = *multi;
    EXPECT_EQ(clip.SearchSGeometry(&record, 1), 1);  // one point is enough
    EXPECT_EQ(clip.SearchSGeometry(&record, 2), 0);  // every point must be inside
    FreeWKBMultiPoint(multi);
}
