// Tests of the browser build: its sample bits under node, and the page in Debian's chromium and
// firefox-esr (headless, software WebGL 2) driven by puppeteer-core, and in WebKitGTK's MiniBrowser
// driven through WebDriver (webkit.mjs), against a served copy of build-web/site, on node's own
// test runner. Usage: node --test browser_test.mjs; the browsers are VELLORIN_BROWSERS (default
// "chromium firefox webkit"). Device emulation and the windowed browser under Xvfb are Chromium's.
// Pictures are read from screenshots of the canvas, whose pixels are predicted from the editor's
// view set-up, as the desktop end-to-end tests predict them (tests/e2e/picture.cpp).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';
import { KnownDevices } from 'puppeteer-core';
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
  // At a pixel ratio `scale` the dots and the blocks grow with it.
  redDots(scale = 1) {
    const clusters = [];
    const dot = Math.max(Math.floor(7 * scale + 0.5), 1);  // the dots' size, as the page rounds it
    const hw = Math.floor((dot - 1) / 2), hh = Math.max(2, Math.round(2 * scale));  // one-pixel lines never fill two rows
    for (let y = 1; y + hh < this.height; ++y)
      for (let x = hw; x + hw < this.width; ++x) {
        let full = true;
        for (let dy = 0; dy < hh && full; ++dy)
          for (let dx = -hw; dx <= hw && full; ++dx) full = isRed(this.at(x + dx, y + dy));
        if (!full) continue;
        let home = clusters.find((c) => Math.hypot(c.sx / c.n - x, c.sy / c.n - y) <= 7 * scale);
        if (!home) clusters.push(home = { sx: 0, sy: 0, n: 0 });
        home.sx += x; home.sy += y; home.n += 1;
      }
    return clusters.map((c) => ({ x: c.sx / c.n, y: c.sy / c.n }));
  }
}

// The editor's camera at start, 900 x 700, and where a world point lands (x right, y down).
// A window of another size (in device pixels) shows the same view, scaled.
// `scale` is the device pixel ratio, by which points grow.
const startView = (width = 900, height = 700, scale = 1) => ({ eye: [900, 900, 350], center: [0, 0, 2], fovY: 35, width, height, scale });
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
const near = (a, b, scale = 1) => Math.hypot(a.x - b.x, a.y - b.y) < Math.max(4 * scale, 3);
function dotsMatch(picture, view, points, hidden = 0) {
  const scale = view.scale;
  const dots = picture.redDots(scale);
  const want = points.map((p) => project(view, ...p));
  const near = (a, b) => Math.hypot(a.x - b.x, a.y - b.y) < Math.max(4 * scale, 3);
  const missing = want.filter((w) => !dots.some((d) => near(d, w))).length;
  // Above a ratio of 2 the letters' strokes are thick enough to fill blocks too.
  return (scale > 2 || dots.every((d) => want.some((w) => near(d, w)))) && missing <= hidden;
}

// --- the browser ---------------------------------------------------------------------------
// A fresh page with the program running; every console error and page error is kept.
async function openPage(browser, url, { device, onNew, running = true } = {}) {
  const page = await browser.newPage();
  const errors = [];
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`page: ${e.message}`));
  page.on('requestfailed', (r) => errors.push(`request: ${r.url()}`));
  if (device) await page.emulate(device);
  else await page.setViewport({ width: 1400, height: 760 });
  if (onNew) await page.evaluateOnNewDocument(onNew);
  await page.goto(url, { timeout: TIMEOUT });
  if (running) await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
  return { page, errors };
}

async function picture(page) {
  const canvas = await page.$('#canvas');
  return decode(page, await canvas.screenshot({ encoding: 'base64' }));
}

