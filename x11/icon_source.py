#!/usr/bin/env python3
"""Build-time tool: decodes the icon PNGs and writes their pixels as C++ source in the layout of
_NET_WM_ICON (x11/window_icon.h), so the program carries its icon and reads no file.
    icon_source.py OUTPUT.cpp ICON.png...
It runs on the build machine whatever the target (a cross build runs no target program), so it is
a script; the icons are 8-bit RGBA PNGs, non-interlaced, as icons/make-icons.sh writes them."""
import struct
import sys
import zlib


def decode(path):
    """Width, height and the pixels as 0xAARRGGBB, rows top to bottom, as the file stores them."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, header, idat = 8, None, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if header is None or header[2:] != (8, 6, 0, 0, 0):
        raise ValueError("not an 8-bit RGBA non-interlaced PNG")
    width, height = header[:2]
    raw, stride = zlib.decompress(idat), width * 4
    rows, prior = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b, c = prior[i], prior[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
            elif kind != 0:
                raise ValueError("unknown row filter %d" % kind)
        rows.append(line)
        prior = line
    pixels = [r[i + 3] << 24 | r[i] << 16 | r[i + 1] << 8 | r[i + 2] for r in rows for i in range(0, stride, 4)]
    return width, height, pixels


def main(argv):
    if len(argv) < 3:
        sys.exit("usage: %s OUTPUT.cpp ICON.png..." % argv[0])
    values = []
    for path in argv[2:]:
        try:
            width, height, pixels = decode(path)
        except (OSError, ValueError, zlib.error, struct.error) as e:
            sys.exit("icon_source: %s: %s" % (path, e))
        values += [width, height] + pixels
    lines = ["    " + " ".join("0x%08x," % v for v in values[i:i + 8]) for i in range(0, len(values), 8)]
    with open(argv[1], "w") as out:
        out.write("// Made at build time by x11/icon_source.py from the committed icon PNGs.\n"
                  '#include "x11/window_icon.h"\n\n'
                  "extern const std::uint32_t kWindowIcon[] = {\n" + "\n".join(lines) + "\n};\n"
                  "extern const std::size_t kWindowIconLength = sizeof kWindowIcon / sizeof kWindowIcon[0];\n")


if __name__ == "__main__":
    main(sys.argv)
