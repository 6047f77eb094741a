#!/usr/bin/env bash
# Builds the libFuzzer target over the event decoder (preset "fuzz": clang, ASan and UBSan) into
# build-fuzz/ and runs it for a bounded time. Not part of the regular test run.
#   scripts/fuzz.sh [SECONDS] [extra libFuzzer flags...]     SECONDS defaults to 60
# Inputs it finds are kept in build-fuzz/corpus; a failing input is saved as build-fuzz/crash-*,
# and `build-fuzz/tests/storm/storm_fuzzer build-fuzz/crash-...` replays it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
shift || true
bash scripts/setup.sh clang libclang-rt-14-dev
bash scripts/build.sh fuzz
mkdir -p build-fuzz/corpus
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Inputs up to 4 KiB hold a few hundred events (longer ones mostly repeat slow frames); they may
# grow to that at once, since one state break can need a long run of events to reach.
exec build-fuzz/tests/storm/storm_fuzzer -max_total_time="$seconds" -max_len=4096 -len_control=0 -timeout=20 \
  -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix=build-fuzz/ "$@" build-fuzz/corpus
