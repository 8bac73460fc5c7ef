#include "script/host/script_host.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "companion/cipher.h"
#include "companion/gbk.h"
#include "companion/ui.h"
#include "script/front/compiler.h"
#include "script/front/front_end.h"
#include "script/host/host_call.h"
#include "script/host/program_codec.h"
#include "script/host/program_verifier.h"
#include "script/vm/system_functions.h"

namespace kelo {

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMsgScript = 1295;
constexpr uint32_t kMsgRunScript = 1296;
constexpr intptr_t kRunStarting = -98;
constexpr intptr_t kRunName = -97;
constexpr intptr_t kRunEnded = -99;

KeloHostWindow* g_activeView = nullptr;

std::string Trim(const std::string& s) {
    const char* blanks = " \t\r\n";
    const size_t a = s.find_first_not_of(blanks);
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(blanks) - a + 1);
}

std::vector<std::string> HostNameList(const char* const* names, int32_t count) {
    std::vector<std::string> list;
    for (int32_t i = 0; names != nullptr && i < count; ++i) list.emplace_back(names[i] != nullptr ? names[i] : "");
    return list;
}

// "mf_<type>_<method>" for a known type becomes a method of that type; everything else is a
// global function, which the compiler resolves by name.
void RegisterHostNames(ScriptEngine& e, const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[i];
        if (n.compare(0, 3, "mf_") != 0) continue;
        const size_t us = n.find('_', 3);
        if (us == std::string::npos) continue;
        const int32_t type = FindScriptTypeCode(n.substr(3, us - 3));
        if (type < kTypeBool) continue;
        e.hostMethods[std::to_string(type) + ":" + n.substr(us + 1)] = static_cast<int32_t>(i);
    }
}

std::string MacroText(const ScriptMacro& m) {
    std::string s = "#define " + m.name;
    if (m.hasParams) {
        s += "(";
        for (size_t k = 0; k < m.params.size(); ++k) s += (k ? "," : "") + m.params[k];
        s += ")";
    }
    return s + " " + m.body;
}

enum class Mode { Run, Check, Debug, Build };

// One run of the documented sequence: tell the host, register, compile, run, collect the host
// text, tell the host again.
class HostRun {
public:
    HostRun(const char* const* names, KeloHostWindow* window, int32_t count, std::string& output)
        : names_(HostNameList(names, count)), window_(window), output_(output), engine_(new ScriptEngine) {
        output_.clear();
        engine_->hostWindow = window;
    }
    ~HostRun() {
        if (!engine_->hostText.empty()) output_ += "\n" + engine_->hostText;
        if (window_ != nullptr)
            WindowSendMeassage(window_, kMsgScript, kRunEnded, reinterpret_cast<intptr_t>(engine_.get()));
    }
    HostRun(const HostRun&) = delete;
    HostRun& operator=(const HostRun&) = delete;

    ScriptEngine& engine() { return *engine_; }

    void announce(const std::string& name) {
        name_ = name;
        if (window_ == nullptr) return;
        WindowSendMeassage(window_, kMsgScript, kRunStarting, reinterpret_cast<intptr_t>(engine_.get()));
        WindowSendMeassage(window_, kMsgScript, kRunName, reinterpret_cast<intptr_t>(name_.c_str()));
    }

    // Front end and compiler; false with the error text in the output.
    bool compile(const std::string& fileName, ScriptProgram& program) {
        RegisterHostNames(*engine_, names_);
        ScriptFrontEndResult front;
        ScriptError err;
        if (!RunScriptFrontEnd(fileName, front, err) || !CompileScript(front, names_, program, err)) {
            output_ = err.text;
            return false;
        }
        engine_->sourceLines = std::move(front.lines);
        engine_->mainFile = front.mainFile;
        for (const ScriptMacro& m : front.macros) engine_->macroTexts.push_back(MacroText(m));
        return true;
    }

    void run(const ScriptProgram& program, const std::vector<std::string>& args) {
        RegisterHostNames(*engine_, names_);
        engine_->program = &program;
        engine_->scriptArgs = args;
        std::string error;
        if (!engine_->run(error)) output_ = error;
    }

private:
    std::vector<std::string> names_;
    KeloHostWindow* window_;
    std::string& output_;
    std::unique_ptr<ScriptEngine> engine_;
    std::string name_;
};

void RunFile(Mode mode, const std::string& fileName, const std::vector<std::string>& args, const char* const* names,
             KeloHostWindow* window, int32_t count, std::string& output, ScriptDebugCallback callback,
             std::string* encoded) {
    ScriptProgram program;  // outlives the run: the host may still query it at -99
    HostRun run(names, window, count, output);
    run.announce(fileName);
    if (!run.compile(fileName, program)) return;
    if (mode == Mode::Check) return;
    if (mode == Mode::Build) {
        *encoded = detail::EncodeScriptProgram(program, &run.engine().sourceLines, run.engine().mainFile);
        return;
    }
    ScriptEngine& e = run.engine();
    if (mode == Mode::Debug) {
        e.debugging = true;
        e.debugCallback = callback;
        e.stepMode = kStepInto;
        e.breakpoints.assign(e.sourceLines.size(), 0);
    }
    run.run(program, args);
    if (mode == Mode::Debug) {
        e.debugReport = "End";
        e.debugStarted = false;
    }
}

