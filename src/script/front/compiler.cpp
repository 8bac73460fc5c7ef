#include "script/front/compiler.h"

#include <cstdint>
#include <cstdlib>
#include <unordered_map>

#include "script/vm/script_engine.h"
#include "script/vm/system_functions.h"

namespace kelo {

namespace {

// Nesting beyond this (expressions or statements) is refused rather than risking the native stack.
constexpr int kMaxNesting = 1000;

struct Local {
    std::string name;
    int32_t slot;  // position above the function's frame start
};

struct Loop {
    bool isSwitch;
    int32_t depth;  // stack depth that break and continue drop to
    std::vector<int32_t> breaks;
    std::vector<int32_t> continues;
};

// The value a variable of a type starts with.
Tdata InitialValue(int32_t type) {
    Tdata v;
    switch (type) {
        case kTypeBool: v = Tdata(false); break;
        case kTypeInt: v = Tdata(0); break;
        case kTypeDouble: v = Tdata(0.0); break;
        case kTypeVoid: break;
        default:
            if (type >= kTypeString && type < kTypeReference) {
                v.setDataType(type);
                if (IsHostHandleType(type)) v.value.handle = nullptr;
            }
            break;
    }
    return v;
}

class Compiler {
public:
    Compiler(const ScriptFrontEndResult& front, const std::vector<std::string>& hostNames, ScriptProgram& out)
        : t_(front.tokens), lines_(front.lines), main_(front.mainFile), p_(out) {
        for (size_t i = 0; i < hostNames.size(); ++i)
            hosts_.emplace(hostNames[i], kScriptHostFunctionBase + static_cast<int32_t>(i));
    }

    void run() {
        p_ = ScriptProgram();
        scanHeaders();
        pos_ = 0;
        while (pos_ < t_.size()) {
            if (isFunctionStart()) compileFunction();
            else compileGlobals();
        }
        for (auto& [at, fn] : callPatches_) {
            const ScriptFunction& f = p_.functions[static_cast<size_t>(fn)];
            if (f.entry < 0) failAt(1381, at);  // a prototype whose body never came
            p_.code[static_cast<size_t>(at)].target = f.entry;
        }
        emitMainStub();
    }

private:
    // ---- tokens ----
    const std::string& tok(size_t k = 0) const {
        static const std::string kEnd;
        return pos_ + k < t_.size() ? t_[pos_ + k].text : kEnd;
    }
    bool is(const char* text, size_t k = 0) const { return tok(k) == text; }
    bool isIdent(size_t k = 0) const { return tok(k).size() > 1 && tok(k)[0] == 's'; }
    std::string word(size_t k = 0) const { return isIdent(k) ? tok(k).substr(1) : std::string(); }
    int32_t typeAt(size_t k = 0) const { return isIdent(k) ? FindScriptTypeCode(word(k)) : -2; }
    bool isTypeOrVoid(size_t k = 0) const { return typeAt(k) >= 0 || is("svoid", k); }
    bool isReserved(const std::string& w) const {
        return FindScriptTypeCode(w) >= 0 || w == "define" || w == "null" || w == "if" || w == "else" ||
               w == "for" || w == "while" || w == "function" || w == "return" || w == "void" || w == "switch" ||
               w == "case" || w == "default" || w == "do" || w == "break" || w == "continue" ||
               w == "callFuncByName" || w == "dynamic_func_call";
    }
    void advance() { ++pos_; }
    void expect(const char* text, int32_t code) {
        if (!is(text)) fail(code);
        advance();
    }
    int32_t lineHere() const {
        if (t_.empty()) return -1;
        return t_[pos_ < t_.size() ? pos_ : t_.size() - 1].line;
    }
    [[noreturn]] void fail(int32_t code) const {
        if (t_.empty()) ThrowScriptError(code, lines_, -1, 0, main_);
        const ScriptToken& t = t_[pos_ < t_.size() ? pos_ : t_.size() - 1];
        ThrowScriptError(code, lines_, t.line, t.column, main_);
    }
    [[noreturn]] void failAt(int32_t code, int32_t instruction) const {
        ThrowScriptError(code, lines_, p_.code[static_cast<size_t>(instruction)].position, 0, main_);
    }

