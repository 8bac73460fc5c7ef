#include "companion/plane.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace kelo {

namespace {
double g_mini = 1e-8;
constexpr double kTwoPi = 6.283185307179586476925286766559;
}  // namespace

void SetMINI(double tolerance) { g_mini = tolerance; }
double GetMINI() { return g_mini; }

int Cross_P(double* x, double* y, double x1, double y1, double x2, double y2, double x3, double y3, double x4,
            double y4) {
    double ax = x2 - x1, ay = y2 - y1, bx = x4 - x3, by = y4 - y3;
    double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
    if (!(la > 0) || !(lb > 0)) return -4;
    double den = ax * by - ay * bx;
    double cx = x3 - x1, cy = y3 - y1;
    // Parameter tolerance relative to each segment, so the test does not depend on coordinate size.
    double ta = g_mini, tb = g_mini;
    if (std::fabs(den) > g_mini * la * lb) {
        double t = (cx * by - cy * bx) / den;
        double u = (cx * ay - cy * ax) / den;
        if (t < -ta || t > 1 + ta || u < -tb || u > 1 + tb) return -1;
        t = std::clamp(t, 0.0, 1.0);
        if (x) *x = x1 + t * ax;
        if (y) *y = y1 + t * ay;
        return 0;
    }
    // Parallel: collinear only when 3 lies on the line of 1-2.
    if (std::fabs(cx * ay - cy * ax) > g_mini * la * std::max(la, std::hypot(cx, cy))) return -2;
    double t3 = (cx * ax + cy * ay) / (la * la);
    double t4 = ((x4 - x1) * ax + (y4 - y1) * ay) / (la * la);
    double lo = std::max(0.0, std::min(t3, t4)), hi = std::min(1.0, std::max(t3, t4));
    if (lo > hi + ta) return -3;
    // The first point along 3-4 that lies on both segments.
    double t = (t3 <= t4) ? lo : hi;
    if (x) *x = x1 + t * ax;
    if (y) *y = y1 + t * ay;
    return 1;
}

int MyCrossRect(double x1, double y1, double x2, double y2, double rx1, double ry1, double rx2, double ry2) {
    double xmin = std::min(rx1, rx2), xmax = std::max(rx1, rx2), ymin = std::min(ry1, ry2), ymax = std::max(ry1, ry2);
    const double cx[5] = {xmin, xmax, xmax, xmin, xmin};
    const double cy[5] = {ymin, ymin, ymax, ymax, ymin};
    std::vector<std::pair<double, double>> hits;
    for (int i = 0; i < 4; ++i) {
        double px, py;
        int r = Cross_P(&px, &py, x1, y1, x2, y2, cx[i], cy[i], cx[i + 1], cy[i + 1]);
        if (r < 0) continue;
        if (r == 1) {
            // Running along an edge: both ends of the shared stretch are contacts.
            double ex = std::clamp(x1, xmin, xmax), ey = std::clamp(y1, ymin, ymax);
            double fx = std::clamp(x2, xmin, xmax), fy = std::clamp(y2, ymin, ymax);
            hits.emplace_back(ex, ey);
            hits.emplace_back(fx, fy);
            continue;
        }
        hits.emplace_back(px, py);
    }
    double tol = 1e-9 * std::max({1.0, std::fabs(xmax - xmin), std::fabs(ymax - ymin)});
    int count = 0;
    for (size_t i = 0; i < hits.size(); ++i) {
        bool seen = false;
        for (size_t j = 0; j < i && !seen; ++j)
            seen = std::fabs(hits[i].first - hits[j].first) <= tol && std::fabs(hits[i].second - hits[j].second) <= tol;
        if (!seen) ++count;
    }
    return count;
}

void CHUIZU(double x1, double y1, double x2, double y2, double px, double py, double* ox, double* oy) {
    double dx = x2 - x1, dy = y2 - y1;
    double d = dx * dx + dy * dy;
    double t = d > 0 ? ((px - x1) * dx + (py - y1) * dy) / d : 0.0;
    if (ox) *ox = x1 + t * dx;
    if (oy) *oy = y1 + t * dy;
}

double _BEARING(double x1, double y1, double x2, double y2) {
    double a = std::atan2(y2 - y1, x2 - x1);
    _ADJUSTANGLE(a);
    return a;
}

void _ADJUSTANGLE(double& angle) {
    if (!std::isfinite(angle)) return;
    angle = std::fmod(angle, kTwoPi);
    if (angle < 0) angle += kTwoPi;
    if (angle >= kTwoPi) angle = 0;
}

