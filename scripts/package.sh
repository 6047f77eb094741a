#!/usr/bin/env bash
# The CMake workflow "package": the Debian package of Vellorin built by CPack into build-deb/
# (Release, no tests). Prints the package's path as its last line. Install it with:
#   apt install ./build-deb/vellorin_*.deb
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
# Building needs the run list; CPack's dependency scan needs dpkg-shlibdeps (dpkg-dev) and file.
bash scripts/setup.sh --run dpkg-dev file
rm -f build-deb/vellorin_*.deb
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
cmake --workflow --preset package >"$log" 2>&1 || { cat "$log" >&2; exit 1; }
ls "$root"/build-deb/vellorin_*.deb
