// Shared helpers for the script tests: a scratch folder that doubles as KELO_HOME (so the script
// folder lookup stays inside it) and TMPDIR (so temporary files can be counted).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "companion/gbk.h"

namespace kelo::test {

class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/kelo_script_XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path_ = made ? made : "/tmp";
        for (const char* var : {"KELO_HOME", "TMPDIR"}) {
            const char* old = std::getenv(var);
            saved_.emplace_back(var, old ? std::optional<std::string>(old) : std::nullopt);
        }
        std::filesystem::create_directories(path_ + "/tmp");
        ::setenv("KELO_HOME", path_.c_str(), 1);
        ::setenv("TMPDIR", (path_ + "/tmp").c_str(), 1);
    }
    ~ScratchDir() {
        for (const auto& [var, old] : saved_) {
            if (old) ::setenv(var.c_str(), old->c_str(), 1);
            else ::unsetenv(var.c_str());
        }
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string write(const std::string& relative, const std::string& text) const {
        std::string full = path_ + "/" + relative;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path());
        std::ofstream(full, std::ios::binary) << text;
        return full;
    }
    size_t tempFileCount() const {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(path_ + "/tmp")) n += e.is_regular_file();
        return n;
    }

private:
    std::string path_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The text of a numbered error at a position, spelled out independently of the library's table.
inline std::string ErrorText(int code, const char* messageUtf8, int line, int column, const std::string& inFile = "") {
    std::string t = ToGbk("错误") + std::to_string(code) + " " + ToGbk(messageUtf8);
    if (line > 0) {
        t += "\n   at line: " + std::to_string(line);
        if (column > 0) t += "   at column: " + std::to_string(column);
        if (!inFile.empty()) t += "   in file: " + inFile;
    }
    return t;
}

}  // namespace kelo::test
