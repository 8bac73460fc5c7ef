#include "arguments.h"

#include <cmath>
#include <limits>

namespace kelo_py {

void TypeFail(const std::string& what) { throw py::type_error(what); }
void ValueFail(const std::string& what) { throw py::value_error(what); }

std::string TypeName(py::handle h) { return py::str(py::type::handle_of(h).attr("__name__")).cast<std::string>(); }

namespace {

bool IsBool(py::handle h) { return py::isinstance<py::bool_>(h) || TypeName(h) == "bool_"; }

bool IsNumber(py::handle h) {
    if (h.is_none() || IsBool(h)) return false;
    if (py::isinstance<py::int_>(h) || py::isinstance<py::float_>(h)) return true;
    // numpy scalars and other objects that define __float__ but are not text
    return !py::isinstance<py::str>(h) && !py::isinstance<py::bytes>(h) && py::hasattr(h, "__float__");
}

}  // namespace

double Finite(py::handle h, const char* name) {
    if (!IsNumber(h)) TypeFail(std::string(name) + " must be a number, not " + TypeName(h));
    const double v = py::float_(py::reinterpret_borrow<py::object>(h)).cast<double>();
    if (!std::isfinite(v)) ValueFail(std::string(name) + " must be finite");
    return v;
}

int64_t Integer(py::handle h, const char* name, int64_t lo, int64_t hi) {
    if (h.is_none() || IsBool(h) || !(py::isinstance<py::int_>(h) || py::hasattr(h, "__index__")))
        TypeFail(std::string(name) + " must be an integer, not " + TypeName(h));
    py::int_ i(py::reinterpret_borrow<py::object>(h));
    // Values beyond 64 bits overflow the cast; they are outside any range we accept anyway.
    const bool small = py::bool_(i >= py::int_(lo)) && py::bool_(i <= py::int_(hi));
    if (!small)
        ValueFail(std::string(name) + " must lie in " + std::to_string(lo) + ".." + std::to_string(hi));
    return i.cast<int64_t>();
}

bool Flag(py::handle h, const char* name) {
    if (!IsBool(h)) TypeFail(std::string(name) + " must be a bool, not " + TypeName(h));
    return py::bool_(py::reinterpret_borrow<py::object>(h));
}

kelo::Point3D Position(py::handle h, const std::string& name) {
    if (h.is_none() || py::isinstance<py::str>(h) || !py::isinstance<py::sequence>(h))
        TypeFail(name + " must be a coordinate pair (x, y), not " + TypeName(h));
    py::sequence s = py::reinterpret_borrow<py::sequence>(h);
    if (s.size() != 2 && s.size() != 3) ValueFail(name + " must hold 2 or 3 coordinates, not " + std::to_string(s.size()));
    kelo::Point3D p{};
    p.x = Finite(s[0], (name + "[0]").c_str());
    p.y = Finite(s[1], (name + "[1]").c_str());
    p.z = s.size() == 3 ? Finite(s[2], (name + "[2]").c_str()) : 0.0;
    return p;
}

std::vector<kelo::Point3D> Positions(py::handle h, const std::string& name) {
    if (h.is_none() || py::isinstance<py::str>(h) || !(py::isinstance<py::sequence>(h) || py::isinstance<py::array>(h)))
        TypeFail(name + " must be a sequence of coordinate pairs, not " + TypeName(h));
    std::vector<kelo::Point3D> out;
    if (py::isinstance<py::array>(h)) {
        py::array a = py::reinterpret_borrow<py::array>(h);
        if (a.ndim() != 2 || (a.shape(1) != 2 && a.shape(1) != 3))
            ValueFail(name + " must be an array of shape (n, 2) or (n, 3)");
        if (!py::isinstance<py::array_t<double>>(a) && a.dtype().kind() != 'f' && a.dtype().kind() != 'i' &&
            a.dtype().kind() != 'u')
            TypeFail(name + " must hold numbers");
        auto d = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(a);
        auto v = d.unchecked<2>();
        for (py::ssize_t i = 0; i < v.shape(0); ++i) {
            kelo::Point3D p{v(i, 0), v(i, 1), v.shape(1) == 3 ? v(i, 2) : 0.0};
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                ValueFail(name + "[" + std::to_string(i) + "] must be finite");
            out.push_back(p);
        }
        return out;
    }
    py::sequence s = py::reinterpret_borrow<py::sequence>(h);
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) out.push_back(Position(s[i], name + "[" + std::to_string(i) + "]"));
    return out;
}

void CellSize(py::handle h, double& cellX, double& cellY) {
    if (!h.is_none() && !py::isinstance<py::str>(h) && py::isinstance<py::sequence>(h)) {
        py::sequence s = py::reinterpret_borrow<py::sequence>(h);
        if (s.size() != 2) ValueFail("cell_size must be one number or a pair (x, y)");
        cellX = Finite(s[0], "cell_size[0]");
        cellY = Finite(s[1], "cell_size[1]");
    } else {
        cellX = cellY = Finite(h, "cell_size");
    }
    if (!(cellX > 0) || !(cellY > 0)) ValueFail("cell_size must be positive");
}

GridArg ReadGrid(py::handle h) {
    GridArg g{Grid(h, "dem"), 0, 0};
    g.rows = static_cast<int>(g.a.shape(0));
    g.cols = static_cast<int>(g.a.shape(1));
    return g;
}

py::array_t<int32_t, py::array::c_style> Grid(py::handle h, const char* name) {
    if (!py::isinstance<py::array>(h))
        TypeFail(std::string(name) + " must be a 2-d numpy array of int32, not " + TypeName(h));
    py::array a = py::reinterpret_borrow<py::array>(h);
    const py::dtype t = a.dtype();
    if (t.kind() != 'i' || t.itemsize() != 4 || !t.attr("isnative").cast<bool>())
        TypeFail(std::string(name) + " must have dtype int32, not " + py::str(a.dtype()).cast<std::string>());
    if (a.ndim() != 2) ValueFail(std::string(name) + " must be 2-d, not " + std::to_string(a.ndim()) + "-d");
    if (a.shape(0) < 1 || a.shape(1) < 1) ValueFail(std::string(name) + " is empty");
    if (a.shape(0) > std::numeric_limits<int>::max() || a.shape(1) > std::numeric_limits<int>::max() ||
        a.shape(0) * a.shape(1) >= (py::ssize_t{1} << 31))
        ValueFail(std::string(name) + " has more than 2^31 cells");
    return py::array_t<int32_t, py::array::c_style>::ensure(a);
}

py::array_t<int32_t> OwnedGrid(int32_t* cells, int rows, int cols) {
    if (cells == nullptr) throw std::bad_alloc();
    py::capsule owner(cells, [](void* p) { delete[] static_cast<int32_t*>(p); });
    return py::array_t<int32_t>({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(cols)}, cells, owner);
}

}  // namespace kelo_py
