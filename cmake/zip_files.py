#!/usr/bin/env python3
"""Packs files into a zip whose bytes depend on the files' contents alone.

    zip_files.py OUTPUT FOLDER PREFIX EPOCH FILE...

Entries are the FILEs (paths within FOLDER) in sorted order under PREFIX/, each dated EPOCH
(seconds since 1970, UTC) with fixed permissions and no owner, so a rebuild of the same commit, anywhere and at
any time, gives the same zip. The zip is written beside OUTPUT first, then renamed into place.
"""
import os
import sys
import time
import zipfile


def pack(output, folder, prefix, epoch, paths):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip dates start in 1980
    partial = output + '.partial'
    with zipfile.ZipFile(partial, 'w') as archive:
        for path in sorted(paths):
            entry = zipfile.ZipInfo(prefix + '/' + path, stamp)
            entry.create_system = 3  # Unix, so the permissions below are read
            entry.external_attr = 0o100644 << 16  # a plain file, rw-r--r--
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, path), 'rb') as f:
                archive.writestr(entry, f.read(), compresslevel=9)
    os.replace(partial, output)


if __name__ == '__main__':
    if len(sys.argv) < 6:
        sys.exit(__doc__)
    pack(sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), sys.argv[5:])
