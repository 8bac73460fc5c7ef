#!/usr/bin/env bash
# Builds the script fuzzers with clang (libFuzzer + ASan + UBSan) into build/fuzz and, given a
# number of seconds, runs the front-end one on the kept corpus:
#   tests/fuzz/build_script_front_fuzz.sh [seconds]
# The compile-and-run target is build/fuzz/script_run_fuzz (seeds: tests/fuzz/corpus/script_run).
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$PWD/build/fuzz
mkdir -p "$out"
srcs=$(ls src/script/front/*.cpp src/script/vm/*.cpp src/companion/{cipher,gbk,settings,ui,random}.cpp \
          src/geometry/{box,point,tolerance}.cpp src/companion/{plane,host_window}.cpp src/platform/break_poll.cpp)
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc tests/fuzz/script_front_fuzz.cpp $srcs -ldl -o "$out/script_front_fuzz"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Isrc tests/fuzz/script_run_fuzz.cpp $srcs -ldl -o "$out/script_run_fuzz"
if [[ $# -gt 0 ]]; then
  mkdir -p "$out/corpus"
  # Absolute paths: the target changes into its own scratch folder before reading the corpus.
  "$out/script_front_fuzz" -max_total_time="$1" -timeout=10 -rss_limit_mb=4096 -max_len=4096 \
    -dict="$PWD/tests/fuzz/script_front.dict" "$out/corpus" "$PWD/tests/fuzz/corpus/script_front"
fi
