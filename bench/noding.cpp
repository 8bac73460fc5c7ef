// Noding and face building against GEOS on the same segments: n random segments of length about
// 3 / sqrt(n) in the unit square times 1000 (a few crossings per segment), noded by our line
// handler (union of overlaps) and by GEOSNode; faces by our arc-polygon builder and by
// GEOSPolygonize on the noded lines of a 200 x 200 grid with random diagonals.
#include <benchmark/benchmark.h>
#include <geos_c.h>

#include <cmath>
#include <random>
#include <vector>

#include "overlay/arc_polygon.h"
#include "overlay/line_handler.h"

using namespace kelo;

namespace {

struct Segs {
    std::vector<Point3D> pts;  // pairs
};

Segs RandomSegs(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1000), a(0, 2 * M_PI);
    const double len = 3000.0 / std::sqrt(double(n));
    Segs s;
    for (int i = 0; i < n; ++i) {
        const double x = u(rng), y = u(rng), t = a(rng);
        s.pts.push_back({x, y, 0});
        s.pts.push_back({x + len * std::cos(t), y + len * std::sin(t), 0});
    }
    return s;
}

Segs GridSegs(int m, unsigned seed) {
    std::mt19937 rng(seed);
    Segs s;
    for (int i = 0; i <= m; ++i) {
        s.pts.push_back({0, double(i), 0});
        s.pts.push_back({double(m), double(i), 0});
        s.pts.push_back({double(i), 0, 0});
        s.pts.push_back({double(i), double(m), 0});
    }
    std::uniform_int_distribution<int> c(0, m - 1);
    for (int k = 0; k < m * m / 4; ++k) {
        const double x = c(rng), y = c(rng);
        s.pts.push_back({x, y, 0});
        s.pts.push_back({x + 1, y + 1, 0});
    }
    return s;
}

GEOSGeometry* GeosLines(GEOSContextHandle_t h, const Segs& s) {
    std::vector<GEOSGeometry*> g;
    for (size_t i = 0; i + 1 < s.pts.size(); i += 2) {
        GEOSCoordSequence* cs = GEOSCoordSeq_create_r(h, 2, 2);
        GEOSCoordSeq_setXY_r(h, cs, 0, s.pts[i].x, s.pts[i].y);
        GEOSCoordSeq_setXY_r(h, cs, 1, s.pts[i + 1].x, s.pts[i + 1].y);
        g.push_back(GEOSGeom_createLineString_r(h, cs));
    }
    return GEOSGeom_createCollection_r(h, GEOS_MULTILINESTRING, g.data(), static_cast<unsigned>(g.size()));
}

void OursNode(benchmark::State& st) {
    const Segs s = RandomSegs(static_cast<int>(st.range(0)), 1);
    for (auto _ : st) {
        CLineHandler h(1e-9);
        for (size_t i = 0; i + 1 < s.pts.size(); i += 2) h.AddLine(&s.pts[i], 2);
        benchmark::DoNotOptimize(h.OrOverLines(0));
        st.counters["out"] = h.GetSegmentCount();
    }
}

void GeosNode(benchmark::State& st) {
    const Segs s = RandomSegs(static_cast<int>(st.range(0)), 1);
    GEOSContextHandle_t h = GEOS_init_r();
    GEOSGeometry* lines = GeosLines(h, s);
    for (auto _ : st) {
        GEOSGeometry* noded = GEOSNode_r(h, lines);
        st.counters["out"] = GEOSGetNumGeometries_r(h, noded);
        GEOSGeom_destroy_r(h, noded);
    }
    GEOSGeom_destroy_r(h, lines);
    GEOS_finish_r(h);
}

void OursFaces(benchmark::State& st) {
    const Segs s = GridSegs(static_cast<int>(st.range(0)), 2);
    for (auto _ : st) {
        CKeloMakeArcPolygon f(1e-9);
        for (size_t i = 0; i + 1 < s.pts.size(); i += 2) f.Add(CsSegment(const_cast<Point3D*>(&s.pts[i]), klLTPolyline));
        f.Solve(false);
        st.counters["faces"] = f.GetPolygonCount() - 1;
    }
}

void GeosFaces(benchmark::State& st) {
    const Segs s = GridSegs(static_cast<int>(st.range(0)), 2);
    GEOSContextHandle_t h = GEOS_init_r();
    GEOSGeometry* lines = GeosLines(h, s);
    for (auto _ : st) {
        // Noding is part of the job on both sides: our builder nodes its input too.
        GEOSGeometry* noded = GEOSNode_r(h, lines);
        const GEOSGeometry* in[1] = {noded};
        GEOSGeometry* polys = GEOSPolygonize_r(h, in, 1);
        st.counters["faces"] = GEOSGetNumGeometries_r(h, polys);
        GEOSGeom_destroy_r(h, polys);
        GEOSGeom_destroy_r(h, noded);
    }
    GEOSGeom_destroy_r(h, lines);
    GEOS_finish_r(h);
}

}  // namespace

BENCHMARK(OursNode)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(GeosNode)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(OursFaces)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(GeosFaces)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);
