#!/usr/bin/env bash
# The main job: build the library and kelo in Release and run the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target kelo
exec build/release/kelo demo
