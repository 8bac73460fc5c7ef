#include "raster_command.h"

#include <gdal.h>
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>

#include "gdal_lazy.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <sys/mman.h>

#include "KeloGeomNet.h"
#include "geo_files.h"
#include "progress_bar.h"
#include "surface_verbs.h"

namespace kelo_tool {

using namespace kelo;

namespace {

constexpr int32_t kToolNodata = kRasterNodata;
constexpr uint8_t kShadeNodata = 255;

using Grid = RasterGrid;

struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    double Num(const char* key, double fallback) const {
        auto it = values.find(key);
        return it == values.end() ? fallback : std::atof(it->second.c_str());
    }
};

int Fail(const std::string& message) {
    Progress::Finish();
    std::fprintf(stderr, "kelo raster: %s\n", message.c_str());
    return 1;
}

std::string GdalError(const std::string& what) {
    const char* m = CPLGetLastErrorMsg();
    return what + (m && *m ? std::string(": ") + m : std::string());
}

void EnsureGdalRasters() {
    static bool done = false;
    if (done) return;
    done = true;
    GDALAllRegister();
    CPLSetErrorHandler(CPLQuietErrorHandler);
    // Grids are read a few megabytes at a time and written past the cache: a small cache is
    // recycled, where a large one takes fresh memory, page by page, for every block of a grid.
    GDALSetCacheMax64(int64_t{64} << 20);
}

bool IsPng(const std::string& path);
GDALDatasetH MemoryDataset(const RasterGrid& g, int bands, GDALDataType type, std::string& error);
bool SaveCopy(GDALDatasetH ds, CPLErr written, const std::string& path, bool png, std::string& error);
void MoveSideFile(const std::string& tmp, const std::string& path);

// Rows per read or write: a few megabytes at a time, so a large grid needs no second full copy.
int ChunkRows(int cols, size_t cellBytes) {
    const size_t rows = (size_t{4} << 20) / (std::max(cols, 1) * cellBytes);
    return static_cast<int>(std::clamp<size_t>(rows, 1, 1 << 20));
}

// Sizes a large grid's cells on huge pages where the system grants them: filling hundreds of
// megabytes page by page costs more than the reading does.
void ReserveLarge(std::vector<int32_t>& cells, size_t n) {
    cells.clear();
    cells.reserve(n);
    const uintptr_t page = uintptr_t{1} << 21, beg = (reinterpret_cast<uintptr_t>(cells.data()) + page - 1) & ~(page - 1),
                    end = reinterpret_cast<uintptr_t>(cells.data() + n) & ~(page - 1);
    if (end > beg) madvise(reinterpret_cast<void*>(beg), end - beg, MADV_HUGEPAGE);
    cells.resize(n);
}

// Rounds half away from zero, as lround, without leaving the floating-point unit.
inline int32_t RoundCell(double v) {
    const double t = std::trunc(v);
    return static_cast<int32_t>(std::fabs(v - t) >= 0.5 ? t + (v < 0 ? -1 : 1) : t);
}

// File values to grid cells: value * zscale rounded; the file's nodata and values beyond 32 bits
// become missing cells.
struct CellScaler {
    double zscale;
    bool hasNodata;
    double nodata;
    template <typename T>
    void operator()(const T* in, size_t count, int32_t* out) const {
        for (size_t i = 0; i < count; ++i) {
            const double x = static_cast<double>(in[i]), v = x * zscale;
            out[i] = (hasNodata && x == nodata) || !(std::fabs(v) <= 2147483000.0) ? kToolNodata : RoundCell(v);
        }
    }
};

// Writes one band of g's size to path; fill(r0, n, buffer) gives rows [r0, r0 + n) in the file's
// type, converted into the buffer or straight from the cells.
// A GeoTIFF is written straight to a temporary beside the output and renamed over it, so a failed
// write leaves nothing half done; a picture goes through memory, as its driver only copies.
template <typename T, typename Fill>
bool WriteBand(const std::string& path, const RasterGrid& g, GDALDataType type, const double* nodata, Fill fill,
               std::string& error) {
    const bool png = IsPng(path);
    std::vector<T> buf;
    if (png) {
        GDALDatasetH ds = MemoryDataset(g, 1, type, error);
        if (!ds) return false;
        buf.resize(static_cast<size_t>(g.cols) * g.rows);
        const CPLErr err = GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Write, 0, 0, g.cols, g.rows,
                                        const_cast<T*>(fill(0, g.rows, buf.data())), g.cols, g.rows, type, 0, 0);
        return SaveCopy(ds, err, path, true, error);
    }
    const std::string tmp = path + ".tmp-kelo";
    GDALDriverH drv = GDALGetDriverByName("GTiff");
    // One row per strip: every row is then a whole block, handed to the file as it is instead of
    // being copied through GDAL's block cache.
    char** options = CSLSetNameValue(nullptr, "BLOCKYSIZE", "1");
    GDALDatasetH ds = drv ? GDALCreate(drv, tmp.c_str(), g.cols, g.rows, 1, type, options) : nullptr;
    CSLDestroy(options);
    if (!ds) {
        error = GdalError("cannot write " + path);
        return false;
    }
    GDALSetGeoTransform(ds, const_cast<double*>(g.geo));
    if (!g.wkt.empty()) GDALSetProjection(ds, g.wkt.c_str());
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    if (nodata) GDALSetRasterNoDataValue(band, *nodata);
    CPLErrorReset();  // from here on any failure, also in the final flush, loses the output
    const int step = ChunkRows(g.cols, sizeof(T));
    if (!std::is_same_v<T, int32_t>) buf.resize(static_cast<size_t>(g.cols) * std::min(step, g.rows));
    int blockCols = 0, blockRows = 0;
    GDALGetBlockSize(band, &blockCols, &blockRows);
    const bool rowBlocks = blockCols == g.cols && blockRows == 1;
    CPLErr err = CE_None;
    for (int r = 0; r < g.rows && err == CE_None; r += step) {
        const int n = std::min(step, g.rows - r);
        T* rowsData = const_cast<T*>(fill(r, n, buf.data()));
        if (!rowBlocks)
            err = GDALRasterIO(band, GF_Write, 0, r, g.cols, n, rowsData, g.cols, n, type, 0, 0);
        else
            for (int k = 0; k < n && err == CE_None; ++k)
                err = GDALWriteBlock(band, 0, r + k, rowsData + static_cast<size_t>(k) * g.cols);
    }
    GDALClose(ds);
    if (err != CE_None || CPLGetLastErrorType() >= CE_Failure || std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = GdalError("cannot write " + path);
        VSIUnlink(tmp.c_str());
        return false;
    }
    MoveSideFile(tmp, path);
    return true;
}

}  // namespace

