// Raster functions over numpy grids. Grids are read in place when C-contiguous int32; results
// are the library's own new[] grids handed to numpy without a copy.
#include "arguments.h"
#include "library_lock.h"
#include "geometry.h"

namespace kelo_py {

using namespace kelo;

namespace {

void Origin(py::handle h, double& x0, double& yTop) {
    const Point3D p = Position(h, "origin");
    x0 = p.x;
    yTop = p.y;
}

// The first outer ring of a polygon argument.
const keloPolygon& PolygonArg(py::handle h, std::unique_ptr<Geometry>& holder) {
    const GM_Object& g = GeometryArg(h, "polygon", holder);
    const keloPolygon* p = g.GetOriginalPolygonAt(0);
    if (p == nullptr || g.GetPolygonCount() != 1) ValueFail("polygon must hold exactly one polygon");
    return *p;
}

int ZScaleInt(py::handle h) { return static_cast<int>(Integer(h, "z_scale", 1, 1000000000)); }

double ZScale(py::handle h) {
    const double z = Finite(h, "z_scale");
    if (!(z > 0)) ValueFail("z_scale must be positive");
    return z;
}

}  // namespace

void BindRaster(py::module_& top) {
    py::module_ m = top.def_submodule("raster", R"(Terrain analysis on integer elevation grids: 2-d numpy int32 arrays, row 0 the
northern row. cell_size is one number or (x, y); origin (x0, y_top) is the position of
cell (0, 0), so cell (r, c) stands for (x0 + c * cell_x, y_top - r * cell_y). Cells equal to
nodata() are skipped and stay nodata in the results.)");

    m.def("nodata", &GetNodata, py::call_guard<Locked>(), "The library-wide nodata value (default 999999).");
    m.def("set_nodata", [](py::handle v) { Locked lock; SetNodata(static_cast<int32_t>(Integer(v, "value", INT32_MIN, INT32_MAX))); },
          py::arg("value"), "Replaces the library-wide nodata value (process-wide).");

    m.def("slope", [](py::handle dem, py::handle cellSize, py::handle method, py::handle zScale) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            double cx, cy;
            CellSize(cellSize, cx, cy);
            const int mth = static_cast<int>(Integer(method, "method", 1, 4));
            const int zs = ZScaleInt(zScale);
            const int32_t* cells = g.cells();
            return OwnedGrid(WithoutGil([&] { return DemSlope(cells, g.cols, g.rows, cy, cx, zs, mth); }), g.rows, g.cols);
        }, py::arg("dem"), py::arg("cell_size"), py::arg("method") = 4, py::arg("z_scale") = 1,
        "Slope per cell. method 1 and 3 give per mille, 2 and 4 tenths of a degree; 1 and 2 take the "
        "steepest neighbour, 3 and 4 the steepest central difference. Heights are cell values / z_scale.");