void RunCommand(Mode mode, const char* command, const char* const* names, KeloHostWindow* window, int32_t count,
                std::string& output, ScriptDebugCallback callback, std::string* encoded) {
    std::string fileName;
    std::vector<std::string> args;
    SplitScriptCommand(command != nullptr ? command : "", fileName, args);
    RunFile(mode, fileName, args, names, window, count, output, callback, encoded);
}

}  // namespace

void SplitScriptCommand(const std::string& command, std::string& fileName, std::vector<std::string>& args) {
    args.clear();
    const size_t star = command.find('*');
    fileName = command.substr(0, star);
    fileName.erase(fileName.find_last_not_of(" \t\r\n") + 1);
    if (star == std::string::npos) return;
    const std::string rest = command.substr(star + 1);
    const std::string deli = GetScriptArgDeli();
    if (rest.find(deli) != std::string::npos) {
        size_t from = 0;
        for (;;) {
            const size_t at = rest.find(deli, from);
            args.push_back(Trim(rest.substr(from, at == std::string::npos ? std::string::npos : at - from)));
            if (at == std::string::npos) break;
            from = at + deli.size();
        }
        return;
    }
    size_t i = 0;
    while (i < rest.size()) {
        while (i < rest.size() && std::strchr(" \t\r\n", rest[i]) && rest[i] != '\0') ++i;
        const size_t start = i;
        while (i < rest.size() && !std::strchr(" \t\r\n", rest[i])) ++i;
        if (i > start) args.push_back(rest.substr(start, i - start));
    }
}

void ExecKeloScript(const char* command, const char* const* hostNames, KeloHostWindow* hostWindow,
                    int32_t nameCount, std::string& output) {
    RunCommand(Mode::Run, command, hostNames, hostWindow, nameCount, output, nullptr, nullptr);
}

void ExecKeloScriptCheckOnly(const char* command, const char* const* hostNames, KeloHostWindow* hostWindow,
                             int32_t nameCount, std::string& output) {
    RunCommand(Mode::Check, command, hostNames, hostWindow, nameCount, output, nullptr, nullptr);
}

void ExecKeloScriptDebug(const char* command, const char* const* hostNames, KeloHostWindow* hostWindow,
                         int32_t nameCount, std::string& output, ScriptDebugCallback callback) {
    RunCommand(Mode::Debug, command, hostNames, hostWindow, nameCount, output, callback, nullptr);
}

void ExecKeloScript(const std::string& fileName, const std::vector<std::string>& args, const char* const* hostNames,
                    KeloHostWindow* hostWindow, int32_t nameCount, std::string& output) {
    RunFile(Mode::Run, fileName, args, hostNames, hostWindow, nameCount, output, nullptr, nullptr);
}

void ExecKeloScriptDebug(const std::string& fileName, const std::vector<std::string>& args,
                         const char* const* hostNames, KeloHostWindow* hostWindow, int32_t nameCount,
                         std::string& output, ScriptDebugCallback callback) {
    RunFile(Mode::Debug, fileName, args, hostNames, hostWindow, nameCount, output, callback, nullptr);
}

bool EncodeBuildKeloScript(const char* command, const char* const* hostNames, KeloHostWindow* hostWindow,
                           int32_t nameCount, std::string& output, int32_t& outLength, char*& outBuffer) {
    outLength = 0;
    outBuffer = nullptr;
    std::string encoded;
    RunCommand(Mode::Build, command, hostNames, hostWindow, nameCount, output, nullptr, &encoded);
    if (encoded.empty() || encoded.size() >= static_cast<size_t>(INT32_MAX)) return false;
    outLength = static_cast<int32_t>(encoded.size());
    outBuffer = new char[encoded.size() + 1];
    std::memcpy(outBuffer, encoded.data(), encoded.size());
    outBuffer[encoded.size()] = '\0';
    return true;
}

void DecodeRunKeloScript(const char* const* hostNames, KeloHostWindow* hostWindow, int32_t nameCount,
                         std::string& output, const std::vector<std::string>& args, int32_t length,
                         const char* buffer) {
    ScriptProgram program;
    HostRun run(hostNames, hostWindow, nameCount, output);
    run.announce("@encode@" + std::to_string(length));
    ScriptEngine& e = run.engine();
    if (!detail::DecodeScriptProgram(buffer, length, program, &e.sourceLines, &e.mainFile)) {
        output = FormatScriptError(10000, {}, -1, 0, "");
        return;
    }
    detail::ScriptVerifyFault fault;
    if (!detail::VerifyScriptProgram(program, e.sourceLines.size(),
                                     hostNames != nullptr && nameCount > 0 ? nameCount : 0, fault)) {
        output = FormatScriptError(fault.code, e.sourceLines, fault.position, 0, e.mainFile);
        return;
    }
    run.run(program, args);
}

