#!/usr/bin/env bash
# The CMake workflow "sanitize": everything built with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-sanitize/, and every CTest test run except those that drive the real binary on an X
# server. Any sanitizer report ends the test that hit it with a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"
cmake --workflow --preset sanitize
