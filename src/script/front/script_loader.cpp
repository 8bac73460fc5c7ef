#include "script/front/script_loader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <strings.h>

#include "companion/cipher.h"
#include "script/front/script_folder.h"

namespace kelo::detail {

namespace {

// The enciphered form is read into a fixed buffer of this size, one byte kept for the terminator.
constexpr size_t kWseBuffer = 200704;

bool IsRegular(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0;
}

bool ReadAll(const std::string& path, std::string& text, size_t limit) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return false;
    text.clear();
    char buf[65536];
    while (text.size() < limit) {
        size_t want = std::min(sizeof buf, limit - text.size());
        size_t n = std::fread(buf, 1, want, f);
        if (n == 0) break;
        text.append(buf, n);
    }
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool EndsWithWse(const std::string& name) {
    return name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".wse") == 0;
}

// Removes the temporary file on every path out of the function that made it.
struct TempFile {
    std::string path;
    ~TempFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

// The plain text goes through a temporary file, as the reader of plain scripts expects a file.
bool DecipherToText(const std::string& path, std::string& text) {
    std::string cipher;
    if (!ReadAll(path, cipher, kWseBuffer - 1)) return false;
    std::string plain = KeloEncryptString2(cipher, 0);
    std::string check;
    if (plain.empty() && !KeloDecryptChecked(cipher, check)) return false;
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty()) dir = "/tmp";
    TempFile tmp;
    std::string pattern = dir + "/tmpXXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) return false;
    tmp.path = pattern;
    size_t done = 0;
    while (done < plain.size()) {
        ssize_t w = ::write(fd, plain.data() + done, plain.size() - done);
        if (w <= 0) {
            ::close(fd);
            return false;
        }
        done += static_cast<size_t>(w);
    }
    ::close(fd);
    return ReadAll(tmp.path, text, SIZE_MAX);
}

std::string DirOf(const std::string& file) {
    size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

}  // namespace

void SplitScriptLines(const std::string& text, std::vector<std::string>& lines) {
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.emplace_back(text, start);
            break;
        }
        lines.emplace_back(text, start, nl - start);
        start = nl + 1;
    }
}

ScriptLoadStatus LoadScriptFile(const std::string& name, const std::string& includingFile, LoadedScript& out) {
    out.path.clear();
    out.lines.clear();
    if (name.empty()) return ScriptLoadStatus::BadName;
    std::string path;
    if (IsRegular(name)) {
        path = name;
    } else if (name[0] != '/' && !includingFile.empty() && !DirOf(includingFile).empty() &&
               IsRegular(DirOf(includingFile) + name)) {
        path = DirOf(includingFile) + name;
    } else {
        std::string found = name;
        if (getVailWSPFilePath(found) && IsRegular(found)) path = found;
        else return Exists(name) ? ScriptLoadStatus::NotReadable : ScriptLoadStatus::Missing;
    }
    std::string text;
    if (EndsWithWse(path)) {
        if (!DecipherToText(path, text)) return ScriptLoadStatus::WseError;
    } else if (!ReadAll(path, text, SIZE_MAX)) {
        return ScriptLoadStatus::NotReadable;
    }
    out.path = path;
    SplitScriptLines(text, out.lines);
    return ScriptLoadStatus::Ok;
}

}  // namespace kelo::detail
