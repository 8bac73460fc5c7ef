// The library keeps process-wide state that its calls change as they run (tolerances swapped for
// a step, the last defect position, the nine-intersection touch flags, the message handler, the
// nodata value) and guards none of it, so two of its calls must never overlap. Every binding
// holds this lock while it is in the library; the long ones let go of the GIL meanwhile, so other
// Python threads (I/O, numpy, pure Python) go on, but library work itself runs one call at a
// time. Parallel library work needs worker processes.
#pragma once

#include <pybind11/pybind11.h>

#include <mutex>

namespace kelo_py {

namespace py = pybind11;

std::recursive_mutex& LibraryMutex();

// Taken at the start of every binding. Recursive, because a binding that reads a Python iterable
// may run Python code that calls the package again on the same thread. Waiting never holds the
// GIL: the thread that owns the lock may need the GIL back to finish.
class Locked {
public:
    Locked() : lock_(LibraryMutex(), std::try_to_lock) {
        if (!lock_.owns_lock()) {
            py::gil_scoped_release release;
            lock_.lock();
        }
    }

private:
    std::unique_lock<std::recursive_mutex> lock_;
};

// Runs f without the GIL (the library lock stays held): only for work that touches no Python
// object, not even a borrowed handle.
template <class F>
auto WithoutGil(F&& f) {
    py::gil_scoped_release release;
    return f();
}

}  // namespace kelo_py