// A PNG (base64) as a Picture, decoded by the page.
async function decode(page, png) {
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

// The page's picture against the Linux build's window: pixels that differ by more than one level.
// A point or a line may land one pixel over: Mesa's rasteriser snaps window positions to 1/256 of
// a pixel first, the browser's does not, so a position within 1/512 of a pixel's edge falls on
// the other side. Such a pixel has its colour within one pixel in the other picture; `red` counts
// those that are red, the dots' and the labels' colour.
const close = (a, b) => a.every((v, i) => Math.abs(v - b[i]) <= 1);
function desktopDifference(pic, want) {
  const result = { moved: 0, red: 0, other: [] };
  const nearby = (p, x, y, c) => [-2, -1, 0, 1, 2].some((dy) => [-2, -1, 0, 1, 2].some((dx) =>
    x + dx >= 0 && y + dy >= 0 && x + dx < p.width && y + dy < p.height && close(p.at(x + dx, y + dy), c)));
  for (let y = 0; y < want.height; ++y)
    for (let x = 0; x < want.width; ++x) {
      const a = pic.at(x, y), b = want.at(x, y);
      if (close(a, b)) continue;
      if (nearby(pic, x, y, b) && nearby(want, x, y, a)) {
        ++result.moved;
        if (isRed(a) || isRed(b)) ++result.red;
      } else {
        result.other.push([x, y, a, b]);
      }
    }
  return result;
}
const likeDesktop = (d) => d.other.length === 0 && d.moved <= 200 && d.red <= 16;

// Takes pictures until one satisfies `test` (frames follow input within a frame or two).
async function until(page, what, test) {
  const end = Date.now() + TIMEOUT;
  let last;
  for (;;) {
    last = await picture(page);
    if (test(last)) return last;
    if (Date.now() > end) throw new Error(`never saw ${what}; ${last.redDots().length} dots, the first ${JSON.stringify(last.redDots().slice(0, 8))}`);
    await new Promise((r) => setTimeout(r, 200));
  }
}

// Opens the right-button menu (or opens it with `open`) and walks a path of labels: hover the
// submenus, click the last entry or one without a submenu. A step may be a function that picks a
// label from the menu's.
async function rightClick(page) {
  const canvas = await page.$('#canvas');
  await canvas.click({ button: 'right', offset: { x: 80, y: 60 } });
  await canvas.dispose();  // handles keep what they name alive in the page
}

async function pickMenu(page, labels, open = rightClick) {
  await open(page);
  for (let level = 0; level < labels.length; ++level) {
    // (A menu that opens under the pointer may open the submenu of the entry it puts there.)
    await page.waitForFunction((n) => document.querySelectorAll('.glut-menu').length >= n, { timeout: TIMEOUT }, level + 1);
    const label = typeof labels[level] === 'string' ? labels[level] : labels[level](await page.evaluate((level) =>
      [...document.querySelectorAll('.glut-menu')[level].querySelectorAll('[role=menuitem]')].map((e) => e.textContent), level));
    const entry = await page.evaluateHandle((level, label) =>
      [...document.querySelectorAll('.glut-menu')[level].children].find((e) => e.textContent === label), level, label);
    if (!entry.asElement()) throw new Error(`no menu entry "${label}"`);
    const last = level + 1 === labels.length || !(await entry.evaluate((e) => e.hasAttribute('aria-haspopup')));
    await (last ? entry.click() : entry.hover());
    await entry.dispose();
    if (last) return;
  }
}

// With VELLORIN_SCREENSHOTS=DIR, the pages of some cases are kept there as pictures (docs/).
const keep = async (page, name) =>
  process.env.VELLORIN_SCREENSHOTS && page.screenshot({ path: path.join(process.env.VELLORIN_SCREENSHOTS, name) });

const menuLabels = (page, level) =>
  page.evaluate((level) => [...document.querySelectorAll('.glut-menu')[level].children].map((e) => e.textContent), level);

// axe-core's findings on the page as it is, one line each.
const axeSource = fs.readFileSync(path.join(root, 'tests/web/node_modules/axe-core/axe.min.js'), 'utf8');
async function axeViolations(page) {
  await page.evaluate(axeSource);  // evaluated by the driver, so the page's content policy allows it
  return page.evaluate(() => axe.run(document).then((r) => r.violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`)));
}


// --- what a screen reader meets ----------------------------------------------------------------
// Elements found in the browser's accessibility tree by role and accessible name (Chromium's own
// tree, Firefox's through WebDriver BiDi).
const byRole = (page, role, name) => page.$$(`::-p-aria([role="${role}"]${name === undefined ? '' : `[name="${name}"]`})`);

// Every message that reaches the status region from now on, in order.
async function listen(page) {
  const [region] = await byRole(page, 'status');
  assert.ok(region, 'a status region');
  await region.evaluate((r) => {
    window.said = [];
    new MutationObserver((ms) => ms.forEach((m) => m.addedNodes.forEach((n) => window.said.push(n.textContent))))
      .observe(r, { childList: true });
  });
}
const heard = (page, last) => page.waitForFunction((l) => window.said.at(-1) === l, { timeout: TIMEOUT }, last)
  .catch(async () => { throw new Error(`never heard "${last}"; heard ${JSON.stringify(await page.evaluate(() => window.said))}`); });

// A key pad button's aria-pressed and aria-current, the button found by its name. Chromium's tree
// gives the pressed state itself.
async function keyState(page, name) {
  const [button] = await byRole(page, 'button', name);
  assert.ok(button, `button "${name}"`);
  const state = await button.evaluate((b) => ({ pressed: b.getAttribute('aria-pressed'), current: b.getAttribute('aria-current') }));
  if (state.pressed !== null && page.accessibility && !/firefox/i.test(await page.browser().version())) {
    const node = await page.accessibility.snapshot({ root: button });
    assert.equal(!!node.pressed, state.pressed === 'true', `${name}: tree and attribute`);
  }
  return state;
}

// --- cases ------------------------------------------------------------------------------------
test('WebAssembly samples carry the native bits', () => {
    const reference = fs.readFileSync(path.join(root, 'bench/sample_bits.txt'), 'utf8').match(/fnv1a (\w+)/)[1];
    const out = path.join(os.tmpdir(), `vellorin-samples-${process.pid}.bin`);
    const run = spawnSync('node', [path.join(root, 'build-web/bench/sample_dump.js'), out], { encoding: 'utf8' });
    fs.rmSync(out, { force: true });
    const hash = (run.stderr.match(/^samples \d+ fnv1a (\w+)$/m) || [])[1];
    if (run.status !== 0 || hash !== reference) throw new Error(`sample_dump: status ${run.status}, hash ${hash}, want ${reference}`);
});

// Cases on a fresh page of the running program, in every browser.
const cases = {

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
    const roles = await page.evaluate(() => [...document.querySelectorAll('.glut-menu')[1].children].map((e) => e.getAttribute('role')));
    assert.equal(roles.filter((r) => r === 'presentation').length, 5, `roles ${roles}`);
    if (instructions.length !== 21 || blank !== 5 || !instructions[3].endsWith('\u00e0 letra.'))
      throw new Error(`instructions ${JSON.stringify(instructions)}`);
    // The panel: the control points' heading (its table is the screen reader's case), then the pages.
    const [points, ...help] = await page.evaluate(() => [...document.querySelectorAll('#help h2, #help .help-line')].map((e) => e.textContent));
    assert.equal(points, 'Pontos de controlo');
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

  'the picture is the Linux window\'s, text included: at start, after "d z +x8", turned over': async (page) => {
    const references = [['tests/e2e/reference/start.png', []], ['docs/screenshot.png', ['d', 'z', ...Array(8).fill('+')]],
                        ['tests/e2e/reference/turned.png', ['r', ...Array(6).fill('+')]]];  // labels behind the surface
    for (const [file, keys] of references) {
      await page.reload({ timeout: TIMEOUT });
      await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
      for (const key of keys) await page.keyboard.press(key);
      const want = await decode(page, fs.readFileSync(path.join(root, file)).toString('base64'));
      let seen;
      await until(page, file, (p) => likeDesktop(seen = desktopDifference(p, want))).catch(() => {
        throw new Error(`${file}: ${seen.moved} pixels moved (${seen.red} red), ${seen.other.length} others, first ${JSON.stringify(seen.other.slice(0, 5))}`);
      });
    }
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

  'the keyboard alone: focus at load, Shift+F10 and the menu keys, Escape, Tab': async (page) => {
    await until(page, 'the 4 x 4 patch', (p) => dotsMatch(p, startView(), controlPoints(4, 4)));
    const focused = () => page.evaluate(() => {
      const e = document.activeElement;
      return { id: e.id, role: e.getAttribute('role'), text: e.textContent, expanded: e.getAttribute('aria-expanded'),
               menus: [...document.querySelectorAll('.glut-menu')].map((m) => m.getAttribute('role')) };
    });
    const expect = async (want) => {
      await page.waitForFunction((w) => Object.keys(w).every((k) => {
        const e = document.activeElement;
        const got = { id: e.id, text: e.textContent, menus: document.querySelectorAll('[role=menu]').length,
                      expanded: e.getAttribute('aria-expanded') };
        return JSON.stringify(got[k]) === JSON.stringify(w[k]);
      }), { timeout: TIMEOUT }, want).catch(async () => { throw new Error(`want ${JSON.stringify(want)}, have ${JSON.stringify(await focused())}`); });
    };
    await expect({ id: 'canvas', menus: 0 });
    const shiftF10 = async () => {
      await page.keyboard.down('Shift');
      await page.keyboard.press('F10');
      await page.keyboard.up('Shift');
    };
    await shiftF10();
    await expect({ text: 'Dimens\u00e3o horizontal', menus: 1, expanded: 'false' });
    // A screen reader reads the entry's label, not the arrow drawn beside it.
    assert.equal((await byRole(page, 'menuitem', 'Dimens\u00e3o horizontal')).length, 1, 'an entry named by its label alone');
    await page.keyboard.press('ArrowUp');  // wraps round to the last entry
    await expect({ text: 'Sair' });
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('ArrowDown');
    await expect({ text: 'Dimens\u00e3o vertical' });
    await page.keyboard.press('ArrowUp');
    await page.keyboard.press('ArrowRight');
    await expect({ text: '1', menus: 2 });
    const opener = await page.evaluate(() => document.querySelector('[aria-expanded=true]').textContent);
    assert.equal(opener, 'Dimens\u00e3o horizontal');
    await page.keyboard.press('ArrowLeft');
    await expect({ text: 'Dimens\u00e3o horizontal', menus: 1, expanded: 'false' });
    await page.keyboard.press('Enter');
    await expect({ text: '1', menus: 2 });
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press(' ');  // picks "2"
    await expect({ id: 'canvas', menus: 0 });
    await until(page, '2 rows of 4 points', (p) => dotsMatch(p, startView(), controlPoints(2, 4)));
    // While the menu is open "w" is the menu's, not the program's: "z" and "+" then move the
    // point selected at start, "q", and the arrow key after them shows the grid slid.
    // The menu key itself where the driver can press it (puppeteer's Firefox driver and WebDriver
    // cannot).
    const menuKey = /firefox|webkit/i.test(await page.browser().version()) ? shiftF10 : () => page.keyboard.press('ContextMenu');
    await menuKey();
    await expect({ text: 'Dimens\u00e3o horizontal', menus: 1 });
    await page.keyboard.press('w');
    await page.keyboard.press('Escape');
    await expect({ id: 'canvas', menus: 0 });
    for (const key of ['z', '+', '+', 'ArrowUp']) await page.keyboard.press(key);
    const v = startView();
    slide(v, 'ArrowUp');
    await until(page, 'the slid 2 x 4 grid, "q" 10 up', (p) => dotsMatch(p, v, controlPoints(2, 4, (i, j) => [0, 0, i + j ? 0 : 10]), 2));  // the raised patch hides "w" and "e"
    // Tab is not trapped, on the canvas or in a menu.
    await page.keyboard.press('Tab');
    await page.waitForFunction(() => document.activeElement.id !== 'canvas', { timeout: TIMEOUT });
    await page.focus('#canvas');
    await menuKey();
    await expect({ menus: 1 });
    await page.keyboard.press('Tab');
    await page.waitForFunction(() => !document.querySelector('.glut-menu') && document.activeElement.id !== 'canvas'
      && document.activeElement !== document.body, { timeout: TIMEOUT });
  },

  'axe-core finds nothing, menu closed, menu open, and at phone size': async (page) => {
    const run = () => axeViolations(page);
    assert.deepEqual(await run(), [], 'menu closed');
    await pickMenu(page, ['Mover o ponto']);
    await page.waitForFunction(() => document.querySelectorAll('[role=menu]').length === 2, { timeout: TIMEOUT });
    assert.deepEqual(await run(), [], 'menu open');
    await page.setViewport({ width: 393, height: 851 });
    await page.mouse.click(5, 5);
    await page.waitForFunction(() => !document.querySelector('.glut-menu'), { timeout: TIMEOUT });
    assert.deepEqual(await run(), [], 'phone size');
  },

  'a screen reader hears each edit once per burst, reads the points as a table and the key pad\'s state': async (page) => {
    await listen(page);
    const moved = 'Ponto d movido para x 200; y 300; z 15.';
    await page.keyboard.press('d');
    await page.keyboard.press('z');
    // Three repeats of a held "+" in one task: they come faster than any quiet time, however busy
    // the machine is.
    await page.$eval('#canvas', (c) => { for (let k = 0; k < 3; ++k) c.dispatchEvent(new KeyboardEvent('keydown', { key: '+', bubbles: true })); });
    await heard(page, moved);
    await pickMenu(page, ['Dimens\u00e3o vertical', '2']);
    await page.waitForFunction(() => document.querySelectorAll('#points td').length === 9, { timeout: TIMEOUT });
    await pickMenu(page, ['Reset']);
    const reset = 'Reset: pontos de controlo na posi\u00e7\u00e3o inicial, sem rota\u00e7\u00e3o nem transla\u00e7\u00e3o, ' +
                  'modos e movimentos desligados, c\u00e2mara na posi\u00e7\u00e3o inicial.';
    await heard(page, reset);
    assert.deepEqual(await page.evaluate(() => window.said), ['Ponto d selecionado: linha 2, coluna 1.', 'Movimento em z ligado.',
                                                              moved, 'Grelha de 4 linhas por 2 colunas.', reset]);
    // The table: named by its caption, a header per column and row, one cell per active point
    // (and the empty corner), each where the grid has it.
    const caption = 'Pontos de controlo ativos: letra, x, y e z (base + desvio)';
    assert.equal((await byRole(page, 'table', caption)).length, 1, 'the table by its caption');
    // (WebKit takes the empty corner, in the header row, for a column header.)
    const corner = /webkit/i.test(await page.browser().version()) ? 1 : 0;
    assert.equal((await byRole(page, 'columnheader')).length, 2 + corner);
    assert.equal((await byRole(page, 'rowheader')).length, 4);
    assert.equal((await byRole(page, 'cell')).length, 9 - corner);
    for (const [i, j, name] of [[0, 0, 'q x 100 y 100 z 0'], [0, 1, 'w x 200 y 100 z 0'], [1, 0, 'i x 100 y 200 z 0'],
                                [1, 1, 'o x 200 y 200 z 0'], [2, 0, 's x 100 y 300 z 0'], [2, 1, 'd x 200 y 300 z 0'],
                                [3, 0, 'h x 100 y 400 z 0'], [3, 1, 'j x 200 y 400 z 0']]) {
      const cells = await byRole(page, 'cell', name);
      assert.equal(cells.length, 1, name);
      assert.deepEqual(await cells[0].evaluate((c) => [c.parentElement.rowIndex - 1, c.cellIndex - 1]), [i, j], name);
    }
    // The key pad (as on a touch screen) tells the program's flags: "t" clears the "x" just set.
    await page.$eval('#keypad', (k) => { k.style.display = 'flex'; });
    await (await byRole(page, 'button', 'Mover em x'))[0].click();
    await heard(page, 'Movimento em x ligado.');
    assert.deepEqual(await keyState(page, 'Mover em x'), { pressed: 'true', current: null });
    await (await byRole(page, 'button', 'Transla\u00e7\u00e3o'))[0].click();
    await heard(page, 'Modo de transla\u00e7\u00e3o ligado. Movimento em x desligado. Nenhum ponto selecionado.');
    assert.deepEqual(await keyState(page, 'Mover em x'), { pressed: 'false', current: null });
    assert.deepEqual(await keyState(page, 'Transla\u00e7\u00e3o'), { pressed: 'true', current: null });
    assert.deepEqual(await keyState(page, 'Ponto d'), { pressed: null, current: null });
    // Choosing the point already chosen is said again.
    for (let k = 0; k < 2; ++k) {
      await pickMenu(page, ['Mover o ponto', 'd']);
      await page.waitForFunction((n) => window.said.length === n, { timeout: TIMEOUT }, 8 + k);
      await heard(page, 'Ponto d selecionado: linha 2, coluna 1.');
    }
    assert.deepEqual(await keyState(page, 'Ponto d'), { pressed: null, current: 'true' });
    // A keyboard beside the screen still reaches the program after the taps; what it did is said
    // (and not in the quiet frames below) once the program has seen a rest from the keys.
    await page.keyboard.press('x');
    await page.waitForFunction(() => document.querySelector('#keypad [data-key=x]').getAttribute('aria-pressed') === 'true', { timeout: TIMEOUT });
    await page.waitForFunction(() => / Movimento em x ligado\.$/.test(window.said.at(-1)), { timeout: TIMEOUT });
    assert.equal(await page.$eval('#points [aria-current]', (c) => c.textContent.split('\n')[0]), 'd');
    assert.ok(await page.evaluate(() => !document.activeElement.closest('[role=status]')), 'the status region never has the focus');
    // Frames in which nothing changed leave the page alone.
    assert.equal(await page.evaluate(async () => {
      let records = 0;
      const o = new MutationObserver((ms) => { records += ms.length; });
      o.observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
      const f = window.vellorinStatus.frames;
      while (window.vellorinStatus.frames < f + 30) await new Promise((r) => requestAnimationFrame(r));
      o.disconnect();
      return records + o.takeRecords().length;
    }), 0, 'changes to the page in 30 frames without events');
    await keep(page, 'web-narration.png');
    assert.deepEqual(await axeViolations(page), []);
  },

  'a lost GPU context comes back with the same picture and every edit': async (page) => {
    const dAt = (z) => (p) => p.redDots().some((d) => near(d, project(startView(), 200, 300, z)));
    for (const key of ['d', 'z', '+', '+', '+', '+']) await page.keyboard.press(key);
    await until(page, 'point d 20 units up', dAt(20));
    await page.evaluate(() => {
      window.loseContext = document.getElementById('canvas').getContext('webgl2').getExtension('WEBGL_lose_context');
      window.loseContext.loseContext();
    });
    await page.waitForFunction(() => window.vellorinStatus.lost, { timeout: TIMEOUT });
    await page.keyboard.press('+');  // an edit while the picture is gone
    const frames = await page.evaluate(() => window.vellorinStatus.frames);
    await page.evaluate(() => window.loseContext.restoreContext());
    await page.waitForFunction((f) => window.vellorinStatus.restored === 1 && window.vellorinStatus.frames > f + 2,
                               { timeout: TIMEOUT }, frames);
    await until(page, 'point d 25 units up after the restore', (p) => dotsMatch(p, startView(),
      controlPoints(4, 4, (i, j) => (i === 2 && j === 1 ? [0, 0, 25] : [0, 0, 0])), 2) && dAt(25)(p));
    assert.equal(await page.evaluate(() => document.getElementById('canvas').getContext('webgl2').getError()), 0);
  },
};

// Pages that open in a special way, each in its own case.
const special = {
  'without WebGL 2: a Portuguese alert, nothing thrown': async (browser, url) => {
    const { page, errors } = await openPage(browser, url, { running: false, onNew: () => {
      const real = HTMLCanvasElement.prototype.getContext;
      HTMLCanvasElement.prototype.getContext = function(type, ...rest) { return type === 'webgl2' ? null : real.call(this, type, ...rest); };
    } });
    try {
      await page.waitForFunction(() => window.vellorinStatus && !window.vellorinStatus.webgl, { timeout: TIMEOUT });
      const alert = await page.$eval('[role=alert]', (e) => ({ text: e.textContent, shown: !e.hidden && e.getBoundingClientRect().height > 0 }));
      assert.ok(alert.shown && /WebGL 2/.test(alert.text) && /navegador/.test(alert.text), JSON.stringify(alert));
      await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
      assert.deepEqual(errors, []);
    } finally {
      await page.close();
    }
  },

  // The release's web zip unzipped into a folder and opened from there, with no server at all.
  'from a folder (file://): keys edit the picture and a menu pick works': async (browser) => {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'vellorin-folder-'));
    const zip = fs.readdirSync(path.join(root, 'build-web')).find((f) => /^vellorin-.*-web\.zip$/.test(f));
    const unzip = spawnSync('python3', ['-m', 'zipfile', '-e', path.join(root, 'build-web', zip), folder], { encoding: 'utf8' });
    assert.equal(unzip.status, 0, unzip.stderr);
    const { page, errors } = await openPage(browser, pathToFileURL(path.join(folder, zip.replace(/\.zip$/, ''), 'index.html')).href);
    try {
      await cases['"d", "z", then "+" ten times raise point "d"'](page);
      await pickMenu(page, ['Dimens\u00e3o horizontal', '2']);
      await until(page, '2 rows of 4 points', (p) => dotsMatch(p, startView(), controlPoints(2, 4)));
      assert.deepEqual(errors, []);
    } finally {
      await page.close();
      fs.rmSync(folder, { recursive: true, force: true });
    }
  },

  'offline: a second visit without the server still runs the program': async (browser) => {
    const own = await startServer();  // its own origin and a server to stop
    const { page } = await openPage(browser, own.url);
    try {
      await page.waitForFunction(async () => (await navigator.serviceWorker.ready).active
        && !!(await caches.match('vellorin.js')) && !!(await caches.match('index.html')), { timeout: TIMEOUT, polling: 500 });
      await own.stop();
      await page.reload({ timeout: TIMEOUT });
      await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
      await until(page, 'the 4 x 4 patch offline', (p) => dotsMatch(p, startView(), controlPoints(4, 4)));
    } finally {
      await page.close();
      await own.stop();
    }
  },

  // The worker answers from its cache, so a visit after a new build still opens the old one, whole;
  // the new worker it brings caches the new build, which the next visit opens.
  'a new build: the visit after it still opens the old one, the next the new one': async (browser) => {
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'vellorin-build-'));
    fs.cpSync(path.join(root, 'build-web/site'), folder, { recursive: true });
    const own = await startServer(folder);
    const build = (page) => page.evaluate(() => document.querySelector('meta[name=build]')?.content || 'first');
    const { page, errors } = await openPage(browser, own.url);
    try {
      await page.waitForFunction(async () => (await navigator.serviceWorker.ready).active && navigator.serviceWorker.controller
        && !!(await caches.match('vellorin.wasm')), { timeout: TIMEOUT, polling: 500 });
      const [first] = await page.evaluate(() => caches.keys());
      const index = path.join(folder, 'index.html'), worker = path.join(folder, 'sw.js');
      fs.writeFileSync(index, fs.readFileSync(index, 'utf8').replace('<title>', '<meta name="build" content="second">\n<title>'));
      fs.writeFileSync(worker, fs.readFileSync(worker, 'utf8').replace(first, `${first}-second`));
      for (const want of ['first', 'second']) {
        if (want === 'second') {
          await page.waitForFunction(async (name) => (await caches.keys()).join() === name, { timeout: TIMEOUT, polling: 500 }, `${first}-second`);
        }
        await page.reload({ timeout: TIMEOUT });
        await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
        assert.equal(await build(page), want);
      }
      assert.deepEqual(errors, []);
    } finally {
      await page.close();
      await own.stop();
      fs.rmSync(folder, { recursive: true, force: true });
    }
  },
};

// Chromium's device emulation: the page on a phone, a tablet, a narrow window and at ratio 2.
const devices = {
  'Pixel 5': { device: KnownDevices['Pixel 5'], touch: true, shot: 'web-phone.png' },
  'iPad Pro 11': { device: KnownDevices['iPad Pro 11'], touch: true, shot: 'web-tablet.png' },
  // Then the ratio changes, as zooming or moving to another screen does.
  '600 px wide, then ratio 2': { device: { viewport: { width: 600, height: 800 }, userAgent: '' },
                                 then: { width: 600, height: 800, deviceScaleFactor: 2 } },
  'ratio 2': { device: { viewport: { width: 1400, height: 1000, deviceScaleFactor: 2 }, userAgent: '' }, shot: 'web-ratio2.png' },
  // Ratios at which a CSS pixel is not a whole number of device pixels: laptops at 125 and 150 %,
  // a phone at 3 (Pixel 5's own is 2.75).
  'ratio 1.25': { device: { viewport: { width: 1400, height: 1000, deviceScaleFactor: 1.25 }, userAgent: '' } },
  'ratio 1.5': { device: { viewport: { width: 1400, height: 1000, deviceScaleFactor: 1.5 }, userAgent: '' } },
  'phone at ratio 3': { device: { viewport: { width: 393, height: 851, deviceScaleFactor: 3, isMobile: true, hasTouch: true }, userAgent: '' }, touch: true },
};

async function deviceCase(browser, url, { device, touch, shot, then }) {
  const { page, errors } = await openPage(browser, url, { device });
  try {
    await deviceChecks(page, touch, shot);
    if (then) {
      await page.setViewport(then);
      await page.waitForFunction((r) => canvas.width === canvas.getBoundingClientRect().width * r, { timeout: TIMEOUT }, then.deviceScaleFactor);
      await deviceChecks(page, touch);
    }
    if (touch) await touchChecks(page);
    assert.deepEqual(errors, []);
  } finally {
    await page.close();
  }
}

async function deviceChecks(page, touch, shot) {
  const size = await page.evaluate(() => {
    const c = document.getElementById('canvas').getBoundingClientRect();
    return { css: [c.width, c.height], backing: [canvas.width, canvas.height], ratio: devicePixelRatio,
             scroll: document.scrollingElement.scrollWidth, inner: innerWidth,
             keypad: getComputedStyle(document.getElementById('keypad')).display };
  });
  const info = JSON.stringify(size);
  assert.ok(size.scroll <= size.inner, `sideways scrolling: ${info}`);
  assert.ok(size.css[0] <= 900 && Math.abs(size.css[0] / size.css[1] - 9 / 7) < 0.01, `canvas: ${info}`);
  // The backing store is the device pixels the canvas covers, to the pixel.
  assert.ok(size.backing.every((b, i) => b === size.css[i] * size.ratio), `backing store: ${info}`);
  assert.equal(size.keypad !== 'none', !!touch, `key pad: ${info}`);
  // The program drew for its window's size (a reshape): the 900 x 700 window scaled to fit, its
  // points, labels and lines grown by the same scale.
  const v = startView(size.backing[0], size.backing[1], size.backing[0] / 900);
  // Below scale 1 the z axis splits the small dot of "f", which then holds no full block.
  const pic = await until(page, 'the 4 x 4 patch at this size', (p) => dotsMatch(p, v, controlPoints(4, 4), v.scale < 1 ? 1 : 0));
  const red = (p) => { let n = 0; for (let y = 0; y < p.height; ++y) for (let x = 0; x < p.width; ++x) n += isRed(p.at(x, y)); return n / (p.width * p.height); };
  const desktop = red(await decode(page, fs.readFileSync(path.join(root, 'tests/e2e/reference/start.png')).toString('base64')));
  assert.ok(Math.abs(red(pic) / desktop - 1) < 0.35, `red covers ${(100 * red(pic)).toFixed(2)} % of the picture, ${(100 * desktop).toFixed(2)} % on the desktop`);
  // On the screen (the page's own screenshot, not the canvas's, which the driver may resample),
  // the net and the axes keep their pure colours: nothing scaled the canvas on its way there.
  const screen = await decode(page, await page.screenshot({ encoding: 'base64' }));
  const at = await page.$eval('#canvas', (e) => { const r = e.getBoundingClientRect(); return [r.left, r.top, r.width, r.height].map((n) => Math.round(n * devicePixelRatio)); });
  let green = 0, blue = 0;
  for (let y = at[1]; y < at[1] + at[3]; ++y) for (let x = at[0]; x < at[0] + at[2]; ++x) {
    const c = screen.at(x, y);
    green += c[0] === 0 && c[1] === 255 && c[2] === 0;
    blue += c[0] === 0 && c[1] === 0 && c[2] === 255;
  }
  assert.ok(green > 200 && blue > 50, `pure green ${green}, blue ${blue} on the screen: ${info}`);
  if (shot) await keep(page, shot);
}

async function touchChecks(page) {
  const v = await page.evaluate(() => [canvas.width, canvas.height, canvas.width / 900]).then((s) => startView(...s));
  assert.deepEqual(await axeViolations(page), [], 'axe-core with the key pad');
  // Taps on the key pad reach the program as keys; a long press opens the menu where it is
  // held, and a tap on an entry with a submenu opens the submenu.
  for (const key of ['d', 'z', '+', '+', '+', '+']) await (await page.$(`#keypad [data-key="${key}"]`)).tap();
  const dAt = (p) => p.redDots(v.scale).some((d) => near(d, project(v, 200, 300, 20), v.scale));
  await until(page, 'point d 20 units up from the key pad', dAt);
  // The taps are told, and the key pad shows the program's flags and point.
  await page.waitForFunction(() => document.querySelector('[role=status]').textContent === 'Ponto d movido para x 200; y 300; z 20.', { timeout: TIMEOUT });
  assert.deepEqual(await keyState(page, 'Mover em z'), { pressed: 'true', current: null });
  assert.deepEqual(await keyState(page, 'Ponto d'), { pressed: null, current: 'true' });
  // A keyboard beside the screen still reaches the program after the taps.
  await page.keyboard.press('x');
  await page.waitForFunction(() => document.querySelector('#keypad [data-key=x]').getAttribute('aria-pressed') === 'true', { timeout: TIMEOUT });
  const c = await page.$eval('#canvas', (e) => { const r = e.getBoundingClientRect(); return [r.left + r.width / 3, r.top + r.height / 3]; });
  await page.touchscreen.touchStart(c[0], c[1]);
  await page.waitForFunction(() => document.querySelectorAll('[role=menu]').length === 1, { timeout: TIMEOUT });
  await page.touchscreen.touchEnd();
  // Tapped near its right end: on a narrow screen the submenu then opens under the finger.
  const entry = await page.evaluate(() => {
    const r = [...document.querySelectorAll('[role=menuitem]')].find((e) => e.textContent === 'Escolher eixo de rota\u00e7\u00e3o').getBoundingClientRect();
    return [r.right - 4, r.top + r.height / 2];
  });
  await page.touchscreen.tap(...entry);
  await page.waitForFunction(() => document.querySelectorAll('[role=menu]').length === 2, { timeout: TIMEOUT });
  // That tap picked nothing in the submenu.
  await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  assert.equal(await page.$$eval('[role=menu]', (m) => m.length), 2);
  // The key pad's Menu button opens its menu beside it, on the screen, and tells whether it is
  // open; Escape goes back to it.
  const menuButton = () => page.$eval('#menu-button', (b) => [b.getAttribute('aria-expanded'), b === document.activeElement]);
  await page.tap('#menu-button');
  await page.waitForFunction(() => document.querySelectorAll('[role=menu]').length === 1, { timeout: TIMEOUT });
  assert.deepEqual((await menuButton())[0], 'true');
  const gap = await page.evaluate(() => {
    const [b, m] = ['#menu-button', '[role=menu]'].map((s) => document.querySelector(s).getBoundingClientRect());
    const apart = Math.max(m.left - b.right, b.left - m.right, m.top - b.bottom, b.top - m.bottom);
    return m.left >= 0 && m.top >= 0 && m.right <= innerWidth && m.bottom <= innerHeight ? apart : 'off the screen';
  });
  assert.ok(gap <= 1, `the menu lies ${gap} px from its button`);
  await page.keyboard.press('Escape');
  await page.waitForFunction(() => !document.querySelector('[role=menu]'), { timeout: TIMEOUT });
  assert.deepEqual(await menuButton(), ['false', true]);
}

// --- a long random session -------------------------------------------------------------------
// A lesson's length on a phone, compressed: phases of random keys, key-pad taps and menu picks,
// each phase at another window size and pixel ratio, some on an emulated phone (touch, key pad)
// with the CPU slowed 4 times, and three lost GPU contexts. After every phase the frames still
// come and nothing was thrown or logged as an error. After an early warm-up and at the end, back at
// the start's window and grid, Reset gives the first picture back, pixel for pixel, and the JS heap
// and the WebAssembly memory taken then have not grown. VELLORIN_SOAK_SECONDS (default 60) bounds it and
// VELLORIN_SOAK_SEED replays one; the seed is printed. Emulating touch, slowing the CPU and reading
// the JS heap are Chromium's.
const SOAK_SECONDS = Number(process.env.VELLORIN_SOAK_SECONDS || 60);
// The JS heap may grow this much from the early checkpoint to the end: code run for the first time
// or compiled anew after it still adds up to 90 kB in the first minute or two; then the heap
// stays within 20 kB over ten minutes. The DOM heap is only shown: Blink's font caches in it grow
// with every new size of the labels' face (each window size gives one) up to a bound of a few MB.
const HEAP_ALLOWANCE = 256 * 1024;

function seeded(seed) {  // mulberry32: small, fast, and the same sequence for the same seed
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = Math.imul(a ^ (a >>> 15), a | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// Keeps the module's memory where the test can read its size, whatever the loader calls it.
function keepWasmMemory() {
  const keep = (result) => {
    const exports = (result.instance || result).exports;
    window.vellorinWasmMemory = Object.values(exports).find((e) => e instanceof WebAssembly.Memory);
    return result;
  };
  for (const name of ['instantiate', 'instantiateStreaming']) {
    const real = WebAssembly[name];
    if (real) WebAssembly[name] = (...args) => real.apply(WebAssembly, args).then(keep);
  }
}

async function soak(browser, url) {
  const seed = Number(process.env.VELLORIN_SOAK_SEED || Math.floor(Math.random() * 2 ** 31));
  const random = seeded(seed);
  const pick = (list) => list[Math.floor(random() * list.length)];
  const { page, errors } = await openPage(browser, url, { onNew: keepWasmMemory });
  const cdp = /chrom/i.test(await browser.version()) ? await page.createCDPSession() : null;
  // Without touch, a slowed CPU or a heap to read, Firefox's session is a third as long.
  const seconds = cdp ? SOAK_SECONDS : SOAK_SECONDS / 3;
  console.log(`# soak: seed ${seed}, ${seconds} s (VELLORIN_SOAK_SEED, VELLORIN_SOAK_SECONDS)`);
  const count = { keys: 0, taps: 0, mouseMenus: 0, keyMenus: 0, touchMenus: 0, resizes: 0, phone: 0, slowed: 0, losses: 0 };
  const status = () => page.evaluate(() => ({ ...window.vellorinStatus, menus: document.querySelectorAll('.glut-menu').length }));
  // V8's heap, Blink's (the DOM's) heap and the module's memory, in bytes.
  const memory = async () => {
    if (cdp) await cdp.send('HeapProfiler.collectGarbage');
    const heap = cdp ? await cdp.send('Runtime.getHeapUsage') : {};
    return { js: heap.usedSize ?? NaN, dom: heap.embedderHeapUsedSize ?? NaN,
             wasm: await page.evaluate(() => window.vellorinWasmMemory.buffer.byteLength) };
  };
  const closeMenus = async () => { while ((await status()).menus) await page.keyboard.press('Escape'); };
  const framesGo = async (what) => {
    const { frames } = await status();
    await page.waitForFunction((f) => window.vellorinStatus.frames > f + 2, { timeout: TIMEOUT }, frames)
      .catch(() => { throw new Error(`no frames after ${what} (seed ${seed})`); });
    assert.deepEqual(errors, [], `after ${what} (seed ${seed})`);
  };

  // A window: its CSS size, pixel ratio and touch; the canvas's backing store follows.
  const windowed = async ({ width, height, ratio, touch = false, cpu = 1 }) => {
    if (cdp) {
      await cdp.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: ratio, mobile: touch });
      await cdp.send('Emulation.setTouchEmulationEnabled', { enabled: touch, maxTouchPoints: 5 });
      await cdp.send('Emulation.setCPUThrottlingRate', { rate: cpu });
    } else {
      await page.setViewport({ width, height, deviceScaleFactor: ratio });
    }
    await page.waitForFunction((r) => devicePixelRatio === r && canvas.width === Math.round(canvas.getBoundingClientRect().width * r),
                               { timeout: TIMEOUT }, ratio);
    ++count.resizes;
  };
  const desktop = () => ({ width: 600 + Math.floor(random() * 1000), height: 500 + Math.floor(random() * 500),
                           ratio: pick([1, 1.25, 1.5, 2, 3]) });
  const phone = () => ({ width: 360 + Math.floor(random() * 70), height: 640 + Math.floor(random() * 300),
                         ratio: pick([2, 2.625, 2.75, 3]), touch: true });

  const programKeys = [...'qweuiopasdfghjklxyzrt+-', 'NumpadAdd', 'NumpadSubtract'];
  const arrows = ['ArrowLeft', 'ArrowRight', 'ArrowUp', 'ArrowDown'];
  const otherKeys = [...'bcmnvQWZ019.,', 'Escape', 'Backspace', 'Delete', 'Enter', ' ', 'Home', 'End', 'PageUp',
                     'PageDown', 'Insert', 'Tab'];
  const notSair = (labels) => pick(labels.filter((l) => l !== 'Sair'));  // "Sair" would end the session
  // A point of an element, once the events sent before have landed: the `index`th of those that
  // match (wrapping round; none labelled `avoid`), scrolled into view and standing still (keys on
  // a focused button scroll the page smoothly), or if it cannot be seen the first that can; at
  // fractions (fx, fy) of its visible part; with its label and whether it opens a submenu. Null if
  // none can be seen.
  const spot = (selector, { index = 0, fx = 0.5, fy = 0.5, avoid } = {}) => page.evaluate(async (selector, index, fx, fy, avoid) => {
    const frame = () => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
    await frame();
    const all = [...document.querySelectorAll(selector)].filter((e) => e.textContent !== avoid);
    if (!all.length) return null;
    const e = all[index % all.length];
    let r, last;
    do {
      last = r;
      e.scrollIntoView({ block: 'nearest', inline: 'nearest' });
      await frame();
      r = e.getBoundingClientRect();
    } while (!last || r.top !== last.top || r.left !== last.left);
    const seen = (e) => {
      const r = e.getBoundingClientRect();
      const x0 = Math.max(r.left, 0), x1 = Math.min(r.right, innerWidth), y0 = Math.max(r.top, 0), y1 = Math.min(r.bottom, innerHeight);
      return x1 > x0 && y1 > y0 && { x: x0 + fx * (x1 - x0), y: y0 + fy * (y1 - y0), label: e.textContent, sub: e.hasAttribute('aria-haspopup') };
    };
    return [e, ...all].map(seen).find(Boolean) || null;
  }, selector, index, fx, fy, avoid);
  const canvasPoint = () => spot('#canvas', { fx: random(), fy: random() });
  // A finger down and up 50 ms later by the events' own clocks, both sent at once: however late
  // they arrive, a busy machine does not make a tap a long press.
  let clock = 0;
  const tap = ({ x, y }) => {
    const t = clock = Math.max(Date.now() / 1000, clock + 0.1);
    return Promise.all([
      cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }], timestamp: t }),
      cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [], timestamp: t + 0.05 })]);
  };
  const menusOpen = (n) => page.waitForFunction((n) => document.querySelectorAll('.glut-menu').length >= n, { timeout: TIMEOUT }, n)
    .catch(() => { throw new Error(`no menu at level ${n}`); });
  const entries = (level) => `.glut-menu:nth-child(${level}) [role=menuitem]`;

  const actions = {
    // A burst of program keys and arrows, sent without waiting for each (as fast typing does).
    keys: async () => {
      const burst = Array.from({ length: 1 + Math.floor(random() * 30) }, () => pick(random() < 0.8 ? programKeys : arrows));
      await Promise.all(burst.map((key) => page.keyboard.press(key)));
      count.keys += burst.length;
    },
    // Enter or Space on the key pad's Menu button (after a Tab) opens the menu: closed again.
    other: async () => { await page.keyboard.press(pick(otherKeys)); ++count.keys; await closeMenus(); },
    focus: async () => {  // a click on the canvas gives it the keys back
      const at = await canvasPoint();
      await page.mouse.click(at.x, at.y);
    },
    mouseMenu: async () => {
      await pickMenu(page, [notSair, pick], async () => {
        const at = await canvasPoint();
        await page.mouse.click(at.x, at.y, { button: 'right' });
      });
      await closeMenus();
      ++count.mouseMenus;
    },
    // The menu key (or Shift+F10), Down a few times, then Enter, Space or Right; in a submenu the
    // same again, or Escape.
    keyMenu: async () => {
      await page.mouse.move(1, 1);  // off the canvas, where the menu opens: no entry under the pointer
      if (cdp && random() < 0.5) {
        await page.keyboard.press('ContextMenu');
      } else {
        await page.keyboard.down('Shift');
        await page.keyboard.press('F10');
        await page.keyboard.up('Shift');
      }
      for (let level = 1; level <= 2; ++level) {
        await menusOpen(level);
        for (let n = Math.floor(random() * 8); n > 0; --n) await page.keyboard.press('ArrowDown');
        if (await page.evaluate(() => document.activeElement.textContent) === 'Sair') await page.keyboard.press('ArrowDown');
        if (random() < 0.1) break;  // Escape below
        await page.keyboard.press(pick(['Enter', ' ', 'ArrowRight']));
        const open = (await status()).menus;
        if (open <= level) break;
      }
      await closeMenus();
      ++count.keyMenus;
    },
    taps: async () => {
      for (let n = 1 + Math.floor(random() * 8); n > 0; --n, ++count.taps)
        await tap(await spot('#keypad [data-key]', { index: Math.floor(random() * 1000) }));
    },
    // The key pad's Menu button, then taps on entries in view: a tap on an entry with a submenu
    // opens it, one on any other entry picks it.
    touchMenu: async () => {
      await tap(await spot('#menu-button'));
      await menusOpen(1);
      const e = await spot(entries(1), { index: Math.floor(random() * 1000), avoid: 'Sair' });
      if (e) await tap(e);
      const line = await spot(entries(2), { index: Math.floor(random() * 1000) });
      if (line) await tap(line);
      await closeMenus();
      ++count.touchMenus;
    },
  };
  const weights = (touch) => Object.entries({ keys: 40, other: 10, focus: 4, mouseMenu: 3, keyMenu: 3,
                                              taps: touch ? 25 : 0, touchMenu: touch ? 3 : 0 });
  const run = (name) => actions[name]().catch(async (e) => {
    throw new Error(`${name}: ${e.message}; ${JSON.stringify(await status())} (seed ${seed})`);
  });
  const act = (touch) => {
    const w = weights(touch);
    let r = random() * w.reduce((s, [, n]) => s + n, 0);
    return run(w.find(([, n]) => (r -= n) < 0)[0]);
  };

  const loseContext = async () => {
    await page.evaluate(() => {
      window.loseContext = canvas.getContext('webgl2').getExtension('WEBGL_lose_context');
      window.loseContext.loseContext();
    });
    await page.waitForFunction(() => window.vellorinStatus.lost, { timeout: TIMEOUT });
    await actions.keys();  // edits while the picture is gone
    await page.evaluate(() => window.loseContext.restoreContext());
    await page.waitForFunction((n) => window.vellorinStatus.restored === n && !window.vellorinStatus.lost, { timeout: TIMEOUT }, ++count.losses);
    await framesGo(`lost context ${count.losses}`);
  };

  let first;
  // Back to the start, where the memory figures are taken: its window, a 4 x 4 grid and Reset,
  // which give the first picture back, pixel for pixel.
  const backToStart = async () => {
    await windowed({ width: 1400, height: 760, ratio: 1 });
    await pickMenu(page, ['Dimens\u00e3o horizontal', '4']);
    await pickMenu(page, ['Dimens\u00e3o vertical', '4']);
    await pickMenu(page, ['Reset']);
    await until(page, 'the first picture again', (p) => p.rgba.equals(first.rgba)).catch(async (e) => {
      const p = await picture(page);
      let differ = 0;
      for (let i = 0; i < p.rgba.length; i += 4) differ += p.rgba.readUInt32LE(i) !== first.rgba.readUInt32LE(i);
      throw new Error(`${e.message}: ${differ} pixels differ (seed ${seed})`);
    });
    return memory();
  };

  try {
    first = await until(page, 'the 4 x 4 patch', (p) => dotsMatch(p, startView(), controlPoints(4, 4)));
    const figures = { start: await memory() };
    const begun = Date.now();
    const elapsed = () => (Date.now() - begun) / 1000;
    // Phases 0..2 warm up: a desktop window and a slowed phone, each with every kind of event
    // once, then the first lost context; the other two losses come at half and three quarters of
    // the time.
    for (let phase = 0; ; ++phase) {
      const late = elapsed() >= seconds;
      if (late && count.losses === 3) break;
      const touch = cdp && (phase === 1 || (phase > 2 && random() < 0.4));
      const cpu = cdp && (phase === 1 || (phase > 2 && random() < 0.4)) ? 4 : 1;
      await windowed({ ...(touch ? phone() : desktop()), cpu });
      count.phone += touch;
      count.slowed += cpu > 1;
      if (phase < 2) for (const [name, n] of weights(touch)) if (n) await run(name);  // each kind early on
      for (let k = 10 + Math.floor(random() * (cpu > 1 ? 20 : 60)); k > 0; --k) await act(touch);
      await framesGo(`phase ${phase}`);
      if (phase === 2 || (count.losses === 1 && elapsed() >= seconds / 2) || (count.losses === 2 && (late || elapsed() >= seconds * 3 / 4)))
        await loseContext();
      if (phase === 2) figures.early = await backToStart();
    }
    figures.end = await backToStart();
    const mib = (b) => (Number.isNaN(b) ? 'n/a' : (b / 1048576).toFixed(2));
    console.log(`# soak: ${elapsed().toFixed(0)} s, ${JSON.stringify(count)}`);
    console.log(`# soak memory (MiB): ${Object.entries(figures).map(([k, m]) => `${k} JS heap ${mib(m.js)} DOM heap ${mib(m.dom)} wasm ${mib(m.wasm)}`).join('; ')}`);
    assert.ok(!(figures.end.js > figures.early.js + HEAP_ALLOWANCE), `JS heap grew: ${JSON.stringify(figures)} (seed ${seed})`);
    assert.equal(figures.end.wasm, figures.early.wasm, `WebAssembly memory grew (seed ${seed})`);
    assert.deepEqual(errors, []);
  } finally {
    await page.close();
  }
}

