// Reading one script file into lines: the name lookup, the enciphered ".wse" form and the split
// at newlines.
#pragma once

#include <string>
#include <vector>

namespace kelo::detail {

enum class ScriptLoadStatus {
    Ok,
    BadName,      // empty name
    Missing,      // not found anywhere
    NotReadable,  // found, but not a regular file or unreadable
    WseError,     // ".wse" content that does not decipher
};

struct LoadedScript {
    std::string path;                // the file actually read
    std::vector<std::string> lines;  // without their newlines
};

// Looks the name up as given, then (for a relative name) beside the including file, then in the
// script folder.
ScriptLoadStatus LoadScriptFile(const std::string& name, const std::string& includingFile, LoadedScript& out);

void SplitScriptLines(const std::string& text, std::vector<std::string>& lines);

}  // namespace kelo::detail
