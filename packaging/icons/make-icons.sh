#!/usr/bin/env bash
# Renders the PNG icons from org.vellorin.Vellorin.svg (the icon's only source) and records the
# SVG's checksum, by which scripts/check-package.sh notices PNGs left behind after an SVG edit.
# The PNGs are committed, so building and packaging need no SVG renderer and every build ships
# the same bytes. Run this after changing the SVG and commit the results.
set -euo pipefail
cd "$(dirname "$0")"
bash ../../scripts/setup.sh --run librsvg2-bin
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" org.vellorin.Vellorin.svg -o "$size/org.vellorin.Vellorin.png"
done
sha256sum org.vellorin.Vellorin.svg >svg.sha256
echo "icons: rendered 48, 128 and 256 px from org.vellorin.Vellorin.svg"