bool ReadRaster(const std::string& path, double zscale, int bandNo, RasterGrid& g, std::string& error) {
    EnsureGdalRasters();
    GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (!ds) {
        error = GdalError("cannot open raster " + path);
        return false;
    }
    GDALRasterBandH band = bandNo >= 1 && bandNo <= GDALGetRasterCount(ds) ? GDALGetRasterBand(ds, bandNo) : nullptr;
    if (!band) {
        GDALClose(ds);
        error = path + ": no band " + std::to_string(bandNo);
        return false;
    }
    g.cols = GDALGetRasterXSize(ds);
    g.rows = GDALGetRasterYSize(ds);
    if (GDALGetGeoTransform(ds, g.geo) != CE_None) {
        const double plain[6] = {0, 1, 0, static_cast<double>(g.rows), 0, -1};
        std::copy(plain, plain + 6, g.geo);
    }
    if (g.geo[2] != 0 || g.geo[4] != 0 || g.geo[1] <= 0 || g.geo[5] >= 0) {
        GDALClose(ds);
        error = path + ": rotated or flipped grids are not supported";
        return false;
    }
    // Statistics take the cell count as an int, and the grid must fit in memory once.
    if (static_cast<int64_t>(g.cols) * g.rows > 2147483647) {
        GDALClose(ds);
        error = path + ": more than 2^31 cells";
        return false;
    }
    g.cellX = g.geo[1];
    g.cellY = -g.geo[5];
    g.x0 = g.geo[0] + g.cellX / 2;
    g.yTop = g.geo[3] - g.cellY / 2;
    if (const char* w = GDALGetProjectionRef(ds)) g.wkt = w;
    int hasNodata = 0;
    const double srcNodata = GDALGetRasterNoDataValue(band, &hasNodata);
    ReserveLarge(g.cells, static_cast<size_t>(g.cols) * g.rows);
    // Whole blocks of the file at a time, so each is decoded once. Rows stored as whole blocks are
    // taken block by block past GDAL's cache and scaled straight from the file's type.
    int blockCols = 0, blockRows = 0;
    GDALGetBlockSize(band, &blockCols, &blockRows);
    blockRows = std::max(blockRows, 1);
    const GDALDataType type = GDALGetRasterDataType(band);
    const int typeBytes = GDALGetDataTypeSizeBytes(type);
    // A file stored as one strip (or a few huge ones) is read through GDAL in rows instead of
    // holding a second copy of the whole grid.
    const bool smallBlocks = static_cast<size_t>(std::max(blockCols, 1)) * blockRows * std::max(typeBytes, 1) <=
                             (size_t{16} << 20);
    const bool rowBlocks = blockCols == g.cols && typeBytes > 0 && smallBlocks;
    if (!smallBlocks) blockRows = 1;
    const CellScaler scale{zscale, hasNodata != 0, srcNodata};
    const int step = std::max(1, ChunkRows(g.cols, sizeof(double)) / blockRows) * blockRows;
    std::vector<double> buf(static_cast<size_t>(g.cols) * (rowBlocks ? 0 : std::min(step, std::max(g.rows, 1))));
    std::vector<uint8_t> block(rowBlocks ? static_cast<size_t>(g.cols) * blockRows * typeBytes : 0);
    for (int r = 0; r < g.rows; r += step) {
        const int n = std::min(step, g.rows - r);
        bool ok = true;
        if (!rowBlocks) {
            ok = GDALRasterIO(band, GF_Read, 0, r, g.cols, n, buf.data(), g.cols, n, GDT_Float64, 0, 0) == CE_None;
            if (ok) scale(buf.data(), static_cast<size_t>(n) * g.cols, g.cells.data() + static_cast<size_t>(r) * g.cols);
        } else {
            for (int b = r / blockRows; ok && b * blockRows < r + n; ++b) {
                ok = GDALReadBlock(band, 0, b, block.data()) == CE_None;
                const size_t count = static_cast<size_t>(std::min(blockRows, g.rows - b * blockRows)) * g.cols;
                int32_t* out = g.cells.data() + static_cast<size_t>(b) * blockRows * g.cols;
                const void* raw = block.data();
                switch (type) {
                    case GDT_Byte: scale(static_cast<const uint8_t*>(raw), count, out); break;
                    case GDT_Int16: scale(static_cast<const int16_t*>(raw), count, out); break;
                    case GDT_UInt16: scale(static_cast<const uint16_t*>(raw), count, out); break;
                    case GDT_Int32: scale(static_cast<const int32_t*>(raw), count, out); break;
                    case GDT_Float32: scale(static_cast<const float*>(raw), count, out); break;
                    case GDT_Float64: scale(static_cast<const double*>(raw), count, out); break;
                    default:
                        buf.resize(count);
                        GDALCopyWords64(raw, type, typeBytes, buf.data(), GDT_Float64, sizeof(double),
                                        static_cast<GPtrDiff_t>(count));
                        scale(buf.data(), count, out);
                }
            }
        }
        if (!ok) {
            GDALClose(ds);
            error = GdalError(path + ": read failed");
            return false;
        }
        Progress::Tick(r + n, g.rows);
    }
    Progress::Finish();
    GDALClose(ds);
    return true;
}

