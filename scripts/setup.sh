#!/usr/bin/env bash
# Installs, when missing, every Debian package that building, running and testing Vellorin need.
# Safe to run again: it installs nothing when everything is present. Extra package names given as
# arguments are needed too (scripts/fuzz.sh asks for clang this way).
set -euo pipefail

packages=(
  g++ cmake make pkg-config                  # toolchain
  freeglut3-dev libglu1-mesa-dev libgl-dev libx11-dev  # GLUT, GLU, GL, Xlib headers and libraries
  libgl1-mesa-dri libglx-mesa0               # Mesa's software renderer
  libgtest-dev libbenchmark-dev              # GoogleTest, Google Benchmark
  xvfb xdotool imagemagick x11-utils mesa-utils xauth  # windows without a screen, and driving them
  procps time valgrind                       # process checks, memory figures, memcheck
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}" >&2
  echo "setup: install them with: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
