#include "companion/settings.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

namespace kelo {

namespace {

std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

// INI names compare without regard to ASCII case, as the platform's profile functions did.
bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ResolveFile(const char* file) {
    if (file == nullptr || *file == '\0') return KeloSettingsPath("Kelo", "ini");
    if (std::strchr(file, '/') != nullptr) return file;
    return KeloSettingsDir() + "/" + file;
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return !in.bad();
}

// Section header name of a line, or false when it is no header.
bool HeaderName(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
    name = Trim(std::string_view(t).substr(1, t.size() - 2));
    return true;
}

bool LookUp(const std::vector<std::string>& lines, const char* section, const char* key, std::string& value) {
    bool inSection = false;
    for (const std::string& line : lines) {
        std::string name;
        if (HeaderName(line, name)) {
            inSection = SameName(name, section);
            continue;
        }
        if (!inSection) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (SameName(Trim(std::string_view(line).substr(0, eq)), key)) {
            value = Trim(std::string_view(line).substr(eq + 1));
            return true;
        }
    }
    return false;
}

bool MakeDirs(const std::string& dir) {
    if (dir.empty()) return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash))) return false;
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

}  // namespace

std::string KeloSettingsDir() {
    if (const char* home = std::getenv("KELO_HOME"); home && *home) return home;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/kelo";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/kelo";
    return ".";
}

std::string KeloSettingsPath(const char* base, const char* ext) {
    std::string path = KeloSettingsDir() + "/" + (base ? base : "");
    if (ext && *ext) {
        if (*ext != '.') path += '.';
        path += ext;
    }
    return path;
}

int _LFWholeName(char* buffer, const char* base, const char* ext, int flag) {
    return _LFWholeName(buffer, kKeloMaxPath, base, ext, flag);
}

int _LFWholeName(char* buffer, size_t bufferSize, const char* base, const char* ext, int) {
    if (buffer == nullptr || bufferSize == 0) return 0;
    std::string path = KeloSettingsPath(base, ext);
    if (path.size() >= bufferSize) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return 1;
}

int GetKeloProfileString(const char* section, const char* key, const char* def, char* buf, int size,
                         const char* file, int) {
    if (buf == nullptr || size <= 0) return 0;
    std::string value = def ? def : "";
    std::vector<std::string> lines;
    if (section && key && ReadLines(ResolveFile(file), lines)) LookUp(lines, section, key, value);
    size_t n = std::min(value.size(), static_cast<size_t>(size - 1));
    std::memcpy(buf, value.data(), n);
    buf[n] = '\0';
    return static_cast<int>(n);
}

int GetKeloProfileInt(const char* section, const char* key, int def, const char* file, int flag) {
    char buf[256];
    char defText[32];
    std::snprintf(defText, sizeof defText, "%d", def);
    GetKeloProfileString(section, key, defText, buf, sizeof buf, file, flag);
    char* end = nullptr;
    long v = std::strtol(buf, &end, 10);
    if (end == buf) return def;
    return static_cast<int>(v);
}

int WriteKeloProfileString(const char* section, const char* key, const char* value, const char* file, int) {
    if (section == nullptr || key == nullptr) return 0;
    // A line break would smuggle extra lines (keys, sections) into the file.
    for (const char* s : {section, key, value ? value : ""})
        if (std::strpbrk(s, "\r\n") != nullptr) return 0;
    // Write where the file really is, so a link to a shared settings file stays a link.
    std::string path = ResolveFile(file);
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    if (!exists && lstat(path.c_str(), &st) == 0) return 0;  // a dangling link: nothing sane to write
    if (exists) {
        char* real = realpath(path.c_str(), nullptr);
        if (real == nullptr) return 0;
        path = real;
        std::free(real);
        // The whole file is rewritten from what was read: a file that cannot be read, or that
        // its owner made read-only, is left as it is rather than replaced by one key.
        if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 || access(path.c_str(), R_OK | W_OK) != 0) return 0;
    }
    std::vector<std::string> lines;
    if (exists && !ReadLines(path, lines)) return 0;

    // Replace the key inside its section, or append it at the section's end, or add the section.
    std::string entry = std::string(key) + "=" + (value ? value : "");
    bool inSection = false, done = false;
    size_t sectionEnd = std::string::npos;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        std::string name;
        if (HeaderName(lines[i], name)) {
            if (inSection) break;
            inSection = SameName(name, section);
            if (inSection) sectionEnd = i + 1;
            continue;
        }
        if (!inSection) continue;
        if (!Trim(lines[i]).empty()) sectionEnd = i + 1;
        size_t eq = lines[i].find('=');
        if (eq != std::string::npos && SameName(Trim(std::string_view(lines[i]).substr(0, eq)), key)) {
            lines[i] = entry;
            done = true;
        }
    }
    if (!done) {
        if (sectionEnd != std::string::npos) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
        } else {
            if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + std::string(section) + "]");
            lines.push_back(entry);
        }
    }

    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && !MakeDirs(path.substr(0, slash))) return 0;
    std::string tmp = path + ".tmp." + std::to_string(getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return 0;
        // The replacement keeps the permissions the file had.
        if (exists) chmod(tmp.c_str(), st.st_mode & 07777);
        for (const std::string& l : lines) out << l << '\n';
        out.flush();
        if (!out) {
            out.close();
            std::remove(tmp.c_str());
            return 0;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return 0;
    }
    return 1;
}

std::string _LFModDir() {
    if (const char* home = std::getenv("KELO_HOME"); home && *home) {
        std::string dir = home;
        while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        return dir;
    }
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&_LFModDir), &info) != 0 && info.dli_fname) {
        std::string path = info.dli_fname;
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) return ".";
        if (slash == 0) return "/";
        return path.substr(0, slash);
    }
    return ".";
}

}  // namespace kelo
