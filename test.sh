#!/usr/bin/env bash
# Builds the native and the 32-bit Windows program and their packages (the
# .deb and the zip) and runs every test: the native tests directly, the Windows
# ones under Wine, all in a virtual X server, then the native tests again in a
# clang build under AddressSanitizer and UBSan, with a bounded fuzzing run of
# the playback reader.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh

ensure_packages cmake ninja-build g++ googletest \
    g++-mingw-w64-i686-posix libz-mingw-w64-dev zlib1g-dev wine wine32:i386 xvfb xauth \
    qt6-base-dev xdotool locales clang libclang-rt-14-dev \
    libcli11-dev libstb-dev libboost-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev pkg-config \
    dpkg-dev desktop-file-utils file
# The Qt window tests also run under a comma-decimal locale.
locale -a | grep -qx de_DE.utf8 || $([ "$(id -u)" -eq 0 ] || echo sudo) localedef -i de_DE -f UTF-8 de_DE.UTF-8

for preset in linux windows sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
for preset in linux windows; do
    cmake --build --preset "$preset" --target package
done

# Wine runs the 32-bit Windows build as a 32-bit Linux process; a kernel
# without 32-bit emulation refuses to start it (ENOEXEC). There the Windows
# tests cannot run at all, and are skipped with the reason rather than failed.
windows_tests='ctest --preset windows'
if ! wine --version >/dev/null 2>&1; then
    echo "test.sh: this machine cannot run 32-bit programs (the kernel refuses them), so Wine cannot run the Windows tests; they are skipped" >&2
    windows_tests=true
fi
xvfb-run -a -s "-screen 0 1280x1024x24" \
    sh -c "ctest --preset linux && $windows_tests && ctest --preset sanitize"