bool WriteRaster(const std::string& path, const RasterGrid& g, const int32_t* cells, bool bytes, std::string& error) {
    if (IsPng(path) && !bytes) {
        error = path + ": only hillshade is written as a picture";
        return false;
    }
    EnsureGdalRasters();
    if (bytes) {
        const double nodata = kShadeNodata;
        return WriteBand<uint8_t>(
            path, g, GDT_Byte, IsPng(path) ? nullptr : &nodata,
            [&](int r0, int n, uint8_t* b) {
                const int32_t* in = cells + static_cast<size_t>(r0) * g.cols;
                for (size_t i = 0, count = static_cast<size_t>(n) * g.cols; i < count; ++i)
                    b[i] = in[i] == kToolNodata ? kShadeNodata : static_cast<uint8_t>(std::clamp(in[i], 0, 250));
                return b;
            },
            error);
    }
    const double nodata = kToolNodata;
    return WriteBand<int32_t>(
        path, g, GDT_Int32, &nodata,
        [&](int r0, int, int32_t*) { return cells + static_cast<size_t>(r0) * g.cols; },
        error);
}

bool WriteHeights(const std::string& path, const RasterGrid& g, const int32_t* cells, double zscale,
                  std::string& error) {
    if (IsPng(path)) {
        error = path + ": only hillshade is written as a picture";
        return false;
    }
    EnsureGdalRasters();
    const double nodata = kToolNodata;
    return WriteBand<double>(
        path, g, GDT_Float64, &nodata,
        [&](int r0, int n, double* b) {
            const int32_t* in = cells + static_cast<size_t>(r0) * g.cols;
            for (size_t i = 0, count = static_cast<size_t>(n) * g.cols; i < count; ++i)
                b[i] = in[i] == kToolNodata ? kToolNodata : in[i] / zscale;
            return b;
        },
        error);
}

