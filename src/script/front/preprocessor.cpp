#include "script/front/preprocessor.h"

#include "companion/gbk.h"
#include "script/front/char_class.h"
#include "script/front/script_loader.h"

namespace kelo {

namespace {

using detail::IsBlank;
using detail::IsDigit;
using detail::IsIdentChar;
using detail::IsIdentStart;

size_t SkipBlanks(const std::string& s, size_t i) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    return i;
}

size_t SkipIdent(const std::string& s, size_t i) {
    while (i < s.size() && IsIdentChar(s[i])) ++i;
    return i;
}

std::string Trim(const std::string& s) {
    size_t b = SkipBlanks(s, 0);
    size_t e = s.size();
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool StartsString(const std::string& s, size_t i) {
    return s[i] == '"' || (s[i] == '@' && i + 1 < s.size() && s[i + 1] == '"');
}

// Index just past the string constant that starts at i (a quote, or "@" and a quote); the end of
// the text when it does not close. An at-sign string writes its quote doubled.
size_t SkipString(const std::string& s, size_t i) {
    const bool raw = s[i] == '@';
    size_t k = i + (raw ? 2 : 1);
    while (k < s.size()) {
        char c = s[k];
        if (!raw && c == '\\') {
            k += 2;
            continue;
        }
        if (c == '"') {
            if (raw && k + 1 < s.size() && s[k + 1] == '"') {
                k += 2;
                continue;
            }
            return k + 1;
        }
        ++k;
    }
    return s.size();
}

// Whether only blanks and comments follow position i, so a directive stands alone on its line.
bool RestIsBlank(const std::string& s, size_t i) {
    for (;;) {
        i = SkipBlanks(s, i);
        if (i >= s.size()) return true;
        if (s.compare(i, 2, "//") == 0) return true;
        if (s.compare(i, 2, "/*") != 0) return false;
        size_t e = s.find("*/", i + 2);
        if (e == std::string::npos) return true;
        i = e + 2;
    }
}

// A line comment at the end of a define belongs to the line, not to the replacement.
std::string StripLineComment(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        if (StartsString(s, i)) {
            i = SkipString(s, i);
        } else if (s.compare(i, 2, "//") == 0) {
            return s.substr(0, i);
        } else {
            ++i;
        }
    }
    return s;
}

std::string Substitute(const ScriptMacro& m, const std::vector<std::string>& args) {
    const std::string& b = m.body;
    std::string out;
    out.reserve(b.size());
    for (size_t i = 0; i < b.size();) {
        if (StartsString(b, i)) {
            size_t e = SkipString(b, i);
            out.append(b, i, e - i);
            i = e;
        } else if (IsDigit(b[i])) {
            size_t e = i;
            while (e < b.size() && (IsIdentChar(b[e]) || b[e] == '.')) ++e;
            out.append(b, i, e - i);
            i = e;
        } else if (IsIdentStart(b[i])) {
            size_t e = SkipIdent(b, i);
            std::string word = b.substr(i, e - i);
            size_t p = 0;
            while (p < m.params.size() && m.params[p] != word) ++p;
            out += p < m.params.size() ? args[p] : word;
            i = e;
        } else {
            out += b[i++];
        }
    }
    return out;
}

}  // namespace

void ScriptPreprocessor::fail(int32_t code, const std::string& file, int32_t line, int32_t column) const {
    ScriptSourceTable at{ScriptSourceLine{std::string(), file, line}};
    ThrowScriptError(code, at, 0, column, mainFile_);
}

void ScriptPreprocessor::run(const std::string& fileName, ScriptSourceTable& lines) {
    detail::LoadedScript loaded;
    switch (detail::LoadScriptFile(fileName, std::string(), loaded)) {
        case detail::ScriptLoadStatus::Ok: break;
        case detail::ScriptLoadStatus::BadName: ThrowScriptError(1000, {}, -1, 0, fileName);
        case detail::ScriptLoadStatus::NotReadable: ThrowScriptError(1001, {}, -1, 0, fileName);
        case detail::ScriptLoadStatus::Missing: throw ScriptError{0, fileName + KELO_GBK("\n文件不存在!")};
        case detail::ScriptLoadStatus::WseError: throw ScriptError{0, KELO_GBK("wse错误")};
    }
    auto f = std::make_unique<File>();
    f->path = loaded.path;
    f->lines = std::move(loaded.lines);
    mainFile_ = f->path;
    owned_.push_back(std::move(f));
    process(owned_.back().get(), lines);
}

void ScriptPreprocessor::runText(const std::string& name, const std::string& text, ScriptSourceTable& lines) {
    auto f = std::make_unique<File>();
    f->path = name;
    detail::SplitScriptLines(text, f->lines);
    mainFile_ = name;
    owned_.push_back(std::move(f));
    process(owned_.back().get(), lines);
}