// --- the windowed browser ---------------------------------------------------------------------
// On the private X server run.sh starts (no window manager): the mapped override-redirect windows
// on it. The browser's own pop-up menus are such windows.
function popups(display) {
  const env = { ...process.env, DISPLAY: display };
  const tree = spawnSync('xwininfo', ['-root', '-children'], { env, encoding: 'utf8' }).stdout;
  return [...tree.matchAll(/^\s+(0x[0-9a-f]+)/gm)].map((m) => m[1]).filter((id) => {
    const info = spawnSync('xwininfo', ['-id', id], { env, encoding: 'utf8' }).stdout;
    return /Override Redirect State: yes/.test(info) && /Map State: IsViewable/.test(info);
  });
}

async function windowedRightClick(url) {
  const x = { display: process.env.DISPLAY };
  assert.ok(x.display, 'no X server: run the tests through tests/web/run.sh');
  const xdotool = (...args) => spawnSync('xdotool', args, { env: { ...process.env, DISPLAY: x.display }, encoding: 'utf8' });
  let browser;
  try {
    browser = await launch('chromium', { headless: false, env: { ...process.env, DISPLAY: x.display },
      defaultViewport: null, args: ['--ozone-platform=x11', '--window-position=0,0', '--window-size=1260,950'] });
    const { page, errors } = await openPage(browser, url);
    await page.setViewport(null);
    // Where the page's pixels are on the screen: one pointer move, seen by the page.
    await page.evaluate(() => {
      window.seen = { moves: [], menus: [] };
      addEventListener('mousemove', (e) => window.seen.moves.push([e.screenX - e.clientX, e.screenY - e.clientY, e.clientX, e.clientY]));
      addEventListener('contextmenu', (e) => setTimeout(() => window.seen.menus.push(e.defaultPrevented)));
    });
    xdotool('mousemove', '200', '300');
    await page.waitForFunction(() => window.seen.moves.length > 0, { timeout: TIMEOUT });
    const [, , cx, cy] = await page.evaluate(() => window.seen.moves.at(-1));
    const offset = [200 - cx, 300 - cy];
    const before = popups(x.display);
    // On the canvas, then on an entry of the menu that opened.
    const targets = [() => { const r = document.getElementById('canvas').getBoundingClientRect(); return [r.left + 100, r.top + 100]; },
                     () => { const r = document.querySelector('.glut-menu > *').getBoundingClientRect(); return [r.left + 10, r.top + 5]; }];
    for (let k = 0; k < targets.length; ++k) {
      const at = await page.evaluate(targets[k]);
      xdotool('mousemove', String(Math.round(at[0] + offset[0])), String(Math.round(at[1] + offset[1])), 'click', '3');
      await page.waitForFunction((n) => window.seen.menus.length === n && document.querySelector('.glut-menu'), { timeout: TIMEOUT }, k + 1);
      // The browser maps its menu soon after the event; a few frames give it the chance.
      for (let f = 0; f < 10; ++f) await page.evaluate(() => new Promise((r) => requestAnimationFrame(r)));
      const fresh = popups(x.display).filter((id) => !before.includes(id));
      assert.deepEqual({ prevented: await page.evaluate(() => window.seen.menus), fresh },
                       { prevented: Array(k + 1).fill(true), fresh: [] }, `right click ${k + 1}`);
    }
    assert.ok(await page.$('.glut-menu'), "the program's menu is open");
    assert.deepEqual(errors, []);
  } finally {
    if (browser) await browser.closeAndClean();
  }
}