    // ---- emitting ----
    int32_t emit(int32_t op, int32_t count = 0, int32_t count2 = 0) {
        ScriptInstruction in;
        in.op = op;
        in.position = lineHere();
        in.count = count;
        in.count2 = count2;
        p_.code.push_back(std::move(in));
        return static_cast<int32_t>(p_.code.size() - 1);
    }
    int32_t emitA(int32_t op, int32_t mode, int32_t offset) {
        int32_t i = emit(op);
        p_.code[static_cast<size_t>(i)].aMode = mode;
        p_.code[static_cast<size_t>(i)].aOffset = offset;
        return i;
    }
    int32_t emitValue(int32_t op, const Tdata& v, int32_t mode = 0, int32_t offset = 0) {
        int32_t i = emitA(op, mode, offset);
        p_.code[static_cast<size_t>(i)].value = v;
        return i;
    }
    void constant(const Tdata& v) { p_.code[static_cast<size_t>(emitValue(kOpDeclare, v))].count = kDeclareConstant; }
    int32_t emitBind(int32_t aMode, int32_t aOffset, int32_t bMode, int32_t bOffset, bool initialiser = false) {
        int32_t i = emitA(kOpBind, aMode, aOffset);
        if (initialiser) p_.code[static_cast<size_t>(i)].count = kBindInitialiser;
        p_.code[static_cast<size_t>(i)].bMode = bMode;
        p_.code[static_cast<size_t>(i)].bOffset = bOffset;
        return i;
    }
    int32_t emitJump(int32_t op, int32_t target = -1) {
        int32_t i = op == kOpJumpIfTrue ? emitA(op, kModeVarTop, -1) : emit(op);
        p_.code[static_cast<size_t>(i)].target = target;
        return i;
    }
    int32_t here() const { return static_cast<int32_t>(p_.code.size()); }
    void patch(int32_t at, int32_t target) { p_.code[static_cast<size_t>(at)].target = target; }
    void dropTo(int32_t depth) {
        if (depth_ > depth) emit(kOpVarTop, depth - depth_);
    }
    void callSystem(const char* name, int32_t argc) {
        emit(kOpCallSystem, FindScriptSystemFunction(name), argc);
        depth_ += 1 - argc;
    }

    // ---- top level ----
    bool isFunctionStart(size_t k = 0) const {
        return is("sfunction", k) || (isTypeOrVoid(k) && isIdent(k + 1) && is("c(", k + 2));
    }

    // Reads a function header at pos_ and leaves pos_ on the "{" or ";" after it.
    ScriptFunction header() {
        ScriptFunction f;
        f.line = lineHere();
        if (is("sfunction")) f.returnType = kScriptUntypedReturn;
        else if (is("svoid")) f.returnType = kTypeVoid;
        else if (typeAt() >= 0) f.returnType = typeAt();
        else fail(1300);
        advance();
        if (!isIdent() || isReserved(word())) fail(1301);
        f.name = word();
        advance();
        expect("c(", 1304);
        if (is("c)")) {
            advance();
        } else {
            for (;;) {
                if (!isIdent()) fail(is("c)") || is("c{") || tok().empty() ? 1304 : 1306);
                ScriptParam p;
                p.type = typeAt();
                if (p.type < 0) fail(1306);
                advance();
                if (is("c&")) {
                    p.byRef = true;
                    advance();
                }
                if (!isIdent() || isReserved(word())) fail(1305);
                p.name = word();
                advance();
                f.params.push_back(p);
                if (is("c,")) {
                    advance();
                    continue;
                }
                if (is("c)")) {
                    advance();
                    break;
                }
                fail(1304);
            }
        }
        if (!is("c{") && !is("c;")) fail(1381);
        return f;
    }

    // Skips a balanced block starting at "{".
    void skipBlock() {
        int depth = 0;
        do {
            if (is("c{")) ++depth;
            else if (is("c}")) --depth;
            advance();
        } while (depth > 0 && pos_ < t_.size());
    }

    // Pass one: every function header and global name, so calls and globals may come before
    // their definitions.
    void scanHeaders() {
        pos_ = 0;
        bool anyBody = false;
        while (pos_ < t_.size()) {
            if (!isFunctionStart()) {
                if (isIdent() && typeAt() < 0 && isIdent(1) && is("c(", 2)) fail(1300);
                declareGlobalNames();
                continue;
            }
            const size_t at = pos_;
            ScriptFunction f = header();
            const bool body = is("c{");
            if (FindScriptSystemFunction(f.name) >= 0 || f.name == "callFuncByName") {
                pos_ = at + 1;
                fail(1302);
            }
            if (f.name == "main") {
                pos_ = at + 1;
                if (!body) fail(1383);
                const bool ok = f.params.empty() ||
                                (f.params.size() == 1 && f.params[0].type == kTypeArray && !f.params[0].byRef);
                if (!ok) fail(1307);
                pos_ = at;
                header();
            }
            auto it = p_.functionIndex.find(f.name);
            if (it != p_.functionIndex.end()) {
                ScriptFunction& old = p_.functions[static_cast<size_t>(it->second)];
                if (body && old.entry == -2) {
                    pos_ = at + 1;
                    fail(1303);
                }
                if (body) {
                    old = f;
                    old.entry = -2;  // has a body, compiled in pass two
                }
            } else {
                if (body) f.entry = -2;
                p_.functionIndex.emplace(f.name, static_cast<int32_t>(p_.functions.size()));
                p_.functions.push_back(f);
            }
            if (body) {
                anyBody = true;
                skipBlock();
            } else {
                advance();
            }
        }
        if (!anyBody) fail(1382);
        auto m = p_.functionIndex.find("main");
        if (m == p_.functionIndex.end()) fail(1390);
        p_.mainFunction = m->second;
        for (auto& f : p_.functions) f.entry = -1;
    }

