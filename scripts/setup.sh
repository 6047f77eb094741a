#!/usr/bin/env bash
# Installs, when missing, the Debian packages Vellorin needs.
#   setup.sh --run [PACKAGE...]   only what building and running the editor need (scripts/run.sh)
#   setup.sh --windows            what building the Windows program and its installer needs
#                                 (scripts/windows.sh), and Wine for its checks
#   setup.sh --package            what making and checking the Debian packages needs
#                                 (scripts/package.sh, scripts/reprotest.sh)
#   setup.sh [PACKAGE...]         all of the above plus everything tests, benchmarks and packaging need
# Safe to run again: it installs nothing when everything is present. Extra package names given as
# arguments are needed too (scripts/fuzz.sh asks for clang this way).
set -euo pipefail

# Building and running: compiler, CMake, GLUT/GLU/GL/Xlib with headers, Python (the build decodes
# the window icon's PNGs), Mesa's software renderer, and xdpyinfo/glxinfo, with which
# scripts/run.sh tells a missing display or GLX apart.
run_packages=(
  g++ cmake make pkg-config
  libglut-dev libglu1-mesa-dev libgl-dev libx11-dev python3
  libgl1-mesa-dri libglx-mesa0
  x11-utils mesa-utils
)

# Tests, benchmarks and the Debian package with its checks.
test_packages=(
  libgtest-dev libbenchmark-dev              # GoogleTest, Google Benchmark
  clang                                      # the second compiler the tree must build with
  xvfb xdotool imagemagick xauth             # windows without a screen, and driving them
  openbox                                    # the window manager Wine's windows need (Wine tests)
  procps time valgrind                       # process checks, memory figures, memcheck
)

# The Debian packages: source package and chroots, cross-builds run by qemu-user, Debian's test
# runner, reproducibility; checking the packages, desktop entry, metadata and manuals; the
# end-to-end tests that the arm packages' programs are held to; the signed APT repository and
# checksums of a release.
package_packages=(
  build-essential dpkg-dev debhelper mmdebstrap arch-test qemu-user-static autopkgtest reprotest diffoscope-minimal faketime disorderfs sudo
  apt-utils gnupg gpgv
  lintian desktop-file-utils appstream man-db
  libgtest-dev xvfb xdotool imagemagick
)

# The Windows build: MinGW-w64 cross compiler, apt-get source's unpacker (freeglut's Debian source
# package is built in the build folder), the icon converter, NSIS for the installer, Wine to run
# the .exe programs.
windows_packages=(
  g++-mingw-w64-x86-64-posix dpkg-dev imagemagick nsis wine64
)

packages=("${run_packages[@]}")
if [ "${1:-}" = --run ]; then
  shift
elif [ "${1:-}" = --windows ]; then
  shift
  packages+=("${windows_packages[@]}")
elif [ "${1:-}" = --package ]; then
  shift
  packages+=("${package_packages[@]}")
else
  packages+=("${test_packages[@]}" "${package_packages[@]}" "${windows_packages[@]}")
fi
packages+=("$@")

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
