// The entry points a host runs scripts through, and the script-file helpers around them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/host_window.h"
#include "kelo_api.h"
#include "script/front/script_folder.h"
#include "script/vm/script_engine.h"

namespace kelo {

// Host names are a list of nameCount zero-terminated names: "mf_<type>_<method>" registers a
// method for a script type, any other name a global function; name i is host function 32768 + i.
// The host window (may be null) is told about the run with message 1295 and carries out the
// host functions. Error texts (and the host functions' text buffer) go to output.
KELO_API void ExecKeloScript(const char* command, const char* const* hostNames, KeloHostWindow* hostWindow,
                             int32_t nameCount, std::string& output);
KELO_API void ExecKeloScriptCheckOnly(const char* command, const char* const* hostNames,
                                      KeloHostWindow* hostWindow, int32_t nameCount, std::string& output);
KELO_API void ExecKeloScriptDebug(const char* command, const char* const* hostNames, KeloHostWindow* hostWindow,
                                  int32_t nameCount, std::string& output, ScriptDebugCallback callback);
// The same runs with the script's arguments given one by one: an argument may then hold any
// text, the argument delimiter and blanks included, which a command text cannot carry.
KELO_API void ExecKeloScript(const std::string& fileName, const std::vector<std::string>& args,
                             const char* const* hostNames, KeloHostWindow* hostWindow, int32_t nameCount,
                             std::string& output);
KELO_API void ExecKeloScriptDebug(const std::string& fileName, const std::vector<std::string>& args,
                                  const char* const* hostNames, KeloHostWindow* hostWindow, int32_t nameCount,
                                  std::string& output, ScriptDebugCallback callback);

// Compiles the script into a new[]-allocated buffer of outLength bytes plus a closing zero byte,
// which the caller releases with delete[]. True when the script compiled.
KELO_API bool EncodeBuildKeloScript(const char* command, const char* const* hostNames, KeloHostWindow* hostWindow,
                                    int32_t nameCount, std::string& output, int32_t& outLength, char*& outBuffer);
// Runs a compiled program; a buffer that does not read back completely is refused.
KELO_API void DecodeRunKeloScript(const char* const* hostNames, KeloHostWindow* hostWindow, int32_t nameCount,
                                  std::string& output, const std::vector<std::string>& args, int32_t length,
                                  const char* buffer);

// The view that message 1296 (run this script) goes to.
KELO_API void SetKeloActiveView(KeloHostWindow* view);
KELO_API KeloHostWindow* GetKeloActiveView();

// Hands the script to the active view to run; a missing script may be created from the skeleton
// after the user agrees. True when the script was found and handed over.
KELO_API bool CallKeloScriptFromDLL(const char* script, const std::vector<std::string>* args, const char* comment);

// Writes the enciphered ".wse" beside the source; 1 on success, 0 on failure.
KELO_API int32_t EncryptScriptFile(const char* path);

// The file name and arguments of a command text ("name*arguments").
KELO_API void SplitScriptCommand(const std::string& command, std::string& fileName, std::vector<std::string>& args);

// Appends every file below folder (recursively) with the extension (compared without case) and
// returns their total size in bytes.
KELO_API int64_t GetAllFilesInPath(const std::string& folder, std::vector<std::string>& files,
                                   const std::string& extension);
KELO_API int64_t GetAllWSPFiles(std::vector<std::string>& files, const std::string& extension);

}  // namespace kelo
