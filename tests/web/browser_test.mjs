// Tests of the browser build: its sample bits under node, and the page in Debian's chromium
// (headless, software WebGL 2) driven by puppeteer-core against a served copy of build-web/site.
// Usage: node browser_test.mjs [URL]; without a URL it serves the site with scripts/web.sh --serve.
// Pictures are read from screenshots of the canvas, whose pixels are predicted from the editor's
// view set-up, as the desktop end-to-end tests predict them (tests/e2e/picture.cpp).
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { launch, root, startServer, TIMEOUT } from './browser.mjs';

// --- pictures ---------------------------------------------------------------------------------
const isBackground = (c) => Math.abs(c[0] - 179) <= 2 && Math.abs(c[1] - 179) <= 2 && c[2] >= 253;
const isYellow = (c) => c[0] >= 230 && c[1] >= 230 && c[2] <= 40;
const isRed = (c) => c[0] >= 230 && c[1] <= 40 && c[2] <= 40;
const isGreen = (c) => c[1] >= 230 && c[0] <= 40 && c[2] <= 40;
const isDarkRed = (c) => c[0] >= 160 && c[0] <= 200 && c[1] <= 40 && c[2] <= 40;
const isDarkGreen = (c) => c[1] >= 160 && c[1] <= 200 && c[0] <= 40 && c[2] <= 40;
const isBlue = (c) => c[2] >= 160 && c[0] <= 40 && c[1] <= 40;

class Picture {
  constructor(width, height, rgba) { Object.assign(this, { width, height, rgba }); }
  at(x, y) { const i = (y * this.width + x) * 4; return [this.rgba[i], this.rgba[i + 1], this.rgba[i + 2]]; }
  // Pixels of a class within `radius` (square) of a point.
  countNear(p, radius, pred) {
    let n = 0;
    for (let y = Math.round(p.y) - radius; y <= Math.round(p.y) + radius; ++y)
      for (let x = Math.round(p.x) - radius; x <= Math.round(p.x) + radius; ++x)
        if (x >= 0 && y >= 0 && x < this.width && y < this.height && pred(this.at(x, y))) ++n;
    return n;
  }
  // Centres of the control-point dots: clusters of all-red 7 x 2 blocks, which letters and
  // one-pixel lines never fill.
  redDots() {
    const clusters = [];
    for (let y = 1; y + 1 < this.height; ++y)
      for (let x = 3; x + 3 < this.width; ++x) {
        let full = true;
        for (let dy = 0; dy < 2 && full; ++dy)
          for (let dx = -3; dx <= 3 && full; ++dx) full = isRed(this.at(x + dx, y + dy));
        if (!full) continue;
        let home = clusters.find((c) => Math.hypot(c.sx / c.n - x, c.sy / c.n - y) <= 7);
        if (!home) clusters.push(home = { sx: 0, sy: 0, n: 0 });
        home.sx += x; home.sy += y; home.n += 1;
      }
    return clusters.map((c) => ({ x: c.sx / c.n, y: c.sy / c.n }));
  }
}

// The editor's camera at start, 900 x 700, and where a world point lands (x right, y down).
const startView = () => ({ eye: [900, 900, 350], center: [0, 0, 2], fovY: 35, width: 900, height: 700 });
function slide(v, key) {  // the arrow keys: 20 units sideways or up and down
  const d = v.center.map((c, i) => c - v.eye[i]);
  const len = Math.hypot(...d);
  const step = { ArrowLeft: [-d[1] / len * 20, d[0] / len * 20, 0], ArrowRight: [d[1] / len * 20, -d[0] / len * 20, 0],
                 ArrowUp: [0, 0, 20], ArrowDown: [0, 0, -20] }[key];
  v.eye = v.eye.map((c, i) => c + step[i]);
  v.center = v.center.map((c, i) => c + step[i]);
}
function project(v, x, y, z) {
  const fl = Math.hypot(...v.center.map((c, i) => c - v.eye[i]));
  const f = v.center.map((c, i) => (c - v.eye[i]) / fl);
  const sl = Math.hypot(f[1], f[0]);
  const s = [f[1] / sl, -f[0] / sl, 0];
  const u = [s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]];
  const p = [x - v.eye[0], y - v.eye[1], z - v.eye[2]];
  const dot = (a) => a[0] * p[0] + a[1] * p[1] + a[2] * p[2];
  const focal = 1 / Math.tan(v.fovY * Math.PI / 360);
  const nx = focal / (v.width / v.height) * dot(s) / dot(f), ny = focal * dot(u) / dot(f);
  return { x: (nx + 1) * 0.5 * v.width, y: v.height - (ny + 1) * 0.5 * v.height };
}
// Control point (i, j) of the base grid (rows along y, columns along x, 100 apart), plus an edit.
const controlPoints = (rows, cols, move = () => [0, 0, 0]) => {
  const points = [];
  for (let i = 0; i < rows; ++i)
    for (let j = 0; j < cols; ++j) {
      const m = move(i, j);
      points.push([100 * j + 100 + m[0], 100 * i + 100 + m[1], m[2]]);
    }
  return points;
};

