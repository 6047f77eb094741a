// Debian's nginx serving a folder as a static host serves it, for the page's benchmarks (visit.mjs).
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';

// A static host: nginx with compression on, as a school's or a hosting service's web server runs it.
export async function startNginx(folder) {
  const root = path.resolve(folder);
  const port = await new Promise((resolve) => {
    const probe = net.createServer().listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
  const prefix = fs.mkdtempSync(path.join(os.tmpdir(), 'vellorin-nginx-'));
  fs.writeFileSync(path.join(prefix, 'nginx.conf'), `
worker_processes 1;
error_log stderr warn;
pid ${prefix}/nginx.pid;
events { worker_connections 64; }
http {
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  access_log off;
  client_body_temp_path ${prefix}; proxy_temp_path ${prefix}; fastcgi_temp_path ${prefix};
  uwsgi_temp_path ${prefix}; scgi_temp_path ${prefix};
  gzip on;
  gzip_comp_level 6;
  gzip_static on;
  gzip_vary on;
  gzip_types text/css application/javascript application/wasm application/manifest+json;
  server { listen 127.0.0.1:${port}; root ${root}; }
}`);
  const server = spawn('nginx', ['-p', prefix, '-c', path.join(prefix, 'nginx.conf'), '-g', 'daemon off;'],
                       { stdio: ['ignore', 'inherit', 'inherit'] });
  const url = `http://127.0.0.1:${port}/`;
  for (let k = 0; ; ++k) {  // until it answers, for ten seconds at most
    try { if ((await fetch(url)).ok) break; } catch (e) { /* not listening yet */ }
    if (k === 100) { server.kill(); throw new Error(`nginx: no page at ${url} from ${root}`); }
    await new Promise((r) => setTimeout(r, 100));
  }
  const gone = new Promise((resolve) => server.once('exit', resolve));
  return { url, stop: () => { server.kill(); return gone.then(() => fs.rmSync(prefix, { recursive: true, force: true })); } };
}

