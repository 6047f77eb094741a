#!/usr/bin/env bash
# Builds Vellorin (preset "editor") if needed and starts it. Arguments go unchanged to the program
# (and so to GLUT).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Only what building and running need; the test tools stay out.
bash "$root/scripts/setup.sh" --run
bash "$root/scripts/build.sh" editor >/dev/null
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "vellorin: no X display to open a window on (DISPLAY='${DISPLAY:-}')" >&2
  exit 1
fi
# glxinfo exits 0 even when it finds no GLX visual, so look for what it prints on success.
if ! glxinfo -B 2>/dev/null | grep -q "OpenGL renderer string"; then
  echo "vellorin: the X display '$DISPLAY' offers no OpenGL (GLX)" >&2
  exit 1
fi
exec "$root/build-editor/vellorin" "$@"
