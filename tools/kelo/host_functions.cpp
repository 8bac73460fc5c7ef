#include "host_functions.h"

#include <cctype>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "geo_files.h"
#include "host_geometry.h"
#include "host_network.h"
#include "host_partition.h"
#include "host_raster.h"
#include "noding_tool.h"

namespace kelo_tool {

using namespace kelo;

// The order is the protocol: name i is host function 32768 + i, message 1295 carries i.
const char* const kHostNames[] = {
    "geoFromText",  "geoArea",  "geoLength", "geoBox",       "geoCount",          "sunRiseSet",
    "dayLength",    "mf_klPoints_area", "mf_klPoints_length", "mf_klPoints_box", "mf_klPoints_count",
    "netCreate",    "netAddRoad", "netRoute", "netNearest",   "netTour",           "netArea",
    "netFree",      "geoPoints",  "mf_klPoints_points", "geoRead", "geoWrite", "geoToWkt", "geoFromWkt",
    "geoRelate",    "geoDistance",
    "geoNode",      "geoPolygonize",
    "rasterRead",   "rasterSlope", "rasterAspect", "rasterHillShade", "rasterWrite", "rasterStats", "rasterFree",
    "rasterFill",   "rasterFlowDir", "rasterFlowAcc", "rasterStreams", "rasterFlowLength", "rasterWatershed",
    "rasterContours", "rasterViewshed", "rasterClassify", "rasterResample", "rasterZonal",
    "geoIntersection", "geoUnion", "geoDifference", "geoSymDifference", "geoDissolve",
    "geoSimplify",  "geoBuffer",
    "geoCheck",     "geoNeaten",  "geoNeatenText", "geoAreaCut", "geoCutParallel", "geoCutRotate", "geoCutByLine",
    "geoPartition",
};
const int32_t kHostNameCount = static_cast<int32_t>(sizeof kHostNames / sizeof kHostNames[0]);

namespace {

enum Fn {
    kFromText, kArea, kLength, kBox, kCount, kSunRiseSet, kDayLength, kMArea, kMLength, kMBox, kMCount,
    kNetFirst,  // the network functions follow in the order of NetFn
    kPoints = kNetFirst + static_cast<int>(NetFn::kFree) + 1, kMPoints, kRead, kWrite, kToWkt, kFromWkt,
    kRelate, kDistance, kNode, kPolygonize,
    kRasterFirst,  // the raster functions follow in the order of RasterFn
    // Overlay: the first four in the order of the operation codes 0 to 3.
    kIntersection = kRasterFirst + static_cast<int>(RasterFn::kEnd), kUnion, kDifference, kSymDifference, kDissolve,
    kSimplify, kBuffer,
    kPartitionFirst,  // then those of PartitionFn
};

using Geometry = HostGeometry;

struct HostState {
    std::vector<std::unique_ptr<Geometry>> geometries;
    std::unordered_set<const void*> known;
    void (*onStart)(ScriptEngine*) = nullptr;
    void (*onEnd)(ScriptEngine*) = nullptr;
} g_state;

}  // namespace

bool ParseGeometryText(const std::string& text, Geometry& g) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    std::string word;
    while (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
    int depth = word == "POLYGON" ? 2 : (word == "POINT" || word == "LINESTRING") ? 1 : 0;
    if (depth == 0) return false;
    g.polygon = word == "POLYGON";
    for (int k = 0; k < depth; ++k) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (i >= text.size() || text[i++] != '(') return false;
    }
    std::vector<Point3D> pts;
    for (;;) {
        const char* start = text.c_str() + i;
        char* end = nullptr;
        const double x = std::strtod(start, &end);
        if (end == start) return false;
        const double y = std::strtod(end, &end);
        if (!std::isfinite(x) || !std::isfinite(y)) return false;
        pts.push_back({x, y, kUnknownZ});
        i = static_cast<size_t>(end - text.c_str());
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (i < text.size() && text[i] == ',') {
            ++i;
            continue;
        }
        break;
    }
    if (i >= text.size() || text[i] != ')') return false;
    if (word == "POINT" && pts.size() != 1) return false;
    if (g.polygon) {
        if (pts.size() < 3) return false;
        if (pts.front().x != pts.back().x || pts.front().y != pts.back().y) pts.push_back(pts.front());
    }
    g.points = keloPoints(pts, klLTPolyline);
    return true;
}

