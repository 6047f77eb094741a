#!/usr/bin/env bash
# Builds Vellorin if needed and starts it. Arguments go unchanged to the program (and so to GLUT).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Only what building and running need; the test tools stay out.
bash "$root/scripts/setup.sh" --run
if [ ! -x "$root/build/vellorin" ] || [ -n "$(find "$root/app" "$root/surface" "$root/render" "$root/input" "$root/CMakeLists.txt" -newer "$root/build/vellorin" -print -quit)" ]; then
  # A first configuration leaves the tests out (they need GoogleTest); an existing one is kept.
  if [ -f "$root/build/CMakeCache.txt" ]; then
    bash "$root/scripts/build.sh" >/dev/null
  else
    bash "$root/scripts/build.sh" -DVELLORIN_TESTS=OFF >/dev/null
  fi
fi
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  echo "vellorin: no X display to open a window on (DISPLAY='${DISPLAY:-}')" >&2
  exit 1
fi
# glxinfo exits 0 even when it finds no GLX visual, so look for what it prints on success.
if ! glxinfo -B 2>/dev/null | grep -q "OpenGL renderer string"; then
  echo "vellorin: the X display '$DISPLAY' offers no OpenGL (GLX)" >&2
  exit 1
fi
exec "$root/build/vellorin" "$@"
