#!/usr/bin/env bash
# Measures Vellorin and writes docs/performance.md:
#   - the surface math (bench_math: bernstein, evaluateSurfacePoint, the 50 x 50 sweep, 1x1..4x4);
#   - whole frames of the editor's display() against an evaluator peer and a vertex-array peer
#     (bench_frame), in a private Xvfb with Mesa's software renderer;
#   - the editor's peak resident memory and its time from start to the first frame on screen
#     (first_frame, which watches the window through X).
# Release build with the benchmarks in build-bench/. The caller's DISPLAY is never used.
# Options (environment): FRAME_RUNS (default 3) runs of the 4x4 frame benchmark, FRAME_ROUNDS
# (default 12) and FRAME_FRAMES (default 40) per run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash scripts/setup.sh

frame_runs="${FRAME_RUNS:-3}"
frame_rounds="${FRAME_ROUNDS:-12}"
frame_frames="${FRAME_FRAMES:-40}"

build="$root/build-bench"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVELLORIN_BENCH=ON -DVELLORIN_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target vellorin bench_math bench_frame sample_dump first_frame >/dev/null

work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
unset DISPLAY

# --- sample bits --------------------------------------------------------------------------------
echo "bench: checking sample bits"
"$build/bench/sample_dump" "$work/samples.bin" 2>"$work/samples.txt"
samples_hash="$(awk '/^samples /{print $4}' "$work/samples.txt")"
if ! grep -qx "$(cat bench/sample_bits.txt)" "$work/samples.txt"; then
  echo "bench: sample bits differ from the reference build ($samples_hash, want $(cat bench/sample_bits.txt))" >&2
  exit 1
fi

# --- surface math -------------------------------------------------------------------------------
echo "bench: surface math"
"$build/bench/bench_math" --benchmark_out="$work/math.csv" --benchmark_out_format=csv >"$work/math.txt" 2>&1
# Columns: name,iterations,real_time,cpu_time,time_unit,...; aggregate rows end in _median etc.
stat() {  # stat NAME AGGREGATE COLUMN(3 real, 4 cpu) -> value in microseconds
  awk -F, -v n="\"$1/repeats:15_$2\"" -v c="$3" '
    $1 == n { v = $c; u = $5; if (u == "ns") v /= 1000; else if (u == "ms") v *= 1000;
              printf "%.3f", v; found = 1 }
    END { if (!found) exit 1 }' "$work/math.csv"
}

# --- private X server ---------------------------------------------------------------------------
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  echo "bench: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# --- whole frames -------------------------------------------------------------------------------
echo "bench: frames on $DISPLAY"
"$build/bench/bench_frame" --grid 1 --grid 2 --grid 3 --grid 4 --rounds 6 --frames "$frame_frames" \
  >"$work/frame_sizes.txt"
for run in $(seq "$frame_runs"); do
  "$build/bench/bench_frame" --grid 4 --rounds "$frame_rounds" --frames "$frame_frames" \
    >"$work/frame_run$run.txt"
done
frame_field() {  # frame_field FILE GRID MODE FIELD
  awk -v g="$2x$2" -v m="$3" -v f="$4" '
    $1 == "grid" { cur = $2 }
    cur == g && $1 == "mode" && $2 == m { for (k = 3; k < NF; k += 2) if ($k == f) print $(k + 1) }' "$1"
}
ratio_field() {  # ratio_field FILE GRID PEER FIELD(value|round_min|round_max|differing_px)
  awk -v g="$2x$2" -v p="program/$3" -v f="$4" '
    $1 == "grid" { cur = $2 }
    cur == g && $1 == "ratio" && $2 == p {
      if (f == "value") print $3; else for (k = 4; k < NF; k += 2) if ($k == f) print $(k + 1) }' "$1"
}
renderer="$(sed -n 's/^renderer //p' "$work/frame_run1.txt" | sed 's/ | /, /')"

# The run whose program/evaluator ratio is the median of the runs is the headline run.
for run in $(seq "$frame_runs"); do
  echo "$(ratio_field "$work/frame_run$run.txt" 4 evaluator value) $run"
