#!/usr/bin/env bash
# Builds every test under AddressSanitizer, LeakSanitizer and UBSan and runs them with ctest.
# Before that, every fuzz target is built with clang and run briefly on its corpus (see
# scripts/fuzz.sh; KELO_FUZZ_SECONDS per target, default 30, 0 skips the step), so the targets
# cannot stop linking unnoticed; a finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
fuzz_seconds=${KELO_FUZZ_SECONDS:-30}
if [[ $fuzz_seconds != 0 ]]; then
  scripts/fuzz.sh "$fuzz_seconds"
fi
exec ctest --preset asan -j "$(nproc)"
