#!/usr/bin/env bash
# Builds every test under AddressSanitizer, LeakSanitizer and UBSan and runs them with ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan
exec ctest --preset asan -j "$(nproc)"