bool ResampleGrid(const RasterGrid& g, double cell, bool nearest, RasterGrid& d, std::string& error) {
    if (!(cell > 0)) {
        error = "resample needs a cell size above 0";
        return false;
    }
    d = RasterGrid();
    d.wkt = g.wkt;
    std::copy(g.geo, g.geo + 6, d.geo);
    const double cols = std::floor(g.cols * g.cellX / cell), rows = std::floor(g.rows * g.cellY / cell);
    if (!(cols >= 1 && rows >= 1 && cols <= kMaxReformSize && rows <= kMaxReformSize)) {
        error = "the new grid must have 1 to 60000 cells a side";
        return false;
    }
    d.cols = static_cast<int>(cols);
    d.rows = static_cast<int>(rows);
    d.cellX = d.cellY = cell;
    d.geo[1] = cell;
    d.geo[5] = -cell;
    d.x0 = d.geo[0] + cell / 2;
    d.yTop = d.geo[3] - cell / 2;
    auto* fn = nearest ? ReformDemNearest : ReformDemWeighted;
    std::unique_ptr<int32_t[]> out(fn(g.cells.data(), g.cols, g.rows, g.x0, g.yTop, g.cellX, g.cellY, d.cols, d.rows,
                                      d.x0, d.yTop, cell, cell));
    if (!out) {
        error = "the new grid must have 1 to 60000 cells a side";
        return false;
    }
    d.cells.assign(out.get(), out.get() + static_cast<size_t>(d.cols) * d.rows);
    return true;
}

bool ClassifyGrid(RasterGrid& g, int method, int classes, int32_t unit, std::vector<uint32_t>& breaks,
                  std::vector<uint32_t>& counts, bool numberCells) {
    if (!Classification(g.cells.data(), static_cast<int>(g.cells.size()), breaks, counts, method, classes, unit))
        return false;
    if (numberCells) {
        std::vector<uint32_t> classNo(breaks.size());
        for (size_t k = 0; k < classNo.size(); ++k) classNo[k] = static_cast<uint32_t>(k);
        RecolorByClass(g.cells.data(), static_cast<int>(g.cells.size()), breaks, classNo);
    }
    return true;
}