void ScriptPreprocessor::process(const File* main, ScriptSourceTable& out) {
    out.clear();
    loadedLines_ = static_cast<int64_t>(main->lines.size());
    if (loadedLines_ > kScriptMaxLines) fail(1112, main->path, kScriptMaxLines + 1, 0);
    frames_.push_back(Frame{main, 0});
    while (!frames_.empty()) {
        Frame& fr = frames_.back();
        if (fr.next >= fr.file->lines.size()) {
            frames_.pop_back();
            continue;
        }
        const File* f = fr.file;
        const size_t idx = fr.next++;
        const std::string& text = f->lines[idx];
        const int32_t lineNo = static_cast<int32_t>(idx + 1);
        const size_t h = SkipBlanks(text, 0);
        // A "#" inside a block comment that is still open starts no directive.
        if (h < text.size() && text[h] == '#' && !(inComment_ && active())) {
            directive(text, h, f->path, lineNo, out);
            continue;
        }
        if (!active()) continue;
        out.push_back(ScriptSourceLine{macros_.empty() && !inComment_ && text.find("/*") == std::string::npos
                                           ? text
                                           : expand(text, f->path, lineNo),
                                       f->path, lineNo});
    }
    if (!conds_.empty()) fail(1111, conds_.back().file, conds_.back().line, conds_.back().column);
}

const ScriptPreprocessor::File* ScriptPreprocessor::loadInclude(const std::string& name, const std::string& from,
                                                                int32_t line, int32_t column) {
    const std::string key = name + '\n' + from.substr(0, from.rfind('/') + 1);
    auto it = files_.find(key);
    if (it != files_.end()) return it->second;
    detail::LoadedScript loaded;
    switch (detail::LoadScriptFile(name, from, loaded)) {
        case detail::ScriptLoadStatus::Ok: break;
        case detail::ScriptLoadStatus::BadName: fail(1000, from, line, column);
        case detail::ScriptLoadStatus::NotReadable: fail(1001, from, line, column);
        case detail::ScriptLoadStatus::Missing: throw ScriptError{0, name + KELO_GBK("\n文件不存在!")};
        case detail::ScriptLoadStatus::WseError: throw ScriptError{0, KELO_GBK("wse错误")};
    }
    auto f = std::make_unique<File>();
    f->path = loaded.path;
    f->lines = std::move(loaded.lines);
    const File* p = f.get();
    owned_.push_back(std::move(f));
    files_.emplace(key, p);
    return p;
}

void ScriptPreprocessor::directive(const std::string& s, size_t hash, const std::string& file, int32_t line,
                                   ScriptSourceTable&) {
    const int32_t col = static_cast<int32_t>(hash + 1);
    const size_t w0 = SkipBlanks(s, hash + 1);
    const size_t w1 = SkipIdent(s, w0);
    const std::string word = s.substr(w0, w1 - w0);
    const bool act = active();

    // A name operand: "#ifdef NAME" and the like.
    auto readName = [&](std::string& name) {
        size_t b = SkipBlanks(s, w1);
        size_t e = SkipIdent(s, b);
        name = s.substr(b, e - b);
        if (name.empty()) fail(1107, file, line, col);
        if (!RestIsBlank(s, e)) fail(1108, file, line, col);
    };

    if (word == "ifdef" || word == "ifndef") {
        std::string name;
        // Inside a dropped branch only the nesting counts; its operands are not checked.
        if (act) readName(name);
        bool defined = macroIndex_.count(name) != 0;
        conds_.push_back(Cond{act, word == "ifdef" ? defined : !defined, false, file, line, col});
        return;
    }
    if (word == "else") {
        if (conds_.empty() || conds_.back().inElse) fail(1109, file, line, col);
        if (conds_.back().parentActive && !RestIsBlank(s, w1)) fail(1108, file, line, col);
        conds_.back().inElse = true;
        return;
    }
    if (word == "endif") {
        if (conds_.empty()) fail(1110, file, line, col);
        if (conds_.back().parentActive && !RestIsBlank(s, w1)) fail(1108, file, line, col);
        conds_.pop_back();
        return;
    }
    if (!act) return;

    if (word == "include") {
        size_t i = SkipBlanks(s, w1);
        if (i >= s.size() || (s[i] != '<' && s[i] != '"')) fail(1113, file, line, col);
        const char close = s[i] == '<' ? '>' : '"';
        size_t e = s.find(close, i + 1);
        if (e == std::string::npos) fail(1113, file, line, col);
        if (!RestIsBlank(s, e + 1)) fail(1108, file, line, col);
        std::string name = Trim(s.substr(i + 1, e - i - 1));
        if (name.empty()) fail(1000, file, line, col);
        const File* inc = loadInclude(name, file, line, col);
        loadedLines_ += static_cast<int64_t>(inc->lines.size());
        if (loadedLines_ > kScriptMaxLines) fail(1112, file, line, col);
        // An include on the last line of a file ends that file, so a chain of such includes
        // (a file including itself) keeps the frame stack flat.
        if (frames_.back().next >= frames_.back().file->lines.size()) frames_.pop_back();
        frames_.push_back(Frame{inc, 0});
        return;
    }
    if (word == "define") {
        size_t b = SkipBlanks(s, w1);
        size_t e = SkipIdent(s, b);
        if (e == b) fail(1107, file, line, col);
        ScriptMacro m;
        m.name = s.substr(b, e - b);
        if (e < s.size() && s[e] == '(') {
            m.hasParams = true;
            size_t k = SkipBlanks(s, e + 1);
            if (k < s.size() && s[k] == ')') {
                e = k + 1;
            } else {
                for (;;) {
                    size_t pb = SkipBlanks(s, k);
                    size_t pe = SkipIdent(s, pb);
                    if (pe == pb) fail(1107, file, line, col);
                    m.params.push_back(s.substr(pb, pe - pb));
                    k = SkipBlanks(s, pe);
                    if (k < s.size() && s[k] == ',') {
                        ++k;
                        continue;
                    }
                    if (k < s.size() && s[k] == ')') {
                        e = k + 1;
                        break;
                    }
                    fail(1107, file, line, col);
                }
            }
        }
        m.body = Trim(StripLineComment(s.substr(e)));
        if (m.body.find('#') != std::string::npos) fail(1117, file, line, col);
        if (macroIndex_.count(m.name)) fail(1118, file, line, col);
        macroIndex_.emplace(m.name, macros_.size());
        macros_.push_back(std::move(m));
        return;
    }
    if (word == "undef") {
        std::string name;
        readName(name);
        auto it = macroIndex_.find(name);
        if (it == macroIndex_.end()) fail(1114, file, line, col);
        macros_.erase(macros_.begin() + static_cast<std::ptrdiff_t>(it->second));
        macroIndex_.clear();
        for (size_t k = 0; k < macros_.size(); ++k) macroIndex_.emplace(macros_[k].name, k);
        return;
    }
    fail(1106, file, line, col);
}

