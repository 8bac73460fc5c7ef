// The set-up the script fuzz targets share: an empty scratch folder as $KELO_HOME and working
// folder, so relative includes and the script folder find nothing of the machine's, and a
// message-box handler that answers every question the same way without showing anything.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "companion/ui.h"

namespace kelo_fuzz {

template <int Answer>
int SilentBox(void*, const char*, uint32_t) {
    return Answer;
}

template <int Answer>
inline std::string EnterScratchHome() {
    char pattern[] = "/tmp/kelo_fuzz_XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    ::setenv("KELO_HOME", pattern, 1);
    if (::chdir(pattern) != 0) std::abort();
    static kelo::KeloUiHandler quiet;
    quiet.messageBox = SilentBox<Answer>;
    kelo::SetKeloUiHandler(&quiet);
    return pattern;
}

}  // namespace kelo_fuzz
