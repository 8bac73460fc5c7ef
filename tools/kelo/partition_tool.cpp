#include "partition_tool.h"

#include <cmath>

namespace kelo_tool {

using namespace kelo;

CGeometryNeatenSet FullNeaten(double eps, bool checkOnly) {
    CGeometryNeatenSet s;
    s.SetEps(eps);
    s.SetOptionNeaten(1, 1, 1);
    s.SetExExtNeaten(3);
    s.SetCheckOnly(checkOnly ? 1 : 0);
    return s;
}

int CheckGeometry(const GM_Object& g, double eps, std::string& text) {
    GM_Object copy(g);
    const int code = FullNeaten(eps, true).GeometryNeaten(&copy);
    Point3D at{};
    text.clear();
    GetNeatenErrorInfo(code, text, at);
    return code;
}

namespace {

// Which side of the directed line a piece lies on, judged by a point inside it.
bool RightOf(const GM_Object& piece, double x1, double y1, double x2, double y2) {
    const keloPolygon* p = piece.GetOriginalPolygonAt(0);
    double x = 0, y = 0, z = 0;
    if (!p || !innerPoint(*p, x, y, z, 0, 0)) return false;
    return (x2 - x1) * (y - y1) - (y2 - y1) * (x - x1) < 0;
}

GM_Object Combine(std::vector<GM_Object*>& pieces) {
    GM_Object out;
    for (GM_Object* p : pieces) {
        if (const keloPolygon* poly = p->GetOriginalPolygonAt(0)) out.InsertPolygon(*poly);
        delete p;
    }
    pieces.clear();
    return out;
}

}  // namespace

bool PartitionByArea(const GM_Object& g, double x1, double y1, double x2, double y2, double area, bool turn,
                     std::vector<GM_Object>& parcels, std::string& error) {
    const keloPolygon* poly = g.GetOriginalPolygonAt(0);
    if (!poly) {
        error = "no polygon to divide";
        return false;
    }
    const double total = poly->GetArea();
    if (!(area > 0) || !std::isfinite(area)) {
        error = "the parcel area must be a number above 0";
        return false;
    }
    // One more boundary per whole parcel; a remainder below a millionth of a parcel is rounding.
    const int whole = static_cast<int>(std::floor(total / area + 1e-6));
    if (whole > 100000) {
        error = "more than 100000 parcels";
        return false;
    }
    std::vector<GM_Object*> rest;
    rest.push_back(new GM_Object(*poly));
    double qx = x2, qy = y2;
    for (int k = 1; k <= whole; ++k) {
        const double target = k * area;
        if (total - target < area * 1e-6) break;  // the last whole parcel is what is left
        double a = x1, b = y1, c = x2, d = y2;
        const double eps = 1e-9 * std::max(1.0, total);
        const int placed = turn ? cutPolygonByAreaRotate(poly, x1, y1, qx, qy, target, c, d, eps)
                                : cutPolygonByAreaParallelMove(poly, x1, y1, x2, y2, target, a, b, c, d, eps);
        if (!placed) {
            for (GM_Object* r : rest) delete r;
            error = "no boundary cuts off " + std::to_string(target) + " (area " + std::to_string(total) + ")";
            return false;
        }
        if (turn) qx = c, qy = d;
        std::vector<GM_Object*> right, left;
        for (GM_Object* r : rest) {
            std::vector<GM_Object*> pieces;
            cutPolygonByLine(r->GetOriginalPolygonAt(0), a, b, c, d, pieces, 1e-9);
            for (GM_Object* p : pieces) (RightOf(*p, a, b, c, d) ? right : left).push_back(p);
            delete r;
        }
        parcels.push_back(Combine(right));
        rest = left;
    }
    if (!rest.empty()) parcels.push_back(Combine(rest));
    return true;
}

}  // namespace kelo_tool
