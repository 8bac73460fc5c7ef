// User-interface services: message boxes and progress messages. The library is headless; a host
// installs a handler to show them (or to capture them in tests).
#pragma once

#include <cstdint>

#include "kelo_api.h"

namespace kelo {

inline constexpr uint32_t kMbOk = 0;
inline constexpr uint32_t kMbYesNo = 4;
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

struct KeloUiHandler {
    void* user = nullptr;
    // Shows a GBK text; for type 4 the return value 6 means Yes.
    int (*messageBox)(void* user, const char* gbkText, uint32_t type) = nullptr;
    void (*waitOpen)(void* user, const char* caption) = nullptr;
    // percent is -1 when the caller gave only a text.
    void (*waitUpdate)(void* user, const char* text, int percent) = nullptr;
    void (*waitClose)(void* user) = nullptr;
};

// Installs a handler (null restores the default one) and returns the one it replaces.
KELO_API KeloUiHandler SetKeloUiHandler(const KeloUiHandler* handler);

KELO_API int AfxMessageBox2(const char* text, uint32_t type = kMbOk, uint32_t help = 0);
KELO_API void _LWaitMsg(const char* caption, void* window = nullptr);
KELO_API void _LWaitReMsg(const char* text);
KELO_API void _LWaitReMsg(const char* text, int percent);
KELO_API void _LWaitMsgEnd();

// A busy indication for the lifetime of the object.
class KELO_API CKeloWaitCursor {
public:
    explicit CKeloWaitCursor(const char* text = nullptr, void* window = nullptr);
    ~CKeloWaitCursor();
    CKeloWaitCursor(const CKeloWaitCursor&) = delete;
    CKeloWaitCursor& operator=(const CKeloWaitCursor&) = delete;
};

}  // namespace kelo
