#include "noding_tool.h"

#include <cmath>

namespace kelo_tool {

using namespace kelo;

namespace {

bool Noded(const std::vector<const GM_Object*>& in, double tol, CLineHandler& h) {
    if (!(tol >= 0) || !std::isfinite(tol)) return false;
    for (const GM_Object* g : in) {
        if (g == nullptr) continue;
        // Curves other than three-point arcs are noded as their discretisation.
        GM_Object copy(*g);
        if (copy.bWithCurveEx()) copy.Discrete(14);
        h.AddGeometry(&copy);
    }
    h.OrOverLines(0);
    return true;
}

}  // namespace

bool NodeLines(const std::vector<const GM_Object*>& in, double tol, std::vector<GM_Object>& out) {
    CLineHandler h(tol);
    if (!Noded(in, tol, h)) return false;
    std::vector<keloParts*> lines;
    h.CombineToParts(lines, false);
    for (keloParts* l : lines) {
        out.emplace_back(*l, 0);
        delete l;
    }
    return true;
}

bool PolygonizeLines(const std::vector<const GM_Object*>& in, double tol, std::vector<GM_Object>& out) {
    CLineHandler h(tol);
    if (!Noded(in, tol, h)) return false;
    std::vector<GM_Object*> faces;
    h.CombineToPolys(faces, false);
    for (GM_Object* f : faces) {
        out.emplace_back(*f);
        delete f;
    }
    return true;
}

}  // namespace kelo_tool
