// A throw-away $KELO_HOME for tests that read or write settings files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace kelo_test {

class TempHome {
public:
    TempHome() {
        char tmpl[] = "/tmp/kelo-test-XXXXXX";
        const char* d = mkdtemp(tmpl);
        // Never fall back to a shared folder: the destructor removes the whole directory.
        if (d == nullptr) std::abort();
        dir_ = d;
        const char* old = std::getenv("KELO_HOME");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("KELO_HOME", dir_.c_str(), 1);
    }
    ~TempHome() {
        if (hadOld_) setenv("KELO_HOME", old_.c_str(), 1);
        else unsetenv("KELO_HOME");
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_, old_;
    bool hadOld_ = false;
};

}  // namespace kelo_test
