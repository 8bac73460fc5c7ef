// Checking what Python hands the library. Every check names the argument it rejects, so a caller
// reads "cell_size must be positive" rather than a bare signature mismatch, and nothing unchecked
// (None, NaN, a wrong dtype) ever reaches library code that trusts its input.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/point.h"

namespace kelo_py {

namespace py = pybind11;

[[noreturn]] void TypeFail(const std::string& what);
[[noreturn]] void ValueFail(const std::string& what);

// Python's own name of the object's type, for messages.
std::string TypeName(py::handle h);

// A real number (int or float, not bool), finite.
double Finite(py::handle h, const char* name);
// An integer (not bool) within [lo, hi].
int64_t Integer(py::handle h, const char* name, int64_t lo, int64_t hi);
bool Flag(py::handle h, const char* name);
// A point: a sequence (x, y) or (x, y, z) of finite numbers; z defaults to 0.
kelo::Point3D Position(py::handle h, const std::string& name);
// A sequence of points: a list of pairs or an (n, 2) / (n, 3) float array.
std::vector<kelo::Point3D> Positions(py::handle h, const std::string& name);
// A positive cell size: one number for square cells or a pair (x, y).
void CellSize(py::handle h, double& cellX, double& cellY);

// A 2-d int32 grid, read without copying when it is C-contiguous (a copy is made only to make
// it so). Rejects other dtypes rather than converting them: a float DEM silently truncated to
// integers would be a wrong answer, not a convenience.
py::array_t<int32_t, py::array::c_style> Grid(py::handle h, const char* name);

// The elevation grid argument "dem", held for the call, with its size.
struct GridArg {
    py::array_t<int32_t, py::array::c_style> a;
    int rows, cols;
    const int32_t* cells() const { return a.data(); }
};
GridArg ReadGrid(py::handle h);

// A new[] grid of rows * cols cells handed to numpy without a copy: numpy frees it with delete[].
py::array_t<int32_t> OwnedGrid(int32_t* cells, int rows, int cols);

}  // namespace kelo_py
