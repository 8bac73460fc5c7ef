#!/usr/bin/env bash
# Installs the tools the benchmarks compare with and the tests do not need: SAGA's saga_cmd
# (depression filling and flow accumulation, bench/hydrology.cpp). Run as root.
set -euo pipefail
if ! command -v saga_cmd >/dev/null 2>&1; then
    apt-get install -y --no-install-recommends saga
fi
