#include "raster/resample.h"

#include <cmath>

#include "raster/grid_detail.h"
#include "raster/nodata.h"

namespace kelo {

namespace {

// floor(v) as an index when it lies in [0, n), else -1; NaN and huge values never convert.
inline int64_t IndexIn(double v, int n) {
    double f = std::floor(v);
    return f >= 0 && f < n ? static_cast<int64_t>(f) : -1;
}

bool SizeOk(int cols, int rows) { return cols >= 1 && cols <= kMaxReformSize && rows >= 1 && rows <= kMaxReformSize; }

template <typename Sample>
int32_t* Reform(int dstCols, int dstRows, double dstX0, double dstYTop, double dstCellX, double dstCellY,
                Sample sample) {
    if (!SizeOk(dstCols, dstRows)) return nullptr;
    int32_t* out = new int32_t[detail::GridCells(dstCols, dstRows)];
    for (int i = 0; i < dstRows; ++i) {
        const double y = dstYTop - i * dstCellY;
        for (int j = 0; j < dstCols; ++j) out[static_cast<size_t>(i) * dstCols + j] = sample(dstX0 + j * dstCellX, y);
    }
    return out;
}

}  // namespace

int32_t BilinearCell(const int32_t* dem, int cols, int rows, double row, double col) {
    const int32_t nodata = GetNodata();
    if (!dem) return nodata;
    // Georeferencing arithmetic lands a hair beside cell points; such a position is the cell point.
    const double rr = std::round(row), cr = std::round(col);
    if (std::fabs(row - rr) < 1e-9) row = rr;
    if (std::fabs(col - cr) < 1e-9) col = cr;
    int64_t r0 = IndexIn(row, rows - 1), c0 = IndexIn(col, cols - 1);
    if (r0 < 0 || c0 < 0) return nodata;
    const int32_t* p = dem + r0 * cols + c0;
    const int32_t v00 = p[0], v01 = p[1], v10 = p[cols], v11 = p[cols + 1];
    if (v00 == nodata || v01 == nodata || v10 == nodata || v11 == nodata) return nodata;
    const double fr = row - r0, fc = col - c0;
    // Written as corner plus differences, so that equal corners give their value exactly and the
    // truncation below never drops a level surface by one unit.
    const double top = v00 + fc * (static_cast<double>(v01) - v00);
    const double bottom = v10 + fc * (static_cast<double>(v11) - v10);
    double v = top + fr * (bottom - top);
    return detail::Trunc32(v);
}

int32_t* ReformDemNearest(const int32_t* src, int srcCols, int srcRows, double srcX0, double srcYTop, double srcCellX,
                          double srcCellY, int dstCols, int dstRows, double dstX0, double dstYTop, double dstCellX,
                          double dstCellY) {
    const int32_t nodata = GetNodata();
    return Reform(dstCols, dstRows, dstX0, dstYTop, dstCellX, dstCellY, [&](double x, double y) {
        if (!src) return nodata;
        int64_t r = IndexIn((srcYTop - y) / srcCellY + 0.5, srcRows), c = IndexIn((x - srcX0) / srcCellX + 0.5, srcCols);
        return r < 0 || c < 0 ? nodata : src[r * srcCols + c];
    });
}

int32_t* ReformDemWeighted(const int32_t* src, int srcCols, int srcRows, double srcX0, double srcYTop,
                           double srcCellX, double srcCellY, int dstCols, int dstRows, double dstX0, double dstYTop,
                           double dstCellX, double dstCellY) {
    return Reform(dstCols, dstRows, dstX0, dstYTop, dstCellX, dstCellY, [&](double x, double y) {
        return BilinearCell(src, srcCols, srcRows, (srcYTop - y) / srcCellY, (x - srcX0) / srcCellX);
    });
}

void GetHValueFromElevs(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                        std::vector<Point3D>& points) {
    for (Point3D& p : points) {
        const int32_t v = BilinearCell(dem, cols, rows, (yTop - p.y) / cellY, (p.x - x0) / cellX);
        p.z = v == GetNodata() ? v : v < -0.5 ? 0 : v;
    }
}

}  // namespace kelo
