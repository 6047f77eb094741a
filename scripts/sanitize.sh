#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs
# every CTest test except the ones that drive the real binary on an X server (labelled e2e, soak).
# Any sanitizer report ends the test that hit it with a failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="${VELLORIN_JOBS:-2}"
cmake -S . -B build-asan -DVELLORIN_SANITIZE=ON -DVELLORIN_TESTS=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-asan -j"$jobs"
# Leaks are checked too; a report aborts the test instead of letting it pass.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir build-asan --output-on-failure -LE 'e2e|soak' -j"$jobs"
