#!/usr/bin/env bash
# Builds the native and the 32-bit Windows program and runs every test: the
# native tests directly, the Windows ones under Wine, all in a virtual X server.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh

ensure_packages cmake ninja-build g++ googletest \
    g++-mingw-w64-i686-posix wine wine32:i386 xvfb xauth

for preset in linux windows; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done

xvfb-run -a -s "-screen 0 1280x1024x24" \
    sh -c 'ctest --preset linux && ctest --preset windows'
