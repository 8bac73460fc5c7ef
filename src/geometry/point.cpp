#include "geometry/point.h"

#include <cmath>
#include <cstring>

#include "geometry/tolerance.h"

namespace kelo {

namespace {

uint32_t HighWord(double z) {
    uint64_t bits;
    std::memcpy(&bits, &z, sizeof bits);
    return static_cast<uint32_t>(bits >> 32);
}

double FromWords(uint32_t high, uint32_t low) {
    uint64_t bits = (static_cast<uint64_t>(high) << 32) | low;
    double z;
    std::memcpy(&z, &bits, sizeof z);
    return z;
}

uint32_t LowWord(double z) {
    uint64_t bits;
    std::memcpy(&bits, &z, sizeof bits);
    return static_cast<uint32_t>(bits);
}

}  // namespace

bool ZIsMF(double z) { return (HighWord(z) & 0xFFFF0000u) == kMeasureFloatTag; }
bool ZIsMI(double z) { return (HighWord(z) & 0xFFFF0000u) == kMeasureIntTag; }

double MakeMF(uint16_t id, float value) {
    uint32_t low;
    std::memcpy(&low, &value, sizeof low);
    return FromWords(kMeasureFloatTag | id, low);
}

double MakeMI(uint16_t id, int32_t value) {
    return FromWords(kMeasureIntTag | id, static_cast<uint32_t>(value));
}

keloPoint& keloPoint::operator=(const Point3D& p) {
    if (this != &p) { x = p.x; y = p.y; z = p.z; }
    return *this;
}

keloPoint& keloPoint::operator=(const keloPoint& p) {
    return *this = static_cast<const Point3D&>(p);
}

void keloPoint::GetPoint(Point3D& out) const { out = *this; }
Point2D keloPoint::To2D() const { return {x, y}; }
double keloPoint::length() const { return std::sqrt(lengthSqr()); }
double keloPoint::lengthSqr() const { return x * x + y * y + z * z; }
double keloPoint::length2D() const { return std::sqrt(lengthSqr2D()); }
double keloPoint::lengthSqr2D() const { return x * x + y * y; }
double keloPoint::Dot2D(const Point3D& a, const Point3D& b) { return a.x * b.x + a.y * b.y; }
double keloPoint::Cross2D(const Point3D& a, const Point3D& b) { return a.x * b.y - a.y * b.x; }

int keloPoint::KeloPointOverlap(const Point3D& p, double eps) const { return IsTwoPointXYEqual(*this, p, eps); }
double keloPoint::KeloPointKeloPointDistance(const Point3D& p) const { return pp_Distance(this, &p); }
bool keloPoint::operator==(const Point3D& p) const { return IsTwoPointXYEqual(*this, p, kEpsInner) != 0; }
bool keloPoint::operator!=(const Point3D& p) const { return !(*this == p); }

void keloPoint::OffsetKeloPoint(const Point3D& d) { _OffsetKeloPoint(*this, d); }
void keloPoint::MirrorKeloPoint(const Point3D& a, const Point3D& b) { _MirrorKeloPoint(*this, a, b); }
void keloPoint::RotateKeloPoint(const Point3D& c, double angle) { _RotateKeloPoint(*this, c, angle); }
void keloPoint::transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy) {
    _TransformKeloPoint(*this, dx, dy, c, angle, sx, sy);
}

double keloPoint::normalize() {
    double d = std::max(length(), kEpsInner);
    x /= d; y /= d; z /= d;
    return d;
}

double keloPoint::normalize2D() {
    // z is divided by the planar length too: callers treat the result as a scaled whole point.
    double d = std::max(length2D(), kEpsInner);
    x /= d; y /= d; z /= d;
    return d;
}

bool keloPoint::IsMF() const { return ZIsMF(z); }
bool keloPoint::IsMI() const { return ZIsMI(z); }
void keloPoint::SetMF(uint16_t id, float value) { z = MakeMF(id, value); }
void keloPoint::SetMI(uint16_t id, int32_t value) { z = MakeMI(id, value); }

bool keloPoint::GetMF(uint16_t& id, float& value) const {
    if (!IsMF()) return false;
    id = static_cast<uint16_t>(HighWord(z) & 0xFFFFu);
    uint32_t low = LowWord(z);
    std::memcpy(&value, &low, sizeof value);
    return true;
}

bool keloPoint::GetMI(uint16_t& id, int32_t& value) const {
    if (!IsMI()) return false;
    id = static_cast<uint16_t>(HighWord(z) & 0xFFFFu);
    value = static_cast<int32_t>(LowWord(z));
    return true;
}

double PointPointDistance(const Point3D* a, const Point3D* b) { return std::sqrt(PointPointDistanceSqual(a, b)); }
double pp_Distance(const Point3D* a, const Point3D* b) { return PointPointDistance(a, b); }

double PointPointDistanceSqual(const Point3D* a, const Point3D* b) {
    double dx = a->x - b->x, dy = a->y - b->y;
    return dx * dx + dy * dy;
}

