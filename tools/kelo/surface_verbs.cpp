#include "surface_verbs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "KeloGeomNet.h"
#include "progress_bar.h"

namespace kelo_tool {

using namespace kelo;

const char* const kSurfaceOptions[] = {"--interval", "--png",    "--method", "--at",
                                       "--height",   "--target-height", "--from", "--to"};
const size_t kSurfaceOptionCount = sizeof kSurfaceOptions / sizeof kSurfaceOptions[0];

namespace {

int Fail(const std::string& message) {
    Progress::Finish();
    std::fprintf(stderr, "kelo raster: %s\n", message.c_str());
    return 1;
}

double Num(const std::map<std::string, std::string>& v, const char* key, double fallback) {
    auto it = v.find(key);
    return it == v.end() ? fallback : std::atof(it->second.c_str());
}

bool Pair(const std::map<std::string, std::string>& v, const char* key, double& x, double& y) {
    auto it = v.find(key);
    return it != v.end() && std::sscanf(it->second.c_str(), "%lf,%lf", &x, &y) == 2 && std::isfinite(x) &&
           std::isfinite(y);
}

// Lattice of cell centres: contours and regions take the corner of the first cell as origin.
double CornerX(const RasterGrid& g) { return g.geo[0]; }
double CornerY(const RasterGrid& g) { return g.geo[3]; }

// Hill shade with dark contour lines burned in, written as a PNG picture.
bool ContourPicture(const std::string& path, const RasterGrid& g, double zscale, const GeoLayer& lines,
                    std::string& error) {
    std::unique_ptr<int32_t[]> shade(HillShade(g.cells.data(), g.cols, g.rows, g.cellX, g.cellY, 315, 45, zscale));
    if (!shade) {
        error = "cannot shade the grid";
        return false;
    }
    for (const GeoFeature& f : lines.features) {
        keloParts parts;
        if (!f.geom.GetPartsAt(parts, 0) || parts.GetPartsCount() < 1) continue;
        const CurveSegment& run = parts.parts[0];
        for (uint32_t k = 0; k + 1 < run.pointCount; ++k) {
            const double c0 = (run.points[k].x - g.geo[0]) / g.cellX - 0.5, r0 = (g.geo[3] - run.points[k].y) / g.cellY - 0.5;
            const double c1 = (run.points[k + 1].x - g.geo[0]) / g.cellX - 0.5,
                         r1 = (g.geo[3] - run.points[k + 1].y) / g.cellY - 0.5;
            const int steps = static_cast<int>(std::ceil(std::max(std::fabs(c1 - c0), std::fabs(r1 - r0)) * 2)) + 1;
            for (int s = 0; s <= steps; ++s) {
                const long c = std::lround(c0 + (c1 - c0) * s / steps), r = std::lround(r0 + (r1 - r0) * s / steps);
                if (r >= 0 && r < g.rows && c >= 0 && c < g.cols) shade[static_cast<size_t>(r) * g.cols + c] = 0;
            }
        }
    }
    return WriteRaster(path, g, shade.get(), true, error);
}

int Contour(const std::vector<std::string>& pos, const std::map<std::string, std::string>& v) {
    if (pos.size() != 2) return Fail("contour needs INPUT and OUTPUT (a vector file)");
    if (DriverFor(pos[1], "").empty()) return Fail(pos[1] + ": unknown output format");
    const double zscale = Num(v, "--zscale", 100);
    RasterGrid g;
    std::string error;
    if (!ReadRaster(pos[0], zscale, static_cast<int>(Num(v, "--band", 1)), g, error)) return Fail(error);
    GeoLayer layer;
    std::vector<double> elev;
    if (!ContourLines(g, zscale, Num(v, "--interval", 0), layer, elev, error)) return Fail(error);
    std::vector<std::vector<double>> values{elev};
    std::vector<GeoLayer> layers(1);
    layers[0] = std::move(layer);
    if (!WriteGeoFile(pos[1], "", layers, error, "elev", &values)) return Fail(error);
    if (v.count("--png") && !ContourPicture(v.at("--png"), g, zscale, layers[0], error)) return Fail(error);
    std::printf("%zu contours\n", layers[0].features.size());
    return 0;
}

int Grid(const std::vector<std::string>& pos, const std::map<std::string, std::string>& v) {
    if (pos.size() != 2) return Fail("grid needs POINTS (a vector file) and OUTPUT");
    const double cell = Num(v, "--cell", 0), zscale = Num(v, "--zscale", 1);
    if (!(cell > 0)) return Fail("grid needs --cell SIZE");
    const std::string method = v.count("--method") ? v.at("--method") : "linear";
    if (method != "linear" && method != "idw") return Fail("--method is linear or idw");
    std::vector<GeoLayer> layers;
    std::string error;
    if (!ReadGeoFile(pos[0], "", layers, error, Progress::Tick)) return Fail(error);
    Progress::Finish();
    std::vector<Point3D> pts;
    for (const GeoLayer& l : layers)
        for (const GeoFeature& f : l.features) {
            // Points, and the vertices of lines (contour lines, for instance).
            std::vector<Point3D> all;
            for (int i = 0; i < f.geom.GetPointCount(); ++i) {
                Point3D p;
                if (f.geom.GetPointAt(p, i)) all.push_back(p);
            }
            for (int i = 0; i < f.geom.GetPartsCount(); ++i) {
                keloParts part;
                if (f.geom.GetPartsAt(part, i)) part.GetAllVertex(all);
            }
            for (const Point3D& p : all)
                if (std::isfinite(p.z) && p.z != kUnknownZ) pts.push_back({p.x, p.y, p.z * zscale});
        }
    if (pts.empty()) return Fail(pos[0] + ": no points with heights");
    double minx = pts[0].x, maxx = minx, miny = pts[0].y, maxy = miny;
    for (const Point3D& p : pts) {
        minx = std::min(minx, p.x), maxx = std::max(maxx, p.x);
        miny = std::min(miny, p.y), maxy = std::max(maxy, p.y);
    }
    const double cols = std::floor((maxx - minx) / cell) + 1, rows = std::floor((maxy - miny) / cell) + 1;
    if (cols > kMaxReformSize || rows > kMaxReformSize) return Fail("the grid would have more than 60000 cells a side");
    RasterGrid g;
    g.cols = static_cast<int>(cols);
    g.rows = static_cast<int>(rows);
    g.cellX = g.cellY = cell;
    g.x0 = minx;
    g.yTop = maxy;
    const double geo[6] = {minx - cell / 2, cell, 0, maxy + cell / 2, 0, -cell};
    std::copy(geo, geo + 6, g.geo);
    g.cells.assign(static_cast<size_t>(g.cols) * g.rows, kRasterNodata);
    if (method == "idw")
        SurfaceCreateIDW(pts, g.cols, g.rows, g.x0, g.yTop, cell, cell, g.cells.data());
    else
        SurfaceCreateLinear(pts, g.cols, g.rows, g.x0, g.yTop, cell, cell, g.cells.data());
    if (!WriteRaster(pos[1], g, g.cells.data(), false, error)) return Fail(error);
    std::printf("%d x %d cells from %zu points\n", g.cols, g.rows, pts.size());
    return 0;
}

int ViewshedVerb(const std::vector<std::string>& pos, const std::map<std::string, std::string>& v) {
    if (pos.size() != 2) return Fail("viewshed needs INPUT and OUTPUT");
    double x, y;
    if (!Pair(v, "--at", x, y)) return Fail("viewshed needs --at X,Y");
    const double zscale = Num(v, "--zscale", 100);
    RasterGrid g;
    std::string error;
    if (!ReadRaster(pos[0], zscale, static_cast<int>(Num(v, "--band", 1)), g, error)) return Fail(error);
    std::vector<int32_t> seen;
    if (!Viewshed(g, zscale, x, y, Num(v, "--height", 1.7), seen, error)) return Fail(error);
    std::string lower = pos[1];
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".png") == 0) {
        // A picture: hidden ground shaded dark, seen ground lit.
        std::unique_ptr<int32_t[]> shade(HillShade(g.cells.data(), g.cols, g.rows, g.cellX, g.cellY, 315, 45, zscale));
        for (size_t i = 0; shade && i < seen.size(); ++i)
            if (seen[i] == 0) shade[i] /= 4;
        if (!shade || !WriteRaster(pos[1], g, shade.get(), true, error)) return Fail(error);
    } else if (!WriteRaster(pos[1], g, seen.data(), false, error)) {
        return Fail(error);
    }
    const size_t visible = static_cast<size_t>(std::count(seen.begin(), seen.end(), 1));
    std::printf("visible\t%zu of %zu cells\n", visible,
                seen.size() - static_cast<size_t>(std::count(seen.begin(), seen.end(), kRasterNodata)));
    return 0;
}

