// The settings file and the module folder.
#pragma once

#include <cstddef>
#include <string>

#include "kelo_api.h"

namespace kelo {

// Size the four-argument _LFWholeName assumes for its output buffer.
inline constexpr size_t kKeloMaxPath = 4096;

// Reads key from [section] of file (a bare name is looked up with _LFWholeName). Copies the value,
// or def when the file, section or key is missing, into buf (always terminated, cut to size - 1)
// and returns the number of bytes copied. flag is kept for the documented call form.
KELO_API int GetKeloProfileString(const char* section, const char* key, const char* def, char* buf, int size,
                                  const char* file, int flag = -1);
KELO_API int GetKeloProfileInt(const char* section, const char* key, int def, const char* file, int flag = -1);
// Stores the value, creating folder, file and section as needed. The file is replaced atomically,
// so a failed write leaves the old file as it was. Returns 1 on success, 0 on failure.
KELO_API int WriteKeloProfileString(const char* section, const char* key, const char* value, const char* file,
                                    int flag = -1);

// Full path of a settings file: base name plus extension inside the settings folder
// ($KELO_HOME, else $XDG_CONFIG_HOME/kelo, else ~/.config/kelo). Writes at most kKeloMaxPath bytes.
// Returns 1, or 0 when the path does not fit.
KELO_API int _LFWholeName(char* buffer, const char* base, const char* ext, int flag = 1);
// The same with the buffer's size; returns 0 (and an empty text) when the path does not fit.
KELO_API int _LFWholeName(char* buffer, size_t bufferSize, const char* base, const char* ext, int flag = 1);
KELO_API std::string KeloSettingsPath(const char* base, const char* ext);
KELO_API std::string KeloSettingsDir();

// The module folder without a trailing separator: $KELO_HOME, else the folder of libKeloGeomNet.so.
KELO_API std::string _LFModDir();

}  // namespace kelo