void* KeepGeometry(std::unique_ptr<Geometry> g) {
    void* handle = g.get();
    g_state.known.insert(handle);
    g_state.geometries.push_back(std::move(g));
    return handle;
}

const Geometry* FindGeometry(const Tdata& v) {
    if (v.dataType != kTypePoints || g_state.known.count(v.value.handle) == 0) return nullptr;
    return static_cast<const Geometry*>(v.value.handle);
}

void GeometryObject(const Geometry& g, GM_Object& out) {
    if (g.whole) {
        out.Create(static_cast<const WKBGeometry&>(g.object));
        return;
    }
    out.DeleteContent();
    if (g.points.pointCount == 0) return;
    if (g.points.pointCount == 1 && !g.polygon) {
        out.Create(g.points.points[0]);
        return;
    }
    out.Create(static_cast<const CurveSegment&>(g.points));
    if (g.polygon) out.Polyline2Polygon();
}

void* KeepObject(const GM_Object& object) {
    auto g = std::make_unique<Geometry>();
    g->object.Create(static_cast<const WKBGeometry&>(object));
    g->whole = true;
    const CurveSegment* run = nullptr;
    if (object.type == wkbLineString && object.line.partCount == 1) run = object.line.parts;
    if (object.type == wkbPolygon && object.polygon.ringCount == 1 && object.polygon.rings[0].partCount == 1) {
        run = object.polygon.rings[0].parts;
        g->polygon = true;
    }
    if (object.type == wkbPoint) g->points = keloPoints(klLTPolyline, 1, &object.point);
    if (run) g->points = keloPoints(run->lineType, static_cast<int>(run->pointCount), run->points);
    return KeepGeometry(std::move(g));
}

