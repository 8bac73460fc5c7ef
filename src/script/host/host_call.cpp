#include "script/host/host_call.h"

#include "script/vm/builtins.h"
#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

namespace kelo {

int32_t GetKeloScriptFuncParams(Tdata*& cells, std::vector<int32_t>& args, std::string*& text) {
    const ScriptHostCall& call = detail::CurrentHostCall();
    cells = call.cells;
    args = call.args;
    text = call.text;
    return call.engine != nullptr ? call.result : -1;
}

bool KeloScriptCurReserveMemory(Tdata*& cells, int32_t n) {
    ScriptEngine* e = GetCurrentScriptEngine();
    if (e == nullptr) return false;
    if (n < 1) return true;
    const bool ok = e->reserve(n);
    cells = e->cells;
    ScriptHostCall& call = detail::CurrentHostCall();
    if (call.engine == e) call.cells = e->cells;
    return ok;
}

bool setValue(Tdata& destination, const Tdata& source) {
    if (GetCurrentScriptEngine() == nullptr) return false;
    return assign(destination, source);
}

int32_t DoStringFormat(Tdata* cells, const std::vector<int32_t>& args, int32_t formatIndex, std::string& out) {
    ScriptEngine* e = GetCurrentScriptEngine();
    out.clear();
    if (e == nullptr || cells != e->cells) return -1;
    for (int32_t a : args)
        if (!e->validCell(a)) return -1;
    return detail::FormatScriptValues(*e, args.data(), static_cast<int32_t>(args.size()), formatIndex, out);
}

const char* GetScriptArgDeli() { return "/P"; }

}  // namespace kelo
