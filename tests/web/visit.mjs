// How soon the page shows its first picture, for scripts/bench.sh --web. Usage:
//   node visit.mjs SITE [ROUNDS]   (default 3 rounds)
// SITE (build-web/site) is served by Debian's nginx on 127.0.0.1, compressed as a static host
// serves it (gzip, and the precompressed .gz files beside the originals where there are any). Each
// round opens the page in a fresh browser context (no cache, no service worker) as a Pixel 5 with
// the CPU slowed 4 times, unthrottled and then on DevTools' slow 4G, and comes back to it (the
// service worker now has the site) on slow 4G and offline. Prints a line per visit:
//   visit round N network NET kind first|return first_ms F longest_ms L long_tasks K bytes B
// first_ms: navigation to the end of the first frame drawn; longest_ms and long_tasks: the main
// thread's tasks over 50 ms up to 3 s after that; bytes: what came over the network.
import path from 'node:path';
import { KnownDevices, PredefinedNetworkConditions } from 'puppeteer-core';
import { launch, TIMEOUT } from './browser.mjs';
import { startNginx } from './nginx.mjs';

const site = path.resolve(process.argv[2] || 'build-web/site');
const rounds = Number(process.argv[3] || 3);
const SLOW = PredefinedNetworkConditions['Slow 4G'];
const OFFLINE = { offline: true, download: 0, upload: 0, latency: 0 };

// The page as a Pixel 5 at 4x CPU on `network`; the service worker, once there, on it too.
async function visit(context, url, network) {
  const page = await context.newPage();
  await page.emulate(KnownDevices['Pixel 5']);
  await page.emulateCPUThrottling(4);
  await page.emulateNetworkConditions(network);
  const cdp = await page.createCDPSession();
  let bytes = 0;
  await cdp.send('Network.enable');
  cdp.on('Network.loadingFinished', (e) => { bytes += e.encodedDataLength; });
  for (const target of context.targets().filter((t) => t.type() === 'service_worker')) {
    const worker = await target.createCDPSession();
    await worker.send('Network.emulateNetworkConditions', { offline: !!network.offline, latency: network.latency,
                                                            downloadThroughput: network.download, uploadThroughput: network.upload });
  }
  await page.evaluateOnNewDocument(() => {
    window.longTasks = [];
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.longTasks.push(e.duration);
    }).observe({ type: 'longtask', buffered: true });
  });
  await page.goto(url, { timeout: TIMEOUT, waitUntil: 'domcontentloaded' });
  await page.waitForFunction(() => window.vellorinStatus && window.vellorinStatus.frames >= 1, { timeout: TIMEOUT, polling: 50 });
  const first = await page.evaluate(() => new Promise((resolve) => {
    const at = window.vellorinStatus.firstFrame;
    setTimeout(() => resolve({ at, long: window.longTasks }), Math.max(0, at + 3000 - performance.now()));
  }));
  return { page, first, bytes: () => bytes };
}

// The service worker has every file of the site in its cache.
const siteCached = (page) => page.evaluate(async () => {
  await navigator.serviceWorker.ready;
  for (let k = 0; k < 600; ++k) {
    const keys = await caches.keys();
    for (const key of keys) if ((await (await caches.open(key)).keys()).length > 0 && navigator.serviceWorker.controller) return true;
    await new Promise((r) => setTimeout(r, 100));
  }
  return false;
});

const print = (round, network, kind, v) => {
  const longest = Math.max(0, ...v.first.long);
  console.log(`visit round ${round} network ${network} kind ${kind} first_ms ${v.first.at.toFixed(0)}`
    + ` longest_ms ${longest.toFixed(0)} long_tasks ${v.first.long.length} bytes ${v.bytes()}`);
};

const server = await startNginx(site);
const browser = await launch();
try {
  for (let round = 1; round <= rounds; ++round) {
    for (const [name, network] of [['none', null], ['slow4g', SLOW]]) {
      const context = await browser.createBrowserContext();
      const v = await visit(context, server.url, network || { offline: false, download: -1, upload: -1, latency: 0 });
      print(round, name, 'first', v);
      if (name === 'slow4g') {
        if (!(await siteCached(v.page))) throw new Error('the service worker never had the site');
        await v.page.close();
        const again = await visit(context, server.url, SLOW);
        print(round, 'slow4g', 'return', again);
        await again.page.close();
        const offline = await visit(context, server.url, OFFLINE);
        print(round, 'offline', 'return', offline);
      }
      await context.close();
    }
  }
} finally {
  await browser.closeAndClean();
  await server.stop();
}
