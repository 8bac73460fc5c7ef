// Operations that build new geometry: overlay, dissolve, buffers, simplification.
#include <pybind11/stl.h>

#include <cstring>

#include "arguments.h"
#include "library_lock.h"
#include "geometry.h"

namespace kelo_py {

using namespace kelo;

namespace {

// The library tells the user why it refuses through its message box; during a call from Python
// those texts are collected and become the exception's text (in UTF-8).
class Messages {
public:
    Messages() {
        KeloUiHandler h;
        h.user = this;
        h.messageBox = [](void* user, const char* gbk, uint32_t) {
            auto* self = static_cast<Messages*>(user);
            if (!self->text_.empty()) self->text_ += "\n";
            self->text_ += GbkToUtf8(gbk != nullptr ? gbk : "");
            return kIdNo;
        };
        previous_ = SetKeloUiHandler(&h);
    }
    ~Messages() { SetKeloUiHandler(&previous_); }
    Messages(const Messages&) = delete;
    Messages& operator=(const Messages&) = delete;

    [[noreturn]] void Fail(const std::string& fallback) const { ValueFail(text_.empty() ? fallback : text_); }

private:
    KeloUiHandler previous_;
    std::string text_;
};

double ToleranceOr(py::handle h, double fallback) {
    if (h.is_none()) return fallback;
    const double t = Finite(h, "tolerance");
    if (t < 0) ValueFail("tolerance must not be negative");
    return t;
}

bool HasAreas(const GM_Object& g) { return g.GetPolygonCount() > 0; }

py::object SetOperation(const Geometry& self, py::handle other, py::handle tolerance, uint32_t op, const char* verb) {
    std::unique_ptr<Geometry> holder;
    const GM_Object& b = GeometryArg(other, "other", holder);
    const double tol = ToleranceOr(tolerance, g_epsZero);
    GM_Object out;
    WithoutGil([&] {
        Messages messages;
        if (HasAreas(self.g) && HasAreas(b)) {
            std::vector<GM_Object> results;
            if (!BoolOp2DObjects(&self.g, &b, op, results) || results.empty())
                messages.Fail(std::string(verb) + " of these areas failed");
            out = results[0];
        } else if (self.g.dimension() == 1 && b.dimension() == 1) {
            if (!BoolOp1DGeometry(&self.g, &b, op, tol, out)) messages.Fail(std::string(verb) + " of these lines failed");
        } else {
            ValueFail(std::string(verb) + " needs two areas or two lines");
        }
    });
    return Wrap(std::move(out));
}

int Choice(py::handle h, const char* name, std::initializer_list<std::pair<const char*, int>> names) {
    if (!py::isinstance<py::str>(h)) TypeFail(std::string(name) + " must be str, not " + TypeName(h));
    const std::string s = h.cast<std::string>();
    std::string known;
    for (const auto& [text, value] : names) {
        if (s == text) return value;
        known += known.empty() ? "" : ", ";
        known += text;
    }
    ValueFail(std::string(name) + " must be one of " + known + ", not '" + s + "'");
}

// The items of any iterable; a generator's items would die as it advances, so the list keeps them.
std::vector<GM_Object*> GeometryList(py::handle h, const char* name, std::vector<std::unique_ptr<Geometry>>& holders,
                                     py::list& items) {
    if (h.is_none() || py::isinstance<py::str>(h) || !py::hasattr(h, "__iter__"))
        TypeFail(std::string(name) + " must be an iterable of Geometry, not " + TypeName(h));
    for (py::handle item : h) items.append(item);
    std::vector<GM_Object*> out;
    size_t i = 0;
    for (py::handle item : items) {
        std::unique_ptr<Geometry> holder;
        const std::string itemName = std::string(name) + "[" + std::to_string(i++) + "]";
        const GM_Object& g = GeometryArg(item, itemName.c_str(), holder);
        out.push_back(const_cast<GM_Object*>(&g));
        if (holder) holders.push_back(std::move(holder));
    }
    return out;
}

}  // namespace

void BindConstruction(py::module_& m) {
    py::class_<Geometry> cls = py::reinterpret_borrow<py::class_<Geometry>>(m.attr("Geometry"));
    const struct {
        const char* name;
        uint32_t op;
        const char* doc;
    } kSetOps[] = {
        {"union", kBoolUnion, "The union of two areas (or two lines at the tolerance)."},
        {"intersection", kBoolIntersection, "The intersection of two areas (or two lines at the tolerance)."},
        {"difference", kBoolDifference, "This geometry minus other (areas, or lines at the tolerance)."},
        {"symmetric_difference", kBoolSymDifference, "What lies in exactly one of the two (areas, or lines)."},
    };
    for (const auto& s : kSetOps) {
        const uint32_t op = s.op;
        const char* verb = s.name;
        cls.def(s.name, [op, verb](const Geometry& self, py::handle other, py::handle tolerance) {
            Locked lock;
            return SetOperation(self, other, tolerance, op, verb);
        }, py::arg("other"), py::arg("tolerance") = py::none(), s.doc);
    }

    cls.def("buffer", [](const Geometry& self, py::handle distance, py::handle cap, py::handle join, py::handle side,
                         py::handle tolerance, py::handle relative) {
            Locked lock;
            const double d = Finite(distance, "distance");
            if (!(d > 0)) ValueFail("distance must be positive");
            const int c = Choice(cap, "cap", {{"round", kBufferCapRound}, {"square", kBufferCapSquare}, {"flat", kBufferCapNone}});
            const int j = Choice(join, "join", {{"round", kBufferJoinRound}, {"bevel", kBufferJoinBevel}, {"mitre", kBufferJoinMitre}});
            const int sd = Choice(side, "side", {{"both", kBufferBoth}, {"left", kBufferLeft}, {"right", kBufferRight}});
            const double tol = ToleranceOr(tolerance, 0.0);
            const bool rel = Flag(relative, "relative");
            if (rel && tol >= 1) ValueFail("a relative tolerance must be below 1");
            GM_Object out;
            WithoutGil([&] {
                Messages messages;
                std::vector<GM_Object*> objects{const_cast<GM_Object*>(&self.g)};
                if (!ComputeBuffer(objects, d, out, c, j, sd, tol, rel ? 1 : 0)) messages.Fail("the buffer was refused");
            });
            return Wrap(std::move(out));
        }, py::arg("distance"), py::arg("cap") = "round", py::arg("join") = "round", py::arg("side") = "both",
        py::arg("tolerance") = py::none(), py::arg("relative") = true,
        "The region within distance of the geometry. cap 'round', 'square' or 'flat' for line ends; "
        "join 'round', 'bevel' or 'mitre' for turns; side 'both', 'left' or 'right' of each line's "
        "direction. tolerance (relative to the distance unless relative=False) bounds how far the "
        "polygonal circles fall inside the true ones; the default keeps round parts as exact arcs.");

    cls.def("simplify", [](const Geometry& self, py::handle tolerance) {
            Locked lock;
            const double t = Finite(tolerance, "tolerance");
            if (t < 0) ValueFail("tolerance must not be negative");
            GM_Object out(self.g);
            WithoutGil([&] { return Geometry_Dilute(out, 1, t); });
            return Wrap(std::move(out));
        }, py::arg("tolerance"),
        "A copy with the straight runs thinned to the distance tolerance (input points only).");

    m.def("union_all", [](py::handle geometries) {
            Locked lock;
            std::vector<std::unique_ptr<Geometry>> holders;
            py::list items;
            std::vector<GM_Object*> list = GeometryList(geometries, "geometries", holders, items);
            GM_Object out;
            WithoutGil([&] {
                Messages messages;
                if (!list.empty() && !mergePolygons(list, out)) messages.Fail("the union failed");
            });
            return Wrap(std::move(out));
        }, py::arg("geometries"), "The union of every polygon of the geometries (a dissolve).");
}

}  // namespace kelo_py
