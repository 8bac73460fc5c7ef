#include "script/host/program_codec.h"

#include <cstring>
#include <unordered_map>
#include <vector>

namespace kelo::detail {

namespace {

// Parameters travel inside the function's name text, after this separator.
constexpr char kParamMark = '\x01';

// 64-bit FNV-1a over the bytes before the checksum field: a corrupted byte anywhere in the buffer
// then refuses the program, not only the corruptions the verifier can see.
int64_t Checksum(const char* p, size_t n) {
    uint64_t h = 14695981039346656037ull;
    for (size_t k = 0; k < n; ++k) {
        h ^= static_cast<unsigned char>(p[k]);
        h *= 1099511628211ull;
    }
    return static_cast<int64_t>(h);
}

class Writer {
public:
    void number(int64_t n) {
        out += std::to_string(n);
        out += '\0';
    }
    // Each byte becomes two characters from '0' upwards, so the text holds no zero byte.
    void text(const std::string& s) {
        for (unsigned char b : s) {
            const unsigned v = b + 150u;
            out += static_cast<char>((v >> 5) + '0');
            out += static_cast<char>((v & 31u) + '0');
        }
        out += '\0';
    }
    void real(double d) {
        int64_t bits = 0;
        std::memcpy(&bits, &d, sizeof bits);
        number(bits);
    }
    void value(const Tdata& v) {
        number(v.dataType);
        switch (v.dataType) {
            case kTypeBool: number(v.value.b ? 1 : 0); break;
            case kTypeInt: number(v.value.i); break;
            case kTypeDouble: real(v.value.d); break;
            case kTypeString: text(*v.value.s); break;
            case kTypeReference: number(v.value.ref); break;
            case kTypeBox:
                for (int k = 0; k < 4; ++k) real(v.value.box[k]);
                break;
            default: break;  // containers, points and handles start empty
        }
    }
    std::string out;
};

class Reader {
public:
    Reader(const char* p, int32_t n) : p_(p), end_(p + n) {}

