#include "host_raster.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <utility>

#include "raster_command.h"
#include "surface_verbs.h"

namespace kelo_tool {

using namespace kelo;

namespace {

const char* const kFnNames[] = {"rasterRead", "rasterSlope", "rasterAspect", "rasterHillShade",
                                "rasterWrite", "rasterStats", "rasterFree",  "rasterFill",
                                "rasterFlowDir", "rasterFlowAcc", "rasterStreams", "rasterFlowLength",
                                "rasterWatershed", "rasterContours", "rasterViewshed", "rasterClassify",
                                "rasterResample", "rasterZonal"};

struct Raster {
    RasterGrid grid;
    double zscale = 1;   // cells are values * zscale; derived grids hold their own units (1)
    bool shade = false;  // brightness 0..250, written as bytes
    bool heights = false;  // written back in the file's units, fractions of the z scale kept
};

// Handles are serial numbers, never addresses, so a freed grid's handle cannot come back as the
// handle of a later one. They start far above any network's serial number, so a network handle
// passed by mistake is reported as unknown rather than taken for a grid.
struct Rasters {
    std::map<uintptr_t, std::unique_ptr<Raster>> live;
    uintptr_t next = uintptr_t{1} << 40;
} g_rasters;

bool Number(const Tdata& v, double& out) {
    if (v.dataType == kTypeInt) out = v.value.i;
    else if (v.dataType == kTypeDouble) out = v.value.d;
    else return false;
    return std::isfinite(out);
}

bool Whole(const Tdata& v, int lo, int hi, int& out) {
    double d = 0;
    if (!Number(v, d) || d != std::floor(d) || d < lo || d > hi) return false;
    out = static_cast<int>(d);
    return true;
}

// The library marks missing cells with its one global nodata value; grids of the tool use their
// own, so it is swapped in for the length of each call.
class NodataScope {
public:
    NodataScope() : saved_(GetNodata()) { SetNodata(kRasterNodata); }
    ~NodataScope() { SetNodata(saved_); }

private:
    int32_t saved_;
};

class RasterCall {
public:
    RasterCall(RasterFn fn, Tdata* cells, const std::vector<int32_t>& args, int32_t result, std::string& text)
        : fn_(fn), cells_(cells), args_(args), result_(result), text_(text) {}

    intptr_t Run();

private:
    intptr_t Fail(const std::string& why) {
        text_ = std::string(kFnNames[static_cast<int>(fn_)]) + ": " + why;
        return 0;
    }
    bool Count(size_t least, size_t most) const { return args_.size() >= least && args_.size() <= most; }
    intptr_t WrongCount(const char* usage) { return Fail(std::string("arguments are ") + usage); }
    const Tdata& Arg(size_t k) const { return cells_[args_[k]]; }
    bool GridArg(size_t k);
    intptr_t Keep(std::unique_ptr<Raster> r) {
        const uintptr_t id = g_rasters.next++;
        g_rasters.live.emplace(id, std::move(r));
        return setValue(cells_[result_], Tdata(kTypeHandle, reinterpret_cast<void*>(id)));
    }

    intptr_t Read();
    intptr_t Derive();
    intptr_t Drain();
    intptr_t Write();
    intptr_t Stats();
    intptr_t Contours();
    intptr_t SeenCells();
    intptr_t Classify();
    intptr_t Resample();
    intptr_t Zonal();
    // Script maps and arrays, built in the engine's store after reserving room for cells values.
    bool Reserve(size_t cells);
    int32_t NewCell(const Tdata& v);
    void Put(Tdata& map, const char* key, const Tdata& v);