// Every dot seen lies within 4 pixels of a predicted one, and every predicted one is seen but for
// at most `hidden` (a tilted patch may put nearer samples over a dot). Samples in front of a dot
// hide some of its rows, which moves its centre by up to 3 pixels on the desktop too.
const near = (a, b) => Math.hypot(a.x - b.x, a.y - b.y) < 4;
function dotsMatch(picture, view, points, hidden = 0) {
  const dots = picture.redDots();
  const want = points.map((p) => project(view, ...p));
  const missing = want.filter((w) => !dots.some((d) => near(d, w))).length;
  return dots.every((d) => want.some((w) => near(d, w))) && missing <= hidden;
}

// --- the browser ---------------------------------------------------------------------------
// A fresh page with the program running; every console error and page error is kept.
async function openPage(browser, url) {
  const page = await browser.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`page: ${e.message}`));
  page.on('requestfailed', (r) => errors.push(`request: ${r.url()}`));
  await page.setViewport({ width: 1400, height: 760 });
  await page.goto(url, { timeout: TIMEOUT });
  await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
  return { page, errors };
}

async function picture(page) {
  const canvas = await page.$('#canvas');
  const png = await canvas.screenshot({ encoding: 'base64' });
  const rgba = await page.evaluate(async (b64) => {
    const blob = new Blob([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], { type: 'image/png' });
    const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    const ctx = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
    ctx.drawImage(bitmap, 0, 0);
    const data = ctx.getImageData(0, 0, bitmap.width, bitmap.height).data;
    let s = '';
    for (let i = 0; i < data.length; i += 0x8000) s += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    return [bitmap.width, bitmap.height, btoa(s)];
  }, png);
  return new Picture(rgba[0], rgba[1], Buffer.from(rgba[2], 'base64'));
}

// Takes pictures until one satisfies `test` (frames follow input within a frame or two).
async function until(page, what, test) {
  const end = Date.now() + TIMEOUT;
  let last;
  for (;;) {
    last = await picture(page);
    if (test(last)) return last;
    if (Date.now() > end) throw new Error(`never saw ${what}; dots ${JSON.stringify(last.redDots())}`);
    await new Promise((r) => setTimeout(r, 200));
  }
}

// Opens the right-button menu and walks a path of labels: hover the submenus, click the last.
async function pickMenu(page, labels) {
  const canvas = await page.$('#canvas');
  await canvas.click({ button: 'right', offset: { x: 80, y: 60 } });
  for (let level = 0; level < labels.length; ++level) {
    await page.waitForFunction((n) => document.querySelectorAll('.glut-menu').length === n, { timeout: TIMEOUT }, level + 1);
    const entry = await page.evaluateHandle((level, label) =>
      [...document.querySelectorAll('.glut-menu')[level].children].find((e) => e.textContent === label), level, labels[level]);
    if (!entry.asElement()) throw new Error(`no menu entry "${labels[level]}"`);
    await (level + 1 < labels.length ? entry.hover() : entry.click());
  }
}

// With VELLORIN_SCREENSHOTS=DIR, the pages of some cases are kept there as pictures (docs/).
const keep = async (page, name) =>
  process.env.VELLORIN_SCREENSHOTS && page.screenshot({ path: path.join(process.env.VELLORIN_SCREENSHOTS, name) });

const menuLabels = (page, level) =>
  page.evaluate((level) => [...document.querySelectorAll('.glut-menu')[level].children].map((e) => e.textContent), level);

