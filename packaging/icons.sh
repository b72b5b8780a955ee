#!/usr/bin/env bash
# Derives the committed icon from the emblem zqv.svg: zqv.png (256 pixels,
# for the Linux desktop). Run it by hand after changing zqv.svg.
set -euo pipefail
cd "$(dirname "$0")"
. ../scripts/packages.sh
ensure_packages librsvg2-bin

rsvg-convert -w 256 -h 256 zqv.svg -o zqv.png
