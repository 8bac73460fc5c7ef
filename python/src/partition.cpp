// Parcel subdivision: where a cut line must lie so that a given area falls to its right, and the
// pieces it cuts.
#include <memory>
#include <vector>

#include "arguments.h"
#include "geometry.h"
#include "library_lock.h"

namespace kelo_py {

using namespace kelo;

namespace {

const keloPolygon& OnePolygon(const Geometry& self) {
    const keloPolygon* p = self.g.GetOriginalPolygonAt(0);
    if (p == nullptr || self.g.GetPolygonCount() != 1) ValueFail("this geometry must hold exactly one polygon");
    return *p;
}

double Eps(py::handle h) {
    const double e = Finite(h, "tolerance");
    if (!(e > 0)) ValueFail("tolerance must be positive");
    return e;
}

}  // namespace

void BindPartition(py::module_& m) {
    py::class_<Geometry> cls = py::reinterpret_borrow<py::class_<Geometry>>(m.attr("Geometry"));

    cls.def("area_right_of", [](const Geometry& self, py::handle start, py::handle end) {
            Locked lock;
            const keloPolygon& p = OnePolygon(self);
            const Point3D a = Position(start, "start"), b = Position(end, "end");
            return getAreaCutPolygon(&p, a.x, a.y, b.x, b.y);
        }, py::arg("start"), py::arg("end"),
        "Area of the polygon to the right of the infinite directed line from start to end.");

    cls.def("cut_by_area", [](const Geometry& self, py::handle start, py::handle end, py::handle area,
                              py::handle rotate, py::handle tolerance) {
            Locked lock;
            const keloPolygon& p = OnePolygon(self);
            const Point3D a = Position(start, "start"), b = Position(end, "end");
            const double want = Finite(area, "area");
            const bool turn = Flag(rotate, "rotate");
            const double eps = Eps(tolerance);
            double x1 = a.x, y1 = a.y, x2 = b.x, y2 = b.y;
            std::vector<GM_Object*> pieces;
            const bool ok = WithoutGil([&] {
                const int found = turn ? cutPolygonByAreaRotate(&p, a.x, a.y, b.x, b.y, want, x2, y2, eps)
                                       : cutPolygonByAreaParallelMove(&p, a.x, a.y, b.x, b.y, want, x1, y1, x2, y2, eps);
                return found && cutPolygonByLine(&p, x1, y1, x2, y2, pieces, eps) > 0;
            });
            std::vector<std::unique_ptr<GM_Object>> owned(pieces.begin(), pieces.end());
            py::list out;
            for (auto& piece : owned) out.append(Wrap(std::move(*piece)));
            if (!ok)
                ValueFail("no cut: area must lie strictly between 0 and the polygon's area, the line must have "
                          "length, and a turned line must be able to reach the area");
            return py::make_tuple(py::make_tuple(py::make_tuple(x1, y1), py::make_tuple(x2, y2)), out);
        }, py::arg("start"), py::arg("end"), py::arg("area"), py::arg("rotate") = false,
        py::arg("tolerance") = 1e-6,
        "Parcel subdivision. The line start-end is moved parallel to itself (or, with rotate=True, "
        "turned about start) until the polygon's area to its right is area; returns ((start', end'), "
        "pieces): the line's new end points and the polygons it cuts the polygon into.");
}

}  // namespace kelo_py
