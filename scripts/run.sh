#!/usr/bin/env bash
# The main job: build the library and kelo in Release, run the self-check, then the example script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target kelo
build/release/kelo demo
build/release/kelo run examples/hello.wsp KeloScript works
build/release/kelo geom area examples/village.geojson
build/release/kelo run examples/field_division.wsp
exec build/release/kelo run examples/parcels.wsp
