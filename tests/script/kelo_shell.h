// Runs kelo (or any command) from a shell in a scratch folder and collects what it says.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "script_test_support.h"

namespace kelo::test {

struct Shell {
    int status;
    std::string out;
    std::string err;
};

inline Shell Sh(const ScratchDir& dir, const std::string& command) {
    const std::string errFile = dir.path() + "/stderr.txt";
    FILE* p = ::popen(("cd " + dir.path() + " && " + command + " 2>" + errFile + " </dev/null").c_str(), "r");
    Shell s{};
    char buf[512];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) s.out.append(buf, n);
    s.status = WEXITSTATUS(::pclose(p));
    std::ifstream err(errFile);
    s.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return s;
}

inline const std::string kKelo = std::string(KELO_TOOL_PATH) + " ";

}  // namespace kelo::test
