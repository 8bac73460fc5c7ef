#!/usr/bin/env bash
# Builds every libFuzzer target with clang and runs each for a while on its kept corpus; any crash,
# leak, sanitizer report or timeout fails the run.   scripts/fuzz.sh [SECONDS_PER_TARGET] [NAME...]
#
# Targets are found, not listed: each tests/fuzz/NAME_fuzz.cpp is built (see CMakeLists.txt) and
# run on the seeds in tests/fuzz/corpus/NAME, with tests/fuzz/NAME.dict as its dictionary when
# that file exists. A new target needs only its source and its corpus folder; one without a corpus
# folder is built but not run, and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-45}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
out=$PWD/build/fuzz
mkdir -p "$out/artifacts"
for src in tests/fuzz/*_fuzz.cpp; do
  target=$(basename "$src" .cpp)
  name=${target%_fuzz}
  if [[ $# -gt 0 && ! " $* " =~ " $name " ]]; then continue; fi
  seeds=$PWD/tests/fuzz/corpus/$name
  if [[ ! -d $seeds ]]; then
    echo "fuzz: $target has no corpus folder tests/fuzz/corpus/$name; built, not run" >&2
    continue
  fi
  # New inputs go to a scratch corpus, so the kept seeds change only by hand.
  work=$out/corpus_$name
  mkdir -p "$work"
  # Inputs as long as the longest seed, at least 4 KiB.
  max_len=$(find "$seeds" -type f -printf '%s\n' | sort -n | tail -n 1)
  (( ${max_len:-0} < 4096 )) && max_len=4096
  dict=()
  [[ -f tests/fuzz/$name.dict ]] && dict=(-dict="$PWD/tests/fuzz/$name.dict")
  echo "fuzz: $target for ${seconds}s" >&2
  if ! "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
        -print_final_stats=1 -artifact_prefix="$out/artifacts/$name-" "${dict[@]}" "$work" "$seeds" \
        >"$out/$name.log" 2>&1; then
    tail -n 60 "$out/$name.log" >&2
    echo "fuzz: $target FAILED (log: $out/$name.log, input: $out/artifacts/)" >&2
    exit 1
  fi
  echo "fuzz: $target ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$name.log" | grep -o '[0-9]*$') runs" >&2
done
