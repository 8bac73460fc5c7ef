#!/usr/bin/env bash
# The main job: build the library and kelo in Release, run the self-check, then the example script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target kelo
build/release/kelo demo
exec build/release/kelo run examples/hello.wsp KeloScript works