done | sort -n >"$work/runs_by_ratio.txt"
headline_run="$(awk -v n="$frame_runs" 'NR == int((n + 1) / 2) { print $2 }' "$work/runs_by_ratio.txt")"
headline="$work/frame_run$headline_run.txt"

# --- memory and start-up of the editor ----------------------------------------------------------
echo "bench: editor start-up and memory"
# first_frame starts the editor itself, grabs its window through X until the yellow patch shows,
# lets it draw for a few seconds, reads its VmHWM and stops it. Three starts; the median one counts.
startup_runs=3
for run in $(seq "$startup_runs"); do
  "$build/bench/first_frame" "$build/vellorin" 3 >"$work/first_frame$run.txt"
done
startup_field() {  # startup_field RUN FIELD
  awk -v f="$2" '{ for (k = 1; k < NF; k += 2) if ($k == f) print $(k + 1) }' "$work/first_frame$1.txt"
}
for run in $(seq "$startup_runs"); do echo "$(startup_field "$run" first_frame_ms) $run"; done |
  sort -n >"$work/startups.txt"
startup_run="$(awk 'NR == 2 { print $2 }' "$work/startups.txt")"
window_ms="$(startup_field "$startup_run" window_ms)"
first_frame_ms="$(startup_field "$startup_run" first_frame_ms)"
last_miss_ms="$(startup_field "$startup_run" last_miss_ms)"
grabs="$(startup_field "$startup_run" grabs)"
hwm_kb="$(startup_field "$startup_run" vmhwm_kb)"
rss_kb="$(startup_field "$startup_run" vmrss_kb)"
all_startups="$(for run in $(seq "$startup_runs"); do
  printf '%s .. %s ms (%s kB); ' "$(startup_field "$run" last_miss_ms)" "$(startup_field "$run" first_frame_ms)" \
    "$(startup_field "$run" vmhwm_kb)"; done)"

# --- the browser build --------------------------------------------------------------------------
echo "bench: frames in headless Chromium"
bash scripts/web.sh >/dev/null
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
node tests/web/fps.mjs 10 >"$work/web_fps.txt"
web_field() { awk -v f="$1" '{ for (k = 2; k < NF; k += 2) if ($k == f) print $(k + 1) }' "$work/web_fps.txt"; }
web_program="$(web_field program)"
web_clear="$(web_field clear)"
browser="$(chromium --version 2>/dev/null | head -n1)"

