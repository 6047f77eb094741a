#!/usr/bin/env bash
# Builds the web zip and the Windows installer and zip a second time, from a copy of the checkout
# in another folder and later, and fails unless each has the bytes of the build in this checkout
# (made before by scripts/web.sh and scripts/windows.sh). The Debian packages have their own
# check, scripts/reprotest.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
version="$(sed -n 's/^project(Vellorin VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
files=(build-web/vellorin-"$version"-web.zip build-windows/Vellorin-"$version"-win64.exe build-windows/Vellorin-"$version"-win64.zip)
for f in "${files[@]}"; do
  [ -f "$f" ] || { echo "check-reproducible: no $f; build it with scripts/web.sh and scripts/windows.sh" >&2; exit 1; }
done

# The copy has no history, so it is given the time this checkout's builds took from it.
SOURCE_DATE_EPOCH="$(git log -1 --format=%ct)"
export SOURCE_DATE_EPOCH
copy="$(mktemp -d /tmp/vellorin-again.XXXXXX)"
trap 'rm -rf "$copy"' EXIT
git ls-files -z | xargs -0 cp --parents -t "$copy"
(cd "$copy" && bash scripts/web.sh >/dev/null && bash scripts/windows.sh >/dev/null)

status=0
for f in "${files[@]}"; do
  if cmp -s "$f" "$copy/$f"; then
    echo "check-reproducible: same bytes: $f ($(stat -c %s "$f") bytes, sha256 $(sha256sum "$f" | cut -c1-16)...)"
  else
    echo "check-reproducible: $f differs when built again in $copy:" >&2
    cmp -l "$f" "$copy/$f" | head -n 5 >&2 || true
    status=1
  fi
done
exit "$status"