int Profile(const std::vector<std::string>& pos, const std::map<std::string, std::string>& v) {
    if (pos.size() != 1) return Fail("profile needs INPUT");
    double ax, ay, bx, by;
    if (!Pair(v, "--from", ax, ay) || !Pair(v, "--to", bx, by)) return Fail("profile needs --from X,Y and --to X,Y");
    const double zscale = Num(v, "--zscale", 100);
    RasterGrid g;
    std::string error;
    if (!ReadRaster(pos[0], zscale, static_cast<int>(Num(v, "--band", 1)), g, error)) return Fail(error);
    if (v.count("--height") || v.count("--target-height")) {
        keloPoints sight;
        std::vector<uint8_t> visible;
        LineOfSight(g.cells.data(), g.cols, g.rows, g.x0, g.yTop, g.cellX, g.cellY, {ax, ay, 0},
                    Num(v, "--height", 0) * zscale, {bx, by, 0}, Num(v, "--target-height", 0) * zscale, sight, visible);
        if (sight.GetCount() == 0) return Fail("no terrain under the line");
        std::printf("distance\theight\tvisible\n");
        for (int k = 0; k < sight.GetCount(); ++k)
            std::printf("%.10g\t%.10g\t%d\n", sight[k].x, sight[k].y / zscale, visible[static_cast<size_t>(k)]);
        return 0;
    }
    std::vector<Point3D> prof;
    if (!DemSectionOfLine(g.cells.data(), g.cols, g.rows, g.x0, g.yTop, g.cellX, g.cellY, {ax, ay, 0}, {bx, by, 0}, prof))
        return Fail("the line is too short");
    std::printf("distance\tx\ty\theight\n");
    for (const Point3D& p : prof)
        std::printf("%.10g\t%.10g\t%.10g\t%.10g\n", std::hypot(p.x - ax, p.y - ay), p.x, p.y, p.z / zscale);
    return 0;
}

}  // namespace