    // A declaration's type and names; leaves pos_ after the ";". In pass one the initialisers
    // are skipped.
    void declareGlobalNames() {
        const int32_t type = typeAt();
        if (type < 0) fail(isIdent() && !isReserved(word()) ? 1340 : 1381);
        advance();
        for (;;) {
            if (!isIdent()) fail(1341);
            if (isReserved(word())) fail(1342);
            for (const ScriptGlobal& g : p_.globals)
                if (g.name == word()) fail(1343);
            p_.globals.push_back(ScriptGlobal{type, word(), lineHere()});
            globalSlots_.emplace(word(), static_cast<int32_t>(p_.globals.size() - 1));
            advance();
            if (is("c=")) {
                int depth = 0;
                while (pos_ < t_.size() && !(depth == 0 && (is("c,") || is("c;")))) {
                    if (is("c(") || is("c[") || is("c{")) ++depth;
                    if (is("c)") || is("c]") || is("c}")) --depth;
                    advance();
                }
            }
            if (is("c,")) {
                advance();
                continue;
            }
            if (is("c;")) {
                advance();
                return;
            }
            fail(1344);
        }
    }

    void compileGlobals() {
        const int32_t type = typeAt();
        advance();
        fn_ = nullptr;
        depth_ = 0;
        p_.globalInits.push_back(here());
        emit(kOpStatement, 0, -1);
        for (;;) {
            const int32_t slot = globalSlots_.at(word());
            advance();
            emitValue(kOpDeclare, InitialValue(type));
            if (is("c=")) {
                advance();
                if (is("c,") || is("c;")) fail(1410);
                depth_ = 0;
                assignment();
                emitBind(kModeVarTop, -1, kModeVarBase, slot, true);
                emit(kOpDrop);
                // The first pass skipped initialisers, so what follows one is checked only here.
                if (!is("c,") && !is("c;")) fail(1344);
            }
            depth_ = 0;
            if (is("c,")) {
                advance();
                continue;
            }
            advance();  // ";" (checked in pass one)
            break;
        }
        emit(kOpReturn);
    }

    void compileFunction() {
        ScriptFunction h = header();
        if (is("c;")) {
            advance();
            return;
        }
        const int32_t index = p_.functionIndex.at(h.name);
        ScriptFunction& f = p_.functions[static_cast<size_t>(index)];
        f.entry = here();
        fn_ = &f;
        depth_ = 0;
        scopes_.assign(1, {});
        ++scopeVersion_;
        loops_.clear();
        advance();  // "{"
        while (!is("c}")) {
            if (pos_ >= t_.size()) fail(1381);
            statement();
        }
        emitReturn();
        advance();
        fn_ = nullptr;
    }

    void emitReturn() {
        dropTo(0);
        if (!fn_->params.empty()) emit(kOpArgTop, -static_cast<int32_t>(fn_->params.size()));
        emit(kOpReturn);
    }

    void emitMainStub() {
        const ScriptFunction& m = p_.functions[static_cast<size_t>(p_.mainFunction)];
        p_.entry = here();
        emit(kOpVarTop, 1);
        emitValue(kOpFill, Tdata(), kModeVarTop, -1);
        if (!m.params.empty()) {
            emit(kOpMainArgs);
            emit(kOpArgTop, 1);
            emitValue(kOpFill, InitialValue(kTypeArray), kModeArgTop, -1);
            emitBind(kModeVarTop, -1, kModeArgTop, -1);
            emit(kOpVarTop, -1);
        }
        emitJump(kOpFramePush, m.entry);
        emit(kOpCall);
        emitJump(kOpJump, m.entry);
        emit(kOpFramePop);
        emit(kOpReturn);
    }

    // ---- statements ----
    struct Nest {
        int& n;
        const Compiler& c;
        Nest(int& counter, const Compiler& owner) : n(counter), c(owner) {
            if (++n > kMaxNesting) c.fail(1420);
        }
        ~Nest() { --n; }
    };

    void openScope() { scopes_.emplace_back(); }

