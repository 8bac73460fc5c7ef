#include "script/front/lexer.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "script/front/char_class.h"
#include "script/vm/tdata.h"
#include "script/vm/value_ops.h"

namespace kelo {

namespace {

using detail::IsBlank;
using detail::IsDigit;
using detail::IsIdentChar;
using detail::IsIdentStart;
int HexDigit(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "TYPE_" and the upper-case type name, to the type code.
const std::unordered_map<std::string, int32_t>& TypeConstants() {
    static const std::unordered_map<std::string, int32_t> table = [] {
        std::unordered_map<std::string, int32_t> t;
        for (int32_t code = 0; code < kScriptTypeNameCount; ++code) {
            std::string name = "TYPE_";
            for (char c : GetScriptTypeName(code)) name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
            t.emplace(name, code);
        }
        return t;
    }();
    return table;
}

const char* const kThreeCharOps[] = {"<<=", ">>="};
const char* const kTwoCharOps[] = {"==", "<=", ">=", "!=", "&&", "||", "++", "--", "+=",
                                   "-=", "*=", "/=", "%=", "&=", "^=", "|=", "<<", ">>"};
const char kOneCharOps[] = "()[]{};,.?:~!+-*/%&|^<>=";

class Lexer {
public:
    Lexer(const ScriptSourceTable& lines, const std::string& mainFile, ScriptTokenList& out)
        : lines_(lines), main_(mainFile), out_(out) {}

    void run() {
        out_.clear();
        for (size_t li = 0; li < lines_.size(); ++li) {
            line_ = static_cast<int32_t>(li);
            lineText(lines_[li].text);
        }
        if (inComment_) fail(1101, commentLine_, commentColumn_);
    }

private:
    [[noreturn]] void fail(int32_t code, int32_t line, size_t column) {
        ThrowScriptError(code, lines_, line, static_cast<int32_t>(column), main_);
    }
    [[noreturn]] void fail(int32_t code, size_t index) { fail(code, line_, index + 1); }

    void emit(char kind, std::string rest, size_t start) {
        rest.insert(rest.begin(), kind);
        out_.push_back(ScriptToken{std::move(rest), line_, static_cast<int32_t>(start + 1)});
    }

    void lineText(const std::string& s) {
        size_t i = 0;
        const size_t n = s.size();
        while (i < n) {
            if (inComment_) {
                const char* e = static_cast<const char*>(memmem(s.data() + i, n - i, "*/", 2));
                if (e == nullptr) return;
                inComment_ = false;
                i = static_cast<size_t>(e - s.data()) + 2;
                continue;
            }
            const char c = s[i];
            if (IsBlank(c)) {
                ++i;
                continue;
            }
            if (c == '/' && i + 1 < n && s[i + 1] == '/') return;
            if (c == '/' && i + 1 < n && s[i + 1] == '*') {
                inComment_ = true;
                commentLine_ = line_;
                commentColumn_ = i + 1;
                i += 2;
                continue;
            }
            if (IsIdentStart(c)) {
                i = word(s, i);
            } else if (IsDigit(c)) {
                i = number(s, i);
            } else if (c == '"') {
                i = string(s, i, i + 1, false);
            } else if (c == '@' && i + 1 < n && s[i + 1] == '"') {
                i = string(s, i, i + 2, true);
            } else {
                i = op(s, i);
            }
        }
    }

    size_t word(const std::string& s, size_t i) {
        size_t e = i;
        while (e < s.size() && IsIdentChar(s[e])) ++e;
        std::string w = s.substr(i, e - i);
        if (w == "true" || w == "TRUE" || w == "false" || w == "FALSE") {
            emit('b', std::move(w), i);
        } else if (w.size() > 5 && w.compare(0, 5, "TYPE_") == 0 && TypeConstants().count(w)) {
            emit('v', std::to_string(TypeConstants().at(w)), i);
        } else {
            emit('s', std::move(w), i);
        }
        return e;
    }

    // Ints are 32-bit. A hexadecimal or octal literal is a bit pattern of up to 32 bits
    // (0xFFFFFFFF is -1), longer ones are malformed (1104, 1103); a decimal literal above
    // 2147483647 keeps its digits, and the compiler refuses it (1420).
    size_t number(const std::string& s, size_t i) {
        const size_t n = s.size();
        size_t e = i;
        while (e < n && IsDigit(s[e])) ++e;
        if (s[i] == '0' && e == i + 1 && e < n && (s[e] == 'x' || s[e] == 'X')) {
            size_t k = e + 1;
            uint64_t v = 0;
            while (k < n && HexDigit(s[k]) >= 0) {
                v = v * 16u + static_cast<uint64_t>(HexDigit(s[k++]));
                if (v > UINT32_MAX) fail(1104, i);
            }
            if (k == e + 1 || (k < n && (IsIdentChar(s[k]) || s[k] == '.'))) fail(1104, i);
            emit('v', std::to_string(static_cast<int32_t>(static_cast<uint32_t>(v))), i);
            return k;
        }
        if (e < n && (s[e] == '.' || s[e] == 'e' || s[e] == 'E')) return fraction(s, i, e);
        uint64_t v = 0;
        if (s[i] == '0' && e > i + 1) {
            for (size_t k = i + 1; k < e; ++k) {
                if (s[k] > '7') fail(1103, i);
                v = v * 8u + static_cast<uint64_t>(s[k] - '0');
                if (v > UINT32_MAX) fail(1103, i);
            }
            if (e < n && IsIdentChar(s[e])) fail(1103, i);
        } else {
            for (size_t k = i; k < e; ++k) {
                v = v * 10u + static_cast<uint64_t>(s[k] - '0');
                if (v > INT32_MAX) {
                    emit('v', s.substr(i, e - i), i);
                    return e;
                }
            }
        }
        emit('v', std::to_string(static_cast<int32_t>(static_cast<uint32_t>(v))), i);
        return e;
    }

    // Integer part, then fraction digits with place values 1/10, 1/100, ..., then a power of ten.
    size_t fraction(const std::string& s, size_t i, size_t e) {
        const size_t n = s.size();
        double v = 0;
        for (size_t k = i; k < e; ++k) v = v * 10 + (s[k] - '0');
        size_t k = e;
        if (k < n && s[k] == '.') {
            ++k;
            double place = 1;
            while (k < n && IsDigit(s[k])) {
                place /= 10;
                v += (s[k] - '0') * place;
                ++k;
            }
        }
        if (k < n && (s[k] == 'e' || s[k] == 'E')) {
            ++k;
            int sign = 1;
            if (k < n && (s[k] == '+' || s[k] == '-')) sign = s[k++] == '-' ? -1 : 1;
            if (k >= n || !IsDigit(s[k])) fail(1105, i);
            int32_t x = 0;
            while (k < n && IsDigit(s[k])) {
                // Far beyond the double range already; stop counting before the int overflows.
                if (x < 100000) x = x * 10 + (s[k] - '0');
                ++k;
            }
            v *= std::pow(10.0, sign * x);
        }
        if (k < n && (IsIdentChar(s[k]) || s[k] == '.')) fail(1105, i);
        emit('d', FormatScriptDouble(v), i);
        return k;
    }

    size_t string(const std::string& s, size_t start, size_t k, bool raw) {
        std::string text;
        const size_t n = s.size();
        while (k < n) {
            char c = s[k];
            if (c == '"') {
                if (raw && k + 1 < n && s[k + 1] == '"') {
                    text += '"';
                    k += 2;
                    continue;
                }
                emit('r', std::move(text), start);
                return k + 1;
            }
            if (c == '\\' && !raw) {
                if (k + 1 >= n) break;
                char x = s[k + 1];
                switch (x) {
                    case 't': text += '\t'; break;
                    case 'n': text += '\n'; break;
                    case 'b': text += '\b'; break;
                    case 'r': text += '\r'; break;
                    case 'f': text += '\f'; break;
                    default: text += x; break;  // backslash, quote and any other character
                }
                k += 2;
                continue;
            }
            text += c;
            ++k;
        }
        fail(1100, start);
    }

    size_t op(const std::string& s, size_t i) {
        const size_t left = s.size() - i;
        for (const char* o : kThreeCharOps)
            if (left >= 3 && s.compare(i, 3, o) == 0) {
                emit('c', o, i);
                return i + 3;
            }
        for (const char* o : kTwoCharOps)
            if (left >= 2 && s.compare(i, 2, o) == 0) {
                emit('c', o, i);
                return i + 2;
            }
        if (s[i] != '\0' && std::strchr(kOneCharOps, s[i]) != nullptr) {
            emit('c', std::string(1, s[i]), i);
            return i + 1;
        }
        fail(1102, i);
    }

    const ScriptSourceTable& lines_;
    const std::string& main_;
    ScriptTokenList& out_;
    int32_t line_ = 0;
    bool inComment_ = false;
    int32_t commentLine_ = 0;
    size_t commentColumn_ = 0;
};

}  // namespace

void TokenizeScript(const ScriptSourceTable& lines, const std::string& mainFile, ScriptTokenList& out) {
    Lexer(lines, mainFile, out).run();
}

void CheckScriptBrackets(const ScriptTokenList& tokens, const ScriptSourceTable& lines,
                         const std::string& mainFile) {
    std::vector<const ScriptToken*> open;
    for (const ScriptToken& t : tokens) {
        if (t.text.size() != 2 || t.text[0] != 'c') continue;
        const char c = t.text[1];
        if (c == '(' || c == '[' || c == '{') {
            open.push_back(&t);
        } else if (c == ')' || c == ']' || c == '}') {
            const char want = c == ')' ? '(' : (c == ']' ? '[' : '{');
            if (open.empty() || open.back()->text[1] != want) ThrowScriptError(1200, lines, t.line, t.column, mainFile);
            open.pop_back();
        }
    }
    if (open.empty()) return;
    // The innermost unclosed bracket names what is missing at the end.
    const ScriptToken& t = *open.back();
    ThrowScriptError(t.text[1] == '{' ? 1201 : 1202, lines, t.line, t.column, mainFile);
}

const std::vector<std::string>& GetScriptKeywords() {
    static const std::vector<std::string> k = {"define", "null",     "if",     "else",   "for",     "while", "function",
                                               "return", "void",     "switch", "case",   "default", "do"};
    return k;
}

bool IsScriptReservedWord(const std::string& word) {
    if (word == "callFuncByName" || word == "dynamic_func_call") return true;
    for (const std::string& k : GetScriptKeywords())
        if (k == word) return true;
    return false;
}

const std::vector<ScriptBinaryOperator>& GetScriptBinaryOperators() {
    static const std::vector<ScriptBinaryOperator> ops = {
        {"=", 0},   {"+=", 0}, {"-=", 0}, {"*=", 0}, {"/=", 0}, {"%=", 0}, {"&=", 0}, {"^=", 0},
        {"|=", 0},  {"<<=", 0}, {">>=", 0}, {"||", 1}, {"&&", 2}, {"|", 3},  {"^", 4},  {"&", 5},
        {"==", 6},  {"!=", 6}, {"<", 7},  {"<=", 7}, {">", 7},  {">=", 7}, {"<<", 8}, {">>", 8},
        {"+", 9},   {"-", 9},  {"*", 10}, {"/", 10}, {"%", 10}};
    return ops;
}

const std::vector<std::string>& GetScriptPrefixOperators() {
    static const std::vector<std::string> ops = {"!", "~", "++", "--", "+", "-"};
    return ops;
}

}  // namespace kelo
