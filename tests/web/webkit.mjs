// WebKit for the browser tests: Debian's WebKitGTK MiniBrowser, driven by WebKitWebDriver over W3C
// WebDriver (classic: HTTP and JSON), behind the part of puppeteer's Browser, Page and
// ElementHandle that browser_test.mjs uses, so that the same cases run in the engine of Safari.
// Each page is a WebDriver session of its own (a fresh MiniBrowser). What WebDriver classic has
// no way to do throws "webkit: ..." and the suite skips the cases that need it:
//   - running a script before the page's own (evaluateOnNewDocument);
//   - device emulation, touch, pixel ratios other than the screen's, CDP and an accessibility
//     snapshot (Chromium's own);
//   - events: console errors and uncaught errors are caught by hooks set right after each load
//     and handed to page.on('console' | 'pageerror') at the next call; an error thrown before
//     the hooks are set, and failed requests, are not seen.
import { spawn, spawnSync } from 'node:child_process';
import net from 'node:net';

const ELEMENT = 'element-6066-11e4-a52e-4f735466cecf';  // WebDriver's key for an element reference
// puppeteer's key names as WebDriver's key codes (the others are the characters themselves).
const KEYS = {
  Shift: '\uE008', Tab: '\uE004', Enter: '\uE007', Escape: '\uE00C', F10: '\uE03A',
  ArrowLeft: '\uE012', ArrowUp: '\uE013', ArrowRight: '\uE014', ArrowDown: '\uE015',
  NumpadAdd: '\uE025', NumpadSubtract: '\uE027',
};
const SHIFTED = '~!@#$%^&*()_+{}|:"<>?ABCDEFGHIJKLMNOPQRSTUVWXYZ';
const BUTTONS = { left: 0, middle: 1, right: 2 };
// The elements whose role is implicit, for ::-p-aria; WebKit's computed role has the last word.
const IMPLICIT = { button: ['button'], table: ['table'], columnheader: ['td', 'th'], rowheader: ['td', 'th'], cell: ['td', 'th'] };
const POLL_MS = 100;

const freePort = () => new Promise((resolve) => {
  const server = net.createServer().listen(0, '127.0.0.1', () => {
    const { port } = server.address();
    server.close(() => resolve(port));
  });
});

// MiniBrowser sits in WebKitGTK's library folder, which is named by the architecture.
function miniBrowser() {
  const multiarch = spawnSync('dpkg-architecture', ['-qDEB_HOST_MULTIARCH'], { encoding: 'utf8' }).stdout.trim();
  return process.env.MINIBROWSER || `/usr/lib/${multiarch}/webkit2gtk-4.1/MiniBrowser`;
}

// The installed WebKitGTK's release (2.50.6 of 2.50.6-1~deb12u2): the version of the package that
// holds MiniBrowser, known before any page exists.
function installedRelease() {
  const query = (...args) => spawnSync('dpkg-query', args, { encoding: 'utf8' }).stdout || '';
  const owner = query('-S', miniBrowser()).split(':')[0].trim();
  return owner ? query('-W', '-f=${Version}', owner).replace(/^\d+:/, '').replace(/-[^-]*$/, '') : '';
}

// The page's side of every call: run `fn` with `args`, awaiting a promise, and hand back its value
// with the errors the hooks caught since the last call.
const RUN = `const done = arguments[arguments.length - 1];
const args = Array.prototype.slice.call(arguments, 0, -1);
const seen = () => (window.__vellorinSeen || []).splice(0);
Promise.resolve().then(() => (FN).apply(null, args)).then(
  (value) => done({ value: value === undefined ? null : value, seen: seen() }),
  (e) => done({ error: String((e && e.stack) || e), seen: seen() }));`;