bool ContourLines(const RasterGrid& g, double zscale, double interval, GeoLayer& out, std::vector<double>& elev,
                  std::string& error) {
    out = GeoLayer{};
    out.name = "contours";
    out.declaredType = "LineString";
    elev.clear();
    if (!(interval > 0)) {
        error = "contour needs --interval STEP (> 0)";
        return false;
    }
    struct Sink {
        GeoLayer* layer;
        std::vector<double>* elev;
    } sink{&out, &elev};
    auto emit = [](std::vector<Point3D>* line, void* user) {
        auto* s = static_cast<Sink*>(user);
        GeoFeature f;
        f.fid = static_cast<long long>(s->layer->features.size());
        f.geom.Create(*line, 0, klLTPolyline);
        s->elev->push_back(line->front().z);
        s->layer->features.push_back(std::move(f));
    };
    const int32_t saved = GetNodata();
    SetNodata(kRasterNodata);
    const int ok = CreateDgxFromDem(g.cells.data(), g.cols, g.rows, CornerX(g), CornerY(g), g.cellX, g.cellY, interval,
                                    static_cast<int>(std::lround(zscale)), emit, &sink, 0);
    SetNodata(saved);
    if (!ok) {
        error = "no contours: the grid is smaller than 2 x 2, or the interval is too fine (more than 30000 levels)";
        return false;
    }
    return true;
}

bool Viewshed(const RasterGrid& g, double zscale, double x, double y, double height, std::vector<int32_t>& seen,
              std::string& error) {
    const double r = std::floor((g.yTop - y) / g.cellY + 0.5), c = std::floor((x - g.x0) / g.cellX + 0.5);
    if (!(r >= 0 && r < g.rows && c >= 0 && c < g.cols)) {
        error = "the observer is outside the grid";
        return false;
    }
    seen.assign(g.cells.size(), 0);
    for (size_t i = 0; i < seen.size(); ++i)
        if (g.cells[i] == kRasterNodata) seen[i] = kRasterNodata;
    const int32_t saved = GetNodata();
    SetNodata(kRasterNodata);
    const int ok = VisibleRange(static_cast<int>(r), static_cast<int>(c), g.rows, g.cols, g.cells.data(), seen.data(),
                                static_cast<int>(std::lround(height * zscale)), 1);
    SetNodata(saved);
    if (!ok) error = "no viewshed: the grid needs at least 10 cells a side and the observer valid ground";
    return ok != 0;
}

int SurfaceVerb(const std::string& verb, const std::vector<std::string>& positional,
                const std::map<std::string, std::string>& values) {
    if (verb == "contour") return Contour(positional, values);
    if (verb == "grid") return Grid(positional, values);
    if (verb == "viewshed") return ViewshedVerb(positional, values);
    if (verb == "profile") return Profile(positional, values);
    return -1;
}

void PrintSurfaceUsage(FILE* out) {
    std::fprintf(out,
                 "      contour    IN OUT --interval STEP [--png PIC]   contour lines (OUT a vector file, field elev);\n"
                 "                                                      PIC: hill shade with the lines drawn in\n"
                 "      grid       POINTS OUT --cell SIZE [--method linear|idw]  grid from the points' z (zscale 1)\n"
                 "      viewshed   IN OUT --at X,Y [--height H]     1 seen, 0 hidden (OUT .png: a picture)\n"
                 "      profile    IN --from X,Y --to X,Y [--height H] [--target-height T]\n"
                 "                                                      heights along the line; with heights, the\n"
                 "                                                      line of sight and what is visible\n");
}

}  // namespace kelo_tool
