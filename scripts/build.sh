#!/usr/bin/env bash
# Configures (Release by default) and builds into build/. Extra arguments go to CMake's configure.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build build -j"$(nproc)"
