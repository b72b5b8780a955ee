#!/usr/bin/env bash
# Derives the committed icons from the emblem zqv.svg: zqv.png (256 pixels,
# for the Linux desktop) and zqv.ico (16 to 256 pixels, for zqv.exe's icon
# resource). Run it by hand after changing zqv.svg.
set -euo pipefail
cd "$(dirname "$0")"
. ../scripts/packages.sh
ensure_packages librsvg2-bin icoutils

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for size in 16 32 48 256; do
    rsvg-convert -w $size -h $size zqv.svg -o "$scratch/$size.png"
done
cp "$scratch/256.png" zqv.png
# The 256-pixel image stays PNG-compressed inside the .ico, as Windows allows.
icotool -c -o zqv.ico "$scratch"/16.png "$scratch"/32.png "$scratch"/48.png --raw="$scratch"/256.png
