#include "raster/point_surfaces.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "companion/random.h"
#include "companion/ui.h"
#include "raster/grid_detail.h"

namespace kelo {

namespace {

constexpr double kSearchD2 = 2e9;
constexpr size_t kBucket = 20;

// A two-dimensional tree over point indices; leaves hold at most kBucket points.
class PointTree {
public:
    explicit PointTree(const std::vector<Point3D>& pts) : pts_(pts), idx_(pts.size()) {
        std::iota(idx_.begin(), idx_.end(), 0);
        if (!idx_.empty()) Build(0, idx_.size(), 0);
    }

    // Index of the nearest point within squared distance d2 (updated), or -1.
    int Nearest(double x, double y, double& d2) const {
        int best = -1;
        if (!nodes_.empty()) Search(0, x, y, d2, best);
        return best;
    }

private:
    struct Node {
        size_t begin, end;
        int axis = -1;  // -1 leaf
        double split = 0;
        int left = -1, right = -1;
    };

    int Build(size_t b, size_t e, int depth) {
        int id = static_cast<int>(nodes_.size());
        nodes_.push_back({b, e});
        if (e - b <= kBucket) return id;
        const int axis = depth & 1;
        const size_t mid = b + (e - b) / 2;
        auto key = [&](size_t i) { return axis ? pts_[i].y : pts_[i].x; };
        std::nth_element(idx_.begin() + b, idx_.begin() + mid, idx_.begin() + e,
                         [&](size_t p, size_t q) { return key(p) < key(q); });
        const double split = key(idx_[mid]);
        int l = Build(b, mid, depth + 1);
        int r = Build(mid, e, depth + 1);
        nodes_[id].axis = axis;
        nodes_[id].split = split;
        nodes_[id].left = l;
        nodes_[id].right = r;
        return id;
    }

    void Search(int id, double x, double y, double& d2, int& best) const {
        const Node& n = nodes_[id];
        if (n.axis < 0) {
            for (size_t k = n.begin; k < n.end; ++k) {
                const Point3D& p = pts_[idx_[k]];
                double d = (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y);
                if (d < d2) d2 = d, best = static_cast<int>(idx_[k]);
            }
            return;
        }
        const double delta = (n.axis ? y : x) - n.split;
        const int nearSide = delta < 0 ? n.left : n.right, farSide = delta < 0 ? n.right : n.left;
        Search(nearSide, x, y, d2, best);
        if (delta * delta < d2) Search(farSide, x, y, d2, best);
    }

    const std::vector<Point3D>& pts_;
    std::vector<size_t> idx_;
    std::vector<Node> nodes_;
};

template <typename CellValue>
void FillRows(int32_t* out, int cols, int rows, double x0, double yTop, double cellX, double cellY, bool progress,
              CellValue value) {
    if (progress) _LWaitMsg("initial...");
    for (int r = 0; r < rows; ++r) {
        if (progress) _LWaitReMsg("dem...", r);
        const double y = yTop - r * cellY;
        for (int c = 0; c < cols; ++c) value(out[static_cast<size_t>(r) * cols + c], x0 + c * cellX, y);
    }
    if (progress) _LWaitMsgEnd();
}

}  // namespace

void DemFindDistance(int32_t* out, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                     std::vector<Point3D>& points) {
    if (!out || detail::GridCells(cols, rows) == 0) return;
    std::fill(out, out + detail::GridCells(cols, rows), -1);
    if (points.empty()) return;
    const PointTree tree(points);
    const double unit = std::min(cellX, cellY);
    FillRows(out, cols, rows, x0, yTop, cellX, cellY, false, [&](int32_t& cell, double x, double y) {
        double d2 = kSearchD2;
        tree.Nearest(x, y, d2);
        cell = detail::Trunc32(std::sqrt(d2) / unit + 0.01);
    });
}

void DemProximityMapping(int32_t* out, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                         std::vector<Point3D>& points) {
    for (Point3D& p : points) {
        const int d1 = KeloRand(), d2 = KeloRand();
        p.z = ((d2 % 210 + 25) * 256.0 + (d1 % 210 + 25)) * 256.0;
    }
    if (!out || detail::GridCells(cols, rows) == 0 || points.empty()) return;
    const PointTree tree(points);
    FillRows(out, cols, rows, x0, yTop, cellX, cellY, true, [&](int32_t& cell, double x, double y) {
        double d2 = 1e300;
        const int k = tree.Nearest(x, y, d2);
        if (k >= 0) cell = detail::Trunc32(points[k].z + 0.01);
    });
}

void DemDensityFunction(int32_t* out, int cols, int rows, double x0, double yTop, double cellX, double cellY,
                        std::vector<Point3D>& points, double radius) {
    if (!out || detail::GridCells(cols, rows) == 0) return;
    std::fill(out, out + detail::GridCells(cols, rows), -1);
    const double r = radius / 1000, area = std::acos(-1.0) * r * r, rr = radius * radius;
    if (!(area > 0)) return;
    FillRows(out, cols, rows, x0, yTop, cellX, cellY, true, [&](int32_t& cell, double x, double y) {
        double s = 0;
        for (const Point3D& p : points)
            if ((p.x - x) * (p.x - x) + (p.y - y) * (p.y - y) <= rr) s += p.z;
        if (s > 1e-8) cell = detail::Trunc32(s / area);
    });
}

}  // namespace kelo