bool ZonalGrid(const RasterGrid& g, const std::string& polygons, std::vector<CellStats>& zones, std::string& error) {
    std::vector<GeoLayer> layers;
    if (!ReadGeoFile(polygons, "", layers, error, Progress::Tick)) return false;
    Progress::Finish();
    for (const GeoLayer& layer : layers)
        for (size_t f = 0; f < layer.features.size(); ++f) {
            const GM_Object& geom = layer.features[f].geom;
            const long long fid = layer.features[f].fid >= 0 ? layer.features[f].fid : static_cast<long long>(f);
            for (int p = 0;; ++p) {
                keloPolygon* poly = geom.GetOriginalPolygonAt(p);
                if (!poly) break;
                CellStats z;
                z.name = layer.name + ":" + std::to_string(fid);
                std::vector<uint32_t> inside;
                GetAllInnerPoint(*poly, g.cols, g.rows, g.x0, g.yTop, g.cellX, g.cellY, 1e-9, inside);
                for (size_t k = 0; k + 1 < inside.size(); k += 2)
                    z.cells += g.cells[static_cast<size_t>(inside[k]) * g.cols + inside[k + 1]] != kToolNodata;
                if (!NeighborhoodStatistics(*poly, g.cells.data(), g.cols, g.rows, g.x0, g.yTop, g.cellX, g.cellY,
                                            1e-9, z.majority, z.minority, z.maximum, z.minimum, z.range, z.mean,
                                            z.median, z.deviation, z.sum, z.variety))
                    z.cells = 0;
                zones.push_back(std::move(z));
            }
        }
    return true;
}

namespace {

bool IsPng(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".png") == 0;
}

// A dataset in memory with g's size and georeferencing.
GDALDatasetH MemoryDataset(const RasterGrid& g, int bands, GDALDataType type, std::string& error) {
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("MEM"), "", g.cols, g.rows, bands, type, nullptr);
    if (!ds) {
        error = GdalError("cannot create output");
        return nullptr;
    }
    GDALSetGeoTransform(ds, const_cast<double*>(g.geo));
    if (!g.wkt.empty()) GDALSetProjection(ds, g.wkt.c_str());
    return ds;
}

// Copies a dataset held in memory (written with status written) to path, PNG or GeoTIFF, and
// closes it. A temporary beside the output, renamed over it, so a failed write leaves nothing
// half done.
bool SaveCopy(GDALDatasetH ds, CPLErr written, const std::string& path, bool png, std::string& error) {
    if (written != CE_None) {
        GDALClose(ds);
        error = GdalError("cannot write " + path);
        return false;
    }
    const std::string tmp = path + ".tmp-kelo";
    GDALDriverH drv = GDALGetDriverByName(png ? "PNG" : "GTiff");
    GDALDatasetH outDs = drv ? GDALCreateCopy(drv, tmp.c_str(), ds, FALSE, nullptr, nullptr, nullptr) : nullptr;
    GDALClose(ds);
    if (!outDs) {
        error = GdalError("cannot write " + path);
        return false;
    }
    GDALClose(outDs);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        VSIUnlink(tmp.c_str());
        error = "cannot write " + path;
        return false;
    }
    MoveSideFile(tmp, path);
    return true;
}

// A picture (or a projection GeoTIFF keys cannot hold) keeps its georeferencing in the side file
// GDAL writes beside the temporary.
void MoveSideFile(const std::string& tmp, const std::string& path) {
    VSIStatBufL st;
    if (VSIStatL((tmp + ".aux.xml").c_str(), &st) == 0) std::rename((tmp + ".aux.xml").c_str(), (path + ".aux.xml").c_str());
}

// Band 1 (or --band) scaled by --zscale (100 by default).
bool ReadGrid(const std::string& path, const Options& o, Grid& g, std::string& error) {
    return ReadRaster(path, o.Num("--zscale", 100), static_cast<int>(o.Num("--band", 1)), g, error);
}

bool WriteGrid(const std::string& path, const Grid& g, const int32_t* cells, bool bytes, std::string& error) {
    return WriteRaster(path, g, cells, bytes, error);
}

using Owned = std::unique_ptr<int32_t[]>;

int NeedOutput(const Options& o, const char* verb) {
    if (o.positional.size() != 2) return Fail(std::string(verb) + " needs INPUT and OUTPUT");
    return 0;
}