    // A statement marker remembers the locals in view, so a debugger stopped there can find them;
    // statements between two changes of the scopes share one list.
    void emitStatement() {
        auto& scopes = p_.debugScopes;
        if (scopes.empty() || scopeVersion_ != statementVersion_) {
            std::vector<ScriptLocal> view;
            for (const auto& scope : scopes_)
                for (const Local& l : scope) view.push_back(ScriptLocal{l.name, l.slot});
            scopes.push_back(std::move(view));
            statementVersion_ = scopeVersion_;
        }
        emit(kOpStatement, 0, static_cast<int32_t>(scopes.size()) - 1);
    }
    void closeScope() {
        const int32_t n = static_cast<int32_t>(scopes_.back().size());
        if (n > 0) {
            emit(kOpVarTop, -n);
            depth_ -= n;
        }
        scopes_.pop_back();
        ++scopeVersion_;
    }

    void block() {
        advance();  // "{"
        openScope();
        while (!is("c}")) {
            if (pos_ >= t_.size()) fail(1381);
            statement();
        }
        closeScope();
        advance();
    }

    bool atStatementEnd() const { return pos_ >= t_.size() || is("c}"); }

    void statement() {
        Nest guard(nesting_, *this);
        if (is("c{")) {
            block();
            return;
        }
        emitStatement();
        if (is("c;")) {
            advance();
        } else if (is("sif")) {
            ifStatement();
        } else if (is("swhile")) {
            whileStatement();
        } else if (is("sdo")) {
            doStatement();
        } else if (is("sfor")) {
            forStatement();
        } else if (is("sswitch")) {
            switchStatement();
        } else if (is("sbreak") || is("scontinue")) {
            jumpStatement(is("sbreak"));
        } else if (is("sreturn")) {
            returnStatement();
        } else if (is("selse")) {
            fail(1363);
        } else if (isFunctionStart()) {
            fail(1308);
        } else if (typeAt() >= 0) {
            declaration();
        } else if (isIdent() && isIdent(1) && !isReserved(word())) {
            fail(1340);
        } else if (is("scase") || is("sdefault") || is("svoid")) {
            fail(1381);
        } else {
            expression();
            emit(kOpDrop);
            --depth_;
            if (!is("c;")) fail(1381);
            advance();
        }
    }

    void declaration() {
        const int32_t type = typeAt();
        advance();
        for (;;) {
            if (!isIdent()) fail(1341);
            if (isReserved(word())) fail(1342);
            for (const Local& l : scopes_.back())
                if (l.name == word()) fail(1343);
            const std::string name = word();
            advance();
            emitValue(kOpDeclare, InitialValue(type));
            scopes_.back().push_back(Local{name, depth_});
            ++scopeVersion_;
            ++depth_;
            if (is("c=")) {
                advance();
                if (is("c,") || is("c;")) fail(1410);
                assignment();
                emitBind(kModeVarTop, -1, kModeVarTop, -2, true);
                emit(kOpDrop);
                --depth_;
            }
            if (is("c,")) {
                advance();
                continue;
            }
            if (is("c;")) {
                advance();
                return;
            }
            fail(1344);
        }
    }

    // "(" condition ")" leaving the condition on the stack.
    void condition(int32_t missingParen) {
        expect("c(", missingParen);
        expression();
        expect("c)", 1420);
    }

    // Branches on the condition on the stack top; returns the jump taken when it is false.
    int32_t branchIfFalse() {
        const int32_t toTrue = emitJump(kOpJumpIfTrue);
        emit(kOpDrop);
        const int32_t toFalse = emitJump(kOpJump);
        patch(toTrue, here());
        emit(kOpDrop);
        --depth_;
        return toFalse;
    }

    void ifStatement() {
        advance();
        condition(1361);
        const int32_t toElse = branchIfFalse();
        if (atStatementEnd()) fail(1360);
        statement();
        if (is("selse")) {
            advance();
            const int32_t toEnd = emitJump(kOpJump);
            patch(toElse, here());
            if (atStatementEnd()) fail(1360);
            statement();
            patch(toEnd, here());
        } else {
            patch(toElse, here());
        }
    }

    void endLoop(int32_t continueTarget, int32_t breakTarget) {
        Loop& l = loops_.back();
        for (int32_t j : l.continues) patch(j, continueTarget);
        for (int32_t j : l.breaks) patch(j, breakTarget);
        loops_.pop_back();
    }

    void whileStatement() {
        advance();
        const int32_t top = here();
        condition(1371);
        const int32_t toEnd = branchIfFalse();
        if (atStatementEnd()) fail(1370);
        loops_.push_back(Loop{false, depth_, {}, {}});
        statement();
        emitJump(kOpJump, top);
        patch(toEnd, here());
        endLoop(top, here());
    }

