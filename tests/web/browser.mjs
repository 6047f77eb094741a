// Debian's chromium and firefox-esr, headless with software WebGL 2, and a served copy of build-web/site: shared
// by the browser tests and the frame-rate measurement.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import puppeteer from 'puppeteer-core';
import { launchWebKit } from './webkit.mjs';

export const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const TIMEOUT = 60000;  // generous: the machine may be busy; nothing here is timed

// Serves build-web/site, or another folder (the floor page of fps.mjs, a copy of the site).
export async function startServer(folder) {
  const command = folder
    ? ['python3', ['-u', '-m', 'http.server', '--bind', '127.0.0.1', '--directory', folder, '0']]
    : ['bash', [path.join(root, 'scripts/web.sh'), '--serve', '0']];
  const server = spawn(...command, { stdio: ['ignore', 'pipe', 'pipe'] });
  const url = await new Promise((resolve, reject) => {
    let out = '';
    server.stderr.on('data', (d) => { out += d; });  // its request log, kept for a failure
    server.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/http:\/\/127\.0\.0\.1:\d+\//);
      if (m) resolve(m[0]);
    });
    server.on('exit', (code) => reject(new Error(`the server ended (${code}): ${out}`)));
  });
  // stop() resolves once the server has gone: its port then refuses connections.
  const gone = new Promise((resolve) => server.once('exit', resolve));
  return { url, stop: () => { server.kill(); return gone; } };
}

// The browsers the tests drive: Debian's chromium and firefox-esr, both headless with software
// WebGL 2 (Firefox turns WebGL on for software rendering only when asked to).
export const browsers = {
  chromium: () => ({
    browser: 'chrome',
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-dev-shm-usage',
           '--disable-quic', '--no-first-run', '--disable-background-networking', '--disable-component-update',
           '--disable-sync'],
  }),
  firefox: () => ({
    browser: 'firefox',
    executablePath: process.env.FIREFOX || '/usr/bin/firefox-esr',
    extraPrefsFirefox: { 'webgl.force-enabled': true, 'gfx.webrender.software': true },
    env: { ...process.env, MOZ_WEBGL_FORCE_EGL: '1' },
  }),
};

// A browser in a fresh profile (headless unless told otherwise); close() ends it and removes
// the profile. WebKit's MiniBrowser runs in a window, on the caller's X display.
export async function launch(name = 'chromium', options = {}) {
  if (name === 'webkit') return launchWebKit();  // WebKitGTK, through WebDriver (webkit.mjs)
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `vellorin-${name}-`));
  const base = browsers[name]();
  const browser = await puppeteer.launch({
    ...base,
    headless: true,
    timeout: TIMEOUT,
    protocolTimeout: 4 * TIMEOUT,
    userDataDir: profile,
    ...options,
    args: [...(base.args || []), ...(options.args || [])],
  });
  browser.closeAndClean = async () => {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}
