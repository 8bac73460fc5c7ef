#include <pybind11/pybind11.h>

#include "geometry.h"
#include "library_lock.h"

namespace kelo_py {
std::recursive_mutex& LibraryMutex() {
    static std::recursive_mutex m;
    return m;
}
void BindConstruction(py::module_& m);
void BindNeaten(py::module_& m);
void BindPartition(py::module_& m);
void BindNetwork(py::module_& m);
void BindRaster(py::module_& m);
void BindRasterMore(py::module_& m);
void BindScript(py::module_& m);
}  // namespace kelo_py

PYBIND11_MODULE(_core, m) {
    m.doc() = "The compiled part of kelogeomnet; import kelogeomnet instead.";
    kelo_py::BindGeometry(m);
    kelo_py::BindConstruction(m);
    kelo_py::BindNeaten(m);
    kelo_py::BindPartition(m);
    kelo_py::BindNetwork(m);
    kelo_py::BindRaster(m);
    kelo_py::BindRasterMore(m);
    kelo_py::BindScript(m);
}