    void doStatement() {
        advance();
        const int32_t top = here();
        if (atStatementEnd()) fail(1370);
        loops_.push_back(Loop{false, depth_, {}, {}});
        statement();
        const int32_t cont = here();
        expect("swhile", 1371);
        condition(1371);
        const int32_t toTrue = emitJump(kOpJumpIfTrue);
        emit(kOpDrop);
        const int32_t toEnd = emitJump(kOpJump);
        patch(toTrue, here());
        emit(kOpDrop);
        --depth_;
        emitJump(kOpJump, top);
        patch(toEnd, here());
        expect("c;", 1381);
        endLoop(cont, here());
    }

    void forStatement() {
        advance();
        expect("c(", 1351);
        openScope();
        if (typeAt() >= 0 && isIdent(1)) {
            declaration();
        } else {
            if (!is("c;")) {
                expression();
                emit(kOpDrop);
                --depth_;
            }
            expect("c;", 1353);
        }
        const int32_t top = here();
        int32_t toEnd = -1;
        if (!is("c;")) {
            expression();
            toEnd = branchIfFalse();
        }
        expect("c;", 1353);
        // The step is compiled after the body: remember where it is and skip it for now.
        const size_t stepAt = pos_;
        int paren = 0;
        while (pos_ < t_.size() && !(paren == 0 && is("c)"))) {
            if (is("c(")) ++paren;
            if (is("c)")) --paren;
            advance();
        }
        expect("c)", 1353);
        if (atStatementEnd()) fail(1350);
        loops_.push_back(Loop{false, depth_, {}, {}});
        statement();
        const size_t after = pos_;
        const int32_t cont = here();
        pos_ = stepAt;
        if (!is("c)")) {
            expression();
            if (!is("c)")) fail(1420);
            emit(kOpDrop);
            --depth_;
        }
        pos_ = after;
        emitJump(kOpJump, top);
        if (toEnd >= 0) patch(toEnd, here());
        endLoop(cont, here());
        closeScope();
    }

    void switchStatement() {
        advance();
        if (!is("c(")) fail(1355);
        condition(1355);
        if (!is("c{")) fail(1355);
        advance();
        const int32_t base = depth_;  // the switch value is on the stack
        loops_.push_back(Loop{true, base, {}, {}});
        int32_t pendingTest = emitJump(kOpJump);  // to the first test, or default, or the end
        int32_t defaultAt = -1;
        bool inCase = false;
        openScope();
        while (!is("c}")) {
            if (pos_ >= t_.size()) fail(1355);
            if (is("scase")) {
                closeScope();
                openScope();
                const int32_t skip = emitJump(kOpJump);  // falling through from the case above
                patch(pendingTest, here());
                advance();
                if (is("c:")) fail(1356);
                emitA(kOpPush, kModeVarTop, -1);
                ++depth_;
                binary(1);
                callSystem("#op_isEqual", 2);
                const int32_t toMatch = emitJump(kOpJumpIfTrue);
                emit(kOpDrop);
                pendingTest = emitJump(kOpJump);
                patch(toMatch, here());
                emit(kOpDrop);
                --depth_;
                patch(skip, here());
                expect("c:", 1356);
                inCase = true;
            } else if (is("sdefault")) {
                if (defaultAt >= 0 || !is("c:", 1)) fail(1357);
                closeScope();
                openScope();
                defaultAt = here();
                advance();
                advance();
                inCase = true;
            } else {
                if (!inCase) fail(1355);
                statement();
            }
        }
        closeScope();
        advance();
        const int32_t toEnd = emitJump(kOpJump);
        patch(pendingTest, defaultAt >= 0 ? defaultAt : here());
        patch(toEnd, here());
        endLoop(-1, here());
        emit(kOpDrop);
        depth_ = base - 1;
    }

    void jumpStatement(bool isBreak) {
        advance();
        if (!is("c;")) fail(isBreak ? 1320 : 1330);
        Loop* target = nullptr;
        for (auto it = loops_.rbegin(); it != loops_.rend(); ++it)
            if (isBreak || !it->isSwitch) {
                target = &*it;
                break;
            }
        if (target == nullptr) fail(isBreak ? 1321 : 1331);
        advance();
        const int32_t saved = depth_;
        dropTo(target->depth);
        depth_ = saved;
        (isBreak ? target->breaks : target->continues).push_back(emitJump(kOpJump));
    }

    void returnStatement() {
        advance();
        if (fn_ == nullptr) fail(1381);
        const int32_t saved = depth_;
        if (is("c;")) {
            if (fn_->returnType >= 0) fail(1313);
        } else {
            if (fn_->returnType == kTypeVoid) fail(1311);
            expression();
            emitBind(kModeVarTop, -1, kModeVarTop, -depth_ - 1);
            if (!is("c;")) fail(1381);
        }
        advance();
        emitReturn();
        depth_ = saved;
    }

    // ---- expressions: each leaves exactly one slot on the variable stack ----
    void expression() { assignment(); }

