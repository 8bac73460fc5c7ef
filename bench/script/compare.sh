#!/usr/bin/env bash
# Times each KeloScript program against its Lua 5.4 twin (same output required) and prints the
# ratio. Needs a Release build of kelo:  cmake --preset release && cmake --build --preset release
set -euo pipefail
cd "$(dirname "$0")"
kelo=../../build/release/kelo
lua=${LUA:-lua5.4}
best() {  # best wall time of three runs, in seconds
    local t b=999
    for _ in 1 2 3; do
        t=$( { /usr/bin/time -f %e "$@" >/dev/null; } 2>&1 | tail -1 )
        b=$(echo "$t $b" | awk '{print ($1 < $2) ? $1 : $2}')
    done
    echo "$b"
}
printf '%-10s %10s %10s %8s\n' program kelo lua ratio
for p in fib loops strings sort map; do
    a=$("$kelo" run "$p.wsp"); b=$("$lua" "$p.lua")
    [[ "$a" == "$b" ]] || { echo "$p: outputs differ: '$a' vs '$b'"; exit 1; }
    tk=$(best "$kelo" run "$p.wsp"); tl=$(best "$lua" "$p.lua")
    printf '%-10s %10s %10s %8s\n' "$p" "$tk" "$tl" "$(awk -v a="$tk" -v b="$tl" 'BEGIN{printf "%.1f", (b>0)?a/b:0}')"
done
