// Frames per second in headless Chromium, for scripts/bench.sh: the program's page (the 4 x 4
// picture) and, for the rate the browser offers, a page that only clears a 900 x 700 WebGL 2
// canvas. Usage: node fps.mjs [SECONDS]; prints "browser_fps program P clear C".
import { launch, startServer, TIMEOUT } from './browser.mjs';

const seconds = Number(process.argv[2] || 10);
const clearPage = `<canvas width="900" height="700"></canvas><script>
  const gl = document.querySelector('canvas').getContext('webgl2');
  window.vellorinStatus = { frames: 0 };
  (function frame() { gl.clearColor(0.7, 0.7, 1, 1); gl.clear(gl.COLOR_BUFFER_BIT); ++vellorinStatus.frames; requestAnimationFrame(frame); })();
</script>`;

// Frames drawn per second, after two seconds to settle.
const rate = (page) => page.evaluate((seconds) => new Promise((resolve) => {
  setTimeout(() => {
    const f0 = window.vellorinStatus.frames, t0 = performance.now();
    setTimeout(() => resolve((window.vellorinStatus.frames - f0) / ((performance.now() - t0) / 1000)), seconds * 1000);
  }, 2000);
}), seconds);

const server = await startServer();
const browser = await launch();
try {
  const page = await browser.newPage();
  await page.goto(server.url, { timeout: TIMEOUT });
  await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
  const program = await rate(page);
  await page.setContent(clearPage);
  const clear = await rate(page);
  console.log(`browser_fps program ${program.toFixed(1)} clear ${clear.toFixed(1)}`);
} finally {
  await browser.closeAndClean();
  server.stop();
}
