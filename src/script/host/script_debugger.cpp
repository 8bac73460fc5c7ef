#include "script/host/script_debugger.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "script/vm/value_ops.h"

namespace kelo {

namespace {

// A call frame as the debugger sees it: where its variables live and where it stands.
struct FrameView {
    const ScriptFunction* function = nullptr;
    int32_t localBase = 0;    // variable-stack index of the frame's first local
    int32_t argBase = 0;      // argument-stack index of its first parameter
    int32_t statementPc = -1; // the statement marker it stands at
    int32_t position = -1;    // source line index
};

bool FrameAt(const ScriptEngine& e, int32_t k, FrameView& out) {
    const int32_t n = static_cast<int32_t>(e.callFrames.size());
    if (k < 0 || k >= n || e.program == nullptr) return false;
    const ScriptCallFrame& f = e.callFrames[static_cast<size_t>(k)];
    out = FrameView();
    for (const ScriptFunction& fn : e.program->functions)
        if (fn.entry == f.entry) out.function = &fn;
    out.localBase = f.varTop;
    // Each frame record holds its caller's state at the call, so a frame's own current state is
    // in the record above it (or in the engine for the innermost one).
    const bool innermost = k == n - 1;
    out.argBase = innermost ? e.argBase : e.callFrames[static_cast<size_t>(k) + 1].argBase;
    out.position = innermost ? e.curPos : e.callFrames[static_cast<size_t>(k) + 1].position;
    if (innermost) out.statementPc = e.debugPc;
    else if (static_cast<size_t>(k) + 1 < e.debugFramePcs.size()) out.statementPc = e.debugFramePcs[static_cast<size_t>(k) + 1];
    return true;
}

const std::vector<ScriptLocal>* LocalsAt(const ScriptEngine& e, int32_t pc) {
    if (e.program == nullptr || pc < 0 || static_cast<size_t>(pc) >= e.program->code.size()) return nullptr;
    const int32_t scope = e.program->code[static_cast<size_t>(pc)].count2;
    if (scope < 0 || static_cast<size_t>(scope) >= e.program->debugScopes.size()) return nullptr;
    return &e.program->debugScopes[static_cast<size_t>(scope)];
}

int32_t VarCell(const ScriptEngine& e, int64_t slot) {
    if (slot < 0 || slot >= e.varTop) return -1;
    return e.resolve(e.varStack[static_cast<size_t>(slot)]);
}

int32_t ArgCell(const ScriptEngine& e, int64_t slot) {
    if (slot < 0 || slot >= e.argTop) return -1;
    return e.resolve(e.argStack[static_cast<size_t>(slot)]);
}

int32_t ViewedFrame(const ScriptEngine& e) {
    return e.viewFrame >= 0 ? e.viewFrame : static_cast<int32_t>(e.callFrames.size()) - 1;
}

// The cell a variable name names in the viewed frame, then among the globals; found is false
// when no variable has the name (the cell may still be -1 for one without a value yet).
int32_t FindVariable(const ScriptEngine& e, const std::string& name, bool& found) {
    found = true;
    FrameView f;
    if (FrameAt(e, ViewedFrame(e), f)) {
        if (const std::vector<ScriptLocal>* locals = LocalsAt(e, f.statementPc))
            for (auto l = locals->rbegin(); l != locals->rend(); ++l)
                if (l->name == name) return VarCell(e, static_cast<int64_t>(f.localBase) + l->slot);
        if (f.function != nullptr)
            for (size_t k = 0; k < f.function->params.size(); ++k)
                if (f.function->params[k].name == name) return ArgCell(e, static_cast<int64_t>(f.argBase) + k);
    }
    if (e.program != nullptr)
        for (size_t g = 0; g < e.program->globals.size(); ++g)
            if (e.program->globals[g].name == name) return VarCell(e, static_cast<int64_t>(g));
    found = false;
    return -1;
}

std::string ValueText(const ScriptEngine& e, int32_t cell) {
    return e.validCell(cell) ? toString(e.cells[cell]) : std::string();
}

std::string FrameLine(const ScriptEngine& e, const FrameView& f) {
    std::string file;
    int32_t line = 0;
    if (f.position >= 0 && static_cast<size_t>(f.position) < e.sourceLines.size()) {
        file = e.sourceLines[static_cast<size_t>(f.position)].file;
        line = e.sourceLines[static_cast<size_t>(f.position)].line;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "    Line: %d    Function: ", line);
    return "File: " + file + buf + (f.function != nullptr ? f.function->name : std::string());
}

std::string ArgumentList(const ScriptEngine& e, const FrameView& f) {
    std::string s = " ( ";
    if (f.function != nullptr)
        for (size_t k = 0; k < f.function->params.size(); ++k) {
            if (k) s += " , ";
            s += ValueText(e, ArgCell(e, static_cast<int64_t>(f.argBase) + k));
        }
    return s + " )";
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

bool ParseInt(const std::string& text, int32_t& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
}

bool ParseDouble(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return *end == '\0';
}

// "text" with the escapes \t \n \\ \b \r \f \" ; false when the quotes do not close the value.
bool ParseQuoted(const std::string& text, std::string& out) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
    out.clear();
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        char c = text[i];
        if (c == '"') return false;
        if (c == '\\') {
            if (i + 2 >= text.size()) return false;
            switch (text[++i]) {
                case 't': c = '\t'; break;
                case 'n': c = '\n'; break;
                case '\\': c = '\\'; break;
                case 'b': c = '\b'; break;
                case 'r': c = '\r'; break;
                case 'f': c = '\f'; break;
                case '"': c = '"'; break;
                default: return false;
            }
        }
        out += c;
    }
    return true;
}

std::string Watch(ScriptEngine& e, const std::string& expr) {
    if (!e.debugStarted) return "#error: can not watch variables before running.\n";
    if (expr.empty()) return "#error: invalid watch command.\n";
    const size_t bracket = expr.find('[');
    const std::string name = Trim(expr.substr(0, bracket));
    if (name.empty()) return "#error: invalid watch command.\n";
    std::vector<int32_t> indexes;
    for (size_t at = bracket; at != std::string::npos;) {
        const size_t close = expr.find(']', at);
        int32_t k = 0;
        if (close == std::string::npos || !ParseInt(Trim(expr.substr(at + 1, close - at - 1)), k))
            return "#error: invalid watch command.\n";
        indexes.push_back(k);
        const std::string rest = Trim(expr.substr(close + 1));
        if (rest.empty()) break;
        if (rest[0] != '[') return "#error: invalid watch command.\n";
        at = expr.find('[', close);
    }
    bool found = false;
    int32_t cell = FindVariable(e, name, found);
    if (!found) return "#error: " + name + " is not found.\n";
    for (int32_t k : indexes) {
        if (!e.validCell(cell) || e.cells[cell].dataType != kTypeArray || k < 0 ||
            static_cast<size_t>(k) >= e.cells[cell].value.a->size())
            return "#error: " + expr + " : array index out of range.\n";
        cell = e.resolve((*e.cells[cell].value.a)[static_cast<size_t>(k)]);
    }
    return expr + " = " + ValueText(e, cell) + "\n";
}

std::string Set(ScriptEngine& e, const std::string& args) {
    if (!e.debugStarted) return "#error: can not set variables before running.\n";
    const size_t gap = args.find_first_of(" \t");
    if (args.empty() || gap == std::string::npos) return "#error: invalid set command.\n";
    const std::string name = args.substr(0, gap);
    const std::string text = Trim(args.substr(gap));
    if (text.empty()) return "#error: invalid set command.\n";
    bool found = false;
    const int32_t cell = FindVariable(e, name, found);
    if (!found || !e.validCell(cell) || e.cells[cell].dataType == kTypeVoid)
        return "#error: the variable is not initialized before.\n";
    Tdata& v = e.cells[cell];
    switch (v.dataType) {
        case kTypeBool:
            if (text == "true" || text == "TRUE") v.value.b = true;
            else if (text == "false" || text == "FALSE") v.value.b = false;
            else return "#error: invalid data_type.\n";
            break;
        case kTypeInt: {
            int32_t i = 0;
            if (!ParseInt(text, i)) return "#error: invalid data_type.\n";
            v.value.i = i;
            break;
        }
        case kTypeDouble: {
            double d = 0;
            if (!ParseDouble(text, d)) return "#error: invalid data_type.\n";
            v.value.d = d;
            break;
        }
        case kTypeString: {
            std::string s;
            if (!ParseQuoted(text, s)) return "#error: invalid data_type.\n";
            *v.value.s = s;
            break;
        }
        default: return "#error: invalid data_type.\n";
    }
    return "successed.\n";
}

std::string CallStack(const ScriptEngine& e) {
    if (!e.debugStarted) return "#error: can not view callstack before running.\n";
    std::string s = "call_stack:\n";
    for (int32_t k = 0; k < static_cast<int32_t>(e.callFrames.size()); ++k) {
        FrameView f;
        if (FrameAt(e, k, f)) s += FrameLine(e, f) + ArgumentList(e, f) + "\n";
    }
    return s;
}

std::string Breakpoint(ScriptEngine& e, const std::string& args) {
    const std::string bad = "#error: invalid breakpoint command.\n";
    if (args.size() < 2 || args[0] != '"') return bad;
    const size_t close = args.find('"', 1);
    if (close == std::string::npos) return bad;
    const std::string file = args.substr(1, close - 1);
    int32_t line = 0;
    if (file.empty() || !ParseInt(Trim(args.substr(close + 1)), line)) return bad;
    const auto base = [](const std::string& p) { return p.substr(p.find_last_of('/') + 1); };
    if (e.program != nullptr && e.breakpoints.size() == e.sourceLines.size()) {
        std::vector<uint8_t> marked(e.sourceLines.size(), 0);
        for (const ScriptInstruction& in : e.program->code)
            if (in.op == kOpStatement && in.position >= 0 && static_cast<size_t>(in.position) < marked.size())
                marked[static_cast<size_t>(in.position)] = 1;
        for (size_t i = 0; i < e.sourceLines.size(); ++i) {
            const ScriptSourceLine& l = e.sourceLines[i];
            if (l.line != line || !marked[i] || (l.file != file && base(l.file) != base(file))) continue;
            e.breakpoints[i] ^= 1;
            return e.breakpoints[i] ? "breakpoint enabled.\n" : "breakpoint disabled.\n";
        }
    }
    return "#error: breakpoint is un-reachable.\n";
}

std::string RollBack(ScriptEngine& e, const std::string& args) {
    if (!e.debugStarted) return "#error: can not rollback before running.\n";
    if (args.empty()) return "#error: invalid rollbackto command.\n";
    int32_t n = 0;
    FrameView f;
    if (!ParseInt(args, n) || !FrameAt(e, n, f)) return "#error: invalid rollbackto parameter.\n";
    e.viewFrame = n;
    std::string s = "stack roll back to : " + FrameLine(e, f) + "\n";
    if (f.function != nullptr)
        for (size_t k = 0; k < f.function->params.size(); ++k)
            s += "\targ: " + f.function->params[k].name + " = " +
                 ValueText(e, ArgCell(e, static_cast<int64_t>(f.argBase) + k)) + "\n";
    if (const std::vector<ScriptLocal>* locals = LocalsAt(e, f.statementPc))
        for (const ScriptLocal& l : *locals)
            s += "\tvar: " + l.name + " = " + ValueText(e, VarCell(e, static_cast<int64_t>(f.localBase) + l.slot)) + "\n";
    return s;
}

}  // namespace

