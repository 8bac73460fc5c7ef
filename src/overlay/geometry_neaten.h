// Neatening: a geometry object is checked for a fixed list of defects and, unless only a check is
// asked for, repaired in place. One option set serves any number of objects.
#pragma once

#include <string>

#include "geometry/box.h"
#include "geometry/point.h"
#include "kelo_api.h"

namespace kelo {

class GM_Object;
class keloParts;

// Result bits of GeometryNeaten; the check-only code of bit 2^k is -(k + 1).
enum klNeatenDefect : int {
    klNeatenOddLineType = 1,
    klNeatenOpenRing = 2,
    klNeatenOverlapVertex = 4,
    klNeatenSinglePointLine = 8,
    klNeatenTwoPointFace = 16,
    klNeatenCurve = 32,
    klNeatenEmptyPart = 64,
    klNeatenBrokenOrder = 128,
    klNeatenZeroLength = 256,
    klNeatenZeroArea = 512,
    klNeatenSelfIntersect = 1024,
    klNeatenCoordinate = 2048,
    klNeatenEmptyObject = 4096,
};

class KELO_API CGeometryNeatenSet {
public:
    double eps;
    int hNeaten;
    int xyNeaten;
    Box range;
    int decimalOn;
    int decimals;
    int optOverlap;
    int optSingle;
    int optTwoPointFace;
    int exExt;  // bit 0 whole-geometry self-intersection, bit 1 ring spikes
    int checkOnly;
    int discretArc;
    int discretCurve;
    int byDiscretising;
    int adjustArcMiddle;

    CGeometryNeatenSet();

    void SetEps(double e) { eps = e; }
    void SetCheckOnly(int on) { checkOnly = on; }
    void SetXYHNeaten(int h, int xy, Box r) {
        hNeaten = h;
        xyNeaten = xy;
        range = r;
    }
    void SetDecimalNeaten(int d) {
        decimalOn = 1;
        decimals = d;
    }
    void SetCurveDiscret(int arcs, int curves, int discretise, int adjustMiddle) {
        discretArc = arcs;
        discretCurve = curves;
        byDiscretising = discretise;
        adjustArcMiddle = adjustMiddle;
    }
    void SetOptionNeaten(int overlap, int single, int twoPointFace) {
        optOverlap = overlap;
        optSingle = single;
        optTwoPointFace = twoPointFace;
    }
    void SetExExtNeaten(int bits) { exExt = bits; }

    // The mask of defect classes found (and repaired), or in check-only mode the negative code of
    // the first class found. A null object gives 1. The position of the last defect found goes to
    // g_lastAbnormalPoint.
    int GeometryNeaten(GM_Object* object) const;
};

// Appends the texts of a result of GeometryNeaten (GBK), one a line; code 0 sets "no error" and
// returns 0. pos receives the last defect position; the result is then 1.
KELO_API int GetNeatenErrorInfo(int code, std::string& text, Point3D& pos);

namespace detail {
// Deletes vertices closer than eps to a neighbour, keeping the shape (the overlapping-vertex pass);
// with check set it only reports the first such pair. Returns the number of pairs found.
KELO_API int NeatenOverlapVertices(keloParts& part, double eps, bool check);
}  // namespace detail

}  // namespace kelo
