// The break request of a running script. The desktop platform peeks at the keyboard for
// Control+Shift+C; here the host installs a callback that answers the same question (kelo reads
// pending terminal input without blocking). No callback means no polling.
#pragma once

#include "kelo_api.h"

namespace kelo {

using ScriptBreakPoll = bool (*)(void* user);

KELO_API void SetScriptBreakPoll(ScriptBreakPoll poll, void* user);
// True when the installed callback reports a break request; false without a callback.
KELO_API bool PollScriptBreakRequest();

}  // namespace kelo