    static int Strength(const std::string& t) {
        static const std::unordered_map<std::string, int> kStrength = [] {
            std::unordered_map<std::string, int> m;
            for (const auto& op : GetScriptBinaryOperators()) m.emplace(std::string("c") + op.text, op.strength);
            return m;
        }();
        auto it = kStrength.find(t);
        return it == kStrength.end() ? -1 : it->second;
    }

    static const char* OperatorFunction(const std::string& t) {
        static const std::unordered_map<std::string, const char*> kNames = {
            {"c==", "#op_isEqual"},      {"c!=", "#op_isNotEqual"},     {"c<", "#op_isSmaller"},
            {"c<=", "#op_isSmallerOrEqual"}, {"c>", "#op_isLarger"},    {"c>=", "#op_isLargerOrEqual"},
            {"c+", "#op_add"},           {"c-", "#op_subtract"},        {"c|", "#op_or"},
            {"c*", "#op_mul"},           {"c/", "#op_div"},             {"c%", "#op_mod"},
            {"c^", "#op_xor"},           {"c&", "#op_and"},             {"c<<", "#op_shiftleft"},
            {"c>>", "#op_shiftright"},   {"c=", "#op_equal"},           {"c+=", "#op_addequal"},
            {"c-=", "#op_subtractequal"}, {"c*=", "#op_mulequal"},      {"c/=", "#op_divequal"},
            {"c%=", "#op_modequal"},     {"c&=", "#op_andequal"},       {"c^=", "#op_xorequal"},
            {"c|=", "#op_orequal"},      {"c<<=", "#op_shiftleftequal"}, {"c>>=", "#op_shiftrightequal"}};
        return kNames.at(t);
    }

    void assignment() {
        Nest guard(nesting_, *this);
        conditional();
        if (Strength(tok()) != 0) return;
        const std::string op = tok();
        advance();
        if (is("c;") || is("c)") || is("c,") || is("c]") || is("c}") || pos_ >= t_.size()) fail(1410);
        assignment();
        callSystem(OperatorFunction(op), 2);
    }

    void conditional() {
        binary(1);
        if (!is("c?")) return;
        advance();
        const int32_t toTrue = emitJump(kOpJumpIfTrue);
        emit(kOpDrop);
        const int32_t toElse = emitJump(kOpJump);
        patch(toTrue, here());
        emit(kOpDrop);
        --depth_;
        assignment();
        const int32_t toEnd = emitJump(kOpJump);
        if (!is("c:")) fail(1414);
        advance();
        patch(toElse, here());
        --depth_;
        conditional();
        patch(toEnd, here());
    }

    // Short circuit: the result is a fresh bool, the right side runs only when needed.
    void shortCircuit(bool isOr, int strength) {
        const int32_t decided = isOr ? emitJump(kOpJumpIfTrue) : -1;
        int32_t toRight = -1;
        if (!isOr) toRight = emitJump(kOpJumpIfTrue);
        emit(kOpDrop);
        --depth_;
        int32_t toFalseEnd = -1;
        if (!isOr) {
            emitValue(kOpDeclare, Tdata(false));
            toFalseEnd = emitJump(kOpJump);
            patch(toRight, here());
            emit(kOpDrop);
        }
        binary(strength + 1);
        const int32_t rightTrue = emitJump(kOpJumpIfTrue);
        emit(kOpDrop);
        emitValue(kOpDeclare, Tdata(false));
        const int32_t toEnd = emitJump(kOpJump);
        patch(rightTrue, here());
        if (decided >= 0) patch(decided, here());
        emit(kOpDrop);
        emitValue(kOpDeclare, Tdata(true));
        patch(toEnd, here());
        if (toFalseEnd >= 0) patch(toFalseEnd, here());
    }

    void binary(int minStrength) {
        Nest guard(nesting_, *this);
        unary();
        for (;;) {
            const int s = Strength(tok());
            if (s < 1 || s < minStrength) return;
            const std::string op = tok();
            advance();
            if (op == "c||" || op == "c&&") {
                shortCircuit(op == "c||", s);
                continue;
            }
            binary(s + 1);
            callSystem(OperatorFunction(op), 2);
        }
    }

    void unary() {
        Nest guard(nesting_, *this);
        static const std::unordered_map<std::string, const char*> kPrefix = {
            {"c!", "#op_not"}, {"c~", "#op_bitnot"}, {"c++", "#op_preinc"},
            {"c--", "#op_predec"}, {"c+", "#op_positive"}, {"c-", "#op_negative"}};
        // The smallest int has no positive literal to negate, so it is taken as one constant.
        if (is("c-") && is("v2147483648", 1)) {
            advance();
            constant(Tdata(INT32_MIN));
            ++depth_;
            advance();
            return;
        }
        auto it = kPrefix.find(tok());
        if (it != kPrefix.end()) {
            advance();
            unary();
            callSystem(it->second, 1);
            return;
        }
        if (is("c(") && (is("sint", 1) || is("sdouble", 1)) && is("c)", 2)) {
            const char* fn = is("sint", 1) ? "toInt" : "toDouble";
            advance();
            advance();
            advance();
            unary();
            callSystem(fn, 1);
            return;
        }
        postfix();
    }