int Derivative(const std::string& verb, const Options& o) {
    if (int bad = NeedOutput(o, verb.c_str())) return bad;
    Grid g;
    std::string error;
    if (!ReadGrid(o.positional[0], o, g, error)) return Fail(error);
    const int zs = static_cast<int>(o.Num("--zscale", 100));
    Owned out;
    if (verb == "slope")
        out.reset(DemSlope(g.cells.data(), g.cols, g.rows, g.cellY, g.cellX, zs, static_cast<int>(o.Num("--method", 4))));
    else if (verb == "aspect")
        out.reset(DemAspect(g.cells.data(), g.cols, g.rows, g.cellY, g.cellX, static_cast<int>(o.Num("--method", 2))));
    else
        out.reset(HillShade(g.cells.data(), g.cols, g.rows, g.cellX, g.cellY, static_cast<int>(o.Num("--azimuth", 315)),
                            static_cast<int>(o.Num("--altitude", 45)), o.Num("--zscale", 100)));
    if (!WriteGrid(o.positional[1], g, out.get(), verb == "hillshade", error)) return Fail(error);
    return 0;
}

// Stream cells in blue over the grey hill shade (sun 315, 45), missing cells white: a picture of
// where the water gathers.
bool WriteStreamPicture(const std::string& path, const Grid& g, const int32_t* shade, const int32_t* streams,
                        std::string& error) {
    GDALDatasetH ds = MemoryDataset(g, 3, GDT_Byte, error);
    if (!ds) return false;
    static const uint8_t kStream[3] = {30, 100, 230};
    std::vector<uint8_t> b(static_cast<size_t>(g.cols) * g.rows);
    CPLErr err = CE_None;
    for (int band = 0; band < 3 && err == CE_None; ++band) {
        for (size_t i = 0; i < b.size(); ++i)
            b[i] = shade[i] == kToolNodata ? 255
                   : streams[i] == 200     ? kStream[band]
                                           : static_cast<uint8_t>(std::clamp(shade[i], 0, 250) * 255 / 250);
        err = GDALRasterIO(GDALGetRasterBand(ds, band + 1), GF_Write, 0, 0, g.cols, g.rows, b.data(), g.cols, g.rows,
                           GDT_Byte, 0, 0);
    }
    return SaveCopy(ds, err, path, IsPng(path), error);
}

// Fill, flow directions, accumulation, streams, flow length and basins of the filled grid.
int Drainage(const std::string& verb, const Options& o) {
    if (int bad = NeedOutput(o, verb.c_str())) return bad;
    if (o.values.count("--picture") && verb != "streams") return Fail("--picture belongs to streams");
    Grid g;
    std::string error;
    if (!ReadGrid(o.positional[0], o, g, error)) return Fail(error);
    const int32_t* dem = g.cells.data();
    Owned out;
    if (verb == "fill") {
        out.reset(FillSinks(dem, g.cols, g.rows));
    } else if (verb == "flowdir") {
        out.reset(FlowDirection(dem, g.cols, g.rows));
    } else if (verb == "flowacc") {
        out.reset(FlowAccumulation(dem, g.cols, g.rows));
    } else if (verb == "streams") {
        out.reset(StreamNetwork(dem, g.cols, g.rows, o.Num("--threshold", 100)));
    } else if (verb == "flowlength") {
        out.reset(FlowLength(dem, g.cols, g.rows));
    } else {
        const double t = o.Num("--threshold", 100);
        if (!(std::fabs(t) < 2147483647.0)) return Fail("--threshold is a cell count");
        out.reset(Watershed(dem, g.cols, g.rows, static_cast<int>(t)));
    }
    if (!out) return Fail("the grid is too large");
    const double zscale = o.Num("--zscale", 100);
    if (!(verb == "fill" ? WriteHeights(o.positional[1], g, out.get(), zscale, error)
                         : WriteGrid(o.positional[1], g, out.get(), false, error)))
        return Fail(error);
    if (o.values.count("--picture")) {
        Owned shade(HillShade(dem, g.cols, g.rows, g.cellX, g.cellY, 315, 45, zscale));
        if (!WriteStreamPicture(o.values.at("--picture"), g, shade.get(), out.get(), error)) return Fail(error);
    }
    return 0;
}

