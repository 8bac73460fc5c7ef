#include "platform/break_poll.h"

namespace kelo {

namespace {
ScriptBreakPoll g_breakPoll = nullptr;
void* g_breakPollUser = nullptr;
}  // namespace

void SetScriptBreakPoll(ScriptBreakPoll poll, void* user) {
    g_breakPoll = poll;
    g_breakPollUser = user;
}

bool PollScriptBreakRequest() { return g_breakPoll != nullptr && g_breakPoll(g_breakPollUser); }

}  // namespace kelo
