#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest; then the unit tests, the
# storms and the sample bits again in a clang build, the sanitizer build, the Debian package with
# its checks, and the browser build with its tests in headless Chromium.
# The end-to-end tests start their own private Xvfb servers, so no display of the caller's is used.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
unset DISPLAY
jobs="$(nproc)"
bash scripts/build.sh -DVELLORIN_TESTS=ON -DVELLORIN_BENCH=ON
ctest --test-dir build --output-on-failure -j"$jobs"
# The whole tree again with clang in its own folder: it must build under -Werror there too, and
# its code must give the same sample bits.
CC=clang CXX=clang++ cmake -S . -B build-clang -DCMAKE_BUILD_TYPE=Release \
  -DVELLORIN_TESTS=ON -DVELLORIN_BENCH=ON >/dev/null
cmake --build build-clang -j"$jobs"
ctest --test-dir build-clang --output-on-failure -LE 'e2e|soak' -j"$jobs"
# The unit suite and the storms again, under AddressSanitizer and UndefinedBehaviorSanitizer.
bash scripts/sanitize.sh
# The Debian package, built and checked as a distribution would (lintian, desktop entry,
# AppStream data, manual pages).
deb="$(bash scripts/package.sh | tail -n1)"
bash scripts/check-package.sh "$deb"
# The browser build, and its tests in headless Chromium against a served copy.
bash scripts/web.sh
bash tests/web/run.sh
