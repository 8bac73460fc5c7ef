#include "script/front/script_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "companion/settings.h"

namespace kelo {

namespace fs = std::filesystem;

namespace {

bool IsRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// Breadth-first over the folder tree, each level in name order, so the nearest match wins and the
// answer does not depend on the order the file system lists entries in.
bool FindBelow(const fs::path& root, const fs::path& relative, fs::path& found) {
    std::vector<fs::path> level{root};
    while (!level.empty()) {
        std::vector<fs::path> next;
        for (const fs::path& dir : level) {
            fs::path candidate = dir / relative;
            if (IsRegularFile(candidate)) {
                found = candidate;
                return true;
            }
            std::error_code ec;
            fs::directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
            std::vector<fs::path> subs;
            for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
                std::error_code ec2;
                if (it->is_directory(ec2) && !it->is_symlink(ec2)) subs.push_back(it->path());
            }
            std::sort(subs.begin(), subs.end());
            next.insert(next.end(), subs.begin(), subs.end());
        }
        level.swap(next);
    }
    return false;
}

}  // namespace

std::string GetKeloScriptFolder() { return _LFModDir() + "/KeloScript"; }

bool getVailWSPFilePath(std::string& path) {
    if (path.empty()) return false;
    if (path[0] == '/') return IsRegularFile(path);
    fs::path name(path);
    std::vector<fs::path> candidates;
    if (name.has_extension()) {
        candidates.push_back(name);
    } else {
        candidates.push_back(fs::path(path + ".wsp"));
        candidates.push_back(fs::path(path + ".cpp"));
    }
    const fs::path root = GetKeloScriptFolder();
    for (const fs::path& c : candidates) {
        fs::path found;
        if (FindBelow(root, c, found)) {
            path = found.string();
            return true;
        }
    }
    return false;
}

}  // namespace kelo
