#!/usr/bin/env bash
# Measures Vellorin and writes docs/performance.md (bench/report.py fills bench/performance.md.in):
#   - the sample bits, against bench/sample_bits.txt;
#   - the surface math (bench_math, Google Benchmark);
#   - whole frames of the editor's display() against an evaluator peer and a vertex-array peer
#     (bench_frame), each run on a private Xvfb with Mesa's software renderer;
#   - the editor's time to its first frame on screen and its peak memory (first_frame, 3 starts);
#   - the browser build's frame rates in headless Chromium (tests/web/fps.mjs).
# Builds the preset "default". Options (environment): FRAME_RUNS (default 3) runs of the 4x4 frame
# benchmark, FRAME_ROUNDS (default 12) and FRAME_FRAMES (default 40) per run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
bash scripts/build.sh default >/dev/null
bin="$root/build/bench"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
x() { "$root/scripts/with-xvfb.sh" "$@"; }

echo "bench: sample bits"
"$bin/sample_dump" "$work/samples.bin" 2>"$work/samples.txt"
grep -qx "$(cat bench/sample_bits.txt)" "$work/samples.txt" ||
  { echo "bench: sample bits differ from bench/sample_bits.txt: $(tail -n1 "$work/samples.txt")" >&2; exit 1; }

echo "bench: surface math"
"$bin/bench_math" --benchmark_out="$work/math.csv" --benchmark_out_format=csv >/dev/null 2>&1

echo "bench: whole frames"
frames="${FRAME_FRAMES:-40}"
x "$bin/bench_frame" --grid 1 --grid 2 --grid 3 --grid 4 --rounds 6 --frames "$frames" >"$work/frame_sizes.txt"
for run in $(seq "${FRAME_RUNS:-3}"); do
  x "$bin/bench_frame" --grid 4 --rounds "${FRAME_ROUNDS:-12}" --frames "$frames" >"$work/frame_run$run.txt"
done

echo "bench: editor start-up and memory"
for run in 1 2 3; do x "$bin/first_frame" "$root/build/vellorin" 3 >"$work/first_frame$run.txt"; done

echo "bench: the page in headless Chromium"
bash scripts/web.sh >/dev/null
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
node tests/web/fps.mjs 10 >"$work/web_fps.txt"
chromium --version 2>/dev/null | head -n1 >"$work/browser.txt"

python3 bench/report.py "$work" build/compile_commands.json bench/performance.md.in >docs/performance.md
grep -A8 '^## Summary' docs/performance.md
echo "bench: wrote docs/performance.md"
