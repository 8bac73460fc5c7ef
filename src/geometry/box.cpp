#include "geometry/box.h"

#include <algorithm>

namespace kelo {

namespace {
constexpr double kHuge = 1e160;
}

Box::Box() { empty(); }

Box::Box(double x1, double y1, double x2, double y2)
    : minx(std::min(x1, x2)), miny(std::min(y1, y2)), minz(0.0),
      maxx(std::max(x1, x2)), maxy(std::max(y1, y2)), maxz(0.0) {}

void Box::empty() {
    minx = miny = kHuge;
    maxx = maxy = -kHuge;
    minz = maxz = 0.0;
}

void Box::large() {
    minx = miny = -kHuge;
    maxx = maxy = kHuge;
    minz = maxz = 0.0;
}

int Box::IsEmpty() const { return (minx > maxx || miny > maxy) ? 1 : 0; }

void Box::add(double x, double y) {
    // Two independent tests per axis so the first point of an empty box sets both ends.
    if (x > maxx) maxx = x;
    if (x < minx) minx = x;
    if (y > maxy) maxy = y;
    if (y < miny) miny = y;
}

void Box::add(const Box& b) {
    if (b.IsEmpty()) return;
    minx = std::min(minx, b.minx);
    miny = std::min(miny, b.miny);
    maxx = std::max(maxx, b.maxx);
    maxy = std::max(maxy, b.maxy);
}

int Box::intersect(const Box& b) const {
    if (IsEmpty() || b.IsEmpty()) return 0;
    if (b.maxx + kEpsInner < minx || maxx + kEpsInner < b.minx) return 0;
    if (b.maxy + kEpsInner < miny || maxy + kEpsInner < b.miny) return 0;
    return 1;
}

int Box::contain(double x, double y) const {
    // An empty box is an unset filter: it accepts every point.
    if (IsEmpty()) return 1;
    return (minx - kEpsInner <= x && x <= maxx + kEpsInner && miny - kEpsInner <= y && y <= maxy + kEpsInner) ? 1 : 0;
}

int Box::contain(const Box& b) const {
    if (IsEmpty() || b.IsEmpty()) return 0;
    return (b.maxx - kEpsInner <= maxx && b.maxy - kEpsInner <= maxy && b.minx + kEpsInner >= minx &&
            b.miny + kEpsInner >= miny) ? 1 : 0;
}

void Box::Offset(const Point3D& d) {
    if (IsEmpty()) return;
    minx += d.x; maxx += d.x;
    miny += d.y; maxy += d.y;
}

void Box::InflateBox(double dx, double dy) {
    if (IsEmpty()) return;
    maxx += dx; maxy += dy;
    minx -= dx; miny -= dy;
}

int Box::GetCenter(double& cx, double& cy) const {
    if (IsEmpty()) return 0;
    cx = (minx + maxx) / 2;
    cy = (miny + maxy) / 2;
    return 1;
}

int Box::GetSize(double& w, double& h) const {
    if (IsEmpty()) return 0;
    w = maxx - minx;
    h = maxy - miny;
    return 1;
}

int Box::GetBox(double& x0, double& y0, double& x1, double& y1) const {
    if (IsEmpty()) return 0;
    x0 = minx; y0 = miny; x1 = maxx; y1 = maxy;
    return 1;
}

Point3D Box::GetCorner(int i) const {
    // Laid out like a keypad read from the top row; anything unknown is the top-left corner.
    double midx = (minx + maxx) / 2, midy = (miny + maxy) / 2;
    switch (i) {
        case 2: return {midx, maxy, 0.0};
        case 3: return {maxx, maxy, 0.0};
        case 4: return {minx, midy, 0.0};
        case 5: return {midx, midy, 0.0};
        case 6: return {maxx, midy, 0.0};
        case 7: return {minx, miny, 0.0};
        case 8: return {midx, miny, 0.0};
        case 9: return {maxx, miny, 0.0};
        default: return {minx, maxy, 0.0};
    }
}

Box Box::GetIntersect(const Box& b) const {
    Box r;
    if (IsEmpty() || b.IsEmpty() || !intersect(b)) return r;
    r.minx = std::max(minx, b.minx);
    r.miny = std::max(miny, b.miny);
    r.maxx = std::min(maxx, b.maxx);
    r.maxy = std::min(maxy, b.maxy);
    return r;
}

int IsBoxIntersect(const Box& a, const Box& b, double eps) {
    if (a.IsEmpty() || b.IsEmpty()) return 0;
    return (std::max(a.minx, b.minx) <= std::min(a.maxx, b.maxx) + eps &&
            std::max(a.miny, b.miny) <= std::min(a.maxy, b.maxy) + eps) ? 1 : 0;
}

namespace {
bool SpansAcross(const Box& a, const Box& b, double eps) {
    return a.minx < b.minx - eps && b.maxx + eps < a.maxx && b.miny + eps < a.miny && a.maxy < b.maxy - eps;
}
}  // namespace

int IsBoxCross(const Box& a, const Box& b, double eps) {
    return (SpansAcross(a, b, eps) || SpansAcross(b, a, eps)) ? 1 : 0;
}

}  // namespace kelo