namespace {

// The array of geometries a host function returns.
intptr_t ReturnGeometries(Tdata*& cells, int32_t result, const std::vector<void*>& handles) {
    ScriptEngine* e = GetCurrentScriptEngine();
    if (e == nullptr || !KeloScriptCurReserveMemory(cells, static_cast<int32_t>(handles.size()) + 1)) return 0;
    Tdata list;
    list.setDataType(kTypeArray);
    for (void* h : handles) {
        const int32_t c = e->allocCell();
        e->cells[c] = Tdata(kTypePoints, h);
        list.value.a->push_back(c);
    }
    e->cells[result].copyFrom(list);
    return 1;
}

intptr_t ReadFile(Tdata* cells, const std::vector<int32_t>& args, int32_t result) {
    if (args.empty() || args.size() > 2 || cells[args[0]].dataType != kTypeString) return 0;
    if (args.size() == 2 && cells[args[1]].dataType != kTypeString) return 0;
    const std::string path = *cells[args[0]].value.s;
    const std::string layer = args.size() == 2 ? *cells[args[1]].value.s : std::string();
    std::vector<GeoLayer> layers;
    std::string error;
    if (!ReadGeoFile(path, layer, layers, error)) {
        std::fprintf(stderr, "geoRead: %s\n", error.c_str());
        return 0;
    }
    std::vector<void*> handles;
    for (const GeoLayer& l : layers)
        for (const GeoFeature& f : l.features) handles.push_back(KeepObject(f.geom));
    return ReturnGeometries(cells, result, handles);
}

intptr_t WriteFile(Tdata* cells, const std::vector<int32_t>& args, int32_t result) {
    if (args.size() != 2 || cells[args[0]].dataType != kTypeString || cells[args[1]].dataType != kTypeArray) return 0;
    ScriptEngine* e = GetCurrentScriptEngine();
    if (e == nullptr) return 0;
    GeoLayer layer;
    layer.name = "geometries";
    for (int32_t c : *cells[args[1]].value.a) {
        const Geometry* g = FindGeometry(e->cells[c]);
        if (g == nullptr) return 0;
        GeoFeature f;
        f.fid = static_cast<long long>(layer.features.size());
        GeometryObject(*g, f.geom);
        layer.features.push_back(std::move(f));
    }
    std::vector<GeoLayer> layers;
    layers.push_back(std::move(layer));
    std::string error;
    if (!WriteGeoFile(*cells[args[0]].value.s, "", layers, error)) {
        std::fprintf(stderr, "geoWrite: %s\n", error.c_str());
        return 0;
    }
    return setValue(cells[result], Tdata(static_cast<int>(layers[0].features.size())));
}

// The geometries of an array argument as objects; false when a member is not a geometry.
bool ObjectsOf(const Tdata& array, std::vector<GM_Object>& objects) {
    ScriptEngine* e = GetCurrentScriptEngine();
    if (e == nullptr || array.dataType != kTypeArray) return false;
    for (int32_t c : *array.value.a) {
        const Geometry* g = FindGeometry(e->cells[c]);
        if (g == nullptr) return false;
        objects.emplace_back();
        GeometryObject(*g, objects.back());
    }
    return true;
}

// geoNode(array, tol) and geoPolygonize(array, tol): the noded lines or the faces of every
// geometry of the array taken together.
intptr_t NodeOrPolygonize(Tdata* cells, const std::vector<int32_t>& args, int32_t result, bool faces) {
    double tol = 0;
    if (args.size() != 2) return 0;
    if (cells[args[1]].dataType == kTypeInt) tol = cells[args[1]].value.i;
    else if (cells[args[1]].dataType == kTypeDouble) tol = cells[args[1]].value.d;
    else return 0;
    std::vector<GM_Object> objects;
    if (!ObjectsOf(cells[args[0]], objects)) return 0;
    std::vector<const GM_Object*> in;
    for (const GM_Object& o : objects) in.push_back(&o);
    std::vector<GM_Object> made;
    if (!(faces ? PolygonizeLines(in, tol, made) : NodeLines(in, tol, made))) return 0;
    std::vector<void*> handles;
    for (const GM_Object& m : made) handles.push_back(KeepObject(m));
    return ReturnGeometries(cells, result, handles);
}

// geoUnion(a, b) and its kin: areas when both hold polygons, else lines; one geometry back.
intptr_t Overlay(Tdata* cells, const std::vector<int32_t>& args, int32_t result, uint32_t op) {
    if (args.size() != 2) return 0;
    const Geometry *a = FindGeometry(cells[args[0]]), *b = FindGeometry(cells[args[1]]);
    if (a == nullptr || b == nullptr) return 0;
    GM_Object ga, gb, out;
    GeometryObject(*a, ga);
    GeometryObject(*b, gb);
    const bool areas = ga.GetPolygonCount() > 0 && gb.GetPolygonCount() > 0;
    if (!(areas ? BoolOp2DGeometry(&ga, &gb, op, out) : BoolOp1DGeometry(&ga, &gb, op, g_epsZero, out))) return 0;
    return setValue(cells[result], Tdata(kTypePoints, KeepObject(out)));
}

// geoDissolve(array): the union of the areas of every geometry of the array.
intptr_t Dissolve(Tdata* cells, const std::vector<int32_t>& args, int32_t result) {
    std::vector<GM_Object> objects;
    if (args.size() != 1 || !ObjectsOf(cells[args[0]], objects)) return 0;
    std::vector<GM_Object*> in;
    for (GM_Object& o : objects) in.push_back(&o);
    GM_Object out;
    if (!mergePolygons(in, out)) return 0;
    return setValue(cells[result], Tdata(kTypePoints, KeepObject(out)));
}

double Area(const Geometry& g) {
    if (g.whole) return g.object.GetArea();
    if (!g.polygon) return 0;
    std::vector<Point3D> pts;
    g.points.Discrete(pts, 0.001);
    double twice = 0;
    for (size_t k = 0; k + 1 < pts.size(); ++k) twice += pts[k].x * pts[k + 1].y - pts[k + 1].x * pts[k].y;
    return std::fabs(twice) / 2;
}

GM_Object Object(const Geometry& g) {
    if (g.polygon) return GM_Object(keloParts(g.points), 1);
    if (g.points.pointCount == 1) return GM_Object(g.points.points[0]);
    return GM_Object(keloParts(g.points), 0);
}

bool Number(const Tdata& v, double& out) {
    if (v.dataType == kTypeInt) out = v.value.i;
    else if (v.dataType == kTypeDouble) out = v.value.d;
    else return false;
    return true;
}

// geoSimplify(g, tol): the geometry with every straight run thinned to tol.
// geoBuffer(g, distance[, cap, join, side, tol]): the zone within the distance; round caps and
// joins on both sides with circles within 0.1 of the distance unless given (tol 0: exact arcs).
intptr_t SimplifyOrBuffer(Tdata* cells, const std::vector<int32_t>& args, int32_t result, bool buffer) {
    if (args.size() < 2 || args.size() > (buffer ? 6u : 2u)) return 0;
    const Geometry* g = FindGeometry(cells[args[0]]);
    double v[5] = {0, kBufferCapRound, kBufferJoinRound, kBufferBoth, 0.1};
    if (g == nullptr) return 0;
    for (size_t k = 1; k < args.size(); ++k)
        if (!Number(cells[args[k]], v[k - 1]) || !(std::fabs(v[k - 1]) < 1e9)) return 0;
    GM_Object object, out;
    GeometryObject(*g, object);
    if (!buffer) {
        Geometry_Dilute(object, 1, v[0]);
        return setValue(cells[result], Tdata(kTypePoints, KeepObject(object)));
    }
    std::vector<GM_Object*> in{&object};
    if (!ComputeBuffer(in, v[0], out, static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3]), v[4], 1))
        return 0;
    return setValue(cells[result], Tdata(kTypePoints, KeepObject(out)));
}

