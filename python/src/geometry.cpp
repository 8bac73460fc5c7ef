#include "geometry.h"

#include <cmath>
#include <limits>

#include "arguments.h"
#include "library_lock.h"

namespace kelo_py {

using namespace kelo;

namespace {

const char* const kTypeNames[] = {"Empty", "Point", "LineString", "Polygon", "MultiPoint", "MultiLineString",
                                  "MultiPolygon", "GeometryCollection", "Tin", "Grid"};

GM_Object FromWkt(const std::string& text) {
    GM_Object g;
    StandardFormInfo info;
    if (!WktToGeometry(text, g, &info)) ValueFail("wkt: " + info.error);
    return g;
}

GM_Object FromWkb(py::handle h) {
    if (!PyObject_CheckBuffer(h.ptr()) || py::isinstance<py::str>(h))
        TypeFail("wkb must be bytes, not " + TypeName(h));
    py::buffer_info b = py::reinterpret_borrow<py::buffer>(h).request();
    if (b.ndim != 1 || b.itemsize != 1) ValueFail("wkb must be a flat byte buffer");
    GM_Object g;
    StandardFormInfo info;
    if (!WkbToGeometry(static_cast<const unsigned char*>(b.ptr), static_cast<size_t>(b.size), g, &info))
        ValueFail("wkb: " + info.error);
    return g;
}

std::string ToWkt(const GM_Object& g) {
    std::string text;
    StandardFormInfo info;
    if (!GeometryToWkt(g, text, {}, &info)) ValueFail("this geometry has no WKT form: " + info.error);
    return text;
}

py::bytes ToWkb(const GM_Object& g) {
    std::vector<uint8_t> bytes;
    StandardFormInfo info;
    if (!GeometryToWkb(g, bytes, {}, &info)) ValueFail("this geometry has no WKB form: " + info.error);
    return py::bytes(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

double Tolerance(py::handle h) {
    if (h.is_none()) return g_epsZero;
    const double t = Finite(h, "tolerance");
    if (t < 0) ValueFail("tolerance must not be negative");
    return t;
}

// An empty collection keeps its type; what makes it empty is that it stores no point.
bool IsEmpty(const GM_Object& g) {
    if (g.isEmpty()) return true;
    if (g.GetType() == wkbTin || g.GetType() == wkbGrid) return false;
    std::vector<Point3D> points;
    return g.GetAllPoints(points) == 0;
}

py::object PointOrNone(const GM_Object& g, const Point3D& p) {
    if (IsEmpty(g) || !std::isfinite(p.x) || !std::isfinite(p.y)) return py::none();
    GM_Object out;
    out.Create(Point3D{p.x, p.y, kUnknownZ});
    return Wrap(std::move(out));
}

// The eight dimensions of a to b; false when either has no elements (nothing to relate).
bool Dims(const GM_Object& a, const GM_Object& b, double tol, int dims[8]) {
    Relate9i(a, b, tol, dims);
    return !IsEmpty(a) && !IsEmpty(b);
}

enum { II, IB, IE, BI, BB, BE, EI, EB };

}  // namespace

const GM_Object& GeometryArg(py::handle h, const char* name, std::unique_ptr<Geometry>& holder) {
    if (py::isinstance<Geometry>(h)) return h.cast<Geometry&>().g;
    holder = std::make_unique<Geometry>();
    if (py::isinstance<py::str>(h)) holder->g = FromWkt(h.cast<std::string>());
    else if (py::isinstance<py::bytes>(h) || py::isinstance<py::bytearray>(h)) holder->g = FromWkb(h);
    else TypeFail(std::string(name) + " must be a Geometry (or WKT text or WKB bytes), not " + TypeName(h));
    return holder->g;
}

py::object Wrap(GM_Object&& g) {
    auto out = std::make_unique<Geometry>();
    out->g = std::move(g);
    return py::cast(std::move(out));
}

py::object WrapRecord(WKBGeometry* record) {
    GM_Object g;
    if (record != nullptr) {
        g.Create(*record);
        FreeWKBGeometry(record);
    }
    return Wrap(std::move(g));
}

void BindGeometry(py::module_& m) {
    py::class_<Geometry>(m, "Geometry", R"(An immutable planar geometry: a point, line, polygon, their multi-forms or a
collection. Lines and rings may hold circular arcs and other curves, which stay curves
through WKT and WKB. Build one with Geometry(wkt_or_wkb), Geometry.from_wkt, from_wkb,
from_shapely or from_geo_interface.)")
        .def(py::init([](py::handle data) {
                 Locked lock;
                 std::unique_ptr<Geometry> holder;
                 const GM_Object& g = GeometryArg(data, "data", holder);
                 if (holder) return holder;
                 auto copy = std::make_unique<Geometry>();
                 copy->g = g;
                 return copy;
             }),
             py::arg("data"), "A geometry from WKT text, WKB bytes or another Geometry (copied).")
        .def_static("from_wkt", [](py::handle text) {
                Locked lock;
                if (!py::isinstance<py::str>(text)) TypeFail("wkt must be str, not " + TypeName(text));
                return Wrap(FromWkt(text.cast<std::string>()));
            }, py::arg("wkt"), "Reads Well-Known Text (EWKT with an SRID prefix, and curve types, accepted).")
        .def_static("from_wkb", [](py::handle data) { Locked lock; return Wrap(FromWkb(data)); }, py::arg("wkb"),
                    "Reads Well-Known Binary, ISO or extended, either byte order.")
        .def_property_readonly("wkt", [](const Geometry& self) { Locked lock; return ToWkt(self.g); }, "Well-Known Text.")
        .def_property_readonly("wkb", [](const Geometry& self) { Locked lock; return ToWkb(self.g); },
                               "ISO Well-Known Binary, little-endian; curves keep their curve types.")
        .def_property_readonly("type", [](const Geometry& self) {
                Locked lock;
                const int t = self.g.GetType();
                return std::string(t >= 0 && t <= 9 ? kTypeNames[t] : "Unknown");
            }, "The record type: 'Point', 'LineString', 'Polygon', 'Multi...', 'GeometryCollection', 'Empty'.")
        .def_property_readonly("is_empty", [](const Geometry& self) { Locked lock; return IsEmpty(self.g); })
        .def_property_readonly("has_curves", [](const Geometry& self) { Locked lock; return self.g.bWithCurve(); },
                               "Whether some line or ring holds a curved run (arc, circle, ellipse, Bezier, spline).")
        .def_property_readonly("dimension", [](const Geometry& self) { Locked lock; return self.g.dimension(); },
                               "0 points, 1 lines, 2 areas, -1 empty.")
        .def_property_readonly("area", [](const Geometry& self) { Locked lock; return self.g.GetArea(); },
                               "Area of the polygons (holes subtracted, arcs exact); 0 for points and lines.")
        .def_property_readonly("length", [](const Geometry& self) { Locked lock; return self.g.GetPerimeter(); },
                               "Length of the lines, or perimeter of the polygons.")
        .def_property_readonly("bounds", [](const Geometry& self) {
                Locked lock;
                const Box b = self.g.envelope();
                const double nan = std::numeric_limits<double>::quiet_NaN();
                if (IsEmpty(self.g) || b.minx > b.maxx) return py::make_tuple(nan, nan, nan, nan);
                return py::make_tuple(b.minx, b.miny, b.maxx, b.maxy);
            }, "(minx, miny, maxx, maxy); NaNs when empty. Arcs count with their true extent.")
        .def_property_readonly("centroid", [](const Geometry& self) {
                Locked lock;
                Point3D c{};
                if (!self.g.centroid3(c)) return py::object(py::none());
                return PointOrNone(self.g, c);
            }, "The area-weighted centre (length-weighted for lines, mean for points) as a point; "
               "it may lie outside the shape. None when empty.")
        .def("inner_point", [](const Geometry& self) { Locked lock; return PointOrNone(self.g, self.g.representativePoint()); },
             "A point guaranteed to lie on the geometry (inside a polygon, outside its holes); None when empty.")
        .def("relate", [](const Geometry& self, py::handle other, py::handle tolerance) {
                Locked lock;
                std::unique_ptr<Geometry> h;
                const GM_Object& b = GeometryArg(other, "other", h);
                const double tol = Tolerance(tolerance);
                int d[8];
                WithoutGil([&] { Relate9i(self.g, b, tol, d); });
                return NineIntersectionText(d);
            }, py::arg("other"), py::arg("tolerance") = py::none(),
             "The DE-9IM matrix of this geometry to other as nine characters ('F' empty, else the "
             "dimension), at the tolerance (default the library tolerance, 1e-6).")
        .def("intersects", [](const Geometry& self, py::handle other) {
                Locked lock;
                std::unique_ptr<Geometry> h;
                const GM_Object& b = GeometryArg(other, "other", h);
                return WithoutGil([&] { return self.g.intersect(&b) != 0; });
            }, py::arg("other"))
        .def("contains", [](const Geometry& self, py::handle other) {
                Locked lock;
                std::unique_ptr<Geometry> h;
                const GM_Object& b = GeometryArg(other, "other", h);
                return WithoutGil([&] { return self.g.contains(&b) != 0; });
            }, py::arg("other"), "Interiors meet and nothing of other lies outside this geometry.")
        .def("within", [](const Geometry& self, py::handle other) {
                Locked lock;
                std::unique_ptr<Geometry> h;
                const GM_Object& b = GeometryArg(other, "other", h);
                return WithoutGil([&] { return self.g.insides(&b) != 0; });
            }, py::arg("other"))
        .def("touches", [](const Geometry& self, py::handle other) {
                Locked lock;
                std::unique_ptr<Geometry> h;
                const GM_Object& b = GeometryArg(other, "other", h);
                int d[8];
                if (!WithoutGil([&] { return Dims(self.g, b, g_epsZero, d); })) return false;
                return d[II] < 0 && (d[IB] >= 0 || d[BI] >= 0 || d[BB] >= 0);
            }, py::arg("other"), "The two meet, but only on their boundaries.")
        .def("equals", [](const Geometry& self, py::handle other, py::handle tolerance) {
                Locked lock;
                std::unique_ptr<Geometry> h;
                const GM_Object& b = GeometryArg(other, "other", h);
                const double tol = Tolerance(tolerance);
                return WithoutGil([&] { return self.g.equal(&b, tol) != 0; });
            }, py::arg("other"), py::arg("tolerance") = py::none(),
             "Topological equality: neither has anything outside the other (vertex order and count do not matter).")
        .def("distance", [](const Geometry& self, py::handle other) {
                Locked lock;
                std::unique_ptr<Geometry> h;
                const GM_Object& b = GeometryArg(other, "other", h);
                const double d = WithoutGil([&] { return DistanceOfGMObject(self.g, b); });
                return d < 0 ? std::numeric_limits<double>::quiet_NaN() : d;
            }, py::arg("other"), "Least planar distance, 0 where they meet; NaN when either is empty.")
        .def("convex_hull", [](const Geometry& self) {
                Locked lock;
                std::unique_ptr<GM_Object> hull(self.g.convex_Hull());
                return Wrap(hull ? std::move(*hull) : GM_Object());
            }, "The convex hull of every stored point as a polygon; empty with fewer than three corners.")
        .def("linearized", [](const Geometry& self) {
                Locked lock;
                GM_Object out(self.g);
                out.Discrete(klDPAll);
                return Wrap(std::move(out));
            }, "A copy with every curve replaced by chords at the library tolerance.")
        .def("transform", [](const Geometry& self, py::handle dx, py::handle dy, py::handle angle, py::handle sx,
                             py::handle sy, py::handle origin) {
                Locked lock;
                const Point3D c = Position(origin, "origin");
                GM_Object out(self.g);
                out.transform(Finite(dx, "dx"), Finite(dy, "dy"), c, Finite(angle, "angle"), Finite(sx, "sx"),
                              Finite(sy, "sy"));
                return Wrap(std::move(out));
            }, py::arg("dx") = 0.0, py::arg("dy") = 0.0, py::arg("angle") = 0.0, py::arg("sx") = 1.0,
             py::arg("sy") = 1.0, py::arg("origin") = py::make_tuple(0.0, 0.0),
             "A moved copy: each point is shifted by (dx, dy), turned clockwise by angle (radians) about "
             "origin and scaled by (sx, sy) from origin.")
        .def("__repr__", [](const Geometry& self) {
                Locked lock;
                std::string text;
                if (!GeometryToWkt(self.g, text)) text = kTypeNames[self.g.GetType() == wkbGrid ? 9 : 0];
                if (text.size() > 80) text = text.substr(0, 77) + "...";
                return "<Geometry " + text + ">";
            })
        .def(py::pickle([](const Geometry& self) { Locked lock; return ToWkb(self.g); },
                        [](py::bytes b) {
                            Locked lock;
                            auto out = std::make_unique<Geometry>();
                            out->g = FromWkb(b);
                            return out;
                        }));
}

}  // namespace kelo_py
