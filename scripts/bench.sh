#!/usr/bin/env bash
# Measures Vellorin and writes docs/performance.md (bench/report.py fills bench/performance.md.in):
#   - the sample bits, against bench/sample_bits.txt;
#   - the surface math (bench_math, Google Benchmark);
#   - whole frames of the editor's display() against an evaluator peer and a vertex-array peer
#     (bench_frame), each run on a private Xvfb with Mesa's software renderer;
#   - the editor's time to its first frame on screen and its peak memory (first_frame, 3 starts);
#   - the browser build in headless Chromium, on the desktop at full and at 4x slowed CPU and on
#     three phones' screens at 4x, beside a page that only clears and, on the phones, the floor
#     page (the program's sweep in WebAssembly, its samples drawn as points), and where its
#     main-thread time goes (tests/web/fps.mjs);
#   - the page's first visit as a phone on a fast and on a slow network, and its return visit, behind
#     nginx (tests/web/visit.mjs), Lighthouse's scores (bench/web/lighthouse.mjs), the site's bytes.
# Builds the preset "default". Raw results are kept in build/bench-results/.
#   scripts/bench.sh          everything
#   scripts/bench.sh --web    the browser build alone (a few minutes); the page keeps the native
#                             results of the last full run
# Options (environment): FRAME_RUNS (default 3) runs of the 4x4 frame benchmark, FRAME_ROUNDS
# (default 12) and FRAME_FRAMES (default 40) per run; WEB_SECONDS (default 8) measured per page;
# WEB_ROUNDS (default 3) rounds of visits and of Lighthouse.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh
work="$root/build/bench-results"
bin="$root/build/bench"
x() { "$root/scripts/with-xvfb.sh" "$@"; }
# When a part ended, and the load average then: "date|load".
stamp() { echo "$(date -u '+%Y-%m-%d %H:%M UTC')|$(cut -d' ' -f1-3 /proc/loadavg)" >"$work/$1"; }

native() {
  bash scripts/build.sh default >/dev/null
  rm -rf "$work"
  mkdir -p "$work"

  echo "bench: sample bits"
  "$bin/sample_dump" "$work/samples.bin" 2>"$work/samples.txt"
  grep -qx "$(cat bench/sample_bits.txt)" "$work/samples.txt" ||
    { echo "bench: sample bits differ from bench/sample_bits.txt: $(tail -n1 "$work/samples.txt")" >&2; exit 1; }

  echo "bench: surface math"
  "$bin/bench_math" --benchmark_out="$work/math.csv" --benchmark_out_format=csv >/dev/null 2>&1

  echo "bench: whole frames"
  local frames="${FRAME_FRAMES:-40}" run
  x "$bin/bench_frame" --grid 1 --grid 2 --grid 3 --grid 4 --rounds 6 --frames "$frames" >"$work/frame_sizes.txt"
  for run in $(seq "${FRAME_RUNS:-3}"); do
    x "$bin/bench_frame" --grid 4 --rounds "${FRAME_ROUNDS:-12}" --frames "$frames" >"$work/frame_run$run.txt"
  done

  echo "bench: editor start-up and memory"
  for run in 1 2 3; do x "$bin/first_frame" "$root/build/vellorin" 3 >"$work/first_frame$run.txt"; done
  stamp native_stamp.txt
}

web() {
  echo "bench: the page in headless Chromium"
  bash scripts/setup.sh chromium nginx-light
  bash scripts/web.sh >/dev/null
  (cd tests/web && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  (cd bench/web && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  node tests/web/fps.mjs "${WEB_SECONDS:-8}" >"$work/web_fps.new"
  mv "$work/web_fps.new" "$work/web_fps.txt"
  echo "bench: the page's first and return visits, behind nginx"
  node tests/web/visit.mjs build-web/site "${WEB_ROUNDS:-3}" >"$work/web_visits.new"
  mv "$work/web_visits.new" "$work/web_visits.txt"
  node bench/web/lighthouse.mjs build-web/site "${WEB_ROUNDS:-3}" >"$work/web_lighthouse.new"
  mv "$work/web_lighthouse.new" "$work/web_lighthouse.txt"
  chromium --version 2>/dev/null | head -n1 >"$work/browser.txt"
  stamp web_stamp.txt
}

if [ "${1:-}" = --web ]; then
  [ -f "$work/native_stamp.txt" ] && [ -f build/compile_commands.json ] ||
    { echo "bench: no native results in $work yet; run scripts/bench.sh once in full" >&2; exit 1; }
else
  native
fi
web

python3 bench/report.py "$work" build/compile_commands.json bench/performance.md.in >docs/performance.md
grep -A20 '^## Summary' docs/performance.md
echo "bench: wrote docs/performance.md"
