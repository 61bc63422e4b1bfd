#!/usr/bin/env bash
# Regenerates the PNG pictures in this folder from their SVG sources.
# The PNGs are kept in the repository, so building Datebell does not need
# rsvg-convert; run this only after changing datebell.svg or about.svg.
# Needs rsvg-convert (Debian/Ubuntu package: librsvg2-bin).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render.sh: rsvg-convert not found (install librsvg2-bin)" >&2
    exit 1
fi

for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" datebell.svg -o "datebell-$size.png"
done

rsvg-convert -w 200 -h 114 about.svg -o about.png

echo "render.sh: pictures rendered"
