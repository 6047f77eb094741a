#!/usr/bin/env bash
# Runs a command on a private X server: Xvfb picks a free display itself, DISPLAY names it for the
# command, and the server ends with the command, whose exit status this script returns. The
# caller's own display is never touched.
#   scripts/with-xvfb.sh COMMAND [ARG...]
set -euo pipefail
command -v Xvfb >/dev/null || { echo "with-xvfb: Xvfb is missing (run scripts/setup.sh)" >&2; exit 1; }
tmp="$(mktemp -d)"
xvfb=""
cleanup() {
  if [ -n "$xvfb" ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
# -displayfd: Xvfb writes its display number once it takes clients. -noreset: a client leaving
# must not reset the server under the next one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" >"$tmp/log" 2>&1 &
xvfb=$!
for _ in $(seq 600); do
  [ -s "$tmp/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.1
done
[ -s "$tmp/display" ] || { echo "with-xvfb: Xvfb did not start" >&2; cat "$tmp/log" >&2; exit 1; }
DISPLAY=":$(head -n1 "$tmp/display")" "$@"
