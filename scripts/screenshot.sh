#!/usr/bin/env bash
# Writes docs/screenshot.png: the editor window alone (900 x 700) after a short edit (point "d"
# pushed up along z), drawn on a private Xvfb (scripts/with-xvfb.sh) so no desktop is needed and
# no DISPLAY is touched. The reference pictures the tests compare with are made the same way:
#   scripts/screenshot.sh [OUT.png [KEY...]]   the window after KEYs (xdotool names), none given: the start
#   scripts/screenshot.sh --references         all of them: docs/screenshot.png and tests/e2e/reference/*.png
# The editor used is build-editor/vellorin (built if missing), or the one named by VELLORIN_BINARY.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/docs/screenshot.png"
bin="${VELLORIN_BINARY:-$root/build-editor/vellorin}"
if [ ! -x "$bin" ]; then
  bash "$root/scripts/build.sh" editor >/dev/null
fi
for tool in Xvfb xdotool import identify; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (run scripts/setup.sh)" >&2; exit 1; }
done

# The rest runs on a private X server of its own.
if [ -z "${VELLORIN_PRIVATE_X:-}" ]; then
  VELLORIN_PRIVATE_X=1 exec "$root/scripts/with-xvfb.sh" "$0" "$@"
fi

keys=(d z plus plus plus plus plus plus plus plus)
if [ "${1:-}" = --references ]; then
  # The start, the short edit, and the patch turned over (180 degrees about the xy diagonal), its
  # labels behind the surface.
  bash "$0" "$root/tests/e2e/reference/start.png"
  bash "$0"
  exec bash "$0" "$root/tests/e2e/reference/turned.png" r plus plus plus plus plus plus
elif [ $# -gt 0 ]; then
  out="$1"
  shift
  keys=("$@")
fi

editor=""
# Ends the editor: TERM, up to five seconds to go, then KILL; reaps it.
stop() {
  local pid=$1 state
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    state="$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null || true)"
    [ -z "$state" ] || [ "$state" = Z ] && break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
trap '[ -z "$editor" ] || stop "$editor"' EXIT

# Polls a command until it succeeds, for up to $1 seconds.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.1
  done
}

LIBGL_ALWAYS_SOFTWARE=1 "$bin" >/dev/null 2>&1 &
editor=$!
find_window() { win="$(xdotool search --onlyvisible --name '^ Vellorin $' 2>/dev/null | head -n1)"; [ -n "$win" ]; }
wait_for 60 find_window || { echo "screenshot: the editor window did not show" >&2; exit 1; }

# Frames are drawn continuously; the picture is ready once two grabs in a row agree.
grab() { import -silent -window "$win" -depth 8 ppm:- 2>/dev/null | cksum; }
settled() { local a b; a="$(grab)"; b="$(grab)"; [ "$a" = "$b" ] && [ "$a" != "$(echo -n | cksum)" ]; }
wait_for 30 settled || { echo "screenshot: the first frame never held still" >&2; exit 1; }
before="$(grab)"

if [ ${#keys[@]} -gt 0 ]; then
  xdotool key --window "$win" --delay 30 "${keys[@]}" 2>/dev/null
  changed() { [ "$(grab)" != "$before" ]; }
  wait_for 30 changed || { echo "screenshot: the edit did not show" >&2; exit 1; }
  wait_for 30 settled || { echo "screenshot: the picture never held still" >&2; exit 1; }
fi

mkdir -p "$(dirname "$out")"
import -silent -window "$win" -strip "png:$out"
size="$(identify -format '%wx%h' "$out")"
[ "$size" = "900x700" ] || { echo "screenshot: got $size, expected 900x700" >&2; exit 1; }
echo "screenshot: wrote $out ($size)"
