// Frame rates and main-thread time of the program's page in headless Chromium, for
// scripts/bench.sh. Usage: node fps.mjs [SECONDS] (default 8: the measured span of each page).
//
// For each row of ROWS (the CPU slowed by Chromium's throttling, a pixel ratio) the page with the
// 4 x 4 picture is measured, then, in the same run, a page that only clears a WebGL 2 canvas of the
// same backing-store size, CSS size and context attributes every frame: the least a frame of such a
// canvas costs the browser. Each measure: frames per second and main-thread milliseconds per frame
// (Chromium's TaskDuration over the frames drawn), after two seconds to settle. Prints a line
//   row cpu C ratio R viewport WxH canvas WxH fps F ms M clear_fps F clear_ms M
// for each row. Then, in a run of its own (the profiler slows what it watches), the page at SPLIT
// under Chromium's sampling profiler, its main-thread time split by what runs:
//   split cpu C ratio R frames N busy_ms B wasm_ms W gl_ms G text_ms T other_ms O
// all per frame: the program's WebAssembly, the platform's JavaScript with the WebGL calls it
// makes, text, and the browser's own work (style, paint, compositing, garbage collection).
import { launch, startServer, TIMEOUT } from './browser.mjs';

// --- what the split counts as text and as the platform --------------------------------------
// Keep these in step with the page's scripts (web/*.js), web/gl.cpp and web/glut.cpp when the functions that
// draw text change: the profiler knows functions only by name. A sample is text when any function
// on its stack is in TEXT or matches TEXT_PATTERN, so all such a function calls (WebGL or 2-D
// canvas calls, glyph look-ups, WebAssembly) counts as text. The module's WebAssembly functions
// have names only when it keeps its name section (emcc --profiling-funcs); without it they are
// "wasm-function[N]" and count as WebAssembly.
const TEXT = new Set([
  '_vellorinRasterPos', '_vellorinBitmapCharacter',  // the page's scripts: raster position, one character
  'glRasterPos3f', 'glutBitmapCharacter',             // gl.cpp, glut.cpp
]);
const TEXT_PATTERN = /glyph/i;  // and any function named for glyphs, wherever it is
// Calls of a 2-D canvas (the layer the labels are drawn on), wherever they are made: the frame's
// clear clears that layer too.
const TEXT_NATIVE = new Set(['fillText', 'strokeText', 'measureText', 'clearRect', 'fillRect', 'drawImage', 'putImageData']);
// The rest of the page's own scripts (vellorin.js: the platform's JavaScript and emscripten's
// glue) and what they call (WebGL, requestAnimationFrame) is "gl", as are the thunks from
// WebAssembly into them; the module's own functions are "wasm".
const WASM_TO_JS = new Set(['wasm-to-js']);

const seconds = Number(process.argv[2] || 8);
const desktop = { width: 1400, height: 760 };
const phone = { width: 393, height: 851, isMobile: true, hasTouch: true };  // Pixel 5's screen, at ratio 3
const ROWS = [
  { cpu: 1, ratio: 1, viewport: desktop },
  { cpu: 1, ratio: 2, viewport: desktop },
  { cpu: 4, ratio: 1, viewport: desktop },
  { cpu: 4, ratio: 2, viewport: desktop },
  { cpu: 4, ratio: 3, viewport: phone },
];
const SPLIT = ROWS[3];

// Clears a canvas of the program's sizes and context attributes every animation frame.
const clearPage = ({ width, height, cssWidth, cssHeight, attributes }) => `<!DOCTYPE html>
<meta name="viewport" content="width=device-width, initial-scale=1">
<body style="margin: 0"><canvas width="${width}" height="${height}" style="width: ${cssWidth}px; height: ${cssHeight}px"></canvas>
<script>
  const gl = document.querySelector('canvas').getContext('webgl2', ${JSON.stringify(attributes)});
  window.vellorinStatus = { frames: 0 };
  (function frame() {
    gl.clearColor(0.7, 0.7, 1, 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    ++vellorinStatus.frames;
    requestAnimationFrame(frame);
  })();
</script>`;

const pause = (page, s) => page.evaluate((s) => new Promise((resolve) => setTimeout(resolve, s * 1000)), s);

// A fresh page at the row's viewport and CPU rate, showing the program (or, given `canvas`, the
// clearing page for it) with its first frames drawn.
async function open(browser, url, { cpu, ratio, viewport }, canvas) {
  const page = await browser.newPage();
  await page.setViewport({ ...viewport, deviceScaleFactor: ratio });
  if (canvas) {
    await page.goto('about:blank');  // a fresh document: the site's content policy would stop the inline script
    await page.setContent(clearPage(canvas));
  } else {
    await page.goto(url, { timeout: TIMEOUT });
  }
  await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
  await page.emulateCPUThrottling(cpu > 1 ? cpu : null);
  await pause(page, 2);  // to settle
  return page;
}