void SetKeloActiveView(KeloHostWindow* view) { g_activeView = view; }
KeloHostWindow* GetKeloActiveView() { return g_activeView; }

bool CallKeloScriptFromDLL(const char* script, const std::vector<std::string>* args, const char* comment) {
    const std::string name = script != nullptr ? script : "";
    std::string path = name;
    if (!name.empty() && getVailWSPFilePath(path)) {
        std::string argText;
        if (args != nullptr)
            for (size_t k = 0; k < args->size(); ++k) argText += (k ? GetScriptArgDeli() : "") + (*args)[k];
        std::string command = path + " *" + argText;
        WindowSendMeassage(g_activeView, kMsgRunScript, 0, reinterpret_cast<intptr_t>(command.c_str()));
        return true;
    }
    const std::string folder = GetKeloScriptFolder();
    const std::string question = name + KELO_GBK(" 文件不存在\n无法执行脚本\n\n") + folder +
                                 KELO_GBK("\n 目录下及其子目录下\n") + KELO_GBK("要系统创建一个简单脚本吗?");
    if (AfxMessageBox2(question.c_str(), kMbYesNo) != kIdYes) return false;
    std::error_code ec;
    if (!fs::is_directory(folder, ec) && !fs::create_directories(folder, ec)) {
        AfxMessageBox2(KELO_GBK("创建目录失败!").c_str());
        return false;
    }
    std::string file = name;
    if (file.empty() || file[0] != '/') file = folder + "/" + file;
    if (fs::path(file).extension().empty()) file += ".wsp";
    std::FILE* f = std::fopen(file.c_str(), "w");
    if (f == nullptr) {
        AfxMessageBox2(KELO_GBK("创建文件失败!").c_str());
        return false;
    }
    std::string text = "void main(array args)\n{\n";
    if (comment != nullptr && *comment != '\0') text += std::string("/*\n") + comment + "\n*/\n";
    text += "\tif (args.getSize())\n" + KELO_GBK("\t\tmessage(\"参数为:\\n\"+toString(args));\n") +
            "\telse\n" + KELO_GBK("\t\tmessage(\"无参数\");\n") + "}\n";
    std::fputs(text.c_str(), f);
    std::fclose(f);
    AfxMessageBox2(KELO_GBK("创建文件成功!").c_str());
    return false;
}

int32_t EncryptScriptFile(const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    std::string target = path;
    const size_t dot = target.find_last_of('.');
    const size_t slash = target.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) target.erase(dot);
    target += ".wse";
    std::FILE* in = std::fopen(path, "r");
    if (in == nullptr) return 0;
    std::unique_ptr<char[]> buffer(new char[65536]);
    const size_t n = std::fread(buffer.get(), 1, 65535, in);
    std::fclose(in);
    if (n == 0 || n >= 65534) {
        char text[128];
        std::snprintf(text, sizeof text, KELO_GBK("加密的源文件不得大于%dK").c_str(), 64);
        AfxMessageBox2(text);
        return 0;
    }
    const std::string cipher = KeloEncryptString2(std::string_view(buffer.get(), n), 1);
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (out == nullptr) return 0;
    const bool ok = std::fwrite(cipher.data(), 1, cipher.size(), out) == cipher.size();
    return std::fclose(out) == 0 && ok ? 1 : 0;
}

int64_t GetAllFilesInPath(const std::string& folder, std::vector<std::string>& files, const std::string& wanted) {
    std::error_code ec;
    int64_t total = 0;
    const std::string extension = wanted.empty() || wanted[0] == '.' ? wanted : "." + wanted;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
    if (ec) return 0;
    std::vector<std::string> found;
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        std::error_code fe;
        if (!it->is_regular_file(fe)) continue;
        const std::string name = it->path().filename().string();
        const size_t dot = name.find_last_of('.');
        const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
        if (ext.size() != extension.size() ||
            !std::equal(ext.begin(), ext.end(), extension.begin(),
                        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                    std::tolower(static_cast<unsigned char>(b)); }))
            continue;
        const uintmax_t size = it->file_size(fe);
        if (!fe) total += static_cast<int64_t>(size);
        found.push_back(it->path().string());
    }
    // Directory order is the file system's; sorted lists are stable for hosts and tests.
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return total;
}

int64_t GetAllWSPFiles(std::vector<std::string>& files, const std::string& extension) {
    return GetAllFilesInPath(GetKeloScriptFolder(), files, extension);
}

}  // namespace kelo