// --- run --------------------------------------------------------------------------------------
const server = process.env.VELLORIN_URL ? { url: process.env.VELLORIN_URL, stop: () => {} } : await startServer();
after(() => server.stop());

// A first visit whose connection drops after the page: the loader cut short (a syntax error), or
// the module's request reset. The page says so and offers to try again, which then starts the
// program. Chromium's request interception stands in for the network.
async function cutConnection(browser, url) {
  for (const [file, cut] of [['vellorin.js', 'short'], ['vellorin.wasm', 'reset']]) {
    const context = await browser.createBrowserContext();  // no cache, no service worker
    const page = await context.newPage();
    try {
      let cutting = true;
      await page.setRequestInterception(true);
      page.on('request', async (request) => {
        if (!cutting || !request.url().endsWith('/' + file)) return request.continue();
        if (cut === 'reset') return request.abort('connectionreset');
        const whole = await (await fetch(request.url())).text();
        return request.respond({ status: 200, contentType: 'text/javascript', body: whole.slice(0, whole.length >> 1) });
      });
      await page.goto(url, { timeout: TIMEOUT });
      await page.waitForFunction(() => !document.getElementById('failed').hidden, { timeout: TIMEOUT });
      const notice = await page.$eval('#failed', (e) => ({ text: e.textContent, focused: document.activeElement.id,
                                                            height: e.getBoundingClientRect().height }));
      assert.ok(/n\u00e3o chegou inteiro/.test(notice.text) && notice.focused === 'again' && notice.height > 0,
                `${file}: ${JSON.stringify(notice)}`);
      cutting = false;
      await Promise.all([page.waitForNavigation({ timeout: TIMEOUT }), page.click('#again')]);
      await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 2, { timeout: TIMEOUT });
      assert.equal(await page.$eval('#failed', (e) => e.hidden), true);
    } finally {
      await context.close();
    }
  }
}

