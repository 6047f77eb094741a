#!/usr/bin/env python3
"""Writes the page's one script: emcc's loader with the WebAssembly module inside it.

    embed_module.py OUTPUT LOADER MODULE

The module's bytes go into Module.wasmBinary, base64 in a string, ahead of the loader, which then
fetches nothing: a page opened from a folder (file://) may not fetch at all, and the page's
content policy allows no data: address either.
"""
import base64
import os
import sys

if len(sys.argv) != 4:
    sys.exit(__doc__)
output, loader, module = sys.argv[1:]
with open(module, 'rb') as f:
    encoded = base64.b64encode(f.read()).decode('ascii')
with open(loader, encoding='utf-8') as f:
    script = f.read()
partial = output + '.partial'
with open(partial, 'w', encoding='utf-8', newline='\n') as f:
    f.write("var Module = { wasmBinary: Uint8Array.from(atob('%s'), function(c) { return c.charCodeAt(0); }) };\n" % encoded)
    f.write(script)
os.replace(partial, output)
