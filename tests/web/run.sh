#!/usr/bin/env bash
# Runs the browser tests: puppeteer-core exactly as the lock file pins it, then browser_test.mjs
# against a served copy of build-web/site (built by scripts/web.sh). Arguments go to the tests.
set -euo pipefail
cd "$(dirname "$0")"
# A node that carries its own npm (not Debian's) does without Debian's npm package.
packages=(chromium nodejs)
command -v npm >/dev/null || packages+=(npm)
bash ../../scripts/setup.sh "${packages[@]}"
npm ci --no-audit --no-fund --loglevel=error
node browser_test.mjs "$@"
