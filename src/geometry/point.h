// Coordinate records and the point class every point sequence stores.
#pragma once

#include <cstdint>

#include "kelo_api.h"

namespace kelo {

// The marker written into z of computed points whose elevation is unknown.
inline constexpr double kUnknownZ = 1.23456e-6;
// The fixed inner tolerance for degeneracy tests (independent of the user tolerances).
inline constexpr double kEpsInner = 1e-8;

enum Boolean { False = 0, True = 1 };

struct Point3D {
    double x, y, z;
};
static_assert(sizeof(Point3D) == 24, "Point3D is exactly three doubles");

struct Point2D {
    double x, y;
};

class KELO_API keloPoint : public Point3D {
public:
    keloPoint() : Point3D{0.0, 0.0, 0.0} {}
    keloPoint(double px, double py, double pz = 0.0) : Point3D{px, py, pz} {}
    keloPoint(const Point3D& p) : Point3D(p) {}  // NOLINT: a keloPoint stands wherever a Point3D does
    keloPoint& operator=(const Point3D& p);
    keloPoint& operator=(const keloPoint& p);
    keloPoint(const keloPoint&) = default;

    void GetPoint(Point3D& out) const;
    Point2D To2D() const;

    double length() const;
    double lengthSqr() const;
    double length2D() const;
    double lengthSqr2D() const;
    static double Dot2D(const Point3D& a, const Point3D& b);
    static double Cross2D(const Point3D& a, const Point3D& b);

    int KeloPointOverlap(const Point3D& p, double eps) const;
    double KeloPointKeloPointDistance(const Point3D& p) const;
    bool operator==(const Point3D& p) const;
    bool operator!=(const Point3D& p) const;

    void OffsetKeloPoint(const Point3D& d);
    void MirrorKeloPoint(const Point3D& a, const Point3D& b);
    void RotateKeloPoint(const Point3D& c, double angle);
    void transform(double dx, double dy, const Point3D& c, double angle, double sx, double sy);

    double normalize();
    double normalize2D();

    // Measures carried in the bits of z (see SetMF / SetMI).
    bool IsMF() const;
    bool IsMI() const;
    void SetMF(uint16_t id, float value);
    void SetMI(uint16_t id, int32_t value);
    bool GetMF(uint16_t& id, float& value) const;
    bool GetMI(uint16_t& id, int32_t& value) const;
};
static_assert(sizeof(keloPoint) == sizeof(Point3D), "keloPoint adds no data");

// Measure bit layout, shared with code that inspects z without a keloPoint.
inline constexpr uint32_t kMeasureFloatTag = 0x3DFE0000u;
inline constexpr uint32_t kMeasureIntTag = 0x3DFF0000u;
KELO_API bool ZIsMF(double z);
KELO_API bool ZIsMI(double z);
KELO_API double MakeMF(uint16_t id, float value);
KELO_API double MakeMI(uint16_t id, int32_t value);

// Free point functions; all planar, z never enters a distance.
KELO_API double PointPointDistance(const Point3D* a, const Point3D* b);
KELO_API double pp_Distance(const Point3D* a, const Point3D* b);
KELO_API double PointPointDistanceSqual(const Point3D* a, const Point3D* b);
KELO_API int IsTwoPointXYEqual(const Point3D& a, const Point3D& b, double eps);
KELO_API int pp_IsOverlap(const Point3D* a, const Point3D* b, double eps);
KELO_API int pp_IsEqual(const Point3D* a, const Point3D* b);
KELO_API Boolean PointOverlap(const Point3D* a, const Point3D* b, double eps);
KELO_API int PSideAtLine(double x0, double y0, double x1, double y1, double x2, double y2);

KELO_API void _OffsetKeloPoint(Point3D& p, const Point3D& d);
KELO_API void _MirrorKeloPoint(Point3D& p, const Point3D& a, const Point3D& b);
KELO_API void _RotateKeloPoint(Point3D& p, const Point3D& c, double angle);
KELO_API void _TransformKeloPoint(Point3D& p, double dx, double dy, const Point3D& c, double angle,
                                  double sx, double sy);

// Planar vector functions; those returning a pointer return their first argument.
KELO_API double Vec2DLen(const Point3D* v);
KELO_API double Vec2DSqrLen(const Point3D* v);
KELO_API double Vec2DDot(const Point3D* a, const Point3D* b);
KELO_API double Vec2DCross(const Point3D* a, const Point3D* b);
KELO_API Point3D* Vec2DScale2(Point3D* v, double s);
KELO_API Point3D* Vec2DAdd3(Point3D* out, const Point3D* a, const Point3D* b);
KELO_API Point3D* Vec2DSub3(Point3D* out, const Point3D* a, const Point3D* b);
KELO_API Point3D* Vec2DSub2(Point3D* a, const Point3D* b);
KELO_API Point3D* Vec2DLerp(Point3D* out, const Point3D* a, const Point3D* b, double t);
KELO_API double Vec2DNormalize(Point3D* v);

}  // namespace kelo