// The sun functions take lon, lat, year, month, day and an optional mode.
bool SunArgs(Tdata* cells, const std::vector<int32_t>& args, double (&v)[6]) {
    if (args.size() < 5 || args.size() > 6) return false;
    v[5] = kSunModeRiseSet;
    for (size_t k = 0; k < args.size(); ++k)
        if (!Number(cells[args[k]], v[k]) || !std::isfinite(v[k])) return false;
    return std::fabs(v[2]) < 1e6 && std::fabs(v[3]) < 1e6 && std::fabs(v[4]) < 1e6;
}

intptr_t Call(int32_t fn) {
    Tdata* cells = nullptr;
    std::vector<int32_t> args;
    std::string* text = nullptr;
    const int32_t result = GetKeloScriptFuncParams(cells, args, text);
    if (result < 0) return 0;
    if (fn >= kNetFirst && fn < kPoints) {
        std::string unused;
        return CallNetworkFunction(static_cast<NetFn>(fn - kNetFirst), cells, args, result,
                                   text != nullptr ? *text : unused);
    }
    if (fn >= kPartitionFirst) {
        std::string unused;
        return CallPartitionFunction(static_cast<PartitionFn>(fn - kPartitionFirst), cells, args, result,
                                     text != nullptr ? *text : unused);
    }
    if (fn >= kRasterFirst && fn < kIntersection) {
        std::string unused;
        return CallRasterFunction(static_cast<RasterFn>(fn - kRasterFirst), cells, args, result,
                                  text != nullptr ? *text : unused);
    }
    switch (fn) {
        case kRead: return ReadFile(cells, args, result);
        case kWrite: return WriteFile(cells, args, result);
        case kNode: return NodeOrPolygonize(cells, args, result, false);
        case kPolygonize: return NodeOrPolygonize(cells, args, result, true);
        case kIntersection:
        case kUnion:
        case kDifference:
        case kSymDifference: return Overlay(cells, args, result, static_cast<uint32_t>(fn - kIntersection));
        case kDissolve: return Dissolve(cells, args, result);
        case kSimplify: return SimplifyOrBuffer(cells, args, result, false);
        case kBuffer: return SimplifyOrBuffer(cells, args, result, true);
        case kFromWkt: {
            if (args.size() != 1 || cells[args[0]].dataType != kTypeString) return 0;
            GM_Object object;
            StandardFormInfo info;
            if (!WktToGeometry(*cells[args[0]].value.s, object, &info)) {
                std::fprintf(stderr, "geoFromWkt: %s\n", info.error.c_str());
                return 0;
            }
            return setValue(cells[result], Tdata(kTypePoints, KeepObject(object)));
        }
        case kFromText: {
            if (args.size() != 1 || cells[args[0]].dataType != kTypeString) return 0;
            auto g = std::make_unique<Geometry>();
            if (!ParseGeometryText(*cells[args[0]].value.s, *g)) return 0;
            return setValue(cells[result], Tdata(kTypePoints, KeepGeometry(std::move(g))));
        }
        case kSunRiseSet: {
            double v[6];
            if (!SunArgs(cells, args, v)) return 0;
            double rise = 0, set = 0;
            GetSunRiseSet(v[0], v[1], static_cast<int>(v[2]), static_cast<int>(v[3]), static_cast<int>(v[4]), rise,
                          set, static_cast<int>(v[5]));
            ScriptEngine* e = GetCurrentScriptEngine();
            if (e == nullptr || !KeloScriptCurReserveMemory(cells, 2)) return 0;
            Tdata list;
            list.setDataType(kTypeArray);
            for (double t : {rise, set}) {
                const int32_t c = e->allocCell();
                e->cells[c] = Tdata(t);
                list.value.a->push_back(c);
            }
            e->cells[result].copyFrom(list);
            return 1;
        }
        case kDayLength: {
            double v[6];
            if (!SunArgs(cells, args, v)) return 0;
            return setValue(cells[result],
                            Tdata(GetDayLength(v[0], v[1], static_cast<int>(v[2]), static_cast<int>(v[3]),
                                               static_cast<int>(v[4]), static_cast<int>(v[5]))));
        }
        case kRelate:
        case kDistance: {
            if (args.size() != 2) return 0;
            const Geometry *a = FindGeometry(cells[args[0]]), *b = FindGeometry(cells[args[1]]);
            if (a == nullptr || b == nullptr) return 0;
            const GM_Object ga = Object(*a), gb = Object(*b);
            if (fn == kDistance) return setValue(cells[result], Tdata(DistanceOfGMObject(ga, gb)));
            int dims[8];
            Relate9i(ga, gb, g_epsZero, dims);
            return setValue(cells[result], Tdata(NineIntersectionText(dims)));
        }
        default: break;
    }
    // The rest take one geometry: the argument of a global function, the object of a method.
    if (args.size() != 1) return 0;
    const Geometry* g = FindGeometry(cells[args[0]]);
    if (g == nullptr) return 0;
    switch (fn) {
        case kArea:
        case kMArea: return setValue(cells[result], Tdata(Area(*g)));
        case kLength:
        case kMLength: return setValue(cells[result], Tdata(g->whole ? g->object.GetPerimeter() : g->points.GetPerimeter()));
        case kToWkt: {
            GM_Object object;
            GeometryObject(*g, object);
            std::string text;
            if (!GeometryToWkt(object, text)) return 0;
            return setValue(cells[result], Tdata(text));
        }
        case kCount:
        case kMCount:
            return setValue(cells[result], Tdata(g->whole ? g->object.GetTotalPointCount()
                                                          : static_cast<int>(g->points.pointCount)));
        case kBox:
        case kMBox: {
            const Box b = g->whole ? g->object.mbRegion() : g->points.GetBox();
            Tdata box;
            box.setDataType(kTypeBox);
            box.value.box[0] = b.minx;
            box.value.box[1] = b.miny;
            box.value.box[2] = b.maxx;
            box.value.box[3] = b.maxy;
            return setValue(cells[result], box);
        }
        case kPoints:
        case kMPoints: {
            // {x, y} pairs, the shape the network functions take positions in.
            ScriptEngine* e = GetCurrentScriptEngine();
            const uint32_t n = g->points.pointCount;
            const Point3D* pts = g->points.points;
            if (e == nullptr || n > 4000000 || !KeloScriptCurReserveMemory(cells, static_cast<int32_t>(3 * n)))
                return 0;
            Tdata list;
            list.setDataType(kTypeArray);
            for (uint32_t k = 0; k < n; ++k) {
                Tdata pair;
                pair.setDataType(kTypeArray);
                for (double c : {pts[k].x, pts[k].y}) {
                    const int32_t cell = e->allocCell();
                    e->cells[cell] = Tdata(c);
                    pair.value.a->push_back(cell);
                }
                const int32_t cell = e->allocCell();
                e->cells[cell] = pair;
                list.value.a->push_back(cell);
            }
            e->cells[result].copyFrom(list);
            return 1;
        }
        default: return 0;
    }
}

intptr_t Proc(void*, uint32_t message, intptr_t wparam, intptr_t lparam) {
    if (message != 1295) return 0;
    switch (wparam) {
        case -98:
            if (g_state.onStart) g_state.onStart(reinterpret_cast<ScriptEngine*>(lparam));
            return 1;
        case -97: return 1;
        case -99:
            if (g_state.onEnd) g_state.onEnd(reinterpret_cast<ScriptEngine*>(lparam));
            FreeNetworks();
            FreeRasters();
            g_state.geometries.clear();
            g_state.known.clear();
            return 1;
        default: return wparam >= 0 && wparam < kHostNameCount ? Call(static_cast<int32_t>(wparam)) : 0;
    }
}

KeloHostWindow g_window{Proc, nullptr};

}  // namespace

KeloHostWindow* ScriptHostWindow() { return &g_window; }

void SetRunObserver(void (*onStart)(ScriptEngine*), void (*onEnd)(ScriptEngine*)) {
    g_state.onStart = onStart;
    g_state.onEnd = onEnd;
}

}  // namespace kelo_tool
