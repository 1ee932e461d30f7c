#!/usr/bin/env bash
# Renders the program icon's PNG sizes from its SVG (the PNGs are committed, so
# the build needs no SVG renderer). Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" midi-sonoret.svg -o "midi-sonoret-$size.png"
done
