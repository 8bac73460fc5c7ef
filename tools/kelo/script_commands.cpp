#include "script_commands.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KeloGeomNet.h"
#include "host_functions.h"
#include "terminal.h"

namespace kelo_tool {

namespace {

// Error texts are GBK; the terminal may want another encoding.
int Report(const std::string& output) {
    if (output.empty()) return 0;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", kelo::GbkToTerminal(output).c_str());
    return 1;
}

int Usage(const char* text) {
    std::fprintf(stderr, "usage: kelo %s\n", text);
    return 2;
}

}  // namespace

int RunCommand(int argc, char** argv) {
    if (argc < 1) return Usage("run SCRIPT [ARGS...]");
    InstallTerminalHost();
    std::string output;
    // The arguments go over one by one: joined into a command text, one holding the argument
    // delimiter ("/P", as in /Projects/data.shp) would be split.
    kelo::ExecKeloScript(argv[0], std::vector<std::string>(argv + 1, argv + argc), kHostNames, ScriptHostWindow(),
                         kHostNameCount, output);
    return Report(output);
}

int CheckCommand(int argc, char** argv) {
    if (argc != 1) return Usage("check SCRIPT");
    std::string output;
    kelo::ExecKeloScriptCheckOnly(argv[0], kHostNames, ScriptHostWindow(), kHostNameCount, output);
    if (Report(output) != 0) return 1;
    std::printf("%s: ok\n", argv[0]);
    return 0;
}

int BuildCommand(int argc, char** argv) {
    if (argc != 2) return Usage("build SCRIPT OUT");
    std::string output;
    int32_t length = 0;
    char* buffer = nullptr;
    if (!kelo::EncodeBuildKeloScript(argv[0], kHostNames, ScriptHostWindow(), kHostNameCount, output, length,
                                     buffer)) {
        if (output.empty()) output = "kelo build: nothing compiled";
        return Report(output);
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(buffer, length);
    delete[] buffer;
    if (!out.flush()) {
        std::fprintf(stderr, "kelo build: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %d bytes\n", argv[1], static_cast<int>(length));
    return 0;
}

// The whole of a compiled program, read only when it is a regular file whose size the decoder can
// take: a directory or a device (/dev/zero) would otherwise throw or read without end.
static bool ReadCompiled(const char* path, std::string& data) {
    struct stat st;
    if (::stat(path, &st) != 0) {
        std::fprintf(stderr, "kelo exec: cannot read %s: %s\n", path, std::strerror(errno));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "kelo exec: %s is not a compiled program (not a regular file)\n", path);
        return false;
    }
    if (st.st_size >= static_cast<off_t>(INT32_MAX)) {
        std::fprintf(stderr, "kelo exec: %s is too large\n", path);
        return false;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) {
        std::fprintf(stderr, "kelo exec: cannot read %s: %s\n", path, std::strerror(errno));
        return false;
    }
    data.resize(static_cast<size_t>(st.st_size));
    const size_t n = std::fread(data.data(), 1, data.size(), f);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::fprintf(stderr, "kelo exec: cannot read %s\n", path);
        return false;
    }
    data.resize(n);  // the file may have shrunk meanwhile
    return true;
}

int ExecCommand(int argc, char** argv) {
    if (argc < 1) return Usage("exec COMPILED [ARGS...]");
    std::string data;
    if (!ReadCompiled(argv[0], data)) return 1;
    InstallTerminalHost();
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string output;
    kelo::DecodeRunKeloScript(kHostNames, ScriptHostWindow(), kHostNameCount, output, args,
                              static_cast<int32_t>(data.size()), data.data());
    return Report(output);
}

int EncryptCommand(int argc, char** argv) {
    if (argc != 1) return Usage("encrypt SCRIPT");
    InstallTerminalHost();
    if (kelo::EncryptScriptFile(argv[0]) != 1) {
        std::fprintf(stderr, "kelo encrypt: %s was not enciphered\n", argv[0]);
        return 1;
    }
    std::string target = argv[0];
    const size_t dot = target.find_last_of('.'), slash = target.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) target.erase(dot);
    std::printf("%s.wse\n", target.c_str());
    return 0;
}

namespace {

const char* const kDebugHelp =
    "commands:\n"
    "  run                         continue to the next breakpoint\n"
    "  stepinto | stepover | stepout\n"
    "  stop                        end the run\n"
    "  breakpoint \"FILE\" LINE      switch a breakpoint on or off\n"
    "  watch NAME[INDEX]...        show a variable\n"
    "  set NAME VALUE              change a variable (strings in double quotes)\n"
    "  callstack                   the active calls\n"
    "  rollbackto N                view call frame N (0 is the outermost)\n"
    "  help                        this text\n";

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

void ShowReport(const kelo::ScriptEngine* e) {
    const std::string report = kelo::getDebugReport(e);
    if (report.empty()) return;
    std::printf("%s", kelo::GbkToTerminal(report).c_str());
    if (report.back() != '\n') std::printf("\n");
}

// At each stop: show where, then take commands until one resumes the run.
int32_t DebugStop(kelo::ScriptEngine* e) {
    ShowReport(e);
    const int32_t pos = e->curPos;
    if (pos >= 0 && static_cast<size_t>(pos) < e->sourceLines.size())
        std::printf("%5d  %s\n", e->sourceLines[static_cast<size_t>(pos)].line,
                    kelo::GbkToTerminal(e->sourceLines[static_cast<size_t>(pos)].text).c_str());
    for (;;) {
        std::printf("(kelo %s:%d) ", BaseName(kelo::getDebugFileName(e)).c_str(), kelo::getDebugLineNumber(e));
        std::fflush(stdout);
        std::string line;
        if (!ReadLine(line)) {
            std::printf("\n");
            return kelo::kStepStop;
        }
        if (line == "help" || line == "h" || line == "?") {
            std::printf("%s", kDebugHelp);
            continue;
        }
        const int32_t mode = kelo::ExternDoDebugCommand(e, line.c_str());
        ShowReport(e);
        if (mode >= 0) return mode;
    }
}

void DebugStart(kelo::ScriptEngine*) {
    std::printf("kelo debugger: type help for the commands\n");
    std::fflush(stdout);
}

// A script that did not compile never ran, so there is no end to report.
void DebugEnd(kelo::ScriptEngine* e) {
    const std::string report = kelo::getDebugReport(e);
    if (report.empty()) return;
    std::printf("[%s]\n", report.c_str());
    std::fflush(stdout);
}

}  // namespace

int DebugCommand(int argc, char** argv) {
    if (argc < 1) return Usage("debug SCRIPT [ARGS...]");
    InstallTerminalHost();
    SetRunObserver(DebugStart, DebugEnd);
    std::string output;
    kelo::ExecKeloScriptDebug(argv[0], std::vector<std::string>(argv + 1, argv + argc), kHostNames,
                              ScriptHostWindow(), kHostNameCount, output, DebugStop);
    SetRunObserver(nullptr, nullptr);
    return Report(output);
}

}  // namespace kelo_tool