int IsTwoPointXYEqual(const Point3D& a, const Point3D& b, double eps) {
    double dx = a.x - b.x, dy = a.y - b.y;
    // The per-axis rejection is cheap and settles most pairs before any multiplication.
    if (std::fabs(dx) > eps || std::fabs(dy) > eps) return 0;
    return dx * dx + dy * dy <= eps * eps ? 1 : 0;
}

int pp_IsOverlap(const Point3D* a, const Point3D* b, double eps) { return IsTwoPointXYEqual(*a, *b, eps); }

int pp_IsEqual(const Point3D* a, const Point3D* b) { return IsTwoPointXYEqual(*a, *b, g_epsZero); }

Boolean PointOverlap(const Point3D* a, const Point3D* b, double eps) {
    return eps * eps >= PointPointDistanceSqual(a, b) ? True : False;
}

int PSideAtLine(double x0, double y0, double x1, double y1, double x2, double y2) {
    // The threshold is on the raw cross product on purpose: callers rely on this exact rule.
    double c = (x1 - x0) * (y2 - y0) - (y1 - y0) * (x2 - x0);
    if (c > kEpsInner) return 1;
    if (c < -kEpsInner) return -1;
    return 0;
}

void _OffsetKeloPoint(Point3D& p, const Point3D& d) {
    p.x += d.x;
    p.y += d.y;
}

void _MirrorKeloPoint(Point3D& p, const Point3D& a, const Point3D& b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    if (std::fabs(dx) < kEpsInner) {
        p.x = 2 * a.x - p.x;
        return;
    }
    if (std::fabs(dy) < kEpsInner) {
        p.y = 2 * a.y - p.y;
        return;
    }
    double d = dx * dx + dy * dy;
    double nx = (2 * (p.y - a.y) * dx * dy + p.x * dx * dx + (2 * a.x - p.x) * dy * dy) / d;
    double ny = (dx * dx * (2 * a.y - p.y) + dy * dy * p.y + 2 * dx * dy * (p.x - a.x)) / d;
    p.x = nx;
    p.y = ny;
}

void _RotateKeloPoint(Point3D& p, const Point3D& c, double angle) {
    double r = pp_Distance(&c, &p);
    double t = std::atan2(p.y - c.y, p.x - c.x) - angle;
    p.x = c.x + r * std::cos(t);
    p.y = c.y + r * std::sin(t);
}

void _TransformKeloPoint(Point3D& p, double dx, double dy, const Point3D& c, double angle, double sx, double sy) {
    double X = p.x + dx - c.x;
    double Y = p.y + dy - c.y;
    if (std::fabs(angle) <= kEpsInner) {
        p.x = X * sx + c.x;
        p.y = Y * sy + c.y;
        return;
    }
    double cs = std::cos(angle), sn = std::sin(angle);
    p.x = (cs * X + sn * Y) * sx + c.x;
    p.y = (cs * Y - sn * X) * sy + c.y;
}

double Vec2DLen(const Point3D* v) {
    double a = std::fabs(v->x), b = std::fabs(v->y);
    if (b > a) return b * std::sqrt((a / b) * (a / b) + 1);
    if (a == 0) return 0;
    return a * std::sqrt((b / a) * (b / a) + 1);
}

double Vec2DSqrLen(const Point3D* v) { return v->x * v->x + v->y * v->y; }
double Vec2DDot(const Point3D* a, const Point3D* b) { return a->x * b->x + a->y * b->y; }
double Vec2DCross(const Point3D* a, const Point3D* b) { return a->x * b->y - a->y * b->x; }

Point3D* Vec2DScale2(Point3D* v, double s) {
    v->x *= s;
    v->y *= s;
    return v;
}

Point3D* Vec2DAdd3(Point3D* out, const Point3D* a, const Point3D* b) {
    double x = a->x + b->x, y = a->y + b->y;
    *out = {x, y, kUnknownZ};
    return out;
}

Point3D* Vec2DSub3(Point3D* out, const Point3D* a, const Point3D* b) {
    double x = a->x - b->x, y = a->y - b->y;
    *out = {x, y, kUnknownZ};
    return out;
}

Point3D* Vec2DSub2(Point3D* a, const Point3D* b) {
    a->x -= b->x;
    a->y -= b->y;
    a->z = kUnknownZ;
    return a;
}

Point3D* Vec2DLerp(Point3D* out, const Point3D* a, const Point3D* b, double t) {
    double z = kUnknownZ;
    if (t < kEpsInner) z = a->z;
    else if (1 - t < kEpsInner) z = b->z;
    double x = a->x * (1 - t) + b->x * t, y = a->y * (1 - t) + b->y * t;
    *out = {x, y, z};
    return out;
}

double Vec2DNormalize(Point3D* v) {
    double L = Vec2DLen(v);
    if (L > -kEpsInner && L < kEpsInner) return L;
    v->x /= L;
    v->y /= L;
    v->z /= L;
    return L;
}

}  // namespace kelo