void reverse_line(void* array, int count, int elementSize) {
    if (array == nullptr || count < 2 || elementSize <= 0) return;
    auto* bytes = static_cast<unsigned char*>(array);
    std::vector<unsigned char> tmp(static_cast<size_t>(elementSize));
    for (int i = 0, j = count - 1; i < j; ++i, --j) {
        unsigned char* a = bytes + static_cast<size_t>(i) * elementSize;
        unsigned char* b = bytes + static_cast<size_t>(j) * elementSize;
        std::memcpy(tmp.data(), a, tmp.size());
        std::memcpy(a, b, tmp.size());
        std::memcpy(b, tmp.data(), tmp.size());
    }
}

int parallel(int count, const double* x, const double* y, double* ox, double* oy, double distance, int side) {
    if (count < 2 || !x || !y || !ox || !oy) return 0;
    double d = side == 1 ? distance : -distance;  // left normal is (-dy, dx)
    // Normals of the segments, skipping zero-length ones by borrowing the neighbour's direction.
    int segs = count - 1;
    std::vector<double> nx(segs), ny(segs);
    std::vector<bool> valid(segs);
    bool any = false;
    for (int i = 0; i < segs; ++i) {
        double dx = x[i + 1] - x[i], dy = y[i + 1] - y[i], len = std::hypot(dx, dy);
        valid[i] = len > 0 && std::isfinite(len);
        if (valid[i]) { nx[i] = -dy / len; ny[i] = dx / len; any = true; }
    }
    if (!any) return 0;
    for (int i = 1; i < segs; ++i)
        if (!valid[i] && valid[i - 1]) { nx[i] = nx[i - 1]; ny[i] = ny[i - 1]; valid[i] = true; }
    for (int i = segs - 2; i >= 0; --i)
        if (!valid[i] && valid[i + 1]) { nx[i] = nx[i + 1]; ny[i] = ny[i + 1]; valid[i] = true; }

    bool closed = x[0] == x[count - 1] && y[0] == y[count - 1] && count > 3;
    auto join = [&](int a, int b, int vertex) {
        // Mitre: the offset point lies along the bisector at d / cos(half turn). Near reversals the
        // mitre would shoot off to infinity, so it is capped at four times the distance.
        double bx = nx[a] + nx[b], by = ny[a] + ny[b];
        double bl = std::hypot(bx, by);
        if (bl < 1e-12) {
            ox[vertex] = x[vertex] + d * nx[a];
            oy[vertex] = y[vertex] + d * ny[a];
            return;
        }
        bx /= bl; by /= bl;
        double c = bx * nx[a] + by * ny[a];
        double scale = d / std::max(c, 0.25);
        ox[vertex] = x[vertex] + scale * bx;
        oy[vertex] = y[vertex] + scale * by;
    };
    if (closed) {
        join(segs - 1, 0, 0);
        ox[count - 1] = ox[0];
        oy[count - 1] = oy[0];
    } else {
        ox[0] = x[0] + d * nx[0];
        oy[0] = y[0] + d * ny[0];
        ox[count - 1] = x[count - 1] + d * nx[segs - 1];
        oy[count - 1] = y[count - 1] + d * ny[segs - 1];
    }
    for (int i = 1; i < count - 1; ++i) join(i - 1, i, i);
    return count;
}

double GetDistBering(double x, double y, int count, const double* xs, const double* ys, int* segment, int* side) {
    if (segment) *segment = -1;
    if (side) *side = 0;
    if (count < 1 || !xs || !ys) return -1;
    if (count == 1) {
        if (segment) *segment = 0;
        return std::hypot(x - xs[0], y - ys[0]);
    }
    double best = std::numeric_limits<double>::infinity();
    int bestSeg = 0;
    double bestCross = 0;
    for (int i = 0; i + 1 < count; ++i) {
        double fx, fy;
        double dx = xs[i + 1] - xs[i], dy = ys[i + 1] - ys[i];
        double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((x - xs[i]) * dx + (y - ys[i]) * dy) / len2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        fx = xs[i] + t * dx;
        fy = ys[i] + t * dy;
        double dist = std::hypot(x - fx, y - fy);
        if (dist < best) {
            best = dist;
            bestSeg = i;
            bestCross = dx * (y - ys[i]) - dy * (x - xs[i]);
        }
    }
    if (segment) *segment = bestSeg;
    if (side) *side = best <= 0 ? 0 : (bestCross > 0 ? 1 : (bestCross < 0 ? -1 : 0));
    return best;
}

}  // namespace kelo
