#!/usr/bin/env bash
# Vellorin in the browser: the CMake preset "web" (emscripten) builds the static site into
# build-web/site/ and build-web/bench/sample_dump.js, the sample-bits check for node.
#   scripts/web.sh                  installs what is missing, then builds
#   scripts/web.sh --serve [PORT]   serves build-web/site/ on 127.0.0.1 (port 8000 by default;
#                                   0 picks a free one) and prints the address
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
site="$root/build-web/site"

if [ "${1:-}" = "--serve" ]; then
  if [ ! -f "$site/index.html" ]; then
    echo "web: no site in $site yet; build it with scripts/web.sh" >&2
    exit 1
  fi
  # Python's server names the address it listens on (and the port it picked for 0).
  exec python3 -u -m http.server --bind 127.0.0.1 --directory "$site" "${2:-8000}"
fi

# Building needs emscripten and the node it runs under; the browsers come with tests/web/run.sh.
bash scripts/setup.sh --run emscripten nodejs dpkg-dev
cmake --preset web >/dev/null
cmake --build --preset web -j"$(nproc)" >/dev/null
echo "web: site in $site: $(cd "$site" && ls | tr '\n' ' ')($(du -cb "$site"/* | tail -n1 | cut -f1) bytes)"
