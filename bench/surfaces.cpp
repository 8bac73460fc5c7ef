// Delaunay triangulation of a million random points against CGAL's (when its headers are
// installed), and contours of a 5000 x 5000 grid against gdal_contour, each pair in the same run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "raster/contours.h"
#include "raster/triangulation.h"

#if __has_include(<CGAL/Delaunay_triangulation_2.h>)
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#define KELO_BENCH_WITH_CGAL 1
#endif

namespace {

constexpr int kPoints = 1000000;

const std::vector<kelo::Point3D>& RandomPoints() {
    static std::vector<kelo::Point3D> p = [] {
        std::mt19937_64 rng(42);
        std::uniform_real_distribution<double> u(0, 100000);
        std::vector<kelo::Point3D> v(kPoints);
        for (auto& q : v) q = {u(rng), u(rng), u(rng) / 100};
        return v;
    }();
    return p;
}

void BM_DelaunayOurs(benchmark::State& state) {
    const auto& pts = RandomPoints();
    std::vector<kelo::Point3D> tri;
    for (auto _ : state) {
        kelo::DelaunayTriangulation(pts, tri, {});
        benchmark::DoNotOptimize(tri.data());
    }
    state.counters["triangles"] = static_cast<double>(tri.size() / 3);
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_DelaunayOurs)->Iterations(3)->Unit(benchmark::kMillisecond);

#ifdef KELO_BENCH_WITH_CGAL
void BM_DelaunayCgal(benchmark::State& state) {
    using K = CGAL::Exact_predicates_inexact_constructions_kernel;
    const auto& pts = RandomPoints();
    size_t faces = 0;
    for (auto _ : state) {
        // The same work as ours: points in, triangle corner triples out.
        std::vector<K::Point_2> in;
        in.reserve(pts.size());
        for (const auto& p : pts) in.emplace_back(p.x, p.y);
        CGAL::Delaunay_triangulation_2<K> dt(in.begin(), in.end());
        std::vector<kelo::Point3D> tri;
        tri.reserve(dt.number_of_faces() * 3);
        for (auto f = dt.finite_faces_begin(); f != dt.finite_faces_end(); ++f)
            for (int k = 0; k < 3; ++k) tri.push_back({f->vertex(k)->point().x(), f->vertex(k)->point().y(), 0});
        faces = tri.size() / 3;
        benchmark::DoNotOptimize(tri.data());
    }
    state.counters["triangles"] = static_cast<double>(faces);
    state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_DelaunayCgal)->Iterations(3)->Unit(benchmark::kMillisecond);
#endif

constexpr int kN = 5000;
constexpr double kCell = 10, kInterval = 5;

// Rolling terrain in centimetres, as the terrain benchmark's.
const std::vector<int32_t>& Terrain() {
    static std::vector<int32_t> g = [] {
        std::vector<int32_t> v(static_cast<size_t>(kN) * kN);
        uint32_t s = 12345;
        for (int r = 0; r < kN; ++r)
            for (int c = 0; c < kN; ++c) {
                s = s * 1664525u + 1013904223u;
                double h = 30000 + 8000 * std::sin(c * 0.003) * std::cos(r * 0.0021) + 2500 * std::sin((r + c) * 0.011) +
                           600 * std::cos(c * 0.05 - r * 0.031) + (s >> 24) % 40;
                v[static_cast<size_t>(r) * kN + c] = static_cast<int32_t>(h);
            }
        return v;
    }();
    return g;
}

void BM_ContoursOurs(benchmark::State& state) {
    const auto& g = Terrain();
    struct Count {
        size_t lines = 0, points = 0;
    } n;
    for (auto _ : state) {
        n = {};
        kelo::CreateDgxFromDem(g.data(), kN, kN, 500000, 4200000, kCell, kCell, kInterval, 100,
                               [](std::vector<kelo::Point3D>* l, void* u) {
                                   static_cast<Count*>(u)->lines++;
                                   static_cast<Count*>(u)->points += l->size();
                               },
                               &n, 0);
    }
    state.counters["lines"] = static_cast<double>(n.lines);
    state.counters["points"] = static_cast<double>(n.points);
    state.SetItemsProcessed(state.iterations() * int64_t{kN} * kN);
}
BENCHMARK(BM_ContoursOurs)->Iterations(1)->Unit(benchmark::kMillisecond);

// The heights in metres as a raw float raster with an ESRI header, for both command-line tools.
const std::string& TerrainFile() {
    static std::string path = [] {
        const std::string base =
            (std::filesystem::temp_directory_path() / ("kelo_bench_contour_" + std::to_string(::getpid()))).string();
        const std::vector<int32_t>& g = Terrain();
        FILE* f = std::fopen((base + ".bil").c_str(), "wb");
        std::vector<float> row(kN);
        for (int r = 0; r < kN; ++r) {
            for (int c = 0; c < kN; ++c) row[c] = static_cast<float>(g[static_cast<size_t>(r) * kN + c] / 100.0);
            std::fwrite(row.data(), sizeof(float), kN, f);
        }
        std::fclose(f);
        f = std::fopen((base + ".hdr").c_str(), "w");
        std::fprintf(f, "BYTEORDER I\nLAYOUT BIL\nNROWS %d\nNCOLS %d\nNBANDS 1\nNBITS 32\nPIXELTYPE FLOAT\n"
                        "ULXMAP 500005\nULYMAP 4199995\nXDIM %g\nYDIM %g\n", kN, kN, kCell, kCell);
        std::fclose(f);
        std::atexit([] {
            std::filesystem::remove(TerrainFile());
            std::filesystem::remove(TerrainFile().substr(0, TerrainFile().size() - 4) + ".hdr");
        });
        return base + ".bil";
    }();
    return path;
}

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// CPU time of a file-to-file command (user + system), both writing a GeoPackage.
void RunCommand(benchmark::State& state, const std::string& before, const std::string& after) {
    const std::string out = TerrainFile() + ".out.gpkg";
    for (auto _ : state) {
        std::filesystem::remove(out);
        const double t0 = ChildCpuSeconds();
        if (std::system((before + " " + TerrainFile() + " " + out + " " + after + " >/dev/null 2>&1").c_str()) != 0)
            state.SkipWithError(("failed: " + before).c_str());
        state.SetIterationTime(ChildCpuSeconds() - t0);
    }
    std::filesystem::remove(out);
    state.SetItemsProcessed(state.iterations() * int64_t{kN} * kN);
}

std::string Kelo() { return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "kelo").string(); }

// gdal_contour's levels offset by half a centimetre, as ours lie between the integer cells.
void BM_KeloRasterContour(benchmark::State& s) { RunCommand(s, Kelo() + " raster contour", "--interval 5"); }
void BM_GdalContour(benchmark::State& s) { RunCommand(s, "gdal_contour -q -f GPKG -i 5 -off 0.005 -a elev", ""); }
BENCHMARK(BM_KeloRasterContour)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GdalContour)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