# --- report -------------------------------------------------------------------------------------
cpu_model="$(awk -F': ' '/^model name/{print $2; exit}' /proc/cpuinfo)"
compiler="$(c++ --version | head -n1)"
flags="$(awk '/^target_compile_options\(vellorin_options INTERFACE$/{getline; sub(/^ +/, ""); sub(/\)$/, ""); print; exit}' CMakeLists.txt)"
ms() { awk -v v="$1" 'BEGIN { printf "%.3f", v / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
check() { awk -v v="$1" -v lim="$2" 'BEGIN { print (v <= lim) ? "met" : "NOT met" }'; }

sweep4="$(stat BM_SweepSurface/4 median 3)"
prog4="$(frame_field "$headline" 4 program median_ms)"
eval4="$(frame_field "$headline" 4 evaluator median_ms)"
array4="$(frame_field "$headline" 4 array median_ms)"
r_eval="$(ratio_field "$headline" 4 evaluator value)"
r_array="$(ratio_field "$headline" 4 array value)"

out="docs/performance.md"
mkdir -p docs
{
  echo "# Performance"
  echo
  echo "Written by \`scripts/bench.sh\`, which builds Release with \`-DVELLORIN_BENCH=ON\` in \`build-bench/\`,"
  echo "runs the benchmarks in \`bench/\` and measures the editor itself. Run it again to refresh this page."
  echo
  echo "## Machine"
  echo
  echo "| | |"
  echo "|---|---|"
  echo "| Date | $(date -u '+%Y-%m-%d %H:%M UTC') |"
  echo "| Cores (nproc) | $(nproc) |"
  echo "| CPU | $cpu_model |"
  echo "| Load average at the end | $(cut -d' ' -f1-3 /proc/loadavg) |"
  echo "| Compiler | $compiler |"
  echo "| Renderer | $renderer (Xvfb) |"
  echo "| Project compile flags | \`$flags\` (plus Release \`-O3 -DNDEBUG\`) |"
  echo
  echo "Other builds and test runs may share the machine, so times are medians over many repetitions,"
  echo "the spread is shown next to them, and the frame comparison interleaves the three drawers frame"
  echo "by frame so that load changes hit all of them alike."
  echo
  echo "## Summary"
  echo
  echo "| Measure | Value | Target | |"
  echo "|---|---|---|---|"
  echo "| 4x4 sweep, 2,500 samples, median wall time | $(ms "$sweep4") ms | <= 1.2 ms | $(check "$(ms "$sweep4")" 1.2) |"
  echo "| 4x4 frame, program / evaluator peer | $r_eval | <= 1.6 | $(check "$r_eval" 1.6) |"
  echo "| 4x4 frame, program / vertex-array floor | $r_array | <= 1.8 | $(check "$r_array" 1.8) |"
  echo "| Editor peak resident memory (VmHWM) | $((hwm_kb / 1024)) MiB ($hwm_kb kB) | | |"
  echo "| Start to first frame on screen | $last_miss_ms .. $first_frame_ms ms | | |"
  echo "| 4x4 frames per second in headless Chromium | $web_program | the clear-only page's $web_clear | $(awk -v p="$web_program" -v c="$web_clear" 'BEGIN { print (p >= 0.95 * c) ? "met" : "NOT met" }') |"
  echo
  echo "## Surface math (bench_math)"
  echo
  echo "Google Benchmark, 15 repetitions per benchmark; wall (real) and CPU time, median with the"
  echo "minimum and maximum of the repetitions. Each grid carries one edit (z + 15 at its middle point)."
  echo
  echo "| Benchmark | Median wall | Min .. max wall | Median CPU |"
  echo "|---|---|---|---|"
  for b in BM_Bernstein/0/0 BM_Bernstein/1/1 BM_Bernstein/2/1 BM_Bernstein/3/0 BM_Bernstein/3/1 BM_Bernstein/3/3 \
           BM_EvaluateSurfacePoint/1 BM_EvaluateSurfacePoint/2 BM_EvaluateSurfacePoint/3 BM_EvaluateSurfacePoint/4; do
    printf '| %s | %s ns | %s .. %s ns | %s ns |\n' "$b" \
      "$(awk -v v="$(stat "$b" median 3)" 'BEGIN{printf "%.1f", v*1000}')" \
      "$(awk -v v="$(stat "$b" min 3)" 'BEGIN{printf "%.1f", v*1000}')" \
      "$(awk -v v="$(stat "$b" max 3)" 'BEGIN{printf "%.1f", v*1000}')" \
      "$(awk -v v="$(stat "$b" median 4)" 'BEGIN{printf "%.1f", v*1000}')"
  done
  for n in 1 2 3 4; do
    b="BM_SweepSurface/$n"
    printf '| %s | %s us | %s .. %s us | %s us |\n' "$b" "$(stat "$b" median 3)" "$(stat "$b" min 3)" \
      "$(stat "$b" max 3)" "$(stat "$b" median 4)"
  done
  echo
  echo "## Whole frames (bench_frame)"
  echo
  echo "One 900 x 700 GLUT window, double-buffered with depth, the editor's GL state and projection."
  echo "Each frame is timed from its first GL call until \`glFinish\` returns after the swap. Three"
  echo "drawers take turns frame by frame, all drawing the same picture: the axes, the 16 red labelled"
  echo "control points, the 24 green net segments and the 50 x 50 yellow samples, with one edit and a"
  echo "30 degree turn and 50 unit lift of the patch:"
  echo
  echo "- **program**: the editor's own \`display()\`, 2,500 \`glBegin\`/\`glEnd\` pairs evaluated fresh every frame;"
  echo "- **evaluator**: OpenGL's evaluator, \`glMap2f\` + \`glMapGrid2f\` + \`glEvalMesh2(GL_POINT)\` over the same"
  echo "  50 x 50 parameters 0 .. 0.98;"
  echo "- **array**: the samples computed once before the run and drawn with \`glDrawArrays\`, the floor."
  echo
  echo "After every round one frame of each drawer is read back: the yellow patch must be in it. The"
  echo "pictures are compared pixel by pixel (the array draws the very same floats, so it must match the"
  echo "program exactly; the evaluator's own float arithmetic moves a pixel or two)."
  echo
  echo "### 4x4, $frame_runs runs of $frame_rounds rounds x $frame_frames frames per drawer"
  echo
  echo "| Run | program median | evaluator median | array median | program / evaluator (round min .. max) | program / array (round min .. max) |"
  echo "|---|---|---|---|---|---|"
  for run in $(seq "$frame_runs"); do
    f="$work/frame_run$run.txt"
    mark=""; [ "$run" = "$headline_run" ] && mark=" (headline)"
    printf '| %s%s | %s ms | %s ms | %s ms | %s (%s .. %s) | %s (%s .. %s) |\n' "$run" "$mark" \
      "$(frame_field "$f" 4 program median_ms)" "$(frame_field "$f" 4 evaluator median_ms)" \
      "$(frame_field "$f" 4 array median_ms)" \
      "$(ratio_field "$f" 4 evaluator value)" "$(ratio_field "$f" 4 evaluator round_min)" \
      "$(ratio_field "$f" 4 evaluator round_max)" \
      "$(ratio_field "$f" 4 array value)" "$(ratio_field "$f" 4 array round_min)" \
      "$(ratio_field "$f" 4 array round_max)"
  done
  echo
  echo "Headline run, per drawer (10th and 90th percentile of all frames, and the lowest and highest"
  echo "per-round median):"
  echo
  echo "| Drawer | Median | p10 .. p90 | Round medians | Yellow pixels |"
  echo "|---|---|---|---|---|"
  for m in program evaluator array; do
    printf '| %s | %s ms | %s .. %s ms | %s .. %s ms | %s |\n' "$m" \
      "$(frame_field "$headline" 4 "$m" median_ms)" "$(frame_field "$headline" 4 "$m" p10_ms)" \
      "$(frame_field "$headline" 4 "$m" p90_ms)" "$(frame_field "$headline" 4 "$m" round_median_min_ms)" \
      "$(frame_field "$headline" 4 "$m" round_median_max_ms)" "$(frame_field "$headline" 4 "$m" yellow_px)"
  done
  echo
  echo "Pixels differing from the program's picture: evaluator $(ratio_field "$headline" 4 evaluator differing_px),"
  echo "array $(ratio_field "$headline" 4 array differing_px)."
  echo
  echo "## How the cost grows with the grid"
  echo
  echo "Median wall times. The frames of all four sizes come from one further run of 6 rounds each."
  echo
  echo "| Grid | bernstein calls written per sample | evaluateSurfacePoint | 50 x 50 sweep | program frame | evaluator frame | array frame | program / evaluator |"
  echo "|---|---|---|---|---|---|---|---|"
  for n in 1 2 3 4; do
    f="$work/frame_sizes.txt"
    printf '| %sx%s | %s | %s ns | %s us | %s ms | %s ms | %s ms | %s |\n' "$n" "$n" "$((6 * n * n))" \
      "$(awk -v v="$(stat "BM_EvaluateSurfacePoint/$n" median 3)" 'BEGIN{printf "%.1f", v*1000}')" \
      "$(stat "BM_SweepSurface/$n" median 3)" \
      "$(frame_field "$f" "$n" program median_ms)" "$(frame_field "$f" "$n" evaluator median_ms)" \
      "$(frame_field "$f" "$n" array median_ms)" "$(ratio_field "$f" "$n" evaluator value)"
  done
  echo
  echo "## The editor itself"
  echo
  echo "Started $startup_runs times on the private Xvfb with no arguments, as a user would start it; the"
  echo "start with the median time to the first frame is shown."
  echo
  echo "- Window mapped after **$window_ms ms**."
  echo "- First frame with the patch on screen after **$first_frame_ms ms** at the latest: the window was"
  echo "  read back through X (\`XGetImage\`, $grabs grabs) until yellow samples showed; the last grab"
  echo "  without them started at $last_miss_ms ms, so the frame arrived between the two."
  echo "- Peak resident memory after 3 s of continuous frames: **$hwm_kb kB** (VmHWM; VmRSS then $rss_kb kB)."
  echo "- All starts (first frame between, and VmHWM): ${all_startups%; }."
  echo
  echo "## In the browser"
  echo
  echo "The site that \`scripts/web.sh\` builds, served locally and shown in $browser, headless, with"
  echo "software WebGL 2 (SwiftShader). \`tests/web/fps.mjs\` counts the frames the page draws over 10 s after"
  echo "2 s to settle; a page that only clears a 900 x 700 WebGL 2 canvas shows the animation-frame rate"
  echo "the browser offers. The native rate is that of the program's frames in the whole-frame run above"
  echo "(1000 / median frame time, each frame ending in \`glFinish\`), under Xvfb in this same run."
  echo
  echo "| 4x4 picture | Frames per second |"
  echo "|---|---|"
  echo "| Native editor, Xvfb, $renderer | $(awk -v v="$prog4" 'BEGIN { printf "%.0f", 1000 / v }') |"
  echo "| Browser, the program's page | $web_program |"
  echo "| Browser, a page that only clears | $web_clear |"
  echo
  echo "## Keeping the samples bit-identical"
  echo
  echo "Every sample has fixed float bits, so only changes that keep the arithmetic are allowed:"
  echo
  echo "- \`-ffp-contract=off\`: no fused multiply-add; every product and sum is rounded as written."
  echo "- \`-fno-math-errno\`: \`pow\` never sets errno here, so the compiler treats it as a pure function"
  echo "  and may evaluate identical calls once. Values are unchanged."
  echo "- \`-fno-tree-vectorize\`: GCC 12's vectoriser packs the x and y accumulators into one vector and"
  echo "  drops the rounding to float between terms. That changes sample bits, so it stays off."
  echo "- \`surface/bezier.cpp\` evaluates 1x1 .. 4x4 through loops with compile-time bounds (one template"
  echo "  body, the same terms in the same order for every size). At \`-O3\` they unroll into straight-line"
  echo "  code in which the repeated \`bernstein\` calls have identical arguments, and \`bernstein\` is"
  echo "  declared \`const\`, so the compiler evaluates each distinct weight once per sample (4 row and 4"
  echo "  column weights at 4x4 instead of 96 written calls). Nothing is kept between samples."
  echo "- \`bernstein\` stays out of line and opaque to interprocedural optimisation (\`noipa\`): it computes"
  echo "  its factorials by repeated multiplication on every call and always calls the library \`pow\` with"
  echo "  a run-time exponent. Seen with a constant exponent the compiler would turn \`pow(t, 2.0)\` into"
  echo "  \`t * t\`, which need not round like \`pow\`."
  echo
  echo "\`bench/sample_dump\` writes the float bits of all 2,500 samples for every grid size 1x1 .. 4x4"
  echo "(rows and columns independently) under five sets of edits, 200,000 samples in all. This run's"
  echo "fnv1a over those bytes is \`$samples_hash\`, the same as a build of the plain nested-loop"
  echo "evaluation at \`-O0\` and at \`-O3\`."
} >"$out"

echo "bench: 4x4 sweep median $(ms "$sweep4") ms; frame program $prog4 ms, evaluator $eval4 ms, array $array4 ms"
echo "bench: program/evaluator $r_eval, program/array $r_array (run $headline_run of $frame_runs)"
echo "bench: browser $web_program frames/s (clear-only page $web_clear)"
echo "bench: first frame $first_frame_ms ms, peak RSS $hwm_kb kB; wrote $out"
