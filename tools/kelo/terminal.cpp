#include "terminal.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "KeloGeomNet.h"

namespace kelo_tool {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

// A script stuck where it cannot poll (waiting for input) still ends on the third Control+C.
void OnInterrupt(int) {
    g_interrupted = g_interrupted + 1;
    if (g_interrupted >= 3) _exit(130);
}

// Control+C while a script runs is a request, confirmed by the user.
bool BreakRequested(void*) {
    if (g_interrupted == 0) return false;
    g_interrupted = 0;
    // Let the answer to the question be typed fresh: throw away what is pending on the terminal.
    if (isatty(STDIN_FILENO)) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        char junk[256];
        while (poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0 && read(STDIN_FILENO, junk, sizeof junk) > 0) {
        }
    }
    return true;
}

int MessageBox(void*, const char* gbkText, uint32_t type) {
    const std::string text = kelo::GbkToTerminal(gbkText != nullptr ? gbkText : "");
    if (type != kelo::kMbYesNo) {
        std::fflush(stdout);
        std::fprintf(stderr, "%s\n", text.c_str());
        return kelo::kIdOk;
    }
    std::fprintf(stderr, "%s [y/N] ", text.c_str());
    std::fflush(stderr);
    std::string answer;
    if (!ReadLine(answer)) return kelo::kIdNo;
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y') ? kelo::kIdYes : kelo::kIdNo;
}

}  // namespace

bool ReadLine(std::string& line) {
    line.clear();
    for (;;) {
        const int c = std::fgetc(stdin);
        if (c == EOF) {
            if (std::ferror(stdin) && errno == EINTR) {
                std::clearerr(stdin);
                continue;
            }
            return !line.empty();
        }
        if (c == '\n') return true;
        if (c != '\r') line += static_cast<char>(c);
    }
}

void InstallTerminalHost() {
    static kelo::KeloUiHandler handler;
    handler.messageBox = MessageBox;
    kelo::SetKeloUiHandler(&handler);
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    kelo::SetScriptBreakPoll(BreakRequested, nullptr);
}

}  // namespace kelo_tool
