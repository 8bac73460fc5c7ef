// A grid from contour lines: each row and each column line is cut by every contour segment, and a
// cell between two cuts takes the linear blend of their heights. Where both passes give a value,
// the pass with the shorter gap between its cuts weighs more.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "companion/gbk.h"
#include "companion/ui.h"
#include "geometry/geometry_object.h"
#include "geometry/tolerance.h"
#include "raster/contours.h"
#include "raster/grid_detail.h"
#include "raster/nodata.h"

namespace kelo {

namespace {

struct Seg {
    Point3D a, b;
};

struct Cut {
    double pos, h;
};

constexpr double kNoGap = 1e100;

std::vector<Seg> ContourSegments(const std::vector<GM_Object*>& contours) {
    std::vector<Seg> segs;
    for (const GM_Object* object : contours) {
        if (!object) continue;
        for (int i = 0; i < object->GetPartsCount(); ++i) {
            keloParts parts;
            if (!object->GetPartsAt(parts, i)) continue;
            for (int k = 0; k < parts.GetPartsCount(); ++k) {
                keloPoints run(&parts.parts[k]);
                std::vector<Point3D> pts;
                if (run.GetLineType() == klLTPolyline)
                    pts.assign(run.points, run.points + run.GetCount());
                else
                    run.Discrete(pts, g_epsZero);
                for (size_t j = 0; j + 1 < pts.size(); ++j) segs.push_back({pts[j], pts[j + 1]});
            }
        }
    }
    return segs;
}

// One pass along parallel grid lines (rows or columns, as the frame says). A cell the pass
// brackets takes its value where it has none; where it has one, the two are blended by gaps.
template <class Frame>
void Pass(const std::vector<Seg>& segs, int lines, int cells, Frame frame, std::vector<double>& value,
          std::vector<double>& gap) {
    // Segments listed under each line they reach, so each line looks only at its own.
    std::vector<std::vector<int>> byLine(static_cast<size_t>(lines));
    for (size_t s = 0; s < segs.size(); ++s) {
        double a, b;
        frame.Across(segs[s], a, b);
        if (a == b || !std::isfinite(a) || !std::isfinite(b)) continue;
        const double lo = std::max(0.0, std::ceil(frame.LineIndex(std::min(a, b)) - 1e-9));
        const double hi = std::min(lines - 1.0, std::floor(frame.LineIndex(std::max(a, b)) + 1e-9));
        for (double i = std::min(lo, hi + 1); i <= hi; ++i) byLine[static_cast<size_t>(i)].push_back(static_cast<int>(s));
    }
    std::vector<Cut> cuts;
    for (int i = 0; i < lines; ++i) {
        const double at = frame.LineAt(i);
        cuts.clear();
        for (int s : byLine[static_cast<size_t>(i)]) {
            double a, b, pa, pb;
            frame.Across(segs[static_cast<size_t>(s)], a, b);
            frame.Along(segs[static_cast<size_t>(s)], pa, pb);
            if (at < std::min(a, b) || at > std::max(a, b)) continue;
            const double t = (at - a) / (b - a);
            cuts.push_back({pa + t * (pb - pa), segs[static_cast<size_t>(s)].a.z + t * (segs[static_cast<size_t>(s)].b.z - segs[static_cast<size_t>(s)].a.z)});
        }
        if (cuts.empty()) continue;
        std::sort(cuts.begin(), cuts.end(), [](const Cut& x, const Cut& y) { return x.pos < y.pos; });
        size_t k = 0;
        for (int j = 0; j < cells; ++j) {
            const double p = frame.CellAt(j);
            while (k + 1 < cuts.size() && cuts[k + 1].pos <= p + 1e-7) ++k;
            double v, g;
            if (std::fabs(p - cuts[k].pos) <= 1e-7) {
                v = cuts[k].h;
                g = 0;
            } else if (cuts[k].pos < p && k + 1 < cuts.size() && p < cuts[k + 1].pos) {
                g = cuts[k + 1].pos - cuts[k].pos;
                const double t = p - cuts[k].pos;
                v = (t * cuts[k + 1].h + (g - t) * cuts[k].h) / g;
            } else {
                continue;
            }
            const size_t cell = frame.Cell(i, j);
            if (gap[cell] == 0) continue;
            if (gap[cell] >= 1e99) {
                value[cell] = v;
                gap[cell] = g;
            } else {
                value[cell] = (v * gap[cell] + value[cell] * g) / (gap[cell] + g);
            }
        }
    }
}

struct RowFrame {
    double x0, yTop, cellX, cellY;
    int cols;
    void Across(const Seg& s, double& a, double& b) const { a = s.a.y, b = s.b.y; }
    void Along(const Seg& s, double& a, double& b) const { a = s.a.x, b = s.b.x; }
    double LineIndex(double y) const { return (yTop - y) / cellY; }
    double LineAt(int r) const { return yTop - r * cellY; }
    double CellAt(int c) const { return x0 + c * cellX; }
    size_t Cell(int r, int c) const { return static_cast<size_t>(r) * cols + c; }
};

struct ColumnFrame {
    double x0, yTop, cellX, cellY;
    int cols;
    void Across(const Seg& s, double& a, double& b) const { a = s.a.x, b = s.b.x; }
    // Positions along a column grow southwards, like the rows.
    void Along(const Seg& s, double& a, double& b) const { a = -s.a.y, b = -s.b.y; }
    double LineIndex(double x) const { return (x - x0) / cellX; }
    double LineAt(int c) const { return x0 + c * cellX; }
    double CellAt(int r) const { return -(yTop - r * cellY); }
    size_t Cell(int c, int r) const { return static_cast<size_t>(r) * cols + c; }
};

}  // namespace

int MakeGridDemFromDgx(int32_t* out, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                       double zScale, std::vector<GM_Object*>& contours) {
    if (!out || cols <= 0 || rows <= 0 || !(cellX > 0) || !(cellY > 0)) return 1;
    std::vector<Seg> segs = ContourSegments(contours);
    double lowest = 1e300;
    for (const Seg& s : segs) lowest = std::min({lowest, s.a.z, s.b.z});
    if (!segs.empty() && lowest <= 1e-8) {
        const double offset = lowest > -100 ? 100 : lowest > -1000 ? 1000 : lowest >= -10000 ? 10000 : 100000;
        char text[256];
        std::snprintf(text, sizeof text, "等高线最低高程值为 %lf米\n\nDEM将高程整体抬高 %lf米", lowest, offset);
        AfxMessageBox2(ToGbk(text).c_str());
        for (Seg& s : segs) {
            s.a.z += offset;
            s.b.z += offset;
        }
    }
    const size_t n = detail::GridCells(cols, rows);
    std::vector<double> value(n, 0), gap(n, kNoGap);
    Pass(segs, rows, cols, RowFrame{x0, yTop, cellX, cellY, cols}, value, gap);
    Pass(segs, cols, rows, ColumnFrame{x0, yTop, cellX, cellY, cols}, value, gap);
    const double z = std::trunc(zScale + 0.001);
    const int32_t nodata = GetNodata();
    for (size_t i = 0; i < n; ++i) out[i] = gap[i] < 1e99 ? detail::Trunc32(z * value[i] + 0.5 + 1e-16) : nodata;
    return 1;
}

}  // namespace kelo
