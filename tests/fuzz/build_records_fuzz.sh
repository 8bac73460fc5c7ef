#!/usr/bin/env bash
# Builds the record-reader fuzzer with clang (libFuzzer + ASan + UBSan) into build/fuzz and, given a
# number of seconds, runs it on the kept corpus:  tests/fuzz/build_records_fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$PWD/build/fuzz
mkdir -p "$out"
srcs=$(ls src/geometry/*.cpp src/platform/*.cpp src/companion/*.cpp)
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc tests/fuzz/records_fuzz.cpp $srcs -lGeographicLib -ldl -o "$out/records_fuzz"
if [[ $# -gt 0 ]]; then
  mkdir -p "$out/corpus_records"
  "$out/records_fuzz" -max_total_time="$1" -timeout=10 -rss_limit_mb=4096 -max_len=4096 \
    "$out/corpus_records" "$PWD/tests/fuzz/corpus/records"
fi
