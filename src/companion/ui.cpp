#include "companion/ui.h"

#include <cstdio>

#include "companion/gbk.h"

namespace kelo {

namespace {

int DefaultMessageBox(void*, const char* gbkText, uint32_t type) {
    std::fprintf(stderr, "%s\n", GbkToUtf8(gbkText ? gbkText : "").c_str());
    // Headless: nobody can answer, so a question is declined rather than silently accepted.
    return type == kMbYesNo ? kIdNo : kIdOk;
}

KeloUiHandler MakeDefault() {
    KeloUiHandler h;
    h.messageBox = DefaultMessageBox;
    return h;
}

KeloUiHandler& Current() {
    static KeloUiHandler handler = MakeDefault();
    return handler;
}

}  // namespace

KeloUiHandler SetKeloUiHandler(const KeloUiHandler* handler) {
    KeloUiHandler old = Current();
    Current() = handler ? *handler : MakeDefault();
    return old;
}

int AfxMessageBox2(const char* text, uint32_t type, uint32_t) {
    const KeloUiHandler& h = Current();
    if (!h.messageBox) return type == kMbYesNo ? kIdNo : kIdOk;
    return h.messageBox(h.user, text ? text : "", type);
}

void _LWaitMsg(const char* caption, void*) {
    const KeloUiHandler& h = Current();
    if (h.waitOpen) h.waitOpen(h.user, caption ? caption : "");
}

void _LWaitReMsg(const char* text) {
    const KeloUiHandler& h = Current();
    if (h.waitUpdate) h.waitUpdate(h.user, text ? text : "", -1);
}

void _LWaitReMsg(const char* text, int percent) {
    const KeloUiHandler& h = Current();
    if (h.waitUpdate) h.waitUpdate(h.user, text ? text : "", percent);
}

void _LWaitMsgEnd() {
    const KeloUiHandler& h = Current();
    if (h.waitClose) h.waitClose(h.user);
}

CKeloWaitCursor::CKeloWaitCursor(const char* text, void* window) { _LWaitMsg(text ? text : "", window); }
CKeloWaitCursor::~CKeloWaitCursor() { _LWaitMsgEnd(); }

}  // namespace kelo
