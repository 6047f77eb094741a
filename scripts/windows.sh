#!/usr/bin/env bash
# Vellorin for Windows: the CMake preset "windows" (MinGW-w64 cross build, freeglut from Debian's
# source package) builds build-windows/vellorin.exe, then CPack makes the installer and the
# portable zip. Prints the installer's and the zip's paths last.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh --windows
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
rm -f build-windows/Vellorin-*-win64.exe build-windows/Vellorin-*-win64.zip
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
{ cmake --preset windows && cmake --build --preset windows && cpack --preset windows; } >"$log" 2>&1 ||
  { cat "$log" >&2; exit 1; }
ls "$root"/build-windows/Vellorin-*-win64.exe "$root"/build-windows/Vellorin-*-win64.zip