int32_t ExternDoDebugCommand(ScriptEngine* engine, const char* command) {
    if (engine == nullptr) return -1;
    ScriptEngine& e = *engine;
    const std::string text = Trim(command != nullptr ? command : "");
    const size_t gap = text.find_first_of(" \t");
    const std::string word = text.substr(0, gap);
    const std::string args = gap == std::string::npos ? std::string() : Trim(text.substr(gap));
    static const char* const kResume[] = {"run", "stepinto", "stepover", "stepout", "stop"};
    for (int32_t mode = 0; mode < 5; ++mode)
        if (word == kResume[mode]) {
            e.debugReport.clear();
            return mode;
        }
    if (word.empty()) e.debugReport = "#error: empty command.\n";
    else if (word == "callstack") e.debugReport = CallStack(e);
    else if (word == "set") e.debugReport = Set(e, args);
    else if (word == "watch") e.debugReport = Watch(e, args);
    else if (word == "breakpoint") e.debugReport = Breakpoint(e, args);
    else if (word == "rollbackto") e.debugReport = RollBack(e, args);
    else e.debugReport = "#error: " + text + "is not a invalid command.\n";
    return -1;
}

std::string getDebugFileName(const ScriptEngine* engine) {
    if (engine == nullptr) return {};
    FrameView f;
    const int32_t pos = FrameAt(*engine, ViewedFrame(*engine), f) ? f.position : engine->curPos;
    if (pos < 0 || static_cast<size_t>(pos) >= engine->sourceLines.size()) return {};
    return engine->sourceLines[static_cast<size_t>(pos)].file;
}

