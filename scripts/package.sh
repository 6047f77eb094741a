#!/usr/bin/env bash
# Builds the Debian package of Vellorin with CPack into build-deb/ (Release, no tests) and prints
# the package's path as its last line. Install it with: apt install ./build-deb/vellorin_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
# Building needs the run list; CPack's dependency scan needs dpkg-shlibdeps (dpkg-dev) and file.
bash scripts/setup.sh --run dpkg-dev file
build="$root/build-deb"
rm -f "$build"/vellorin_*.deb
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DVELLORIN_DEB=ON \
  -DVELLORIN_TESTS=OFF -DVELLORIN_BENCH=OFF >/dev/null
cmake --build "$build" -j"${VELLORIN_JOBS:-$(nproc)}" >/dev/null
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
deb="$(ls "$build"/vellorin_*.deb)"
echo "$deb"
