// String functions (byte positions from 0), after the host string class they are named for.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "script/vm/builtins.h"

namespace kelo::detail {

namespace {

bool Result(const SysCall& c, const Tdata& v) {
    c.setResult(v);
    return true;
}

// Clamps a start/count pair to the text, as the host string class does.
std::string Mid(const std::string& s, int64_t start, int64_t count) {
    if (start < 0) start = 0;
    if (count < 0) count = 0;
    if (start >= static_cast<int64_t>(s.size())) return std::string();
    return s.substr(static_cast<size_t>(start), static_cast<size_t>(count));
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

size_t Position(const SysCall& c, int i, size_t size, bool allowEnd) {
    const int32_t k = c.integer(i);
    if (k < 0 || static_cast<size_t>(k) > size || (!allowEnd && static_cast<size_t>(k) == size)) c.fail(10310);
    return static_cast<size_t>(k);
}

bool GetLength(const SysCall& c) { return Result(c, Tdata(static_cast<int>(c.text(0).size()))); }
bool MidFn(const SysCall& c) {
    const std::string& s = c.text(0);
    int64_t count = c.argc == 3 ? c.integer(2) : static_cast<int64_t>(s.size());
    return Result(c, Tdata(Mid(s, c.integer(1), count)));
}
bool Left(const SysCall& c) { return Result(c, Tdata(Mid(c.text(0), 0, c.integer(1)))); }
bool Right(const SysCall& c) {
    const std::string& s = c.text(0);
    int64_t n = std::clamp<int64_t>(c.integer(1), 0, static_cast<int64_t>(s.size()));
    return Result(c, Tdata(s.substr(s.size() - static_cast<size_t>(n))));
}
bool Find(const SysCall& c) {
    const std::string& s = c.text(0);
    const std::string& sub = c.text(1);
    int64_t start = c.argc == 3 ? c.integer(2) : 0;
    if (start < 0 || start > static_cast<int64_t>(s.size())) return Result(c, Tdata(-1));
    size_t p = s.find(sub, static_cast<size_t>(start));
    return Result(c, Tdata(p == std::string::npos ? -1 : static_cast<int>(p)));
}
bool ReverseFind(const SysCall& c) {
    const std::string& s = c.text(0);
    const std::string& ch = c.text(1);
    if (ch.empty()) return Result(c, Tdata(-1));
    size_t p = s.rfind(ch[0]);
    return Result(c, Tdata(p == std::string::npos ? -1 : static_cast<int>(p)));
}
// Replaces every occurrence in place and gives the number of replacements.
bool Replace(const SysCall& c) {
    std::string& s = c.text(0);
    const std::string from = c.text(1), to = c.text(2);
    int n = 0;
    if (!from.empty()) {
        std::string out;
        size_t i = 0;
        for (size_t p; (p = s.find(from, i)) != std::string::npos; i = p + from.size(), ++n) {
            c.textFits(out.size() + (p - i) + to.size());
            out.append(s, i, p - i).append(to);
        }
        c.textFits(out.size() + (s.size() - i));
        out.append(s, i);
        s.swap(out);
    }
    return Result(c, Tdata(n));
}
bool MakeUpper(const SysCall& c) {
    for (char& ch : c.text(0))
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    return Result(c, c.arg(0));
}
bool MakeLower(const SysCall& c) {
    for (char& ch : c.text(0))
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + 32);
    return Result(c, c.arg(0));
}
bool MakeReverse(const SysCall& c) {
    std::reverse(c.text(0).begin(), c.text(0).end());
    return Result(c, c.arg(0));
}
bool CompareFn(const SysCall& c) { return Result(c, Tdata(Sign(std::strcmp(c.text(0).c_str(), c.text(1).c_str())))); }
bool CompareNoCase(const SysCall& c) {
    return Result(c, Tdata(Sign(strcasecmp(c.text(0).c_str(), c.text(1).c_str()))));
}
template <bool LeftSide>
bool Trim(const SysCall& c) {
    std::string& s = c.text(0);
    const std::string set = c.argc == 2 ? c.text(1) : std::string(" \t\r\n\f\v");
    if (LeftSide) {
        size_t p = s.find_first_not_of(set);
        s.erase(0, p == std::string::npos ? s.size() : p);
    } else {
        size_t p = s.find_last_not_of(set);
        s.erase(p == std::string::npos ? 0 : p + 1);
    }
    return Result(c, c.arg(0));
}
bool Tokenize(const SysCall& c) {
    const std::string s = c.text(0);
    const std::string delims = c.text(1);
    Tdata& pos = c.typed(2, kTypeInt);
    const int32_t start = pos.value.i;
    std::string token;
    if (start < 0 || static_cast<size_t>(start) >= s.size()) {
        pos.value.i = -1;
        return Result(c, Tdata(token));
    }
    size_t b = s.find_first_not_of(delims, static_cast<size_t>(start));
    if (b == std::string::npos) {
        pos.value.i = -1;
        return Result(c, Tdata(token));
    }
    size_t e = s.find_first_of(delims, b);
    if (e == std::string::npos) e = s.size();
    pos.value.i = static_cast<int32_t>(e);
    return Result(c, Tdata(s.substr(b, e - b)));
}
bool SetAt(const SysCall& c) {
    std::string& s = c.text(0);
    size_t i = Position(c, 1, s.size(), false);
    const std::string& ch = c.text(2);
    if (ch.empty()) c.fail(10304);
    c.text(0)[i] = ch[0];
    return Result(c, c.arg(0));
}
bool IsEmpty(const SysCall& c) { return Result(c, Tdata(c.text(0).empty())); }
bool GetAt(const SysCall& c) {
    const std::string& s = c.text(0);
    return Result(c, Tdata(std::string(1, s[Position(c, 1, s.size(), false)])));
}
bool InsertAt(const SysCall& c) {
    size_t i = Position(c, 1, c.text(0).size(), true);
    const std::string add = c.text(2);
    c.textFits(c.text(0).size() + add.size());
    c.text(0).insert(i, add);
    return Result(c, Tdata(static_cast<int>(c.text(0).size())));
}
// Removes count bytes from position i and gives the new length.
bool RemoveAt(const SysCall& c) {
    std::string& s = c.text(0);
    size_t i = Position(c, 1, s.size(), false);
    int32_t n = c.integer(2);
    if (n < 0) c.fail(10310);
    s.erase(i, static_cast<size_t>(n));
    return Result(c, Tdata(static_cast<int>(s.size())));
}
bool Format(const SysCall& c) {
    std::string out;
    int32_t r = FormatScriptValues(c.e, c.args, c.argc, 0, out);
    if (r == 10303 || r == 10304 || r == 10100) c.fail(r);
    if (r != 0) return false;
    return Result(c, Tdata(out));
}

}  // namespace

namespace {

// One conversion appended in full, however long: the length is measured first, so a wide field
// or a long precision ("%.400f" of 1e300) is never cut. 10100 past the text limit, -1 for a
// directive the C library refuses.
template <typename T>
int32_t AppendFormatted(std::string& out, const char* conversion, T value) {
    const int n = std::snprintf(nullptr, 0, conversion, value);
    if (n < 0) return -1;
    if (out.size() + static_cast<size_t>(n) > kScriptMaxTextBytes) return 10100;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) + 1);
    std::snprintf(out.data() + at, static_cast<size_t>(n) + 1, conversion, value);
    out.resize(at + static_cast<size_t>(n));
    return 0;
}

}  // namespace