int32_t getDebugLineNumber(const ScriptEngine* engine) {
    if (engine == nullptr) return 0;
    FrameView f;
    const int32_t pos = FrameAt(*engine, ViewedFrame(*engine), f) ? f.position : engine->curPos;
    if (pos < 0 || static_cast<size_t>(pos) >= engine->sourceLines.size()) return 0;
    return engine->sourceLines[static_cast<size_t>(pos)].line;
}

std::string getDebugReport(const ScriptEngine* engine) { return engine != nullptr ? engine->debugReport : ""; }

int32_t getMacroCount(const ScriptEngine* engine) {
    return engine != nullptr ? static_cast<int32_t>(engine->macroTexts.size()) : 0;
}

std::string getMacroAt(const ScriptEngine* engine, int32_t index) {
    if (engine == nullptr || index < 0 || index >= getMacroCount(engine)) return {};
    return engine->macroTexts[static_cast<size_t>(index)];
}

int32_t getFunctionCount(const ScriptEngine* engine) {
    return engine != nullptr && engine->program != nullptr ? static_cast<int32_t>(engine->program->functions.size())
                                                           : 0;
}

std::string getFunctionAt(const ScriptEngine* engine, int32_t index) {
    if (index < 0 || index >= getFunctionCount(engine)) return {};
    const ScriptFunction& f = engine->program->functions[static_cast<size_t>(index)];
    std::string s = (f.returnType == kScriptUntypedReturn ? std::string("function") : GetScriptTypeName(f.returnType)) +
                    " " + f.name + "(";
    for (size_t k = 0; k < f.params.size(); ++k)
        s += (k ? ", " : "") + GetScriptTypeName(f.params[k].type) + (f.params[k].byRef ? "& " : " ") + f.params[k].name;
    return s + ")";
}

int32_t getGlobalVariableCount(const ScriptEngine* engine) {
    return engine != nullptr && engine->program != nullptr ? static_cast<int32_t>(engine->program->globals.size()) : 0;
}

std::string getGlobalVariableAt(const ScriptEngine* engine, int32_t index) {
    if (index < 0 || index >= getGlobalVariableCount(engine)) return {};
    const ScriptGlobal& g = engine->program->globals[static_cast<size_t>(index)];
    int32_t line = 0;
    if (g.line >= 0 && static_cast<size_t>(g.line) < engine->sourceLines.size())
        line = engine->sourceLines[static_cast<size_t>(g.line)].line;
    return std::to_string(line) + " " + GetScriptTypeName(g.type) + " " + g.name;
}

}  // namespace kelo
