#!/usr/bin/env bash
# Installs the Debian packages the build needs, but only those that are missing, so a machine
# that has everything pays one dpkg query and nothing else.
set -euo pipefail
need=(cmake ninja-build g++ ccache pkg-config googletest libgtest-dev libbenchmark-dev libgeographiclib-dev tmux libgeos-dev libgdal-dev gdal-bin librsvg2-bin clang libclang-rt-14-dev pybind11-dev python3-dev python3-numpy python3-pytest python3-shapely python3-gdal)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root, or install them with apt-get)" >&2
  exit 1
fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null 2>&1 || {
  apt-get update >/dev/null
  apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null
}
