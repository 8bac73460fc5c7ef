// A progress bar on standard error for the file verbs, shown only for work that takes more than a
// second and only on a terminal (or with KELO_PROGRESS set).
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace kelo_tool {

class Progress {
public:
    static void Tick(size_t done, size_t total) { Instance().Show(done, total); }
    static void Finish() { Instance().End(); }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    bool shown_ = false;
    int lastPercent_ = -1;
    bool enabled_ = isatty(2) || std::getenv("KELO_PROGRESS") != nullptr;

    static Progress& Instance() {
        static Progress p;
        return p;
    }
    void Show(size_t done, size_t total) {
        if (!enabled_ || total == 0) return;
        if (!shown_ && std::chrono::steady_clock::now() - start_ < std::chrono::seconds(1)) return;
        const int percent = static_cast<int>(100.0 * static_cast<double>(done) / static_cast<double>(total));
        if (percent == lastPercent_) return;
        lastPercent_ = percent;
        shown_ = true;
        const int bars = percent * 30 / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%% (%zu/%zu)", bars, "##############################", 30 - bars, "",
                     percent, done, total);
        std::fflush(stderr);
    }
    void End() {
        if (shown_) std::fputc('\n', stderr);
        shown_ = false;
    }
};

}  // namespace kelo_tool