int Resample(const Options& o) {
    if (int bad = NeedOutput(o, "resample")) return bad;
    Grid g;
    std::string error;
    if (!ReadGrid(o.positional[0], o, g, error)) return Fail(error);
    Grid d;
    if (!ResampleGrid(g, o.Num("--cell", 0), o.values.count("--nearest") > 0, d, error)) return Fail(error);
    if (!WriteHeights(o.positional[1], d, d.cells.data(), o.Num("--zscale", 100), error)) return Fail(error);
    return 0;
}

int Classify(const Options& o) {
    if (o.positional.empty() || o.positional.size() > 2) return Fail("classify needs INPUT [OUTPUT]");
    Grid g;
    std::string error;
    if (!ReadGrid(o.positional[0], o, g, error)) return Fail(error);
    std::vector<uint32_t> breaks, counts;
    const int method = static_cast<int>(o.Num("--method", 1));
    const double zscale = o.Num("--zscale", 100);
    if (method == 7) {
        // --breaks a,b,c in the input's units
        std::string list = o.values.count("--breaks") ? o.values.at("--breaks") : "";
        for (char* tok = std::strtok(list.data(), ","); tok; tok = std::strtok(nullptr, ","))
            breaks.push_back(static_cast<uint32_t>(static_cast<int32_t>(std::lround(std::atof(tok) * zscale))));
    }
    const int32_t unit = static_cast<int32_t>(std::lround(o.Num("--unit", 0) * zscale));
    if (!ClassifyGrid(g, method, static_cast<int>(o.Num("--classes", 5)), unit, breaks, counts,
                      o.positional.size() == 2))
        return Fail("cannot classify (fewer than two values, or bad method, classes, unit or breaks)");
    std::printf("class\tfrom\tcount\n");
    for (size_t k = 0; k < breaks.size(); ++k)
        std::printf("%zu\t%g\t%u\n", k, static_cast<int32_t>(breaks[k]) / zscale, k < counts.size() ? counts[k] : 0u);
    if (o.positional.size() == 2 && !WriteGrid(o.positional[1], g, g.cells.data(), false, error)) return Fail(error);
    return 0;
}

void PrintStats(const CellStats& s, double zscale) {
    std::printf("%s\t%zu\t%g\t%g\t%g\t%g\t%g\t%g\t%g\t%g\t%d\n", s.name.c_str(), s.cells, s.minimum / zscale,
                s.maximum / zscale, s.mean / zscale, s.median / zscale, s.deviation / zscale, s.sum / zscale,
                s.majority / zscale, s.minority / zscale, s.variety);
}

const char* kStatsHeader = "name\tcells\tmin\tmax\tmean\tmedian\tdeviation\tsum\tmajority\tminority\tvariety\n";

int Stats(const Options& o) {
    if (o.positional.size() != 1) return Fail("stats needs INPUT");
    Grid g;
    std::string error;
    if (!ReadGrid(o.positional[0], o, g, error)) return Fail(error);
    std::printf("size\t%d x %d\ncell\t%g x %g\norigin\t%g %g\n", g.cols, g.rows, g.cellX, g.cellY, g.geo[0], g.geo[3]);
    CellStats s;
    s.name = "grid";
    if (!NeighborhoodStatistics(g.cells.data(), static_cast<int>(g.cells.size()), s.majority, s.minority, s.maximum,
                                s.minimum, s.range, s.mean, s.median, s.deviation, s.sum, s.variety))
        return Fail(o.positional[0] + ": no valid cell");
    s.cells = std::count_if(g.cells.begin(), g.cells.end(), [](int32_t v) { return v != kToolNodata; });
    std::printf("%s", kStatsHeader);
    PrintStats(s, o.Num("--zscale", 100));
    return 0;
}