    int32_t arguments() {
        expect("c(", 1420);
        int32_t n = 0;
        if (is("c)")) {
            advance();
            return 0;
        }
        for (;;) {
            assignment();
            ++n;
            if (is("c,")) {
                advance();
                continue;
            }
            expect("c)", 1420);
            return n;
        }
    }

    void postfix() {
        primary();
        for (;;) {
            if (is("c[")) {
                advance();
                expression();
                expect("c]", 1420);
                emit(kOpIndex, 0, 2);
                --depth_;
            } else if (is("c.")) {
                advance();
                if (!isIdent()) fail(1420);
                const std::string name = word();
                const int32_t method = GetScriptMethodNumber(name);
                advance();
                int32_t n = 0;
                if (is("c(")) n = arguments();
                // The name stays with the call for methods the host registers per type.
                p_.code[static_cast<size_t>(emit(kOpMethod, method, 1 + n))].name = name;
                depth_ -= n;
            } else if (is("c++") || is("c--")) {
                const char* fn = is("c++") ? "#op_postinc" : "#op_postdec";
                advance();
                callSystem(fn, 1);
            } else {
                return;
            }
        }
    }

    bool variable(const std::string& name) {
        for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
            for (auto l = s->rbegin(); l != s->rend(); ++l)
                if (l->name == name) {
                    emitA(kOpPush, kModeVarTop, l->slot - depth_);
                    ++depth_;
                    return true;
                }
        if (fn_ != nullptr)
            for (size_t k = 0; k < fn_->params.size(); ++k)
                if (fn_->params[k].name == name) {
                    emitA(kOpPush, kModeArgBase, static_cast<int32_t>(k));
                    ++depth_;
                    return true;
                }
        auto g = globalSlots_.find(name);
        if (g == globalSlots_.end()) return false;
        emitA(kOpPush, kModeVarBase, g->second);
        ++depth_;
        return true;
    }

    void primary() {
        const std::string& t = tok();
        if (t.empty()) fail(1420);
        switch (t[0]) {
            case 'v': {
                // The lexer leaves a decimal literal beyond the int range as its digits; no int
                // is written with more than 12 characters ("v-2147483648").
                const long long v = t.size() > 12 ? INT64_MAX : std::strtoll(t.c_str() + 1, nullptr, 10);
                if (v > INT32_MAX || v < INT32_MIN) fail(1420);
                constant(Tdata(static_cast<int>(v)));
                ++depth_;
                advance();
                return;
            }
            case 'd':
                constant(Tdata(std::strtod(t.c_str() + 1, nullptr)));
                ++depth_;
                advance();
                return;
            case 'r':
                constant(Tdata(t.substr(1)));
                ++depth_;
                advance();
                return;
            case 'b':
                constant(Tdata(t[1] == 't' || t[1] == 'T'));
                ++depth_;
                advance();
                return;
            default: break;
        }
        if (is("c(")) {
            advance();
            expression();
            expect("c)", 1420);
            return;
        }
        if (is("c{")) {
            advance();
            int32_t n = 0;
            if (!is("c}")) {
                for (;;) {
                    assignment();
                    ++n;
                    if (is("c,")) {
                        advance();
                        continue;
                    }
                    break;
                }
            }
            expect("c}", 1420);
            callSystem("#op_initArray", n);
            return;
        }
        if (is("c=")) fail(1410);
        if (!isIdent()) fail(1420);
        const std::string name = word();
        if (name == "null") {
            advance();
            emit(kOpVarTop, 1);
            emitValue(kOpFill, Tdata(), kModeVarTop, -1);
            ++depth_;
            return;
        }
        if (is("c(", 1)) {
            call(name);
            return;
        }
        if (isReserved(name) || !variable(name)) fail(1420);
        advance();
    }

