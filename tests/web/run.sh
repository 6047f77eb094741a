#!/usr/bin/env bash
# Runs the browser tests: puppeteer-core exactly as the lock file pins it, then browser_test.mjs
# against a served copy of build-web/site (built by scripts/web.sh). Arguments go to the tests.
set -euo pipefail
cd "$(dirname "$0")"
npm ci --no-audit --no-fund --loglevel=error
node browser_test.mjs "$@"