int32_t FormatScriptValues(ScriptEngine& e, const int32_t* args, int32_t argc, int32_t formatArg, std::string& out) {
    out.clear();
    if (formatArg < 0 || formatArg >= argc) return 10303;
    const Tdata& f = e.cells[e.resolve(args[formatArg])];
    if (f.dataType != kTypeString) return 10304;
    const std::string& fmt = *f.value.s;
    int32_t next = formatArg + 1;
    for (size_t i = 0; i < fmt.size();) {
        if (fmt[i] != '%') {
            out += fmt[i++];
            continue;
        }
        if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        // One conversion: flags, width, precision, length letters, then the conversion letter.
        size_t j = i + 1;
        while (j < fmt.size() && std::strchr("-+ #0123456789.", fmt[j])) ++j;
        while (j < fmt.size() && std::strchr("hlLqjzt", fmt[j])) ++j;
        if (j >= fmt.size()) {
            out += fmt.substr(i);
            break;
        }
        std::string directive = fmt.substr(i, j - i);
        directive.erase(std::remove_if(directive.begin(), directive.end(), [](char ch) { return std::strchr("hlLqjzt", ch); }),
                   directive.end());
        const char conv = fmt[j];
        i = j + 1;
        if (next >= argc) return -1;
        const Tdata& v = e.cells[e.resolve(args[next++])];
        const std::string conversion = directive + conv;
        int32_t r = 0;
        if (std::strchr("diouxXc", conv)) {
            int iv = 0;
            if (v.dataType == kTypeInt) iv = v.value.i;
            else if (v.dataType == kTypeBool) iv = v.value.b;
            else return -1;
            r = AppendFormatted(out, conversion.c_str(), iv);
        } else if (std::strchr("eEfgGaA", conv)) {
            if (v.dataType != kTypeDouble) return -1;
            r = AppendFormatted(out, conversion.c_str(), v.value.d);
        } else if (conv == 's') {
            if (v.dataType != kTypeString) return -1;
            if (directive == "%") {
                if (out.size() + v.value.s->size() > kScriptMaxTextBytes) return 10100;
                out += *v.value.s;
                continue;
            }
            r = AppendFormatted(out, conversion.c_str(), v.value.s->c_str());
        } else {
            return -1;
        }
        if (r != 0) return r;
    }
    return 0;
}

SysFn StringFunction(int32_t n) {
    switch (n) {
        case 83: return GetLength;
        case 84: return MidFn;
        case 85: return Left;
        case 86: return Right;
        case 87: return Find;
        case 88: return Replace;
        case 89: return Format;
        case 90: return MakeUpper;
        case 91: return MakeLower;
        case 92: return MakeReverse;
        case 93: return CompareFn;
        case 94: return CompareNoCase;
        case 95: return ReverseFind;
        case 96: return Trim<true>;
        case 97: return Trim<false>;
        case 98: return Tokenize;
        case 99: return SetAt;
        case 100: return IsEmpty;
        case 101: return GetAt;
        case 102: return InsertAt;
        case 103: return RemoveAt;
        case 178: return GetAt;
        default: return nullptr;
    }
}

}  // namespace kelo::detail
