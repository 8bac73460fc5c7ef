// The Python face of the geometry object: one immutable value per GM_Object.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "KeloGeomNet.h"

namespace kelo_py {

namespace py = pybind11;

struct Geometry {
    kelo::GM_Object g;
};

// A Geometry argument: a Geometry, WKT text or WKB bytes; anything else is a TypeError naming
// the argument.
const kelo::GM_Object& GeometryArg(py::handle h, const char* name, std::unique_ptr<Geometry>& holder);
// Adopts the object into a new Python Geometry.
py::object Wrap(kelo::GM_Object&& g);
// A new Geometry from a record the caller hands over (freed here).
py::object WrapRecord(kelo::WKBGeometry* record);

void BindGeometry(py::module_& m);

}  // namespace kelo_py