    void call(const std::string& name) {
        const size_t at = pos_;
        advance();
        const int32_t callerParams = fn_ ? static_cast<int32_t>(fn_->params.size()) : 0;
        if (name == "callFuncByName") {
            emit(kOpVarTop, 1);
            emitValue(kOpFill, Tdata(), kModeVarTop, -1);
            ++depth_;
            const int32_t n = arguments();
            if (n < 1) {
                pos_ = at;
                fail(1411);
            }
            emit(kOpCallByName, n, callerParams);
            emit(kOpNop);
            emit(kOpFramePop);
            emit(kOpArgBase, -callerParams);
            depth_ -= n;
            return;
        }
        auto f = p_.functionIndex.find(name);
        if (f != p_.functionIndex.end()) {
            const ScriptFunction& fn = p_.functions[static_cast<size_t>(f->second)];
            const int32_t returnType = fn.returnType == kScriptUntypedReturn ? kTypeVoid : fn.returnType;
            const std::vector<ScriptParam> params = fn.params;
            emit(kOpVarTop, 1);
            emitValue(kOpFill, InitialValue(returnType), kModeVarTop, -1);
            ++depth_;
            const int32_t n = arguments();
            const int32_t np = static_cast<int32_t>(params.size());
            if (n != np) {
                pos_ = at;
                fail(1411);
            }
            if (np > 0) {
                emit(kOpArgTop, np);
                for (int32_t k = 0; k < np; ++k) {
                    Tdata init = InitialValue(params[static_cast<size_t>(k)].type);
                    if (params[static_cast<size_t>(k)].byRef) {
                        init = Tdata(kTypeReference, nullptr);
                        init.value.ref = -1;
                    }
                    emitValue(kOpFill, init, kModeArgTop, -np + k);
                }
                for (int32_t k = 0; k < np; ++k) emitBind(kModeVarTop, -np + k, kModeArgTop, -np + k);
                emit(kOpVarTop, -np);
                depth_ -= np;
            }
            callPatches_.emplace_back(emitJump(kOpFramePush), f->second);
            if (callerParams) emit(kOpArgBase, callerParams);
            emit(kOpCall);
            callPatches_.emplace_back(emitJump(kOpJump), f->second);
            emit(kOpFramePop);
            if (callerParams) emit(kOpArgBase, -callerParams);
            return;
        }
        int32_t number = FindScriptSystemFunction(name);
        auto h = hosts_.find(name);
        if (number < 0 && h != hosts_.end()) number = h->second;
        // An unknown name is found out at run time (10301), as calls by name are.
        const int32_t n = arguments();
        emit(kOpCallSystem, number, n);
        depth_ += 1 - n;
    }

    const ScriptTokenList& t_;
    const ScriptSourceTable& lines_;
    const std::string& main_;
    ScriptProgram& p_;
    std::unordered_map<std::string, int32_t> hosts_;
    std::unordered_map<std::string, int32_t> globalSlots_;
    std::vector<std::pair<int32_t, int32_t>> callPatches_;  // instruction -> function
    size_t pos_ = 0;
    const ScriptFunction* fn_ = nullptr;
    int32_t depth_ = 0;
    std::vector<std::vector<Local>> scopes_;
    uint64_t scopeVersion_ = 0;      // bumped by every change of scopes_
    uint64_t statementVersion_ = 0;  // the version the last debug scope was taken at
    std::vector<Loop> loops_;
    int nesting_ = 0;
};

}  // namespace

bool CompileScript(const ScriptFrontEndResult& front, const std::vector<std::string>& hostNames,
                   ScriptProgram& program, ScriptError& error) {
    error = ScriptError();
    try {
        Compiler(front, hostNames, program).run();
        return true;
    } catch (ScriptError& e) {
        error = std::move(e);
        program = ScriptProgram();
        return false;
    }
}

namespace {

// Both entry points share everything after the front end: compile, then run in a fresh engine that
// keeps the source lines so run-time errors can name them.
bool CompileAndRun(ScriptFrontEndResult& front, const std::vector<std::string>& args, std::string* printSink,
                   std::string& errorText) {
    ScriptError err;
    ScriptProgram program;
    if (!CompileScript(front, {}, program, err)) {
        errorText = err.text;
        return false;
    }
    ScriptEngine engine;
    engine.program = &program;
    engine.sourceLines = std::move(front.lines);
    engine.mainFile = front.mainFile;
    engine.scriptArgs = args;
    engine.printSink = printSink;
    return engine.run(errorText);
}

}  // namespace

bool RunKeloScriptText(const std::string& name, const std::string& text, const std::vector<std::string>& args,
                       std::string* printSink, std::string& errorText) {
    errorText.clear();
    ScriptFrontEndResult front;
    ScriptError err;
    if (!RunScriptFrontEndOnText(name, text, front, err)) {
        errorText = err.text;
        return false;
    }
    return CompileAndRun(front, args, printSink, errorText);
}

bool RunKeloScriptFile(const std::string& fileName, const std::vector<std::string>& args, std::string* printSink,
                       std::string& errorText) {
    errorText.clear();
    ScriptFrontEndResult front;
    ScriptError err;
    if (!RunScriptFrontEnd(fileName, front, err)) {
        errorText = err.text;
        return false;
    }
    return CompileAndRun(front, args, printSink, errorText);
}

}  // namespace kelo