// Frames per second and main-thread milliseconds per frame over `seconds`.
async function measure(page) {
  const frames = () => page.evaluate(() => [window.vellorinStatus.frames, performance.now()]);
  const [f0, t0] = await frames();
  const m0 = await page.metrics();
  await pause(page, seconds);
  const [f1, t1] = await frames();
  const m1 = await page.metrics();
  return { fps: (f1 - f0) / ((t1 - t0) / 1000), ms: (m1.TaskDuration - m0.TaskDuration) * 1000 / (f1 - f0) };
}

// The page's canvas: backing store, CSS size and the attributes its WebGL 2 context was made with.
const canvasOf = (page) => page.evaluate(() => {
  const c = document.getElementById('canvas');
  const r = c.getBoundingClientRect();
  return { width: c.width, height: c.height, cssWidth: r.width, cssHeight: r.height,
           attributes: c.getContext('webgl2').getContextAttributes() };
});

// Milliseconds of the profile's samples by part: { wasm, gl, text, other, idle }.
function splitProfile(profile, site) {
  const nodes = new Map(profile.nodes.map((n) => [n.id, n]));
  const parent = new Map();
  for (const n of profile.nodes) for (const c of n.children || []) parent.set(c, n.id);
  const isWasm = (url) => url.startsWith('wasm://') || url.endsWith('.wasm');
  const isSite = (url) => url.startsWith(site) && url.endsWith('.js');
  const part = (id) => {
    const leaf = nodes.get(id).callFrame;
    if (leaf.functionName === '(idle)') return 'idle';
    for (let k = id; k !== undefined; k = parent.get(k)) {
      const name = nodes.get(k).callFrame.functionName;
      if (TEXT.has(name) || TEXT_PATTERN.test(name)) return 'text';
    }
    if (!leaf.url && TEXT_NATIVE.has(leaf.functionName)) return 'text';
    if (WASM_TO_JS.has(leaf.functionName)) return 'gl';
    // A built-in function counts as the script that called it.
    for (let k = id; k !== undefined; k = parent.get(k)) {
      const { url } = nodes.get(k).callFrame;
      if (isWasm(url)) return 'wasm';
      if (isSite(url)) return 'gl';
      if (url) break;
    }
    return 'other';
  };
  const parts = { wasm: 0, gl: 0, text: 0, other: 0, idle: 0 };
  const memo = new Map();
  profile.samples.forEach((id, i) => {
    if (!memo.has(id)) memo.set(id, part(id));
    parts[memo.get(id)] += profile.timeDeltas[i] / 1000;
  });
  return parts;
}

const size = (w, h) => `${Math.round(w)}x${Math.round(h)}`;
const server = await startServer();
const browser = await launch();
try {
  for (const row of ROWS) {
    const page = await open(browser, server.url, row);
    const canvas = await canvasOf(page);
    const program = await measure(page);
    await page.close();
    const clearing = await open(browser, server.url, row, canvas);
    const clear = await measure(clearing);
    await clearing.close();
    console.log(`row cpu ${row.cpu} ratio ${row.ratio} viewport ${size(row.viewport.width, row.viewport.height)}`
      + ` canvas ${size(canvas.width, canvas.height)} fps ${program.fps.toFixed(1)} ms ${program.ms.toFixed(2)}`
      + ` clear_fps ${clear.fps.toFixed(1)} clear_ms ${clear.ms.toFixed(2)}`);
  }

  const page = await open(browser, server.url, SPLIT);
  const cdp = await page.createCDPSession();
  await cdp.send('Profiler.enable');
  await cdp.send('Profiler.setSamplingInterval', { interval: 200 });  // microseconds
  const f0 = await page.evaluate(() => window.vellorinStatus.frames);
  await cdp.send('Profiler.start');
  await pause(page, seconds);
  const { profile } = await cdp.send('Profiler.stop');
  const frames = await page.evaluate(() => window.vellorinStatus.frames) - f0;
  await page.close();
  const parts = splitProfile(profile, server.url);
  const per = (ms) => (ms / frames).toFixed(2);
  console.log(`split cpu ${SPLIT.cpu} ratio ${SPLIT.ratio} frames ${frames}`
    + ` busy_ms ${per(parts.wasm + parts.gl + parts.text + parts.other)} wasm_ms ${per(parts.wasm)}`
    + ` gl_ms ${per(parts.gl)} text_ms ${per(parts.text)} other_ms ${per(parts.other)}`);
} finally {
  await browser.closeAndClean();
  server.stop();
}
