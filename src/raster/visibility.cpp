#include "raster/visibility.h"

#include <algorithm>
#include <cmath>

#include "raster/grid_detail.h"
#include "raster/nodata.h"
#include "raster/resample.h"

namespace kelo {

namespace {

constexpr int kSectors = 1000;
constexpr double kTwoPi = 6.283185307179586;

struct Record {
    double d;
    int32_t r, c;
};

}  // namespace

int VisibleRange(int observerRow, int observerCol, int rows, int cols, const int32_t* dem, int32_t* out,
                 int observerHeight, int mark) {
    if (!dem || !out || rows < 10 || cols < 10 || (rows >= 60000 && cols >= 60000)) return 0;
    if (observerRow < 0 || observerRow >= rows || observerCol < 0 || observerCol >= cols) return 0;
    const int32_t nodata = GetNodata();
    const size_t self = static_cast<size_t>(observerRow) * cols + observerCol;
    if (dem[self] == nodata) return 0;
    std::vector<std::vector<Record>> sectors(kSectors);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            if (dem[static_cast<size_t>(r) * cols + c] == nodata || (r == observerRow && c == observerCol)) continue;
            const double dr = r - observerRow, dc = c - observerCol;
            double angle = std::atan2(dc, dr);
            while (angle <= 1e-7) angle += kTwoPi;
            const int s = static_cast<int>(angle / kTwoPi * kSectors + 0.5 + 1e-16) % kSectors;
            sectors[static_cast<size_t>(s)].push_back({std::sqrt(dr * dr + dc * dc), r, c});
        }
    out[self] = mark;
    const double z0 = dem[self] + static_cast<double>(observerHeight);
    for (int s = 0; s < kSectors; ++s) {
        std::vector<Record>& list = sectors[static_cast<size_t>(s)];
        if (list.empty()) continue;
        std::stable_sort(list.begin(), list.end(), [](const Record& a, const Record& b) { return a.d < b.d; });
        const double phi = static_cast<double>(s) / kSectors * kTwoPi, ur = std::cos(phi), uc = std::sin(phi);
        // The steepest sight line so far as the slope H / D.
        double D = 0, H = -1;
        auto height = [&](double t) {
            return BilinearCell(dem, cols, rows, observerRow + t * ur, observerCol + t * uc);
        };
        double prev = 0;
        for (const Record& rec : list) {
            for (double t = prev + 0.5; t < rec.d; t += 0.5) {
                const int32_t v = height(t);
                if (v == nodata) continue;
                const double h = v - z0;
                if (H * t < D * h) D = t, H = h;
            }
            // The cell itself: sampled along the sector, or its own value where that falls
            // off the sampler's reach (last row or column, nodata beside it).
            int32_t v = height(rec.d);
            if (v == nodata) v = dem[static_cast<size_t>(rec.r) * cols + rec.c];
            const double h = v - z0;
            if (H * rec.d - 1e-7 <= D * h) {
                out[static_cast<size_t>(rec.r) * cols + rec.c] = mark;
                D = rec.d;
                H = h;
            }
            prev = rec.d;
        }
    }
    return 1;
}

int DemSectionOfLine(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                     Point3D a, Point3D b, std::vector<Point3D>& profile) {
    const double len = std::hypot(b.x - a.x, b.y - a.y);
    if (!(len >= 1e-8) || !std::isfinite(len) || !(cellX > 0) || !(cellY > 0)) return 0;
    const double step = (cellX + cellY) / 2;
    if (len / step > 1e8) return 0;
    const int32_t nodata = GetNodata();
    std::vector<Point3D> samples;
    auto sample = [&](double t) {
        const double x = a.x + t * (b.x - a.x) / len, y = a.y + t * (b.y - a.y) / len;
        const int32_t z = BilinearCell(dem, cols, rows, (yTop - y) / cellY, (x - x0) / cellX);
        if (z != nodata) samples.push_back({x, y, static_cast<double>(z)});
    };
    for (size_t k = 0;; ++k) {
        const double t = static_cast<double>(k) * step;
        if (!(t < len - 1e-8)) break;
        sample(t);
    }
    sample(len);
    profile.swap(samples);
    return 1;
}

int DemSectionOfLines(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                      keloPoints& line, keloPoints& profile) {
    std::vector<Point3D> all, part;
    for (int i = 0; i + 1 < line.GetCount(); ++i) {
        if (!DemSectionOfLine(dem, cols, rows, x0, yTop, cellX, cellY, line[i], line[i + 1], part)) continue;
        size_t from = 0;
        if (!all.empty() && !part.empty() && all.back().x == part.front().x && all.back().y == part.front().y) from = 1;
        all.insert(all.end(), part.begin() + static_cast<std::ptrdiff_t>(from), part.end());
    }
    profile.Create(klLTPolyline, static_cast<int>(all.size()), all.data());
    return 1;
}

int LineOfSight(const int32_t* dem, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                Point3D observer, double observerHeight, Point3D target, double targetHeight, keloPoints& sight,
                std::vector<uint8_t>& visible) {
    std::vector<Point3D> profile;
    DemSectionOfLine(dem, cols, rows, x0, yTop, cellX, cellY, observer, target, profile);
    std::vector<Point3D> verts;
    visible.clear();
    if (!profile.empty()) {
        profile.front().z += observerHeight;
        profile.back().z += targetHeight;
        const double z0 = profile.front().z;
        verts.push_back({0, z0, 0});
        visible.push_back(1);
        double A = -1e100, s = 0, prevAngle = 0;
        for (size_t k = 1; k < profile.size(); ++k) {
            const double sPrev = s;
            s += std::hypot(profile[k].x - profile[k - 1].x, profile[k].y - profile[k - 1].y);
            const double z = profile[k].z, angle = std::atan2(z - z0, s);
            if (k >= 2) {
                const bool was = prevAngle >= A - 1e-7, is = angle >= A - 1e-7;
                if (was != is) {
                    // Where the terrain between the two samples meets the steepest sight line.
                    const double slope = std::tan(A), zPrev = profile[k - 1].z;
                    const double f0 = zPrev - z0 - sPrev * slope, f1 = z - z0 - s * slope;
                    const double u = f0 / (f0 - f1);
                    if (u > 1e-9 && u < 1 - 1e-9) {
                        verts.push_back({sPrev + u * (s - sPrev), zPrev + u * (z - zPrev), 0});
                        visible.push_back(1);
                    }
                }
            }
            verts.push_back({s, z, 0});
            visible.push_back(angle >= A - 1e-7 ? 1 : 0);
            A = std::max(A, angle);
            prevAngle = angle;
        }
    }
    sight.Create(klLTPolyline, static_cast<int>(verts.size()), verts.data());
    return 1;
}

}  // namespace kelo
