#!/usr/bin/env bash
# Runs the browser tests on node's own test runner: puppeteer-core and axe-core exactly as the
# lock file pins them, then browser_test.mjs in chromium, firefox-esr and WebKitGTK (MiniBrowser,
# through WebKitWebDriver) against a served copy of build-web/site (built by scripts/web.sh); the
# MiniBrowser windows and a windowed chromium run on a private Xvfb (scripts/with-xvfb.sh).
# Arguments go to node --test (e.g. --test-name-pattern=keyboard); VELLORIN_BROWSERS picks browsers.
set -euo pipefail
cd "$(dirname "$0")"
# A node that carries its own npm (not Debian's) does without Debian's npm package.
packages=(chromium firefox-esr webkit2gtk-driver dpkg-dev nodejs xvfb xdotool x11-utils)
command -v npm >/dev/null || packages+=(npm)
bash ../../scripts/setup.sh "${packages[@]}"
npm ci --no-audit --no-fund --loglevel=error
# WebKit and the windowed case need an X server; the headless browsers ignore it.
../../scripts/with-xvfb.sh node --test "$@" browser_test.mjs
