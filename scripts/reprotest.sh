#!/usr/bin/env bash
# Builds the source package of scripts/package.sh twice with reprotest, the second time with
# another build path, time (faketime), time zone, locale, umask, user and group, host and domain
# name, kernel personality, CPU count, environment and, through disorderfs, file order; fails unless
# the .deb files come out byte for byte the same. Where they differ, diffoscope's report names the
# cause in build-deb/reprotest/. Builds on this machine, with the Build-Depends installed.
#   scripts/reprotest.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
[ "$(id -u)" = 0 ] || { echo "reprotest: needs root to vary the user: sudo scripts/reprotest.sh" >&2; exit 1; }
bash scripts/setup.sh --package
dsc="$(ls build-deb/vellorin_*.dsc 2>/dev/null | tail -n1)"
[ -n "$dsc" ] || { echo "reprotest: no source package in build-deb/: run scripts/package.sh first" >&2; exit 1; }
[ -c /dev/fuse ] || echo "reprotest: no /dev/fuse, so the file order is not varied (modprobe fuse)" >&2
rm -rf build-deb/reprotest
reprotest --store-dir build-deb/reprotest --vary=user_group.available+=nobody:nogroup \
  $([ -c /dev/fuse ] || echo --vary=-fileordering) "$dsc" -- null