bool ScriptPreprocessor::pullContinuation(std::string& text) {
    if (frames_.empty()) return false;
    Frame& fr = frames_.back();
    if (fr.next >= fr.file->lines.size()) return false;
    const std::string& next = fr.file->lines[fr.next];
    size_t h = SkipBlanks(next, 0);
    if (h < next.size() && next[h] == '#') return false;
    text += ' ';
    text += next;
    ++fr.next;
    return true;
}

std::string ScriptPreprocessor::expand(std::string s, const std::string& file, int32_t line) {
    int32_t expansions = 0;
    size_t i = 0;
    while (i < s.size()) {
        if (inComment_) {
            size_t e = s.find("*/", i);
            if (e == std::string::npos) break;
            inComment_ = false;
            i = e + 2;
            continue;
        }
        const char c = s[i];
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') break;
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            inComment_ = true;
            i += 2;
            continue;
        }
        if (StartsString(s, i)) {
            i = SkipString(s, i);
            continue;
        }
        if (IsDigit(c)) {
            while (i < s.size() && (IsIdentChar(s[i]) || s[i] == '.')) ++i;
            continue;
        }
        if (!IsIdentStart(c)) {
            ++i;
            continue;
        }
        const size_t j = SkipIdent(s, i);
        auto it = macros_.empty() ? macroIndex_.end() : macroIndex_.find(std::string_view(s).substr(i, j - i));
        if (it == macroIndex_.end()) {
            i = j;
            continue;
        }
        const ScriptMacro& m = macros_[it->second];
        const int32_t col = static_cast<int32_t>(i + 1);
        size_t end = j;
        std::string repl;
        if (m.hasParams) {
            size_t k = j;
            for (;;) {
                k = SkipBlanks(s, k);
                if (k < s.size() || !pullContinuation(s)) break;
            }
            if (k >= s.size() || s[k] != '(') fail(1115, file, line, col);
            std::vector<std::string> args;
            std::string cur;
            size_t p = k + 1;
            int depth = 0;
            bool closed = false;
            for (;;) {
                if (p >= s.size()) {
                    if (!pullContinuation(s)) break;
                    continue;
                }
                const char d = s[p];
                if (StartsString(s, p)) {
                    size_t q = SkipString(s, p);
                    cur.append(s, p, q - p);
                    p = q;
                    continue;
                }
                if (d == '(') {
                    ++depth;
                } else if (d == ')') {
                    if (depth == 0) {
                        closed = true;
                        ++p;
                        break;
                    }
                    --depth;
                } else if (d == ',' && depth == 0) {
                    args.push_back(Trim(cur));
                    cur.clear();
                    ++p;
                    continue;
                }
                cur += d;
                ++p;
            }
            if (!closed) fail(1115, file, line, col);
            args.push_back(Trim(cur));
            if (m.params.empty() && args.size() == 1 && args[0].empty()) args.clear();
            if (args.size() != m.params.size()) fail(1115, file, line, col);
            repl = Substitute(m, args);
            end = p;
        } else {
            repl = m.body;
        }
        s.replace(i, end - i, repl);
        // The replacement is scanned again from its start, so a macro that names itself keeps
        // growing until one of the limits stops it.
        if (++expansions > kScriptMaxExpansions || s.size() > kScriptMaxExpandedText) fail(1116, file, line, col);
    }
    return s;
}

}  // namespace kelo
