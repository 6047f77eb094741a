#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest, then the sanitizer build.
# The end-to-end tests start their own private Xvfb servers, so no display of the caller's is used.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
unset DISPLAY
bash scripts/build.sh -DVELLORIN_TESTS=ON
ctest --test-dir build --output-on-failure -j"$(nproc)"
# The unit suite and the storms again, under AddressSanitizer and UndefinedBehaviorSanitizer.
bash scripts/sanitize.sh
# The Debian package, built and checked as a distribution would (lintian, desktop entry,
# AppStream data, manual pages).
deb="$(bash scripts/package.sh | tail -n1)"
bash scripts/check-package.sh "$deb"
