// Lighthouse's scores for the page, for scripts/bench.sh --web. Usage:
//   node bench/web/lighthouse.mjs SITE [ROUNDS]   (default 3)
// SITE is served by nginx as tests/web/nginx.mjs serves it; each round is one Lighthouse run with
// its defaults (a mobile phone, simulated slow 4G and 4x CPU) in Debian's chromium, headless, with
// the flags the browser tests use. Prints a line a round:
//   lighthouse round N performance P accessibility A best-practices B seo S fcp_ms F lcp_ms L tbt_ms T si_ms S
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { browsers } from '../../tests/web/browser.mjs';
import { startNginx } from '../../tests/web/nginx.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const site = process.argv[2];
const rounds = Number(process.argv[3] || 3);
const chromium = browsers.chromium();
const server = await startNginx(site);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vellorin-lighthouse-'));
try {
  for (let round = 1; round <= rounds; ++round) {
    const report = path.join(work, `round${round}.json`);
    const run = spawnSync(path.join(here, 'node_modules/.bin/lighthouse'), [
      server.url, '--output=json', `--output-path=${report}`, '--quiet',
      `--chrome-flags=--headless=new ${chromium.args.join(' ')}`,
    ], { env: { ...process.env, CHROME_PATH: chromium.executablePath }, encoding: 'utf8' });
    if (run.status !== 0) throw new Error(`lighthouse: ${run.status} ${run.stderr}`);
    const { categories, audits } = JSON.parse(fs.readFileSync(report, 'utf8'));
    const score = (c) => Math.round(categories[c].score * 100);
    const ms = (a) => Math.round(audits[a].numericValue);
    console.log(`lighthouse round ${round} performance ${score('performance')} accessibility ${score('accessibility')}`
      + ` best-practices ${score('best-practices')} seo ${score('seo')} fcp_ms ${ms('first-contentful-paint')}`
      + ` lcp_ms ${ms('largest-contentful-paint')} tbt_ms ${ms('total-blocking-time')} si_ms ${ms('speed-index')}`);
  }
} finally {
  fs.rmSync(work, { recursive: true, force: true });
  await server.stop();
}
