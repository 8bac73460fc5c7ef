// The text form of script values, used by print, toString, message, the debugger and error texts.
#include <cstdio>
#include <cstring>

#include "script/vm/script_engine.h"
#include "script/vm/value_ops.h"

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

void AppendValue(std::string& out, ScriptEngine* e, const Tdata& v, int limit);

void AppendCell(std::string& out, ScriptEngine* e, int32_t i, int limit) {
    if (e == nullptr || !e->validCell(i)) return;
    AppendValue(out, e, e->cells[i], limit);
}

// "[n]{a, b, ...}" with the limit shrinking as the text grows; each element is printed into its
// own buffer so the remaining limit is measured against this container's text alone.
template <typename C, typename PrintOne>
void AppendContainer(std::string& out, const C& c, int limit, PrintOne printOne) {
    std::string s = "[" + std::to_string(c.size()) + "]";
    if (static_cast<int64_t>(s.size()) + 1 > limit) {
        out += s + "{ ... }";
        return;
    }
    s += "{";
    bool first = true;
    for (const auto& elem : c) {
        if (!first) s += ", ";
        first = false;
        if (!printOne(s, elem, limit)) {
            out += s + " ... }";
            return;
        }
        if (static_cast<int64_t>(s.size()) + 1 > limit) {
            out += s + " ... }";
            return;
        }
    }
    out += s + "}";
}

template <typename C>
void AppendList(std::string& out, ScriptEngine* e, const C& c, int limit) {
    AppendContainer(out, c, limit, [e](std::string& s, int32_t i, int lim) {
        AppendCell(s, e, i, lim - static_cast<int>(s.size()));
        return true;
    });
}

template <typename C>
void AppendPairs(std::string& out, ScriptEngine* e, const C& c, int limit) {
    AppendContainer(out, c, limit, [e](std::string& s, const std::pair<const int32_t, int32_t>& kv, int lim) {
        AppendCell(s, e, kv.first, lim - static_cast<int>(s.size()));
        if (static_cast<int64_t>(s.size()) + 4 > lim) return false;
        s += " : ";
        AppendCell(s, e, kv.second, lim - static_cast<int>(s.size()));
        return true;
    });
}

void AppendValue(std::string& out, ScriptEngine* e, const Tdata& v, int limit) {
    switch (v.dataType) {
        case kTypeVoid: out += "void"; return;
        case kTypeBool: out += v.value.b ? "true" : "false"; return;
        case kTypeInt: out += std::to_string(v.value.i); return;
        case kTypeDouble: out += FormatScriptDouble(v.value.d); return;
        case kTypeString: AppendLimited(out, *v.value.s, limit); return;
        case kTypeArray: AppendList(out, e, *v.value.a, limit); return;
        case kTypeSet: AppendList(out, e, *v.value.set, limit); return;
        case kTypeMultiset: AppendList(out, e, *v.value.mset, limit); return;
        case kTypeMap: AppendPairs(out, e, *v.value.map, limit); return;
        case kTypeMultimap: AppendPairs(out, e, *v.value.mmap, limit); return;
        case kTypePoint: {
            Point3D p = v.getPoint();
            out += "(" + FormatScriptDouble(p.x) + ", " + FormatScriptDouble(p.y) + ", " + FormatScriptDouble(p.z) + ")";
            return;
        }
        case kTypeBox:
            out += "(" + FormatScriptDouble(v.value.box[0]) + ", " + FormatScriptDouble(v.value.box[1]) + ", " +
                   FormatScriptDouble(v.value.box[2]) + ", " + FormatScriptDouble(v.value.box[3]) + ")";
            return;
        case kTypeReference: {
            if (e == nullptr) return;
            int32_t i = e->resolve(v.value.ref);
            if (e->validCell(i) && e->cells[i].dataType != kTypeReference) AppendValue(out, e, e->cells[i], limit);
            return;
        }
        default:
            if (IsHandleType(v.dataType)) out += GetScriptTypeName(v.dataType);
            return;
    }
}

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
    AppendValue(out, GetCurrentScriptEngine(), v, limit);
    return out;
}

}  // namespace kelo