int Zonal(const Options& o) {
    if (o.positional.size() != 2) return Fail("zonal needs INPUT and POLYGONS");
    Grid g;
    std::string error;
    if (!ReadGrid(o.positional[0], o, g, error)) return Fail(error);
    std::vector<CellStats> zones;
    if (!ZonalGrid(g, o.positional[1], zones, error)) return Fail(error);
    std::printf("%s", kStatsHeader);
    for (const CellStats& z : zones) {
        if (z.cells > 0) PrintStats(z, o.Num("--zscale", 100));
        else std::printf("%s\t0\n", z.name.c_str());
    }
    return 0;
}

}  // namespace

void PrintRasterUsage(FILE* out) {
    std::fprintf(out,
                 "  kelo raster VERB INPUT [OUTPUT] [--zscale S] [--band N] [options]\n"
                 "      slope      IN OUT [--method 1..4]      per mille (1, 3) or tenths of a degree (2, 4)\n"
                 "      aspect     IN OUT [--method 1|2]       downhill direction codes 1..8, 0 flat\n"
                 "      hillshade  IN OUT [--azimuth A] [--altitude H]  brightness 0..250 (OUT .tif or .png)\n"
                 "      resample   IN OUT --cell SIZE [--nearest]\n"
                 "      classify   IN [OUT] [--method 0..7] [--classes N] [--unit U] [--breaks a,b,...]\n"
                 "      zonal      IN POLYGONS                 statistics of the cells inside each polygon\n"
                 "      stats      IN                          statistics of the whole grid\n"
                 "      fill       IN OUT                      depressions filled to their spill height\n"
                 "      flowdir    IN OUT                      flow codes clockwise from 1 down to 128 down-right, 0 none\n"
                 "      flowacc    IN OUT                      cells draining through each cell, itself included\n"
                 "      streams    IN OUT [--threshold L] [--picture P.png]  200 where the upstream path reaches L cells\n"
                 "      flowlength IN OUT                      downstream length to the grid's edge, 0..200\n"
                 "      watershed  IN OUT [--threshold N]      basins of outlets draining N cells or more\n");
    PrintSurfaceUsage(out);
    std::fprintf(out,
                 "      IN: any raster GDAL reads; cells become integers value * S (S = 100 by default).\n"
                 "      OUT: GeoTIFF with the input's georeferencing.\n");
}

int RasterCommand(int argc, char** argv) {
    if (argc < 1) {
        PrintRasterUsage(stderr);
        return 2;
    }
    const std::string verb = argv[0];
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--nearest") {
            o.values[a] = "1";
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            static const char* kValued[] = {"--zscale", "--band",  "--method", "--azimuth", "--altitude",
                                            "--cell",   "--classes", "--unit", "--breaks", "--threshold", "--picture"};
            if (std::find_if(std::begin(kValued), std::end(kValued), [&](const char* k) { return a == k; }) ==
                    std::end(kValued) &&
                std::find_if(kSurfaceOptions, kSurfaceOptions + kSurfaceOptionCount,
                             [&](const char* k) { return a == k; }) == kSurfaceOptions + kSurfaceOptionCount)
                return Fail("unknown option '" + a + "'");
            if (i + 1 >= argc) return Fail(a + " needs a value");
            o.values[a] = argv[++i];
        } else {
            o.positional.push_back(a);
        }
    }
    if (o.Num("--zscale", 100) == 0) return Fail("--zscale must not be 0");
    // The tool's own nodata value keeps every real height usable.
    const int32_t saved = GetNodata();
    SetNodata(kToolNodata);
    int rc;
    if (verb == "slope" || verb == "aspect" || verb == "hillshade") rc = Derivative(verb, o);
    else if (verb == "resample") rc = Resample(o);
    else if (verb == "classify") rc = Classify(o);
    else if (verb == "zonal") rc = Zonal(o);
    else if (verb == "stats") rc = Stats(o);
    else if (verb == "fill" || verb == "flowdir" || verb == "flowacc" || verb == "streams" || verb == "flowlength" ||
             verb == "watershed")
        rc = Drainage(verb, o);
    else if ((rc = SurfaceVerb(verb, o.positional, o.values)) >= 0) {
    } else {
        PrintRasterUsage(stderr);
        rc = Fail("unknown verb '" + verb + "'");
    }
    SetNodata(saved);
    return rc;
}

}  // namespace kelo_tool
