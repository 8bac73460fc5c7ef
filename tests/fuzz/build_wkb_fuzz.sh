#!/usr/bin/env bash
# Builds the WKB and WKT reader fuzzers with clang (libFuzzer + ASan + UBSan) into build/fuzz and,
# given a number of seconds, runs each on its kept corpus:  tests/fuzz/build_wkb_fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$PWD/build/fuzz
mkdir -p "$out"
srcs=$(ls src/io/*.cpp src/geometry/*.cpp src/platform/*.cpp src/companion/*.cpp src/relations/*.cpp \
  src/overlay/*.cpp src/transform/*.cpp)
for name in wkb wkt; do
  clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -Isrc tests/fuzz/${name}_fuzz.cpp $srcs -lGeographicLib -ldl -o "$out/${name}_fuzz"
  if [[ $# -gt 0 ]]; then
    mkdir -p "$out/corpus_$name"
    "$out/${name}_fuzz" -max_total_time="$1" -timeout=10 -rss_limit_mb=4096 -max_len=4096 \
      "$out/corpus_$name" "$PWD/tests/fuzz/corpus/$name"
  fi
done