    bool number(int64_t& n, int64_t lo, int64_t hi) {
        const char* z = field();
        if (z == nullptr || z == p_) return false;
        const char* q = p_;
        bool negative = false;
        if (*q == '-') {
            negative = true;
            ++q;
        }
        if (q == z) return false;
        uint64_t v = 0;
        for (; q < z; ++q) {
            if (*q < '0' || *q > '9') return false;
            if (v > (UINT64_MAX - 9) / 10) return false;
            v = v * 10 + static_cast<uint64_t>(*q - '0');
        }
        if (v > static_cast<uint64_t>(INT64_MAX) + (negative ? 1u : 0u)) return false;
        n = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
        p_ = z + 1;
        return n >= lo && n <= hi;
    }
    bool int32(int32_t& n) {
        int64_t v = 0;
        if (!number(v, INT32_MIN, INT32_MAX)) return false;
        n = static_cast<int32_t>(v);
        return true;
    }
    bool text(std::string& s) {
        const char* z = field();
        if (z == nullptr || (z - p_) % 2 != 0) return false;
        s.clear();
        s.reserve(static_cast<size_t>(z - p_) / 2);
        for (const char* q = p_; q < z; q += 2) {
            const int hi = q[0] - '0', lo = q[1] - '0';
            if (hi < 0 || lo < 0 || lo > 31) return false;
            const int b = hi * 32 + lo - 150;
            if (b < 0 || b > 255) return false;
            s += static_cast<char>(b);
        }
        p_ = z + 1;
        return true;
    }
    bool real(double& d) {
        int64_t bits = 0;
        if (!number(bits, INT64_MIN, INT64_MAX)) return false;
        std::memcpy(&d, &bits, sizeof d);
        return true;
    }
    bool value(Tdata& v) {
        int32_t type = 0;
        if (!int32(type) || type < kTypeVoid || type > kTypeReference) return false;
        switch (type) {
            case kTypeVoid: v = Tdata(); return true;
            case kTypeBool: {
                int64_t b = 0;
                if (!number(b, 0, 1)) return false;
                v = Tdata(b != 0);
                return true;
            }
            case kTypeInt: {
                int32_t i = 0;
                if (!int32(i)) return false;
                v = Tdata(static_cast<int>(i));
                return true;
            }
            case kTypeDouble: {
                double d = 0;
                if (!real(d)) return false;
                v = Tdata(d);
                return true;
            }
            case kTypeString: {
                std::string s;
                if (!text(s)) return false;
                v = Tdata(s);
                return true;
            }
            case kTypeReference: {
                int32_t r = 0;
                if (!int32(r)) return false;
                v = Tdata(kTypeReference, nullptr);
                v.value.ref = r;
                return true;
            }
            default: {
                Tdata fresh;
                fresh.setDataType(type);
                if (IsHostHandleType(type)) fresh.value.handle = nullptr;
                if (type == kTypeBox)
                    for (int k = 0; k < 4; ++k)
                        if (!real(fresh.value.box[k])) return false;
                v = fresh;
                return true;
            }
        }
    }
    size_t left() const { return static_cast<size_t>(end_ - p_); }
    const char* at() const { return p_; }
    bool atEnd() const { return p_ == end_; }

private:
    // The end of the next field (its zero byte), or null when the buffer ends first.
    const char* field() const {
        if (p_ >= end_) return nullptr;
        return static_cast<const char*>(std::memchr(p_, '\0', static_cast<size_t>(end_ - p_)));
    }
    const char* p_;
    const char* end_;
};

std::string FunctionText(const ScriptFunction& f) {
    std::string s = f.name;
    for (const ScriptParam& p : f.params) {
        s += kParamMark;
        s += std::to_string(p.type) + "," + (p.byRef ? "1" : "0") + "," + p.name;
    }
    return s;
}

bool ParseFunctionText(const std::string& text, ScriptFunction& f) {
    size_t at = text.find(kParamMark);
    f.name = text.substr(0, at);
    while (at != std::string::npos) {
        const size_t next = text.find(kParamMark, at + 1);
        const std::string piece = text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        const size_t c1 = piece.find(',');
        const size_t c2 = c1 == std::string::npos ? c1 : piece.find(',', c1 + 1);
        if (c2 == std::string::npos) return false;
        ScriptParam p;
        const std::string type = piece.substr(0, c1);
        if (type.empty() || type.size() > 3) return false;
        char* end = nullptr;
        p.type = static_cast<int32_t>(std::strtol(type.c_str(), &end, 10));
        if (*end != '\0' || p.type < kTypeVoid || p.type > kTypeReference) return false;
        const std::string ref = piece.substr(c1 + 1, c2 - c1 - 1);
        if (ref != "0" && ref != "1") return false;
        p.byRef = ref == "1";
        p.name = piece.substr(c2 + 1);
        f.params.push_back(std::move(p));
        at = next;
    }
    return !f.name.empty();
}

// The fewest bytes an instruction and a function take, so absurd counts are refused before any
// allocation.
constexpr size_t kMinInstructionBytes = 9 * 2 + 1 + 2;
constexpr size_t kMinFunctionBytes = 3 + 3 * 2;

// The line table: the main file first, then the other files, then for every source position the
// index of its file and its line number. Line texts stay behind: errors print only file and line.
void WriteLines(Writer& w, const ScriptSourceTable& lines, const std::string& mainFile) {
    std::vector<std::string> files{mainFile};
    std::unordered_map<std::string, int32_t> fileIndex{{mainFile, 0}};
    std::vector<int32_t> fileOf;
    fileOf.reserve(lines.size());
    for (const ScriptSourceLine& l : lines) {
        auto [it, added] = fileIndex.emplace(l.file, static_cast<int32_t>(files.size()));
        if (added) files.push_back(l.file);
        fileOf.push_back(it->second);
    }
    w.number(static_cast<int64_t>(files.size()));
    for (const std::string& f : files) w.text(f);
    w.number(static_cast<int64_t>(lines.size()));
    for (size_t k = 0; k < lines.size(); ++k) {
        w.number(fileOf[k]);
        w.number(lines[k].line);
    }
}

bool ReadLines(Reader& r, const char* buffer, ScriptSourceTable& lines, std::string& mainFile) {
    int32_t nFiles = 0, nLines = 0;
    if (!r.int32(nFiles) || nFiles < 1 || static_cast<size_t>(nFiles) > r.left()) return false;
    std::vector<std::string> files(static_cast<size_t>(nFiles));
    for (std::string& f : files)
        if (!r.text(f)) return false;
    if (!r.int32(nLines) || nLines < 0 || static_cast<size_t>(nLines) > r.left() / 4) return false;
    lines.resize(static_cast<size_t>(nLines));
    for (ScriptSourceLine& l : lines) {
        int32_t file = 0;
        if (!r.int32(file) || file < 0 || file >= nFiles || !r.int32(l.line)) return false;
        l.file = files[static_cast<size_t>(file)];
    }
    mainFile = files[0];
    // Buffers written before the checksum end here.
    if (r.atEnd()) return true;
    const int64_t expected = Checksum(buffer, static_cast<size_t>(r.at() - buffer));
    int64_t sum = 0;
    return r.number(sum, INT64_MIN, INT64_MAX) && sum == expected && r.atEnd();
}

bool Decode(Reader& r, ScriptProgram& p) {
    int32_t nCode = 0, entry = 0, nInits = 0, nFunctions = 0;
    if (!r.int32(nCode) || !r.int32(entry) || !r.int32(nInits) || !r.int32(nFunctions)) return false;
    if (nCode < 1 || nInits < 0 || nFunctions < 0) return false;
    if (static_cast<size_t>(nCode) > r.left() / kMinInstructionBytes) return false;
    if (static_cast<size_t>(nInits) > r.left() / 2 || static_cast<size_t>(nFunctions) > r.left() / kMinFunctionBytes)
        return false;
    if (entry < 0 || entry >= nCode) return false;
    p.entry = entry;
    for (int32_t k = 0; k < nInits; ++k) {
        int32_t at = 0;
        if (!r.int32(at) || at < 0 || at >= nCode) return false;
        p.globalInits.push_back(at);
    }
    p.code.resize(static_cast<size_t>(nCode));
    for (ScriptInstruction& in : p.code) {
        if (!r.int32(in.op) || !r.int32(in.position) || !r.int32(in.aMode) || !r.int32(in.aOffset) ||
            !r.int32(in.bMode) || !r.int32(in.bOffset) || !r.int32(in.target) || !r.int32(in.count) ||
            !r.int32(in.count2) || !r.text(in.name) || !r.value(in.value))
            return false;
        // A statement marker's view of locals is not carried over.
        if (in.op == kOpStatement) in.count2 = -1;
    }
    for (int32_t k = 0; k < nFunctions; ++k) {
        std::string text;
        ScriptFunction f;
        if (!r.text(text) || !ParseFunctionText(text, f) || !r.int32(f.entry) || !r.int32(f.returnType) ||
            !r.int32(f.line))
            return false;
        if (f.entry < -1 || f.entry >= nCode) return false;
        p.functionIndex.emplace(f.name, static_cast<int32_t>(p.functions.size()));
        p.functions.push_back(std::move(f));
    }
    auto main = p.functionIndex.find("main");
    if (main != p.functionIndex.end()) p.mainFunction = main->second;
    return true;
}

}  // namespace

std::string EncodeScriptProgram(const ScriptProgram& program, const ScriptSourceTable* lines,
                                const std::string& mainFile) {
    Writer w;
    w.number(static_cast<int64_t>(program.code.size()));
    w.number(program.entry);
    w.number(static_cast<int64_t>(program.globalInits.size()));
    w.number(static_cast<int64_t>(program.functions.size()));
    for (int32_t at : program.globalInits) w.number(at);
    for (const ScriptInstruction& in : program.code) {
        for (int32_t n : {in.op, in.position, in.aMode, in.aOffset, in.bMode, in.bOffset, in.target, in.count,
                          in.count2})
            w.number(n);
        w.text(in.name);
        w.value(in.value);
    }
    for (const ScriptFunction& f : program.functions) {
        w.text(FunctionText(f));
        w.number(f.entry);
        w.number(f.returnType);
        w.number(f.line);
    }
    if (lines != nullptr) {
        WriteLines(w, *lines, mainFile);
        w.number(Checksum(w.out.data(), w.out.size()));
    }
    return std::move(w.out);
}

bool DecodeScriptProgram(const char* buffer, int32_t length, ScriptProgram& program, ScriptSourceTable* lines,
                         std::string* mainFile) {
    program = ScriptProgram();
    ScriptSourceTable table;
    std::string main;
    if (buffer == nullptr || length <= 0) return false;
    Reader r(buffer, length);
    if (Decode(r, program) && (r.atEnd() || ReadLines(r, buffer, table, main))) {
        if (lines != nullptr) *lines = std::move(table);
        if (mainFile != nullptr) *mainFile = std::move(main);
        return true;
    }
    program = ScriptProgram();
    return false;
}

}  // namespace kelo::detail
