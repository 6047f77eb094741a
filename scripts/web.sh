#!/usr/bin/env bash
# Vellorin in the browser. The program's own app/, surface/, render/ and input/ compiled to
# WebAssembly with the platform layer in web/ (GL, GLU and GLUT over WebGL 2 and the page).
#   scripts/web.sh                  installs what is missing, builds the static site into
#                                   build-web/site/ (index.html and the files it loads), and
#                                   build-web/sample_dump.js, the sample-bits check for node
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

# Building the site needs emscripten (and the node it runs under); the browser tests' chromium and
# npm come with tests/web/run.sh.
bash scripts/setup.sh --run emscripten nodejs
# Debian's emscripten runs its JavaScript compiler under node and needs Debian's node modules
# (acorn), which a node from elsewhere does not search by itself.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

# The same language level, warnings and float rules as the native build: the samples must come
# out with the same bits.
flags=(-std=c++17 -O3 -I"$root" -Wall -Wextra -Werror -ffp-contract=off -fno-math-errno -fno-tree-vectorize)
model=(app/editor_state.cpp surface/control_grid.cpp surface/bezier.cpp)
view=(app/main.cpp app/shell.cpp render/scene.cpp input/keyboard.cpp input/camera.cpp input/menus.cpp)

rm -rf "$site"
mkdir -p "$site"
echo "web: building the site"
# emcc writes the loader (.js) and the module (.wasm); the page is our own index.html.
emcc "${flags[@]}" "${model[@]}" "${view[@]}" web/gl.cpp web/glut.cpp \
  --js-library web/platform.js -sENVIRONMENT=web -sFILESYSTEM=0 -o "$site/vellorin.js"
cp web/index.html "$site/index.html"

echo "web: building sample_dump for node"
emcc "${flags[@]}" "${model[@]}" bench/sample_dump.cpp \
  -sENVIRONMENT=node -sWASM_ASYNC_COMPILATION=0 -sNODERAWFS=1 -o build-web/sample_dump.js

echo "web: site in $site: $(cd "$site" && ls | tr '\n' ' ')($(du -cb "$site"/* | tail -n1 | cut -f1) bytes)"
