#!/usr/bin/env bash
# Builds the native Linux program and starts it on the current display.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh

ensure_packages cmake ninja-build g++ googletest qt6-base-dev xvfb xauth

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); on a machine without one, 'xvfb-run ./run.sh' works" >&2
    exit 1
fi

cmake --preset linux >/dev/null
cmake --build --preset linux --target zqv
exec build/linux/zqv
