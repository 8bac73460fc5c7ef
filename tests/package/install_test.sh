#!/usr/bin/env bash
# Installs the built library into a temporary prefix, then builds examples/host against it twice,
# through find_package(KeloGeomNet) and through pkg-config, and runs both.
#   install_test.sh BUILD_DIR SOURCE_DIR SANITIZE(ON/OFF)
set -euo pipefail
build=$1 src=$2 sanitize=${3:-OFF}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
test -x "$tmp/prefix/bin/kelo"
test -f "$tmp/prefix/include/KeloGeomNet/KeloGeomNet.h"

# A library built with sanitizers needs them in its hosts too.
flags=""
case "$sanitize" in ON|on|1|TRUE|true) flags="-fsanitize=address,undefined" ;; esac

cmake -S "$src/examples/host" -B "$tmp/host" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefix" \
  -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$tmp/host" >/dev/null
parcel='CURVEPOLYGON (COMPOUNDCURVE ((0 0, 10 0, 10 10), CIRCULARSTRING (10 10, 5 15, 0 10), (0 10, 0 0)), (3 3, 7 3, 7 7, 3 7, 3 3))'
want_area=$(awk 'BEGIN { printf "area %.6f", 100 + 3.14159265358979 * 25 / 2 - 16 }')
out=$("$tmp/host/kelo_host" "$parcel")
echo "$out"
grep -qx "$want_area" <<<"$out"
grep -qx "wkt $parcel" <<<"$out"
grep -q "reads back equal" <<<"$out"

export PKG_CONFIG_PATH="$tmp/prefix/lib/pkgconfig"
g++ -std=c++20 $flags "$src/examples/host/host.cpp" $(pkg-config --cflags --libs KeloGeomNet) -o "$tmp/host_pc"
out=$(echo "$parcel" | "$tmp/host_pc")
grep -qx "$want_area" <<<"$out"

# The installed Python package finds the installed library (not the build's) beside it.
pkg="$tmp/prefix/lib/python3/dist-packages"
if [[ -d $pkg/kelogeomnet ]]; then
  preload=""
  [[ -z $flags ]] || preload="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)"
  out=$(cd "$tmp" && LD_PRELOAD=$preload ASAN_OPTIONS=detect_leaks=0 PYTHONPATH="$pkg" "$(command -v /usr/bin/python3 || command -v python3)" -c \
    "import kelogeomnet as k; print(k.__file__); print('area %.6f' % k.Geometry('$parcel').area)")
  grep -q "^$pkg/kelogeomnet/" <<<"$out"
  grep -qx "$want_area" <<<"$out"
fi

# The installed kelo finds its library beside it.
"$tmp/prefix/bin/kelo" version
echo "package ok"
