// Frame rates and main-thread time of the program's page in headless Chromium, for
// scripts/bench.sh. Usage: node fps.mjs [SECONDS] [phones] (default 8: the measured span of each
// page; "phones": the phone rows alone, without the split).
//
// For each row of ROWS (the CPU slowed by Chromium's throttling, a pixel ratio, a window or a
// phone's screen) the page with the program's start-up picture is measured beside, in the same
// run, pages with a canvas of the same backing-store size, CSS size and context attributes:
//   - the clear-only page, which only clears the WebGL 2 canvas every frame: the least a frame of
//     such a canvas costs the browser;
//   - on the phone rows, the floor page (bench/floor.html, served from build-web/floor/): it clears,
//     runs the program's own 50 x 50 sweep in WebAssembly and draws the 2,500 samples as
//     depth-tested points from one buffer, every frame: the least a frame of the program costs.
// All of a row's pages stay open and take turns in front, SLICE seconds each, until each has been
// measured for SECONDS; a page not in front draws nothing (headless Chromium hides it), so load
// changes on the machine hit every page of the row alike. Each page settles 2 s after it opens,
// and each turn starts after half a second in front. Each measure: frames per second and
// main-thread milliseconds per frame (Chromium's TaskDuration over the frames drawn). Prints a line
//   row device D cpu C ratio R viewport WxH canvas WxH fps F ms M clear_fps F clear_ms M [floor_fps F floor_ms M]
// for each row (device "desktop" or the phone's name with "-" for spaces). Then, in a run of its
// own (the profiler slows what it watches), the page at SPLIT under Chromium's sampling profiler,
// its main-thread time split by what runs:
//   split cpu C ratio R frames N busy_ms B wasm_ms W gl_ms G text_ms T other_ms O
// all per frame: the program's WebAssembly, the platform's JavaScript with the WebGL calls it
// makes, text, and the browser's own work (style, paint, compositing, garbage collection).
import path from 'node:path';
import { KnownDevices } from 'puppeteer-core';
import { launch, root, startServer, TIMEOUT } from './browser.mjs';

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
const SLICE = 1;  // seconds a page is measured in each turn in front
const desktop = { width: 1400, height: 760 };
// Phones' screens as puppeteer's device list has them (mobile, touch), at each phone's own pixel
// ratio: the list gives the Pixel 5 a ratio of 3; the phone has 2.75.
const phone = (name, ratio) => {
  const { width, height, isMobile, hasTouch } = KnownDevices[name].viewport;
  return { device: name, cpu: 4, ratio, viewport: { width, height, isMobile, hasTouch }, floor: true };
};
const ROWS = [
  { cpu: 1, ratio: 1, viewport: desktop },
  { cpu: 1, ratio: 2, viewport: desktop },
  { cpu: 4, ratio: 1, viewport: desktop },
  { cpu: 4, ratio: 2, viewport: desktop },
  phone('iPhone 8', 2),
  phone('Pixel 5', 2.75),
  phone('iPhone 13', 3),
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

// A fresh page at the row's viewport and CPU rate, in front, showing the program at `url` (or,
// given `canvas`, the clearing page for it) with its first frames drawn.
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

// The floor page's address for the program's canvas.
const floorUrl = (base, { width, height, cssWidth, cssHeight, attributes, scale }) =>
  `${base}?${new URLSearchParams({ width, height, cssWidth, cssHeight, scale, attributes: JSON.stringify(attributes) })}`;

// Frames, elapsed milliseconds and main-thread milliseconds of the page in front over `s` seconds.
async function slice(page, s) {
  const frames = () => page.evaluate(() => [window.vellorinStatus.frames, performance.now()]);
  const [f0, t0] = await frames();
  const m0 = await page.metrics();
  await pause(page, s);
  const [f1, t1] = await frames();
  const m1 = await page.metrics();
  return { frames: f1 - f0, elapsed: t1 - t0, busy: (m1.TaskDuration - m0.TaskDuration) * 1000 };
}

// Frames per second and main-thread milliseconds per frame of each page, the pages taking turns
// in front until each has had `seconds`.
async function measureInTurns(pages) {
  const sums = pages.map(() => ({ frames: 0, elapsed: 0, busy: 0 }));
  for (let done = 0; done < seconds; done += SLICE) {
    for (const [k, page] of pages.entries()) {
      await page.bringToFront();
      await pause(page, 0.5);
      const m = await slice(page, Math.min(SLICE, seconds - done));
      for (const key of Object.keys(m)) sums[k][key] += m[key];
    }
  }
  return sums.map((m) => ({ fps: m.frames / (m.elapsed / 1000), ms: m.busy / m.frames }));
}

// The page's canvas: backing store, CSS size, the attributes its WebGL 2 context was made with,
// and the scale at which the page shows the program's window.
const canvasOf = (page) => page.evaluate(() => {
  const c = document.getElementById('canvas');
  const r = c.getBoundingClientRect();
  return { width: c.width, height: c.height, cssWidth: r.width, cssHeight: r.height,
           attributes: c.getContext('webgl2').getContextAttributes(), scale: c.width / 900 };  // the program's window is 900 wide
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
const floorServer = await startServer(path.join(root, 'build-web/floor'));
let browser = await launch();
// A measure in the browser; when the browser itself went away under it (on a shared machine
// another job may end it), the measure is made again in a fresh one, up to three times.
async function inBrowser(measure) {
  for (let attempt = 1; ; ++attempt) {
    try {
      return await measure();
    } catch (e) {
      if (browser.connected || attempt === 3) throw e;
      console.error(`fps: the browser went away (${e.message}); measuring again in a new one`);
      await browser.closeAndClean().catch(() => {});
      browser = await launch();
    }
  }
}

try {
  const phonesOnly = process.argv[3] === 'phones';
  for (const row of ROWS.filter((r) => r.floor || !phonesOnly)) {
    const line = await inBrowser(async () => {
      const page = await open(browser, server.url, row);
      const canvas = await canvasOf(page);
      const pages = [page, await open(browser, server.url, row, canvas)];
      if (row.floor) pages.push(await open(browser, floorUrl(floorServer.url, canvas), row));
      const [program, clear, floor] = await measureInTurns(pages);
      for (const p of pages) await p.close();
      return `row device ${(row.device || 'desktop').replaceAll(' ', '-')} cpu ${row.cpu} ratio ${row.ratio}`
        + ` viewport ${size(row.viewport.width, row.viewport.height)} canvas ${size(canvas.width, canvas.height)}`
        + ` fps ${program.fps.toFixed(1)} ms ${program.ms.toFixed(2)} clear_fps ${clear.fps.toFixed(1)} clear_ms ${clear.ms.toFixed(2)}`
        + (floor ? ` floor_fps ${floor.fps.toFixed(1)} floor_ms ${floor.ms.toFixed(2)}` : '');
    });
    console.log(line);
  }

  if (!phonesOnly) {
    const line = await inBrowser(async () => {
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
      return `split cpu ${SPLIT.cpu} ratio ${SPLIT.ratio} frames ${frames}`
        + ` busy_ms ${per(parts.wasm + parts.gl + parts.text + parts.other)} wasm_ms ${per(parts.wasm)}`
        + ` gl_ms ${per(parts.gl)} text_ms ${per(parts.text)} other_ms ${per(parts.other)}`;
    });
    console.log(line);
  }
} finally {
  await browser.closeAndClean();
  server.stop();
  floorServer.stop();
}
