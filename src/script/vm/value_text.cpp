// The text form of script values, used by print, toString, message, the debugger and error texts.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"
#include "script/vm/value_walk.h"

namespace kelo {

namespace {

void AppendLimited(std::string& out, const std::string& s, int limit) {
    if (limit < 0) limit = 0;
    if (s.size() > static_cast<size_t>(limit)) {
        out.append(s, 0, static_cast<size_t>(limit));
        out += " ...";
    } else {
        out += s;
    }
}

// Containers print as "[n]{a, b, ...}" (maps "k : v"); each element gets the limit reduced by
// the length of its container's text so far. Nested containers are walked with an explicit
// stack: every open container is a frame whose text starts at `start` in the one output buffer.
class Printer {
public:
    Printer(std::string& out, ScriptEngine* e) : out_(out), e_(e) {}

    void value(const Tdata& v, int64_t limit) {
        begin(v, limit);
        while (!stack_.empty()) step();
    }

private:
    enum Phase { kNext, kAfterKey, kAfterElement };
    struct Frame {
        detail::CellCursor c;
        size_t start;
        int64_t limit;
        bool first;
        Phase phase;
    };

    // Starts printing v: scalars are written at once, a container opens a frame.
    void begin(const Tdata& vIn, int64_t limit) {
        const Tdata* v = &vIn;
        if (v->dataType == kTypeReference) {
            if (e_ == nullptr) return;
            const int32_t i = e_->resolve(v->value.ref);
            if (!e_->validCell(i) || e_->cells[i].dataType == kTypeReference) return;
            v = &e_->cells[i];
        }
        if (!IsContainerType(v->dataType)) {
            AppendFlat(out_, *v, static_cast<int>(std::max<int64_t>(std::min<int64_t>(limit, INT32_MAX), INT32_MIN)));
            return;
        }
        const detail::CellCursor c(*v);
        const size_t start = out_.size();
        out_ += "[" + std::to_string(c.size()) + "]";
        if (static_cast<int64_t>(out_.size() - start) + 1 > limit) {
            out_ += "{ ... }";
            return;
        }
        out_ += "{";
        stack_.push_back({c, start, limit, true, kNext});
    }

    void beginCell(int32_t i, const Frame& f) {
        const int64_t lim = f.limit - static_cast<int64_t>(out_.size() - f.start);
        if (e_ == nullptr || !e_->validCell(i)) return;
        begin(e_->cells[i], lim);  // may open a frame: f is not used afterwards
    }

    void step() {
        Frame& f = stack_.back();
        const int64_t used = static_cast<int64_t>(out_.size() - f.start);
        switch (f.phase) {
            case kNext: {
                if (f.c.done()) {
                    out_ += "}";
                    stack_.pop_back();
                    return;
                }
                if (!f.first) out_ += ", ";
                f.first = false;
                const int32_t cell = f.c.key();
                if (detail::IsPairContainer(f.c.type())) {
                    f.phase = kAfterKey;
                } else {
                    f.phase = kAfterElement;
                    f.c.next();
                }
                beginCell(cell, f);
                return;
            }
            case kAfterKey: {
                if (used + 4 > f.limit) {
                    out_ += " ... }";
                    stack_.pop_back();
                    return;
                }
                out_ += " : ";
                const int32_t cell = f.c.value();
                f.c.next();
                f.phase = kAfterElement;
                beginCell(cell, f);
                return;
            }
            case kAfterElement:
                if (used + 1 > f.limit) {
                    out_ += " ... }";
                    stack_.pop_back();
                    return;
                }
                f.phase = kNext;
                return;
        }
    }

    static void AppendFlat(std::string& out, const Tdata& v, int limit) {
        switch (v.dataType) {
            case kTypeVoid: out += "void"; return;
            case kTypeBool: out += v.value.b ? "true" : "false"; return;
            case kTypeInt: out += std::to_string(v.value.i); return;
            case kTypeDouble: out += FormatScriptDouble(v.value.d); return;
            case kTypeString: AppendLimited(out, *v.value.s, limit); return;
            case kTypePoint: {
                Point3D p = v.getPoint();
                out += "(" + FormatScriptDouble(p.x) + ", " + FormatScriptDouble(p.y) + ", " + FormatScriptDouble(p.z) +
                       ")";
                return;
            }
            case kTypeBox:
                out += "(" + FormatScriptDouble(v.value.box[0]) + ", " + FormatScriptDouble(v.value.box[1]) + ", " +
                       FormatScriptDouble(v.value.box[2]) + ", " + FormatScriptDouble(v.value.box[3]) + ")";
                return;
            default:
                if (IsHandleType(v.dataType)) out += GetScriptTypeName(v.dataType);
                return;
        }
    }

    std::string& out_;
    ScriptEngine* e_;
    std::vector<Frame> stack_;
};

}  // namespace

std::string FormatScriptDouble(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", d);
    std::string s = buf;
    size_t e = s.find('e');
    if (e != std::string::npos) {
        std::string mantissa = s.substr(0, e);
        std::string exp = s.substr(e + 1);
        std::string sign;
        if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) {
            if (exp[0] == '-') sign = "-";
            exp.erase(0, 1);
        }
        size_t nz = exp.find_first_not_of('0');
        exp = nz == std::string::npos ? "0" : exp.substr(nz);
        if (mantissa.find('.') == std::string::npos) mantissa += ".0";
        return mantissa + "e" + sign + exp;
    }
    if (s.find('.') == std::string::npos) s += ".0";
    return s;
}

std::string toString(const Tdata& v, int limit) {
    std::string out;
    Printer(out, GetCurrentScriptEngine()).value(v, limit);
    return out;
}

}  // namespace kelo
