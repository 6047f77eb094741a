#!/usr/bin/env bash
# Builds the source package of scripts/package.sh twice with reprotest, the second time with
# another build path, time (faketime), time zone, locale, umask, user and group, kernel
# personality, CPU count, environment and, through disorderfs, file order; fails unless
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
# disorderfs runs as the varied user, so it needs /dev/fuse open to everyone (as fuse3's udev rule
# leaves it on a desktop).
order=()
if [ ! -c /dev/fuse ] || [ "$(stat -c %a /dev/fuse | cut -c3)" != 6 ]; then
  echo "reprotest: /dev/fuse is missing or closed to other users, so the file order is not varied (modprobe fuse; chmod 666 /dev/fuse)" >&2
  order=(--vary=-fileordering)
fi
rm -rf build-deb/reprotest
# reprotest 0.7.23 (Debian 12) runs "sudo -h localhost ...", which sudo 1.9.13 refuses ("a remote
# host may only be specified when listing privileges"); a sudo first in PATH drops that host. The
# host and domain name are not varied: reprotest varies them only without a user change.
shim="$(mktemp -d)"
trap 'rm -rf "$shim"' EXIT
printf '#!/bin/sh
[ "$1 $2" != "-h localhost" ] || shift 2
exec /usr/bin/sudo "$@"
' >"$shim/sudo"
chmod +x "$shim/sudo"
export PATH="$shim:$PATH"
reprotest --store-dir build-deb/reprotest --min-cpus "$(nproc)" \
  --vary=user_group.available+=nobody:nogroup,-domain_host \
  "${order[@]}" "$dsc" -- null
