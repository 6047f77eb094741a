// Frames per second in headless Chromium, for scripts/bench.sh: the program's page (the 4 x 4
// picture) at pixel ratio 1 and 2 and, for the rate the browser offers, a page that only clears
// a 900 x 700 WebGL 2 canvas; and the main thread's time per frame (Chromium's task duration) on
// the program's page and on the clearing page, at ratio 1. Usage: node fps.mjs [SECONDS]; prints
// "browser_fps program P clear C program_ratio2 P2 program_ms M clear_ms N".
import { launch, startServer, TIMEOUT } from './browser.mjs';

const seconds = Number(process.argv[2] || 10);
const clearPage = `<canvas width="900" height="700"></canvas><script>
  const gl = document.querySelector('canvas').getContext('webgl2');
  window.vellorinStatus = { frames: 0 };
  (function frame() { gl.clearColor(0.7, 0.7, 1, 1); gl.clear(gl.COLOR_BUFFER_BIT); ++vellorinStatus.frames; requestAnimationFrame(frame); })();
</script>`;

// Frames drawn per second and main-thread milliseconds per frame, after two seconds to settle.
async function measure(page) {
  await page.evaluate(() => new Promise((resolve) => setTimeout(resolve, 2000)));
  const frames = () => page.evaluate(() => [window.vellorinStatus.frames, performance.now()]);
  const [f0, t0] = await frames();
  const m0 = await page.metrics();
  await page.evaluate((s) => new Promise((resolve) => setTimeout(resolve, s * 1000)), seconds);
  const [f1, t1] = await frames();
  const m1 = await page.metrics();
  return { fps: (f1 - f0) / ((t1 - t0) / 1000), ms: (m1.TaskDuration - m0.TaskDuration) * 1000 / (f1 - f0) };
}

const server = await startServer();
const browser = await launch();
try {
  const page = await browser.newPage();
  const program = async (ratio) => {
    await page.setViewport({ width: 1400, height: 760, deviceScaleFactor: ratio });
    await page.goto(server.url, { timeout: TIMEOUT });
    await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
    return measure(page);
  };
  const one = await program(1);
  const two = await program(2);
  await page.setViewport({ width: 1400, height: 760, deviceScaleFactor: 1 });
  await page.goto('about:blank');  // a fresh document: the site's content policy would stop the inline script
  await page.setContent(clearPage);
  const clear = await measure(page);
  console.log(`browser_fps program ${one.fps.toFixed(1)} clear ${clear.fps.toFixed(1)} program_ratio2 ${two.fps.toFixed(1)}`
    + ` program_ms ${one.ms.toFixed(2)} clear_ms ${clear.ms.toFixed(2)}`);
} finally {
  await browser.closeAndClean();
  server.stop();
}
