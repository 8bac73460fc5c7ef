// Timing of external tools run in the same benchmark as the library.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace kelo_bench {

inline double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs cmd (output discarded) once per iteration and reports its CPU time (user + system), which
// stays comparable with the in-process CPU times on a loaded machine where wall time mostly
// measures the neighbours.
inline void RunExternal(benchmark::State& state, const std::string& cmd, int64_t cells) {
    for (auto _ : state) {
        const double t0 = ChildCpuSeconds();
        if (std::system((cmd + " >/dev/null 2>&1").c_str()) != 0) state.SkipWithError(("failed: " + cmd).c_str());
        state.SetIterationTime(ChildCpuSeconds() - t0);
    }
    state.SetItemsProcessed(state.iterations() * cells);
}

}  // namespace kelo_bench
