#!/usr/bin/env bash
# Installs what is missing, then runs every test through the CMake workflows: "default" (GCC: unit
# tests, end-to-end and long runs of the real binary, sample bits), "clang" (the whole tree again,
# everything but the X server runs), "sanitize" (the same under ASan and UBSan); then the Debian
# packages (amd64 built clean, arm64 and armhf cross-built and tested under qemu-user, the
# autopkgtest, the arm packages installed and drawing) with lintian's and the other checks, the
# signed APT repository tried as a lab would (scripts/check-apt-repo.sh) and reprotest; the
# browser build with its browser tests (chromium, firefox-esr, WebKitGTK), and the Windows build:
# its sample bits, installer and zip ("windows"); the web zip, installer and Windows zip built
# again elsewhere with the same bytes; then the Windows window, menus and installer under Wine
# (test preset "wine", run by the native build's tests).
# It ends with a table of the steps and the minutes each took.
# The end-to-end tests start their own private Xvfb servers, so no display of the caller's is used.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

# Each step's minutes, printed as one table at the end (or at the step that failed), so that it
# shows where the time goes.
steps=()
current=""
minutes() { local tenths=$(( ($1 * 10 + 30) / 60 )); echo "$((tenths / 10)).$((tenths % 10))"; }
step() {
  local start=$SECONDS
  current="$1"
  shift
  "$@"
  steps+=("$(printf '%-38s %6s' "$current" "$(minutes $((SECONDS - start)))")")
  current=""
}
table() {
  local status=$?
  echo
  echo "test: minutes per step"
  [ ${#steps[@]} -eq 0 ] || printf '  %s\n' "${steps[@]}"
  [ "$status" -eq 0 ] || [ -z "$current" ] || printf '  %-38s %6s\n' "$current" "failed"
  printf '  %-38s %6s\n' "all" "$(minutes $SECONDS)"
}
trap table EXIT
# package.sh prints the amd64 package's path last; the checks take it from there.
packages() { deb="$(bash scripts/package.sh | tail -n1)"; }

step "setup (missing packages)" bash scripts/setup.sh
unset DISPLAY
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"
for preset in default clang sanitize; do
  step "workflow $preset" cmake --workflow --preset "$preset"
done
step "Debian packages (amd64, arm64, armhf)" packages
step "package checks (lintian, metadata)" bash scripts/check-package.sh "$deb"
step "APT repository, as a lab meets it" bash scripts/check-apt-repo.sh
step "reprotest" bash scripts/reprotest.sh
step "web build" bash scripts/web.sh
step "browsers (chromium, firefox, webkit)" bash tests/web/run.sh
step "workflow windows" cmake --workflow --preset windows
step "second build (check-reproducible)" bash scripts/check-reproducible.sh
step "Wine" ctest --preset wine
