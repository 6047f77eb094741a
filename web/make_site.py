#!/usr/bin/env python3
"""Writes the page and the files built with it into the site folder.

    make_site.py SITE PAGE BOOT LOADER MODULE WORKER VERSION FILE...

- index.html: PAGE with BOOT in place of its <script src="boot.js">, inline, so it runs whatever
  else arrives; the content policy allows that one script by its hash.
- vellorin.js and vellorin.wasm: emscripten's LOADER and MODULE, as they are. Served, the page
  fetches the module and compiles it while it arrives.
- vellorin-module.js: the module as base64 text, for the page opened from a folder (file://),
  where a browser fetches nothing; a served page never asks for it.
- sw.js: WORKER with its version and its list of FILEs (paths within SITE, the files a visit
  needs), named for a hash over them all, so every new build has a new worker.
Each file is written beside its place first, then renamed into place.
"""
import base64
import hashlib
import os
import re
import sys


def write(path, data):
    partial = path + '.partial'
    with open(partial, 'wb') as f:
        f.write(data)
    os.replace(partial, path)


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def inline_boot(page, boot):
    """The page with the boot script inline and its hash in the content policy."""
    # Comment lines are for whoever reads boot.js; the page carries the code alone.
    code = '\n' + '\n'.join(line for line in boot.splitlines() if not line.lstrip().startswith('//')) + '\n'
    digest = base64.b64encode(hashlib.sha256(code.encode('utf-8')).digest()).decode('ascii')
    tag = '<script src="boot.js"></script>'
    if page.count(tag) != 1 or page.count("script-src 'self'") != 1:
        sys.exit('make_site.py: the page needs one %s and one script-src \'self\'' % tag)
    page = page.replace(tag, '<script>' + code + '</script>')
    return page.replace("script-src 'self'", "script-src 'self' 'sha256-%s'" % digest)


def main(site, page, boot, loader, module, worker, version, files):
    write(os.path.join(site, 'index.html'),
          inline_boot(read(page).decode('utf-8'), read(boot).decode('utf-8')).encode('utf-8'))
    write(os.path.join(site, 'vellorin.js'), read(loader))
    wasm = read(module)
    write(os.path.join(site, 'vellorin.wasm'), wasm)
    write(os.path.join(site, 'vellorin-module.js'),
          b"window.vellorinModuleText = '" + base64.b64encode(wasm) + b"';\n")
    build = hashlib.sha256()
    for name in sorted(files):
        build.update(name.encode('utf-8') + b'\0' + hashlib.sha256(read(os.path.join(site, name))).digest())
    text = read(worker).decode('utf-8')
    text = text.replace('@VERSION@', version).replace('@BUILD@', build.hexdigest()[:16])
    text = text.replace('@FILES@', ', '.join("'%s'" % name for name in files))
    if re.search(r'@[A-Z]+@', text):
        sys.exit('make_site.py: the worker has a placeholder left')
    write(os.path.join(site, 'sw.js'), text.encode('utf-8'))


if __name__ == '__main__':
    if len(sys.argv) < 9:
        sys.exit(__doc__)
    main(*sys.argv[1:8], sys.argv[8:])
