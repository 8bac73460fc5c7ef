#include "transform/quad_distortion.h"

#include <cmath>

#include "transform/gauss_elimination.h"

namespace kelo {

QuadDistortion::QuadDistortion() : a{0, 0, 0, 0, 0, 0, 0, 0}, ready(false) {
    srcUniform.Clear();
    dstUniform.Clear();
}

bool QuadDistortion::Init(const Point3D src[4], const Point3D dst[4]) {
    srcUniform.Clear();
    dstUniform.Clear();
    ready = false;
    if (src == nullptr || dst == nullptr) return false;
    for (int i = 0; i < 4; ++i) {
        srcUniform.Add(src[i]);
        dstUniform.Add(dst[i]);
    }
    ready = false;
    // Only non-numeric coordinates leave an extent empty; there is nothing to fit then.
    const bool srcReady = srcUniform.Ready();
    const bool dstReady = dstUniform.Ready();
    if (!srcReady || !dstReady) return false;

    GaussElimination solver(8, 8);
    for (int i = 0; i < 4; ++i) {
        double xs = src[i].x, ys = src[i].y, xd = dst[i].x, yd = dst[i].y;
        srcUniform.Uniform(xs, ys);
        dstUniform.Uniform(xd, yd);
        const int r = 2 * i;
        const double rowX[8] = {xs, ys, 1, 0, 0, 0, -xd * xs, -xd * ys};
        const double rowY[8] = {0, 0, 0, xs, ys, 1, -yd * xs, -yd * ys};
        for (int j = 0; j < 8; ++j) {
            solver.Set(r, j, rowX[j]);
            solver.Set(r + 1, j, rowY[j]);
        }
        solver.SetConstant(r, xd);
        solver.SetConstant(r + 1, yd);
    }
    ready = solver.Solve(a) == 1;
    return ready;
}

bool QuadDistortion::Distortion(const Point3D& in, Point3D& out) const {
    if (!ready) return false;
    double x = in.x, y = in.y;
    srcUniform.Uniform(x, y);
    const double w = a[6] * x + a[7] * y + 1.0;
    if (std::fabs(w) <= kEpsInner) return false;
    double u = (a[0] * x + a[1] * y + a[2]) / w;
    double v = (a[3] * x + a[4] * y + a[5]) / w;
    dstUniform.UniformInv(u, v);
    out.x = u;
    out.y = v;
    return true;
}

bool QuadDistortion::DistortionInv(const Point3D& in, Point3D& out) const {
    if (!ready) return false;
    double u = in.x, v = in.y;
    dstUniform.Uniform(u, v);
    // The forward formula, multiplied out by w, is linear in x and y.
    const double p = a[0] - a[6] * u, q = a[1] - a[7] * u, r = u - a[2];
    const double s = a[3] - a[6] * v, t = a[4] - a[7] * v, w = v - a[5];
    const double det = p * t - q * s;
    if (std::fabs(det) <= kEpsInner) return false;
    double x = (r * t - q * w) / det;
    double y = (p * w - r * s) / det;
    srcUniform.UniformInv(x, y);
    out.x = x;
    out.y = y;
    return true;
}

}  // namespace kelo
