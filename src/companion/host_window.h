// Window messages to the host: a host window is a callback with its user data.
#pragma once

#include <cstdint>

#include "kelo_api.h"

namespace kelo {

struct KeloHostWindow {
    intptr_t (*proc)(void* user, uint32_t message, intptr_t wparam, intptr_t lparam) = nullptr;
    void* user = nullptr;
};

// Delivers synchronously; 0 when there is no host window (null window or null callback).
KELO_API intptr_t WindowSendMeassage(KeloHostWindow* window, uint32_t message, intptr_t wparam, intptr_t lparam);

}  // namespace kelo
