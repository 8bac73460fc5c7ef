#!/usr/bin/env bash
# Times each KeloScript program against its Lua 5.4 twin (same output required) and prints the
# ratio. Needs a Release build of kelo:  cmake --preset release && cmake --build --preset release
set -euo pipefail
cd "$(dirname "$0")"
kelo=${KELO:-../../build/release/kelo}  # KELO: another build to time, e.g. the one before a change
lua=${LUA:-lua5.4}
# Processor time (user + system) rather than wall time: on a shared machine the wall time mostly
# measures the other jobs. RUNS sets how many runs the best is taken of.
best() {  # best processor time of RUNS runs, in seconds
    local t b=999
    for _ in $(seq "${RUNS:-5}"); do
        # The shell's own timer reads milliseconds; /usr/bin/time rounds to hundredths, which is a
        # quarter of Lua's time on the shortest programs.
        t=$( { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null 2>&1; } 2>&1 | tail -1 | awk '{print $1 + $2}' )
        b=$(echo "$t $b" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$b"
}
printf '%-10s %10s %10s %8s\n' program kelo lua ratio
for p in ${PROGRAMS:-fib loops strings sort map concat methods nested recurse geometry}; do
    a=$("$kelo" run "$p.wsp"); b=$("$lua" "$p.lua")
    [[ "$a" == "$b" ]] || { echo "$p: outputs differ: '$a' vs '$b'"; exit 1; }
    tk=$(best "$kelo" run "$p.wsp"); tl=$(best "$lua" "$p.lua")
    printf '%-10s %10s %10s %8s\n' "$p" "$tk" "$tl" "$(awk -v a="$tk" -v b="$tl" 'BEGIN{printf "%.2f", (b>0)?a/b:0}')"
done
