#include "companion/host_window.h"

namespace kelo {

intptr_t WindowSendMeassage(KeloHostWindow* window, uint32_t message, intptr_t wparam, intptr_t lparam) {
    if (window == nullptr || window->proc == nullptr) return 0;
    return window->proc(window->user, message, wparam, lparam);
}

}  // namespace kelo
