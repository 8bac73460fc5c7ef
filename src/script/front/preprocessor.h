// The directives of KeloScript: #include, #define (with and without parameters), #undef and the
// #ifdef / #ifndef / #else / #endif blocks, carried out line by line over the combined text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kelo_api.h"
#include "script/vm/script_error.h"

namespace kelo {

struct ScriptMacro {
    std::string name;
    bool hasParams = false;
    std::vector<std::string> params;
    std::string body;
};

inline constexpr int32_t kScriptMaxLines = 0x100000;
inline constexpr int32_t kScriptMaxExpansions = 4096;
inline constexpr size_t kScriptMaxExpandedText = 4096;

class KELO_API ScriptPreprocessor {
public:
    // Loads the main file and everything it includes into lines (only the lines that survive the
    // directives, macros expanded). Throws ScriptError.
    void run(const std::string& fileName, ScriptSourceTable& lines);
    // The same for a main script given as text under a name (includes are still files).
    void runText(const std::string& name, const std::string& text, ScriptSourceTable& lines);

    // The file name error texts compare against to decide on "in file".
    const std::string& mainFile() const { return mainFile_; }
    const std::vector<ScriptMacro>& macros() const { return macros_; }

private:
    struct File {
        std::string path;
        std::vector<std::string> lines;
    };
    struct Frame {
        const File* file;
        size_t next;
    };
    struct Cond {
        bool parentActive;
        bool value;
        bool inElse;
        std::string file;
        int32_t line;
        int32_t column;
    };

    void process(const File* main, ScriptSourceTable& out);
    const File* loadInclude(const std::string& name, const std::string& from, int32_t line, int32_t column);
    bool active() const { return conds_.empty() || (conds_.back().parentActive && (conds_.back().value != conds_.back().inElse)); }
    void directive(const std::string& text, size_t hash, const std::string& file, int32_t line, ScriptSourceTable& out);
    std::string expand(std::string text, const std::string& file, int32_t line);
    bool pullContinuation(std::string& text);
    [[noreturn]] void fail(int32_t code, const std::string& file, int32_t line, int32_t column) const;

    std::string mainFile_;
    std::vector<ScriptMacro> macros_;
    // Looked up with views into the line being expanded, so a scan allocates nothing per word.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> macroIndex_;
    std::vector<Cond> conds_;
    std::vector<Frame> frames_;
    std::unordered_map<std::string, const File*> files_;
    std::vector<std::unique_ptr<File>> owned_;
    int64_t loadedLines_ = 0;
    bool inComment_ = false;
};

}  // namespace kelo
