// Self-checks that read pairs of objects from a text file and compare two ways of computing one
// relation. File format: objects follow one another, two per case. An object is a list of
// parts, each a header "kind ring count" (kind 1 points, 2 a line, 3 a polygon ring; ring 0 starts
// a new polygon, anything else adds a hole to the last one) followed by count "x y" pairs; the
// header "0 0 0" ends the object.
#include <cstdio>
#include <vector>

#include "geometry/geometry_object.h"
#include "relations/nine_detail.h"
#include "relations/nine_intersection.h"

namespace kelo {

int C9iObjIndex::Load_GM_Object(GM_Object& object, FILE* file) {
    object.DeleteContent();
    if (!file) return 0;
    std::vector<keloPolygon> polygons;
    std::vector<keloParts> lines;
    std::vector<Point3D> points;
    for (;;) {
        int kind = 0, ring = 0, count = 0;
        if (std::fscanf(file, "%d%d%d", &kind, &ring, &count) != 3) return 0;
        if (count <= 0) break;
        if (count > 10000000) return 0;
        std::vector<Point3D> pts(static_cast<size_t>(count));
        for (Point3D& p : pts) {
            if (std::fscanf(file, "%lf%lf", &p.x, &p.y) != 2) return 0;
            p.z = 0;
        }
        if (kind == 1) {
            points.insert(points.end(), pts.begin(), pts.end());
        } else if (kind == 2) {
            lines.emplace_back(pts, klLTPolyline);
        } else if (kind == 3) {
            keloParts r(pts, klLTPolyline);
            r.MakeClose();
            if (ring == 0 || polygons.empty()) polygons.emplace_back(r);
            else polygons.back().InsertRing(r, 1);
        } else {
            return 0;
        }
    }
    for (const Point3D& p : points) object.InsertPointAt(p, -1);
    for (const keloParts& l : lines) object.InsertPartsAt(l, -1, 0);
    for (const keloPolygon& pg : polygons) object.InsertPolygon(pg);
    return object.GetType() != wkbEmpty ? 1 : 0;
}

namespace {

void PrintObject(const GM_Object& g) {
    std::vector<Point3D> pts;
    g.GetAllPoints(pts);
    for (const Point3D& p : pts) std::printf(" (%.17g %.17g)", p.x, p.y);
    std::printf("\n");
}

// Reads every case of the file and counts those where check(a, b) is false.
template <class F>
int RunCases(const char* path, F check) {
    FILE* f = path ? std::fopen(path, "r") : nullptr;
    if (!f) return -1;
    int cases = 0, failed = 0;
    for (;;) {
        GM_Object a, b;
        if (!C9iObjIndex::Load_GM_Object(a, f) || !C9iObjIndex::Load_GM_Object(b, f)) break;
        ++cases;
        if (!check(a, b)) {
            ++failed;
            std::printf("CASE%d\n", cases);
            PrintObject(a);
            PrintObject(b);
        }
    }
    std::fclose(f);
    if (failed == 0) std::printf("all %d cases passed.\n", cases);
    return failed;
}

constexpr double kCheckTol = 1e-6;

}  // namespace

// The named relation by element kinds against the one the eight dimensions give.
int C9iObjIndex::UnitTest(const char* path) {
    return RunCases(path, [](const GM_Object& a, const GM_Object& b) {
        C9iObjIndex ia(&a);
        int dims[8];
        const int byKinds = ia.Get9iResultEx(&b, kCheckTol, nullptr, dims);
        int byCode = 0;
        if (!Get9iResult(detail::DimsToCode(dims), byCode)) return true;
        return byKinds == byCode || (byKinds == kl9iTouch && byCode == kl9iBoundaryTouch) ||
               (byKinds == kl9iBoundaryTouch && byCode == kl9iTouch);
    });
}

// The first parts of both objects related as parts and as whole single-part objects.
int C9iPartsIndex::UnitTest(const char* path) {
    return RunCases(path, [](const GM_Object& a, const GM_Object& b) {
        int ra = 0, rb = 0;
        const keloParts* pa = a.GetOriginalPartsAt(&ra, 0);
        const keloParts* pb = b.GetOriginalPartsAt(&rb, 0);
        if (!pa || !pb) return true;
        C9iPartsIndex ia, ib;
        ia.SetIndex(pa, ra);
        ib.SetIndex(pb, rb);
        const int parts = ia.Parts9i(ib, kCheckTol);
        const GM_Object oa(*pa, ra), ob(*pb, rb);
        C9iObjIndex io(&oa);
        int dims[8], whole = 0;
        io.Get9i8BOOLEx(&ob, kCheckTol, dims);
        C9iObjIndex::Get9iResult(detail::DimsToCode(dims), whole);
        return parts == whole;
    });
}

int KeloParts9iUnitTest(const char* path) { return C9iPartsIndex::UnitTest(path); }
int KeloObj9iUnitTest(const char* path) { return C9iObjIndex::UnitTest(path); }

// A to B and B to A give transposed dimensions.
int Kelo8Bool9iUnitTest(const char* path) {
    return RunCases(path, [](const GM_Object& a, const GM_Object& b) {
        int ab[8], ba[8];
        Relate9i(a, b, kCheckTol, ab);
        Relate9i(b, a, kCheckTol, ba);
        static const int transpose[8] = {0, 3, 6, 1, 4, 7, 2, 5};
        for (int k = 0; k < 8; ++k)
            if (ab[k] != ba[transpose[k]]) return false;
        return true;
    });
}

}  // namespace kelo
