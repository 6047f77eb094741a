#!/usr/bin/env bash
# Installs what is missing, then runs every test through the CMake workflows: "default" (GCC: unit
# tests, end-to-end and long runs of the real binary, sample bits), "clang" (the whole tree again,
# everything but the X server runs), "sanitize" (the same under ASan and UBSan); then the Debian
# packages (amd64 built clean, arm64 and armhf cross-built and tested under qemu-user, the
# autopkgtest, the arm packages installed and drawing) with lintian's and the other checks and
# reprotest; the browser build with its browser tests (chromium, firefox-esr, WebKitGTK), and the
# Windows build: its sample bits, installer and zip ("windows"); the web zip, installer and
# Windows zip built again elsewhere with the same bytes; then the Windows window, menus and
# installer under Wine (test preset "wine", run by the native build's tests).
# The end-to-end tests start their own private Xvfb servers, so no display of the caller's is used.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
unset DISPLAY
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"
for preset in default clang sanitize; do
  cmake --workflow --preset "$preset"
done
deb="$(bash scripts/package.sh | tail -n1)"
bash scripts/check-package.sh "$deb"
bash scripts/reprotest.sh
bash scripts/web.sh
bash tests/web/run.sh
cmake --workflow --preset windows
bash scripts/check-reproducible.sh
ctest --preset wine