const HOOKS = () => {
  if (window.__vellorinSeen) return;
  window.__vellorinSeen = [];
  const error = console.error;
  console.error = function(...a) { window.__vellorinSeen.push(['console', a.join(' ')]); return error.apply(console, a); };
  // Uncaught exceptions; not the browser's notices without one (a ResizeObserver loop).
  addEventListener('error', (e) => { if (e.error) window.__vellorinSeen.push(['pageerror', e.message]); });
  addEventListener('unhandledrejection', (e) => window.__vellorinSeen.push(['pageerror', String(e.reason)]));
};

class ElementHandle {
  constructor(page, ref) { this.page = page; this.ref = ref; }
  asElement() { return this; }
  async dispose() {}
  evaluate(fn, ...args) { return this.page.evaluate(fn, this, ...args); }
  focus() { return this.evaluate((e) => e.focus()); }
  // Cut from a screenshot of the viewport: WebKitGTK 2.50's element screenshots lose the rows
  // below the viewport's height less the element's top.
  async screenshot({ encoding } = {}) {
    const box = await this.evaluate((e) => { const b = e.getBoundingClientRect(); return [b.left, b.top, b.width, b.height].map(Math.round); });
    const png = await this.page.evaluate(async (b64, x, y, w, h) => {
      const blob = new Blob([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], { type: 'image/png' });
      const bitmap = await createImageBitmap(blob, x, y, w, h, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
      const canvas = new OffscreenCanvas(w, h);
      canvas.getContext('2d').drawImage(bitmap, 0, 0);
      const bytes = new Uint8Array(await (await canvas.convertToBlob({ type: 'image/png' })).arrayBuffer());
      let s = '';
      for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
      return btoa(s);
    }, await this.page.call('GET', '/screenshot'), ...box);
    return encoding === 'base64' ? png : Buffer.from(png, 'base64');
  }
  // Where the pointer goes: the element's centre, or `offset` from its top left, in the viewport.
  async point(offset) {
    const r = await this.evaluate((e) => {
      e.scrollIntoView({ block: 'nearest', inline: 'nearest' });
      const b = e.getBoundingClientRect();
      return [b.left, b.top, b.width, b.height];
    });
    return offset ? [r[0] + offset.x, r[1] + offset.y] : [r[0] + r[2] / 2, r[1] + r[3] / 2];
  }
  async click({ button = 'left', offset } = {}) { await this.page.mouse.click(...await this.point(offset), { button }); }
  async hover() { await this.page.mouse.move(...await this.point()); }
}

class WebKitPage {
  constructor(browser, session) {
    this.owner = browser;
    this.session = session;
    this.handlers = { console: [], pageerror: [] };
    const keys = (actions) => this.actions([{ type: 'key', id: 'keyboard', actions }]);
    const value = (key) => KEYS[key] || key;
    this.keyboard = {
      down: (key) => keys([{ type: 'keyDown', value: value(key) }]),
      up: (key) => keys([{ type: 'keyUp', value: value(key) }]),
      // A character typed with Shift on a US keyboard is sent with Shift held, as a person types
      // it: WebKitGTK otherwise at times reports the unshifted key ("=" for "+").
      press: (key) => keys(SHIFTED.includes(key)
        ? [{ type: 'keyDown', value: KEYS.Shift }, { type: 'keyDown', value: key }, { type: 'keyUp', value: key }, { type: 'keyUp', value: KEYS.Shift }]
        : [{ type: 'keyDown', value: value(key) }, { type: 'keyUp', value: value(key) }]),
    };
    const pointer = (actions) => this.actions([{ type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' }, actions }]);
    const move = (x, y) => ({ type: 'pointerMove', duration: 0, origin: 'viewport', x: Math.round(x), y: Math.round(y) });
    this.mouse = {
      move: (x, y) => pointer([move(x, y)]),
      click: (x, y, { button = 'left' } = {}) => pointer([move(x, y), { type: 'pointerDown', button: BUTTONS[button] },
                                                          { type: 'pointerUp', button: BUTTONS[button] }]),
    };
  }

  async call(method, path, body) {
    const res = await fetch(`${this.owner.base}/session/${this.session}${path}`, {
      method, headers: { 'content-type': 'application/json' }, body: body === undefined ? undefined : JSON.stringify(body) });
    const reply = await res.json();
    if (reply.value && reply.value.error) throw new Error(`webkit: ${path}: ${reply.value.error}: ${reply.value.message}`);
    return reply.value;
  }
  actions(actions) { return this.call('POST', '/actions', { actions }); }

  browser() { return this.owner; }
  on(event, handler) { if (this.handlers[event]) this.handlers[event].push(handler); }
  title() { return this.call('GET', '/title'); }
  async goto(url) { await this.call('POST', '/url', { url }); await this.evaluate(HOOKS); }
  async reload() { await this.call('POST', '/refresh', {}); await this.evaluate(HOOKS); }
  async close() { await this.call('DELETE', ''); this.owner.sessions.delete(this.session); }
  async screenshot({ encoding, path: file } = {}) {
    const png = await this.call('GET', '/screenshot');
    if (file) (await import('node:fs')).writeFileSync(file, Buffer.from(png, 'base64'));
    return encoding === 'base64' ? png : Buffer.from(png, 'base64');
  }

  // The window made as large as it must be for the page to have this viewport.
  async setViewport(viewport) {
    if (!viewport || (viewport.deviceScaleFactor || 1) !== 1) throw new Error('webkit: only viewports at the screen\'s pixel ratio');
    let rect = { width: viewport.width, height: viewport.height };
    for (let k = 0; k < 3; ++k) {
      await this.call('POST', '/window/rect', { x: 0, y: 0, ...rect });
      const inner = await this.evaluate(() => [innerWidth, innerHeight]);
      if (inner[0] === viewport.width && inner[1] === viewport.height) return;
      rect = { width: rect.width + viewport.width - inner[0], height: rect.height + viewport.height - inner[1] };
    }
  }
  emulate() { throw new Error('webkit: no device emulation'); }
  evaluateOnNewDocument() { throw new Error('webkit: no script before the page\'s own'); }

  // `fn` (a function, or a script as a string) run in the page; element handles among the
  // arguments arrive as elements, and an element returned comes back as a handle.
  async evaluate(fn, ...args) {
    if (typeof fn === 'string') return this.call('POST', '/execute/sync', { script: fn, args: [] });
    const reply = await this.call('POST', '/execute/async', {
      script: RUN.replace('FN', fn.toString()), args: args.map((a) => (a instanceof ElementHandle ? a.ref : a)) });
    for (const [kind, text] of reply.seen) {
      if (kind === 'console') this.handlers.console.forEach((h) => h({ type: () => 'error', text: () => text }));
      else this.handlers.pageerror.forEach((h) => h(new Error(text)));
    }
    if (reply.error) throw new Error(reply.error);
    return reply.value;
  }
  async evaluateHandle(fn, ...args) {
    const value = await this.evaluate(fn, ...args);
    return value && value[ELEMENT] ? new ElementHandle(this, value) : { asElement: () => null, dispose: async () => {}, evaluate: async () => false };
  }
  async waitForFunction(fn, { timeout = 30000, polling } = {}, ...args) {
    const end = Date.now() + timeout;
    for (;;) {
      const value = await this.evaluate(fn, ...args);
      if (value) return value;
      if (Date.now() > end) throw new Error(`webkit: waiting failed: ${timeout} ms exceeded`);
      await new Promise((r) => setTimeout(r, typeof polling === 'number' ? polling : POLL_MS));
    }
  }

  // CSS selectors, and puppeteer's ::-p-aria([role="..."][name="..."]) answered by WebKit's own
  // accessibility: each candidate's computed role and label, as a screen reader gets them.
  async $$(selector) {
    const aria = selector.match(/^::-p-aria\(\[role="([^"]+)"\](?:\[name="([^"]*)"\])?\)$/);
    const css = aria ? [`[role="${aria[1]}"]`, ...(IMPLICIT[aria[1]] || [])].join(', ') : selector;
    const refs = await this.call('POST', '/elements', { using: 'css selector', value: css });
    const found = [];
    for (const ref of refs) {
      if (aria) {
        const id = ref[ELEMENT];
        if (await this.call('GET', `/element/${id}/computedrole`) !== aria[1]) continue;
        if (aria[2] !== undefined && await this.name(ref, aria[1]) !== aria[2]) continue;
      }
      found.push(new ElementHandle(this, ref));
    }
    return found;
  }
  // WebKit's computed label, or for a cell or header that has none (WebKit 2.50 names cells
  // by nothing) its text, as ARIA names such roles from their content.
  async name(ref, role) {
    const label = await this.call('GET', `/element/${ref[ELEMENT]}/computedlabel`);
    if (label || !/cell|header/.test(role)) return label;
    return this.evaluate((e) => e.textContent.replace(/\s+/g, ' ').trim(), new ElementHandle(this, ref));
  }
  async $(selector) { return (await this.$$(selector))[0] || null; }
  async $eval(selector, fn, ...args) {
    const e = await this.$(selector);
    if (!e) throw new Error(`webkit: no element matches ${selector}`);
    return e.evaluate(fn, ...args);
  }
  async $$eval(selector, fn, ...args) {
    const all = `(sel, ...rest) => (${fn})([...document.querySelectorAll(sel)], ...rest)`;
    return this.evaluate({ toString: () => all }, selector, ...args);
  }
  async focus(selector) { await this.$eval(selector, (e) => e.focus()); }
}

// The driver on a free port; each newPage() a MiniBrowser of its own, on the caller's X display.
// The driver leads a process group of its own, so that ending it ends every MiniBrowser it started.
export async function launchWebKit() {
  const port = await freePort();
  const driver = spawn('WebKitWebDriver', [`--port=${port}`], { stdio: 'ignore', detached: true });
  const ended = new Promise((resolve) => driver.once('exit', resolve));
  const browser = {
    base: `http://127.0.0.1:${port}`,
    release: installedRelease(),
    sessions: new Set(),  // the pages not closed yet
    async newPage() {
      const reply = await fetch(`${this.base}/session`, { method: 'POST', headers: { 'content-type': 'application/json' },
        body: JSON.stringify({ capabilities: { alwaysMatch: { 'webkitgtk:browserOptions': { binary: miniBrowser(), args: ['--automation'] } } } }) });
      const { value } = await reply.json();
      if (!value.sessionId) throw new Error(`webkit: no session: ${JSON.stringify(value)}`);
      this.release = value.capabilities.browserVersion || this.release;
      this.sessions.add(value.sessionId);
      return new WebKitPage(this, value.sessionId);
    },
    async version() { return `WebKitGTK/${this.release} MiniBrowser`; },
    // Pages left open are closed as WebDriver closes them; then the driver's group goes, with any
    // MiniBrowser that did not answer.
    async closeAndClean() {
      for (const id of this.sessions)
        await fetch(`${this.base}/session/${id}`, { method: 'DELETE', signal: AbortSignal.timeout(10000) }).catch(() => {});
      this.sessions.clear();
      const group = (signal) => { try { process.kill(-driver.pid, signal); } catch { /* all gone */ } };
      group('SIGTERM');
      await Promise.race([ended, new Promise((r) => setTimeout(r, 5000))]);
      group('SIGKILL');
    },
  };
  // The driver answers once it listens.
  for (let k = 0; ; ++k) {
    try {
      await fetch(`${browser.base}/status`);
      return browser;
    } catch (e) {
      if (k > 100) throw new Error(`webkit: WebKitWebDriver did not start: ${e.message}`);
      await new Promise((r) => setTimeout(r, POLL_MS));
    }
  }
}