    RasterFn fn_;
    Tdata* cells_;
    const std::vector<int32_t>& args_;
    int32_t result_;
    std::string& text_;
    uintptr_t id_ = 0;
    Raster* raster_ = nullptr;
};

bool RasterCall::GridArg(size_t k) {
    const Tdata& v = Arg(k);
    if (v.dataType != kTypeHandle) {
        Fail("expected a grid (klHandle from rasterRead)");
        return false;
    }
    id_ = reinterpret_cast<uintptr_t>(v.value.handle);
    auto it = g_rasters.live.find(id_);
    if (it == g_rasters.live.end()) {
        Fail("unknown grid (not made by a raster function, or freed)");
        return false;
    }
    raster_ = it->second.get();
    return true;
}

intptr_t RasterCall::Read() {
    if (!Count(1, 3)) return WrongCount("(string path [, double zscale [, int band]])");
    if (Arg(0).dataType != kTypeString) return Fail("the path must be a string");
    auto r = std::make_unique<Raster>();
    r->zscale = 100;
    r->heights = true;
    int band = 1;
    if (args_.size() >= 2 && (!Number(Arg(1), r->zscale) || r->zscale == 0 || std::fabs(r->zscale) > 1e9))
        return Fail("the z scale must be a non-zero number");
    if (args_.size() == 3 && !Whole(Arg(2), 1, std::numeric_limits<int>::max(), band))
        return Fail("the band is a number from 1");
    std::string error;
    if (!ReadRaster(*Arg(0).value.s, r->zscale, band, r->grid, error)) return Fail(error);
    return Keep(std::move(r));
}

// Slope, aspect and hill shade: a new grid of the same size and georeferencing.
intptr_t RasterCall::Derive() {
    int a = 0, b = 0;
    if (fn_ == RasterFn::kHillShade) {
        if (!Count(1, 3)) return WrongCount("(klHandle grid [, int azimuth [, int altitude]])");
        a = 315;
        b = 45;
        if (args_.size() >= 2 && !Whole(Arg(1), -3600, 3600, a)) return Fail("the azimuth is whole degrees");
        if (args_.size() == 3 && !Whole(Arg(2), 0, 90, b)) return Fail("the altitude is whole degrees 0 to 90");
    } else {
        if (!Count(1, 2)) return WrongCount("(klHandle grid [, int method])");
        a = fn_ == RasterFn::kSlope ? 4 : 2;
        if (args_.size() == 2 && !Whole(Arg(1), 1, fn_ == RasterFn::kSlope ? 4 : 2, a))
            return Fail(fn_ == RasterFn::kSlope ? "the method is 1 to 4" : "the method is 1 or 2");
    }
    if (!GridArg(0)) return 0;
    const RasterGrid& g = raster_->grid;
    if (fn_ != RasterFn::kHillShade && std::fabs(raster_->zscale) > std::numeric_limits<int>::max())
        return Fail("the grid's z scale is too large for a slope");
    auto r = std::make_unique<Raster>();
    r->grid = g;
    r->shade = fn_ == RasterFn::kHillShade;
    std::unique_ptr<int32_t[]> out;
    {
        NodataScope nodata;
        if (fn_ == RasterFn::kSlope)
            out.reset(DemSlope(g.cells.data(), g.cols, g.rows, g.cellY, g.cellX, static_cast<int>(raster_->zscale), a));
        else if (fn_ == RasterFn::kAspect)
            out.reset(DemAspect(g.cells.data(), g.cols, g.rows, g.cellY, g.cellX, a));
        else
            out.reset(HillShade(g.cells.data(), g.cols, g.rows, g.cellX, g.cellY, a, b, raster_->zscale));
    }
    if (!out) return Fail("the grid is too small or the library is out of memory");
    r->grid.cells.assign(out.get(), out.get() + g.cells.size());
    return Keep(std::move(r));
}

// Drainage of the filled grid: filled heights keep the source's z scale, the rest are codes, counts
// and labels.
intptr_t RasterCall::Drain() {
    const bool thresholded = fn_ == RasterFn::kStreams || fn_ == RasterFn::kWatershed;
    double threshold = 0;
    if (thresholded) {
        if (!Count(2, 2)) return WrongCount("(klHandle grid, number threshold)");
        if (!Number(Arg(1), threshold) ||
            (fn_ == RasterFn::kWatershed && (threshold != std::floor(threshold) || std::fabs(threshold) > 2147483647.0)))
            return Fail(fn_ == RasterFn::kStreams ? "the threshold is a length in cells" : "the threshold is a cell count");
    } else if (!Count(1, 1)) {
        return WrongCount("(klHandle grid)");
    }
    if (!GridArg(0)) return 0;
    const RasterGrid& g = raster_->grid;
    auto r = std::make_unique<Raster>();
    r->grid = g;
    r->zscale = fn_ == RasterFn::kFill ? raster_->zscale : 1;
    r->heights = fn_ == RasterFn::kFill;
    std::unique_ptr<int32_t[]> out;
    {
        NodataScope nodata;
        const int32_t* dem = g.cells.data();
        switch (fn_) {
            case RasterFn::kFill: out.reset(FillSinks(dem, g.cols, g.rows)); break;
            case RasterFn::kFlowDir: out.reset(FlowDirection(dem, g.cols, g.rows)); break;
            case RasterFn::kFlowAcc: out.reset(FlowAccumulation(dem, g.cols, g.rows)); break;
            case RasterFn::kStreams: out.reset(StreamNetwork(dem, g.cols, g.rows, threshold)); break;
            case RasterFn::kFlowLength: out.reset(FlowLength(dem, g.cols, g.rows)); break;
            default: out.reset(Watershed(dem, g.cols, g.rows, static_cast<int>(threshold))); break;
        }
    }
    if (!out) return Fail("the grid is empty or too large");
    r->grid.cells.assign(out.get(), out.get() + g.cells.size());
    return Keep(std::move(r));
}

intptr_t RasterCall::Write() {
    if (!Count(2, 2)) return WrongCount("(string path, klHandle grid)");
    if (Arg(0).dataType != kTypeString) return Fail("the path must be a string");
    if (!GridArg(1)) return 0;
    // Heights go back in the file's units, as kelo raster resample writes them.
    const RasterGrid& g = raster_->grid;
    std::string error;
    if (raster_->heights ? !WriteHeights(*Arg(0).value.s, g, g.cells.data(), raster_->zscale, error)
                         : !WriteRaster(*Arg(0).value.s, g, g.cells.data(), raster_->shade, error))
        return Fail(error);
    return setValue(cells_[result_], Tdata(true));
}

// min, max, mean and sum in the grid's units, count of valid cells, cols and rows.
intptr_t RasterCall::Stats() {
    if (!Count(1, 1)) return WrongCount("(klHandle grid)");
    if (!GridArg(0)) return 0;
    if (!Reserve(16)) return Fail("the script's value store is full");
    const RasterGrid& g = raster_->grid;
    int32_t lo = std::numeric_limits<int32_t>::max(), hi = std::numeric_limits<int32_t>::min();
    double sum = 0;
    int64_t count = 0;
    for (int32_t v : g.cells) {
        if (v == kRasterNodata) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
        ++count;
    }
    const double s = raster_->zscale;
    Tdata map;
    map.setDataType(kTypeMap);
    Put(map, "cols", Tdata(g.cols));
    Put(map, "rows", Tdata(g.rows));
    Put(map, "count", Tdata(static_cast<int>(count)));  // grids hold fewer than 2^31 cells
    if (count > 0) {
        Put(map, "min", Tdata(lo / s));
        Put(map, "max", Tdata(hi / s));
        Put(map, "mean", Tdata(sum / static_cast<double>(count) / s));
        Put(map, "sum", Tdata(sum / s));
    }
    GetCurrentScriptEngine()->cells[result_].copyFrom(map);
    return 1;
}

bool RasterCall::Reserve(size_t cells) {
    return GetCurrentScriptEngine() != nullptr && cells < (size_t{1} << 30) &&
           KeloScriptCurReserveMemory(cells_, static_cast<int32_t>(cells));
}

int32_t RasterCall::NewCell(const Tdata& v) {
    ScriptEngine* e = GetCurrentScriptEngine();
    const int32_t c = e->allocCell();
    e->cells[c] = v;
    return c;
}

void RasterCall::Put(Tdata& map, const char* key, const Tdata& v) {
    const int32_t value = NewCell(v);
    map.value.map->emplace(NewCell(Tdata(key)), value);
}

// Class breaks and counts of the grid's cells and a grid of class numbers 0, 1, ...: a map with
// breaks (the lower bound of each class, in the grid's units), counts and grid.
intptr_t RasterCall::Classify() {
    if (!Count(2, 4)) return WrongCount("(klHandle grid, int method [, int classes [, double unit]]) or (klHandle grid, 7, array breaks)");
    int method = 0, classes = 5;
    if (!Whole(Arg(1), 0, 7, method)) return Fail("the method is 0 to 7");
    if (!GridArg(0)) return 0;
    const double s = raster_->zscale;
    std::vector<uint32_t> breaks, counts;
    double unit = 0;
    if (method == 7) {
        if (!Count(3, 3) || Arg(2).dataType != kTypeArray) return Fail("method 7 takes an array of breaks");
        for (int32_t c : *Arg(2).value.a) {
            double b = 0;
            if (!Number(GetCurrentScriptEngine()->cells[c], b) || !(std::fabs(b * s) < 2147483000.0))
                return Fail("the breaks are numbers in the grid's units");
            breaks.push_back(static_cast<uint32_t>(static_cast<int32_t>(std::lround(b * s))));
        }
    } else {
        if (args_.size() >= 3 && !Whole(Arg(2), 1, 1 << 20, classes)) return Fail("the classes are 1 to 2^20");
        if (args_.size() == 4 && (!Number(Arg(3), unit) || unit < 0 || !(std::fabs(unit * s) < 2147483000.0)))
            return Fail("the unit is a number of the grid's units, 0 or more");
    }
    auto r = std::make_unique<Raster>();
    r->grid = raster_->grid;
    {
        NodataScope nodata;
        if (!ClassifyGrid(r->grid, method, classes, static_cast<int32_t>(std::lround(unit * s)), breaks, counts, true))
            return Fail("cannot classify (fewer than two valid cells, or breaks not ascending)");
    }
    counts.resize(breaks.size());  // distinct values (method 0) also count values; those stay out
    if (!Reserve(4 * breaks.size() + 16)) return Fail("the script's value store is full");
    Tdata b, n, map;
    b.setDataType(kTypeArray);
    n.setDataType(kTypeArray);
    map.setDataType(kTypeMap);
    for (size_t k = 0; k < breaks.size(); ++k) {
        b.value.a->push_back(NewCell(Tdata(static_cast<int32_t>(breaks[k]) / s)));
        n.value.a->push_back(NewCell(Tdata(static_cast<int>(counts[k]))));
    }
    Put(map, "breaks", b);
    Put(map, "counts", n);
    const uintptr_t id = g_rasters.next++;
    g_rasters.live.emplace(id, std::move(r));
    Put(map, "grid", Tdata(kTypeHandle, reinterpret_cast<void*>(id)));
    GetCurrentScriptEngine()->cells[result_].copyFrom(map);
    return 1;
}

// The grid on square cells of the given size over the same extent, bilinear or nearest.
intptr_t RasterCall::Resample() {
    if (!Count(2, 3)) return WrongCount("(klHandle grid, double cell [, bool nearest])");
    double cell = 0;
    if (!Number(Arg(1), cell) || !(cell > 0)) return Fail("the cell size must be a number above 0");
    if (args_.size() == 3 && Arg(2).dataType != kTypeBool) return Fail("nearest is true or false");
    const bool nearest = args_.size() == 3 && Arg(2).value.b;
    if (!GridArg(0)) return 0;
    auto r = std::make_unique<Raster>();
    r->zscale = raster_->zscale;
    r->shade = raster_->shade;
    r->heights = raster_->heights;
    std::string error;
    {
        NodataScope nodata;
        if (!ResampleGrid(raster_->grid, cell, nearest, r->grid, error)) return Fail(error);
    }
    return Keep(std::move(r));
}

// Statistics of the cells inside each polygon of a vector file: an array of maps with name
// (LAYER:FID), cells and, when any cell is valid, min, max, mean, median, deviation, sum,
// majority, minority (in the grid's units) and variety.
intptr_t RasterCall::Zonal() {
    if (!Count(2, 2)) return WrongCount("(klHandle grid, string polygons)");
    if (Arg(1).dataType != kTypeString) return Fail("the polygons are a path to a vector file");
    if (!GridArg(0)) return 0;
    std::vector<CellStats> zones;
    std::string error;
    {
        NodataScope nodata;
        if (!ZonalGrid(raster_->grid, *Arg(1).value.s, zones, error)) return Fail(error);
    }
    if (!Reserve(25 * zones.size() + 2)) return Fail("the script's value store is full");
    const double s = raster_->zscale;
    Tdata list;
    list.setDataType(kTypeArray);
    for (const CellStats& z : zones) {
        Tdata map;
        map.setDataType(kTypeMap);
        Put(map, "name", Tdata(z.name));
        Put(map, "cells", Tdata(static_cast<int>(z.cells)));
        if (z.cells > 0) {
            const std::pair<const char*, double> values[] = {
                {"min", z.minimum}, {"max", z.maximum},  {"mean", z.mean},         {"median", z.median},
                {"deviation", z.deviation}, {"sum", z.sum}, {"majority", z.majority}, {"minority", z.minority}};
            for (const auto& [key, v] : values) Put(map, key, Tdata(v / s));
            Put(map, "variety", Tdata(z.variety));
        }
        list.value.a->push_back(NewCell(map));
    }
    GetCurrentScriptEngine()->cells[result_].copyFrom(list);
    return 1;
}

// Writes the grid's contour lines (field elev, in the grid's units) to a vector file; the count.
intptr_t RasterCall::Contours() {
    if (!Count(3, 3)) return WrongCount("(klHandle grid, double interval, string path)");
    double interval = 0;
    if (!Number(Arg(1), interval) || !(interval > 0)) return Fail("the interval must be a number above 0");
    if (Arg(2).dataType != kTypeString) return Fail("the path must be a string");
    if (!GridArg(0)) return 0;
    if (raster_->shade) return Fail("a hill shade has no heights");
    GeoLayer layer;
    std::vector<double> elev;
    std::string error;
    if (!ContourLines(raster_->grid, raster_->zscale, interval, layer, elev, error)) return Fail(error);
    std::vector<std::vector<double>> values{elev};
    std::vector<GeoLayer> layers(1);
    layers[0] = std::move(layer);
    if (!WriteGeoFile(*Arg(2).value.s, "", layers, error, "elev", &values)) return Fail(error);
    return setValue(cells_[result_], Tdata(static_cast<int>(layers[0].features.size())));
}

// A grid of 1 (seen) and 0 (hidden) from an observer at world (x, y), eyes height above ground.
intptr_t RasterCall::SeenCells() {
    if (!Count(3, 4)) return WrongCount("(klHandle grid, double x, double y [, double height])");
    double x = 0, y = 0, height = 1.7;
    if (!Number(Arg(1), x) || !Number(Arg(2), y)) return Fail("the observer is two numbers x, y");
    if (args_.size() == 4 && !Number(Arg(3), height)) return Fail("the eye height must be a number");
    if (!GridArg(0)) return 0;
    if (raster_->shade) return Fail("a hill shade has no heights");
    auto r = std::make_unique<Raster>();
    r->grid = raster_->grid;
    std::string error;
    if (!Viewshed(raster_->grid, raster_->zscale, x, y, height, r->grid.cells, error)) return Fail(error);
    return Keep(std::move(r));
}

intptr_t RasterCall::Run() {
    switch (fn_) {
        case RasterFn::kRead: return Read();
        case RasterFn::kSlope:
        case RasterFn::kAspect:
        case RasterFn::kHillShade: return Derive();
        case RasterFn::kWrite: return Write();
        case RasterFn::kStats: return Stats();
        case RasterFn::kContours: return Contours();
        case RasterFn::kViewshed: return SeenCells();
        case RasterFn::kClassify: return Classify();
        case RasterFn::kResample: return Resample();
        case RasterFn::kZonal: return Zonal();
        case RasterFn::kFree:
            if (!Count(1, 1)) return WrongCount("(klHandle grid)");
            if (!GridArg(0)) return 0;
            g_rasters.live.erase(id_);
            return setValue(cells_[result_], Tdata(true));
        case RasterFn::kFill:
        case RasterFn::kFlowDir:
        case RasterFn::kFlowAcc:
        case RasterFn::kStreams:
        case RasterFn::kFlowLength:
        case RasterFn::kWatershed: return Drain();
        case RasterFn::kEnd: break;
    }
    return 0;
}

}  // namespace

intptr_t CallRasterFunction(RasterFn fn, Tdata* cells, const std::vector<int32_t>& args, int32_t result,
                            std::string& text) {
    return RasterCall(fn, cells, args, result, text).Run();
}

void FreeRasters() { g_rasters.live.clear(); }

}  // namespace kelo_tool