    m.def("aspect", [](py::handle dem, py::handle cellSize, py::handle method) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            double cx, cy;
            CellSize(cellSize, cx, cy);
            const int mth = static_cast<int>(Integer(method, "method", 1, 2));
            const int32_t* cells = g.cells();
            return OwnedGrid(WithoutGil([&] { return DemAspect(cells, g.cols, g.rows, cy, cx, mth); }), g.rows, g.cols);
        }, py::arg("dem"), py::arg("cell_size"), py::arg("method") = 2,
        "Downhill direction code per cell: 1 up-left, 2 up (north), 3 up-right, 4 right, 5 down-right, "
        "6 down, 7 down-left, 8 left, 0 flat. method 1 steepest neighbour, 2 central differences.");

    m.def("hillshade", [](py::handle dem, py::handle cellSize, py::handle azimuth, py::handle altitude,
                          py::handle zScale) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            double cx, cy;
            CellSize(cellSize, cx, cy);
            const int az = static_cast<int>(Integer(azimuth, "azimuth", 0, 360));
            const int alt = static_cast<int>(Integer(altitude, "altitude", 0, 90));
            const double zs = ZScale(zScale);
            const int32_t* cells = g.cells();
            return OwnedGrid(WithoutGil([&] { return HillShade(cells, g.cols, g.rows, cx, cy, az, alt, zs); }), g.rows,
                             g.cols);
        }, py::arg("dem"), py::arg("cell_size"), py::arg("azimuth") = 315, py::arg("altitude") = 45,
        py::arg("z_scale") = 1.0,
        "Brightness 0..250 with cast shadows; azimuth clockwise from north and altitude in whole degrees.");

    m.def("resample", [](py::handle dem, py::handle cellSize, py::handle origin, py::handle shape,
                         py::handle newCellSize, py::handle newOrigin, py::handle bilinear) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            double cx, cy, x0, y0, ncx, ncy, nx0, ny0;
            CellSize(cellSize, cx, cy);
            Origin(origin, x0, y0);
            if (py::isinstance<py::str>(shape) || !py::isinstance<py::sequence>(shape) || py::len(shape) != 2)
                TypeFail("shape must be a pair (rows, cols)");
            const int rows = static_cast<int>(Integer(py::reinterpret_borrow<py::sequence>(shape)[0], "shape[0]", 1, kMaxReformSize));
            const int cols = static_cast<int>(Integer(py::reinterpret_borrow<py::sequence>(shape)[1], "shape[1]", 1, kMaxReformSize));
            CellSize(newCellSize, ncx, ncy);
            const Point3D no = Position(newOrigin, "new_origin");
            nx0 = no.x;
            ny0 = no.y;
            const bool weighted = Flag(bilinear, "bilinear");
            const int32_t* cells = g.cells();
            int32_t* out = WithoutGil([&] {
                return weighted ? ReformDemWeighted(cells, g.cols, g.rows, x0, y0, cx, cy, cols, rows, nx0, ny0, ncx, ncy)
                                : ReformDemNearest(cells, g.cols, g.rows, x0, y0, cx, cy, cols, rows, nx0, ny0, ncx, ncy);
            });
            return OwnedGrid(out, rows, cols);
        }, py::arg("dem"), py::arg("cell_size"), py::arg("origin"), py::arg("shape"), py::arg("new_cell_size"),
        py::arg("new_origin"), py::arg("bilinear") = false,
        "The grid resampled onto another grid of the given shape (rows, cols), cell size and origin: "
        "nearest cell, or bilinear (nodata where any of the four cells is outside or nodata).");

    m.def("sample", [](py::handle dem, py::handle cellSize, py::handle origin, py::handle points) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            double cx, cy, x0, y0;
            CellSize(cellSize, cx, cy);
            Origin(origin, x0, y0);
            std::vector<Point3D> pts = Positions(points, "points");
            const int32_t* cells = g.cells();
            WithoutGil([&] { return GetHValueFromElevs(cells, g.cols, g.rows, x0, y0, cx, cy, pts); });
            py::array_t<double> out(static_cast<py::ssize_t>(pts.size()));
            auto o = out.mutable_unchecked<1>();
            for (size_t i = 0; i < pts.size(); ++i) o(static_cast<py::ssize_t>(i)) = pts[i].z;
            return out;
        }, py::arg("dem"), py::arg("cell_size"), py::arg("origin"), py::arg("points"),
        "Bilinear cell values at the points (raw cell units); nodata() outside the grid.");

    m.def("surface_area", [](py::handle dem, py::handle cellSize, py::handle origin, py::handle polygon,
                             py::handle zScale) {
            Locked lock;
            GridArg g = ReadGrid(dem);
            double cx, cy, x0, y0;
            CellSize(cellSize, cx, cy);
            Origin(origin, x0, y0);
            std::unique_ptr<Geometry> holder;
            const keloPolygon& p = PolygonArg(polygon, holder);
            const double zs = ZScale(zScale);
            const int32_t* cells = g.cells();
            double area = 0;
            if (!WithoutGil([&] { return GetSurfaceArea(p, cells, g.cols, g.rows, x0, y0, cx, cy, g_epsZero, zs, area); }))
                return 0.0;
            return area;
        }, py::arg("dem"), py::arg("cell_size"), py::arg("origin"), py::arg("polygon"), py::arg("z_scale") = 1.0,
        "Terrain surface area of the cells whose points lie inside the polygon (0 when none).");
}

}  // namespace kelo_py
