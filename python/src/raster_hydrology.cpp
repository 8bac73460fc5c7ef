// Hydrology, contours and visibility over numpy grids.
#include "arguments.h"
#include "library_lock.h"
#include "geometry.h"

namespace kelo_py {

using namespace kelo;

namespace {

template <int32_t* (*F)(const int32_t*, int, int)>
py::array_t<int32_t> Drainage(py::handle dem) {
    Locked lock;
    GridArg g = ReadGrid(dem);
    const int32_t* cells = g.cells();
    return OwnedGrid(WithoutGil([&] { return F(cells, g.cols, g.rows); }), g.rows, g.cols);
}

}  // namespace

void BindRasterMore(py::module_& top) {
    py::module_ m = top.attr("raster").cast<py::module_>();
    m.def("fill_sinks", &Drainage<FillSinks>, py::arg("dem"),
          "The least depression-free surface: every cell raised to the lowest level from which water "
          "leaves the grid (grids under 10 x 10 cells are returned unfilled).");
    m.def("flow_direction", &Drainage<FlowDirection>, py::arg("dem"),
          "Flow code of each cell of the filled surface (0 where nothing drains).");
    m.def("flow_accumulation", &Drainage<FlowAccumulation>, py::arg("dem"),
          "Number of cells draining through each cell, itself included.");

    m.def("contours", [](py::handle dem, py::handle cellSize, py::handle origin, py::handle interval,
                         py::handle zScale) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            double cx, cy;
            CellSize(cellSize, cx, cy);
            const Point3D o = Position(origin, "origin");
            const double step = Finite(interval, "interval");
            if (!(step > 0)) ValueFail("interval must be positive");
            const int zs = static_cast<int>(Integer(zScale, "z_scale", 1, 1000000000));
            std::vector<std::vector<Point3D>> lines;
            // The contour lattice takes the corner of the first cell, half a cell off its point.
            const int32_t* cells = g.cells();
            const int ok = WithoutGil([&] {
                return CreateDgxFromDem(cells, g.cols, g.rows, o.x - cx / 2, o.y + cy / 2, cx, cy, step, zs,
                    [](std::vector<Point3D>* line, void* user) {
                        static_cast<std::vector<std::vector<Point3D>>*>(user)->push_back(*line);
                    }, &lines, 0.0);
            });
            if (!ok) ValueFail("no contours: the grid needs 2 x 2 cells and at most 30000 levels");
            py::list out;
            for (std::vector<Point3D>& line : lines) {
                GM_Object c;
                c.Create(line, 0, static_cast<klLineType>(1));
                out.append(Wrap(std::move(c)));
            }
            return out;
        }, py::arg("dem"), py::arg("cell_size"), py::arg("origin"), py::arg("interval"), py::arg("z_scale") = 1,
        "Contour lines at every multiple of interval (heights are cell values / z_scale), as LineStrings "
        "with z the level; lines run between cell centres, and closed ones repeat their first point.");

    m.def("viewshed", [](py::handle dem, py::handle observer, py::handle height, py::handle mark) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            if (py::isinstance<py::str>(observer) || !py::isinstance<py::sequence>(observer) || py::len(observer) != 2)
                TypeFail("observer must be a cell (row, col)");
            py::sequence rc = py::reinterpret_borrow<py::sequence>(observer);
            const int r = static_cast<int>(Integer(rc[0], "observer[0]", 0, g.rows - 1));
            const int c = static_cast<int>(Integer(rc[1], "observer[1]", 0, g.cols - 1));
            const int h = static_cast<int>(Integer(height, "height", 0, INT32_MAX));
            const int32_t mk = static_cast<int32_t>(Integer(mark, "mark", INT32_MIN, INT32_MAX));
            py::array_t<int32_t> out({static_cast<py::ssize_t>(g.rows), static_cast<py::ssize_t>(g.cols)});
            int32_t* seen = out.mutable_data();
            std::fill(seen, seen + out.size(), 0);
            const int32_t* cells = g.cells();
            if (!WithoutGil([&] { return VisibleRange(r, c, g.rows, g.cols, cells, seen, h, mk); }))
                ValueFail("no viewshed: the grid needs 10 cells each way and the observer a valid cell");
            return out;
        }, py::arg("dem"), py::arg("observer"), py::arg("height") = 0, py::arg("mark") = 1,
        "Cells seen from the observer's cell (row, col) with eyes height raw units above it get mark, "
        "the others 0.");
}

}  // namespace kelo_py