// --- cases ------------------------------------------------------------------------------------
const cases = {
  'WebAssembly samples carry the native bits': async () => {
    const reference = fs.readFileSync(path.join(root, 'bench/sample_bits.txt'), 'utf8').match(/fnv1a (\w+)/)[1];
    const out = path.join(os.tmpdir(), `vellorin-samples-${process.pid}.bin`);
    const run = spawnSync('node', [path.join(root, 'build-web/bench/sample_dump.js'), out], { encoding: 'utf8' });
    fs.rmSync(out, { force: true });
    const hash = (run.stderr.match(/^samples \d+ fnv1a (\w+)$/m) || [])[1];
    if (run.status !== 0 || hash !== reference) throw new Error(`sample_dump: status ${run.status}, hash ${hash}, want ${reference}`);
  },

  'first frames: clear colour, samples, points, net and axes where the desktop draws them': async (page) => {
    if (await page.title() !== 'Vellorin') throw new Error(`title "${await page.title()}"`);
    const v = startView();
    const pic = await until(page, 'the 4 x 4 patch', (p) => dotsMatch(p, v, controlPoints(4, 4)));
    await keep(page, 'web-first-frame.png');
    const checks = {
      'clear colour in the corners': [[5, 5], [894, 5], [5, 694], [894, 694]].every(([x, y]) => isBackground(pic.at(x, y))),
      'yellow samples mid-patch': pic.countNear(project(v, 250, 250, 0), 6, isYellow) > 20,
      'green net between q and w': pic.countNear(project(v, 150, 100, 0), 2, isGreen) > 0,
      'green net between f and k': pic.countNear(project(v, 300, 350, 0), 2, isGreen) > 0,
      // The positive half-axes pass behind the camera; they are drawn up to the near plane.
      '+x axis bright red': pic.countNear(project(v, 40, 0, 0), 2, isRed) > 0,
      '-x axis dark red': pic.countNear(project(v, -800, 0, 0), 2, isDarkRed) > 0,
      '+y axis bright green': pic.countNear(project(v, 0, 40, 0), 2, isGreen) > 0,
      '-y axis dark green': pic.countNear(project(v, 0, -800, 0), 2, isDarkGreen) > 0,
      '+z axis blue': pic.countNear(project(v, 0, 0, 400), 2, isBlue) > 0,
      '-z axis blue': pic.countNear(project(v, 0, 0, -400), 2, isBlue) > 0,
    };
    const failed = Object.keys(checks).filter((k) => !checks[k]);
    if (failed.length) throw new Error(`not seen: ${failed.join('; ')}`);
  },

  '"d", "z", then "+" ten times raise point "d"': async (page) => {
    await until(page, 'the 4 x 4 patch', (p) => dotsMatch(p, startView(), controlPoints(4, 4)));
    await page.keyboard.press('d');
    await page.keyboard.press('z');
    for (let k = 0; k < 5; ++k) await page.keyboard.press('+');        // main keyboard
    for (let k = 0; k < 5; ++k) await page.keyboard.press('NumpadAdd');  // numeric keypad
    // The bulge puts samples over some neighbours' dots, as on the desktop; d itself shows.
    const dAt = (z) => (p) => dotsMatch(p, startView(), controlPoints(4, 4, (i, j) => (i === 2 && j === 1 ? [0, 0, z] : [0, 0, 0])), 4)
      && p.redDots().some((d) => near(d, project(startView(), 200, 300, z)));
    await until(page, 'point d 50 units up', dAt(50));
    await page.keyboard.press('-');
    await page.keyboard.press('NumpadSubtract');
    await until(page, 'point d back down 10', dAt(40));
  },

  'menu labels, help panel, and "Dimens\u00e3o horizontal" > "2" leaves 8 points': async (page) => {
    await pickMenu(page, ['Instru\u00e7\u00f5es']);  // hovering opens the help page as a submenu
    await page.waitForFunction(() => document.querySelectorAll('.glut-menu').length === 2, { timeout: TIMEOUT });
    await keep(page, 'web-menu.png');
    const main = await menuLabels(page, 0);
    const instructions = await menuLabels(page, 1);
    const want = ['Dimens\u00e3o horizontal', 'Dimens\u00e3o vertical', 'Mover o ponto', 'Escolher eixo de rota\u00e7\u00e3o',
                  'Instru\u00e7\u00f5es', 'Ajuda', 'Reset', 'Sair'];
    if (JSON.stringify(main) !== JSON.stringify(want)) throw new Error(`main menu ${JSON.stringify(main)}`);
    const blank = instructions.filter((l) => l === '\u00a0').length;
    if (instructions.length !== 21 || blank !== 5 || !instructions[3].endsWith('\u00e0 letra.'))
      throw new Error(`instructions ${JSON.stringify(instructions)}`);
    const help = await page.evaluate(() => [...document.querySelectorAll('#help h2, #help .help-line')].map((e) => e.textContent));
    if (help.length !== 2 + 21 + 8 || help[0] !== 'Instru\u00e7\u00f5es' || help[22] !== 'Ajuda'
        || JSON.stringify(help.slice(1, 22)) !== JSON.stringify(instructions) || !help[24].startsWith(' 1\u00ba '))
      throw new Error(`help panel ${JSON.stringify(help)}`);
    await page.mouse.click(1300, 740);    // outside: closes the menu
    await page.waitForFunction(() => document.querySelectorAll('.glut-menu').length === 0, { timeout: TIMEOUT });
    await pickMenu(page, ['Dimens\u00e3o horizontal', '2']);
    await until(page, '2 rows of 4 points', (p) => dotsMatch(p, startView(), controlPoints(2, 4)));
  },

  'an axis from the menu, then "r" and "+", turn the patch': async (page) => {
    await pickMenu(page, ['Escolher eixo de rota\u00e7\u00e3o', 'Eixo dos XX']);
    await page.keyboard.press('r');
    await page.keyboard.press('+');
    const c = Math.cos(Math.PI / 6), s = Math.sin(Math.PI / 6);
    const turned = controlPoints(4, 4).map(([x, y, z]) => [x, y * c - z * s, y * s + z * c]);
    await until(page, 'the patch turned 30 degrees about x', (p) => dotsMatch(p, startView(), turned, 4));
  },

  'the arrow keys slide the picture': async (page) => {
    const v = startView();
    for (const key of ['ArrowLeft', 'ArrowLeft', 'ArrowUp', 'ArrowRight', 'ArrowDown', 'ArrowDown', 'ArrowDown']) {
      await page.keyboard.press(key);
      slide(v, key);
    }
    await until(page, 'the slid picture', (p) => dotsMatch(p, v, controlPoints(4, 4)));
  },

  '"Sair" stops the frames and says how to start again': async (page) => {
    await pickMenu(page, ['Sair']);
    await page.waitForFunction(() => window.vellorinStatus.ended && !document.getElementById('ended').hidden, { timeout: TIMEOUT });
    const before = await page.evaluate(() => window.vellorinStatus.frames);
    await page.evaluate(() => new Promise((resolve) => {  // ten animation frames of the page
      let n = 0;
      const tick = () => (++n >= 10 ? resolve() : requestAnimationFrame(tick));
      requestAnimationFrame(tick);
    }));
    const after = await page.evaluate(() => window.vellorinStatus.frames);
    const text = await page.$eval('#ended', (e) => e.textContent);
    if (after !== before || !/terminou/.test(text) || !/recarregue/.test(text))
      throw new Error(`frames ${before} -> ${after}; "${text.trim()}"`);
  },
};

// --- run --------------------------------------------------------------------------------------
const server = process.argv[2] ? { url: process.argv[2], stop: () => {} } : await startServer();
const browser = await launch();
let failures = 0;
try {
  const version = await browser.version();
  console.log(`browser-test: ${version} at ${server.url}`);
  for (const [name, run] of Object.entries(cases)) {
    let opened = null;
    try {
      if (run.length > 0) opened = await openPage(browser, server.url);
      await run(opened && opened.page);
      if (opened && opened.errors.length) throw new Error(opened.errors.join('\n'));
      console.log(`ok - ${name}`);
    } catch (e) {
      ++failures;
      console.log(`not ok - ${name}\n  ${String(e.message).replace(/\n/g, '\n  ')}`);
    } finally {
      if (opened) await opened.page.close();
    }
  }
} finally {
  await browser.closeAndClean();
  server.stop();
}
console.log(`browser-test: ${Object.keys(cases).length - failures} of ${Object.keys(cases).length} passed`);
process.exit(failures ? 1 : 0);