// What a browser cannot run as the tests drive it, and why: WebKit through WebDriver classic
// (webkit.mjs); Chromium under puppeteer never starts a new build's service worker, which it does
// over a bare DevTools connection and as people use it.
const cannot = {
  webkit: { 'without WebGL 2: a Portuguese alert, nothing thrown': 'no script runs before the page\'s own' },
  chromium: { 'a new build: the visit after it still opens the old one, the next the new one': 'no new worker under puppeteer' },
};

for (const name of (process.env.VELLORIN_BROWSERS || 'chromium firefox webkit').split(/\s+/).filter(Boolean)) {
  describe(name, () => {
    let browser;
    before(async () => { browser = await launch(name); console.log(`# ${name}: ${await browser.version()} at ${server.url}`); });
    after(() => browser && browser.closeAndClean());
    const skip = (title) => (cannot[name] || {})[title];
    for (const [title, run] of Object.entries(cases)) {
      test(title, { skip: skip(title) }, async () => {
        const { page, errors } = await openPage(browser, server.url);
        try {
          await run(page);
          assert.deepEqual(errors, []);
        } finally {
          await page.close();
        }
      });
    }
    for (const [title, run] of Object.entries(special)) test(title, { skip: skip(title) }, () => run(browser, server.url));
    if (name !== 'chromium') return;
    // Chromium's: the phone it stands for is its touch, throttling and heap reading.
    test('a long random session: frames keep coming, memory stays, Reset gives the first picture', () => soak(browser, server.url));
    for (const [title, how] of Object.entries(devices)) test(`device: ${title}`, () => deviceCase(browser, server.url, how));
    test('windowed, under X: a right click shows no menu of the browser', () => windowedRightClick(server.url));
    test('a connection cut after the page: the page says so and loads again', () => cutConnection(browser, server.url));
  });
}
