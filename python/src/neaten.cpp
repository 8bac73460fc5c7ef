// Checking and repairing geometry: the library's neatening, and a validity verdict in the sense
// Python users know (a valid geometry may hold repeated vertices; rings may not cross, spike or
// touch themselves, holes must lie inside their shell and apart, polygons must not overlap).
#include <pybind11/stl.h>

#include <cmath>
#include <vector>

#include "arguments.h"
#include "library_lock.h"
#include "geometry.h"

namespace kelo_py {

using namespace kelo;

namespace {

// The options of one neatening call, read from the keywords of neaten and check.
CGeometryNeatenSet Options(py::handle tolerance, py::handle duplicates, py::handle degenerate, py::handle crossings,
                           py::handle spikes, py::handle arcs, py::handle curves, py::handle discretise,
                           py::handle decimals, py::handle extent) {
    CGeometryNeatenSet s;
    const double eps = Finite(tolerance, "tolerance");
    if (eps < 0) ValueFail("tolerance must not be negative");
    s.SetEps(eps);
    const bool degen = Flag(degenerate, "degenerate");
    s.SetOptionNeaten(Flag(duplicates, "duplicates") ? 1 : 0, degen ? 1 : 0, degen ? 1 : 0);
    s.SetExExtNeaten((Flag(crossings, "crossings") ? 1 : 0) | (Flag(spikes, "spikes") ? 2 : 0));
    s.SetCurveDiscret(Flag(arcs, "arcs") ? 1 : 0, Flag(curves, "curves") ? 1 : 0, Flag(discretise, "discretise") ? 1 : 0,
                      0);
    if (!decimals.is_none()) s.SetDecimalNeaten(static_cast<int>(Integer(decimals, "decimals", 0, 17)));
    if (!extent.is_none()) {
        if (py::isinstance<py::str>(extent) || !py::isinstance<py::sequence>(extent) || py::len(extent) != 4)
            TypeFail("extent must be a tuple (minx, miny, maxx, maxy), not " + TypeName(extent));
        py::sequence e = py::reinterpret_borrow<py::sequence>(extent);
        Box b;
        b.minx = Finite(e[0], "extent[0]");
        b.miny = Finite(e[1], "extent[1]");
        b.maxx = Finite(e[2], "extent[2]");
        b.maxy = Finite(e[3], "extent[3]");
        if (b.minx > b.maxx || b.miny > b.maxy) ValueFail("extent must have minx <= maxx and miny <= maxy");
        s.SetXYHNeaten(0, 1, b);
    }
    return s;
}

std::string Utf8Text(int code) {
    std::string text;
    Point3D at{};
    GetNeatenErrorInfo(code, text, at);
    return GbkToUtf8(text);
}

py::tuple Where(const Point3D& p) { return py::make_tuple(p.x, p.y); }

const char* const kMisplacedHole = "hole not inside its shell or overlapping another hole";
const char* const kOverlap = "polygons overlap";

Point3D FirstVertex(const keloParts& ring) {
    const Point3D* p = ring.GetPointByVertexAt(0);
    return p ? *p : Point3D{};
}

// A hole lies inside its shell and outside the other holes; it may touch them in points, never
// along a line. (The library's own ring test forbids every touch, which valid data has.)
bool RingsInPlace(const keloPolygon& poly, double eps, Point3D& at) {
    const int n = poly.GetRingsCount();
    std::vector<C9iPartsIndex> rings(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) rings[static_cast<size_t>(i)].SetIndex(poly.GetOriginalRingAt(i), 1);
    for (int i = 1; i < n; ++i) {
        ResetTouchInfoEx();
        int contains = 0, code = 0;
        const int r = rings[0].Parts9i(rings[static_cast<size_t>(i)], eps, contains, code);
        bool ok = (r == kl9iInside || r == kl9iInsideTouch) && contains && !GetLineTouchInfo();
        for (int j = i + 1; ok && j < n; ++j) {
            ResetTouchInfoEx();
            const int h = rings[static_cast<size_t>(i)].Parts9i(rings[static_cast<size_t>(j)], eps);
            ok = h == kl9iDisjoint || ((h == kl9iTouch || h == kl9iBoundaryTouch) && !GetLineTouchInfo());
        }
        if (!ok) {
            at = FirstVertex(*poly.GetOriginalRingAt(i));
            return false;
        }
    }
    return true;
}

GM_Object PolygonOf(const keloParts& ring) {
    keloPolygon p;
    p.InsertRing(ring, 1);
    GM_Object g;
    g.Create(p);
    return g;
}

// What lies inside an odd number of the polygon's rings: the reading the library's crossing
// repair gives a polygon, applied where no crossing calls for it.
bool EvenOdd(const keloPolygon& poly, GM_Object& acc) {
    acc = PolygonOf(*poly.GetOriginalRingAt(0));
    for (int i = 1; i < poly.GetRingsCount(); ++i) {
        const GM_Object ring = PolygonOf(*poly.GetOriginalRingAt(i));
        std::vector<GM_Object> out;
        if (!BoolOp2DObjects(&acc, &ring, kBoolSymDifference, out)) return false;
        acc = out.empty() ? GM_Object() : std::move(out[0]);
    }
    return true;
}

// Polygons whose rings stand wrongly (a hole outside its shell or inside another hole) or that
// lie over one another have no crossing for the library's repair to act on: such a polygon gives
// way to the even-odd area of its rings, and the polygons to their union. Only objects made of
// polygons alone are rebuilt. Returns the texts of what was repaired.
std::vector<std::string> RepairPlacement(GM_Object& g, double eps) {
    std::vector<std::string> done;
    if (g.GetType() != wkbPolygon && g.GetType() != wkbMultiPolygon) return done;
    std::vector<GM_Object> parts;
    bool moved = false;
    Point3D at{};
    for (int i = 0; i < g.GetPolygonCount(); ++i) {
        const keloPolygon& poly = *g.GetOriginalPolygonAt(i);
        GM_Object part;
        if (RingsInPlace(poly, eps, at) || !EvenOdd(poly, part)) part.Create(poly);
        else moved = true;
        parts.push_back(std::move(part));
    }
    GM_Object joined;
    for (GM_Object& p : parts)
        for (int i = 0; i < p.GetPolygonCount(); ++i) joined.InsertPolygon(*p.GetOriginalPolygonAt(i));
    if (moved) done.push_back(kMisplacedHole);
    if (!joined.IsNormal(eps, 0x100)) {
        std::vector<GM_Object*> list{&joined};
        GM_Object merged;
        if (mergePolygons(list, merged)) {
            joined = std::move(merged);
            done.push_back(kOverlap);
        }
    }
    if (!done.empty()) g = std::move(joined);
    return done;
}

// The first check-only finding of s on g, as text; empty when there is none.
std::string CheckText(const CGeometryNeatenSet& s, GM_Object& g, Point3D& at) {
    const int code = s.GeometryNeaten(&g);
    if (!code) return {};
    at = g_lastAbnormalPoint;
    return Utf8Text(code);
}

// What is wrong with g, or an empty text when nothing is; `at` receives the place.
std::string FirstDefect(const GM_Object& g, double eps, Point3D& at) {
    GM_Object copy(g);
    // Repeated vertices are harmless, but the spike test would take one for a spike of no length:
    // they go first, and only what that pass finds besides them is a defect.
    CGeometryNeatenSet merge;
    merge.SetEps(eps);
    merge.SetOptionNeaten(1, 0, 0);
    const int found = merge.GeometryNeaten(&copy) & (klNeatenOddLineType | klNeatenOpenRing | klNeatenBrokenOrder);
    if (found) {
        at = g_lastAbnormalPoint;
        return Utf8Text(found & -found);
    }
    CGeometryNeatenSet check;
    check.SetEps(eps);
    check.SetOptionNeaten(0, 1, 1);
    check.SetCheckOnly(1);
    std::string text = CheckText(check, copy, at);
    if (!text.empty()) return text;
    // Lines may cross and double back on themselves; only areas must not.
    GM_Object areas;
    for (int i = 0; i < copy.GetPolygonCount(); ++i) areas.InsertPolygon(*copy.GetOriginalPolygonAt(i));
    if (areas.isEmpty()) return {};
    check.SetExExtNeaten(3);
    if (!(text = CheckText(check, areas, at)).empty()) return text;
    for (int i = 0; i < areas.GetPolygonCount(); ++i)
        if (!RingsInPlace(*areas.GetOriginalPolygonAt(i), eps, at)) return kMisplacedHole;
    if (!areas.IsNormal(eps, 0x100)) {
        at = g_lastAbnormalPoint;
        return kOverlap;
    }
    return {};
}

constexpr double kDefaultEps = 1e-8;

}  // namespace

void BindNeaten(py::module_& m) {
    py::class_<Geometry> cls = py::reinterpret_borrow<py::class_<Geometry>>(m.attr("Geometry"));

    cls.def_property_readonly("is_valid", [](const Geometry& self) {
            Locked lock;
            Point3D at{};
            return WithoutGil([&] { return FirstDefect(self.g, kDefaultEps, at); }).empty();
        }, "Whether the geometry is well formed: rings closed, not crossing, touching or spiking "
           "themselves, holes inside their shell and apart, polygons not overlapping, no line of no "
           "length. Repeated vertices are allowed. explain_validity() says what is wrong; neaten() "
           "repairs it.");

    cls.def("explain_validity", [](const Geometry& self, py::handle tolerance) {
            Locked lock;
            const double eps = tolerance.is_none() ? kDefaultEps : Finite(tolerance, "tolerance");
            if (eps < 0) ValueFail("tolerance must not be negative");
            Point3D at{};
            const std::string what = WithoutGil([&] { return FirstDefect(self.g, eps, at); });
            if (what.empty()) return Utf8Text(0);
            char where[96];
            std::snprintf(where, sizeof where, "[%.17g %.17g]", at.x, at.y);
            return what + where;
        }, py::arg("tolerance") = py::none(),
        "What makes the geometry invalid and where, as 'text[x y]' (the library's defect text), or "
        "the library's 'no error' text when it is valid.");

    cls.def("check", [](const Geometry& self, py::handle tolerance, py::handle duplicates, py::handle degenerate,
                        py::handle crossings, py::handle spikes, py::handle arcs, py::handle curves) {
            Locked lock;
            CGeometryNeatenSet s = Options(tolerance, duplicates, degenerate, crossings, spikes, arcs, curves,
                                           py::bool_(false), py::none(), py::none());
            s.SetCheckOnly(1);
            GM_Object copy(self.g);
            const int code = WithoutGil([&] { return s.GeometryNeaten(&copy); });
            if (code == 0) return py::object(py::none());
            return py::object(py::make_tuple(code, Utf8Text(code), Where(g_lastAbnormalPoint)));
        }, py::arg("tolerance") = kDefaultEps, py::kw_only(), py::arg("duplicates") = true,
        py::arg("degenerate") = true, py::arg("crossings") = true, py::arg("spikes") = true,
        py::arg("arcs") = false, py::arg("curves") = false,
        "The first defect class the library's neatening finds, without repairing: None when clean, else "
        "(code, text, (x, y)) with the negative defect code, its text and the place of the defect. "
        "duplicates: vertices within tolerance of each other; degenerate: single-point and zero-length "
        "lines, two-point and zero-area rings; crossings: the geometry crossing itself; spikes: rings "
        "doubling back; arcs, curves: three-point arcs, other curves.");

    cls.def("neaten", [](const Geometry& self, py::handle tolerance, py::handle duplicates, py::handle degenerate,
                         py::handle crossings, py::handle spikes, py::handle arcs, py::handle curves,
                         py::handle discretise, py::handle decimals, py::handle extent, py::handle report) {
            Locked lock;
            const CGeometryNeatenSet s = Options(tolerance, duplicates, degenerate, crossings, spikes, arcs, curves,
                                                 discretise, decimals, extent);
            const bool wantReport = Flag(report, "report");
            GM_Object out(self.g);
            std::vector<std::string> placed;
            const int mask = WithoutGil([&] {
                const int found = s.GeometryNeaten(&out);
                if (s.exExt & 1) placed = RepairPlacement(out, s.eps);
                return found;
            });
            py::object repaired = Wrap(std::move(out));
            if (!wantReport) return repaired;
            py::list texts;
            for (int bit = 1; bit <= klNeatenEmptyObject; bit <<= 1)
                if (mask & bit) texts.append(Utf8Text(bit));
            for (const std::string& t : placed) texts.append(t);
            return py::object(py::make_tuple(repaired, texts));
        }, py::arg("tolerance") = kDefaultEps, py::kw_only(), py::arg("duplicates") = true,
        py::arg("degenerate") = true, py::arg("crossings") = true, py::arg("spikes") = true,
        py::arg("arcs") = false, py::arg("curves") = false, py::arg("discretise") = false,
        py::arg("decimals") = py::none(), py::arg("extent") = py::none(), py::arg("report") = false,
        "A repaired copy: open rings closed, vertices within tolerance merged, single-point and "
        "zero-length lines and two-point and zero-area rings dropped, crossings rebuilt from the noded "
        "rings by the even-odd rule, spikes cut back; in polygons and multipolygons, holes outside "
        "their shell or inside another hole are rebuilt by the same rule and overlapping polygons "
        "merged. arcs/curves turn those curves into straight "
        "runs (discretised when discretise=True); decimals rounds every coordinate; extent "
        "(minx, miny, maxx, maxy) clamps x and y into it. With report=True the result is "
        "(geometry, texts) with the text of every defect class repaired.");
}

}  // namespace kelo_py
