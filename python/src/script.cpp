// Running scripts from Python. The library reports a failed run as its common error text; the
// number and line are read back from that text so Python code can branch on them.
#include <pybind11/stl.h>

#include <cstdlib>

#include "arguments.h"
#include "library_lock.h"
#include "KeloGeomNet.h"

namespace kelo_py {

using namespace kelo;

void BindScript(py::module_& top) {
    py::module_ m = top.def_submodule("script", "The embedded script language.");
    m.def("_run", [](py::handle text, py::handle args) {
            Locked lock;
            if (!py::isinstance<py::str>(text)) TypeFail("text must be str, not " + TypeName(text));
            std::vector<std::string> list;
            if (!args.is_none()) {
                if (py::isinstance<py::str>(args) || !py::isinstance<py::sequence>(args))
                    TypeFail("args must be a sequence of str, not " + TypeName(args));
                for (py::handle a : args) {
                    if (!py::isinstance<py::str>(a)) TypeFail("args must hold str only, not " + TypeName(a));
                    list.push_back(ToGbk(a.cast<std::string>()));
                }
            }
            std::string output, error;
            const std::string source = ToGbk(text.cast<std::string>());
            const bool ok = WithoutGil([&] { return RunKeloScriptText("<python>", source, list, &output, error); });
            // The texts are GBK; Python wants them decoded.
            py::object out = py::str(GbkToUtf8(output));
            if (ok) return py::make_tuple(out, py::none(), py::none(), py::none());
            const std::string utf8 = GbkToUtf8(error);
            // "错误<code> <message>\n   at line: <n>...": the number and line are ASCII digits in
            // either encoding, and no GBK byte is an ASCII digit.
            int code = 0, line = 0;
            const size_t digit = error.find_first_of("0123456789");
            const size_t eol = error.find('\n');
            if (digit != std::string::npos && digit < eol) code = std::atoi(error.c_str() + digit);
            const size_t at = error.find("at line: ");
            if (at != std::string::npos) line = std::atoi(error.c_str() + at + 9);
            return py::make_tuple(out, utf8, code, line);
        }, py::arg("text"), py::arg("args") = py::none());
}

}  // namespace kelo_py
