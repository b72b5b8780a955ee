#!/usr/bin/env bash
# Builds the native and the 32-bit Windows program and their packages (the
# .deb and the zip) and runs every test suite in a virtual X server: the
# native tests, the Windows tests under Wine, and the native tests again in a
# clang build under AddressSanitizer and UBSan, with a bounded fuzzing run of
# the playback reader.
#
# The Windows tests are the 32-bit build's where this machine's kernel runs
# 32-bit programs. Where it refuses them, the same tests run in a 64-bit
# Windows build of the same sources under 64-bit Wine, so that the Win32 back
# end, the Windows C runtime and the golden hashes are checked on every
# machine.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/packages.sh

ensure_packages cmake ninja-build g++ googletest \
    g++-mingw-w64-i686-posix libz-mingw-w64-dev zlib1g-dev xvfb xauth \
    qt6-base-dev xdotool locales clang libclang-rt-14-dev \
    libcli11-dev libstb-dev libboost-dev libavformat-dev libavcodec-dev libswscale-dev libavutil-dev pkg-config \
    dpkg-dev desktop-file-utils file parallel
# The Qt window tests also run under a comma-decimal locale.
locale -a | grep -qx de_DE.utf8 || $([ "$(id -u)" -eq 0 ] || echo sudo) localedef -i de_DE -f UTF-8 de_DE.UTF-8

# Whether this kernel runs 32-bit x86 programs: builds the smallest one (it
# only exits, through the 32-bit system call) and runs it.
runs_32_bit_programs() {
    local dir status
    dir=$(mktemp -d)
    printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' >"$dir/exit.s"
    as --32 -o "$dir/exit.o" "$dir/exit.s" && ld -m elf_i386 -o "$dir/exit" "$dir/exit.o" &&
        "$dir/exit" 2>/dev/null && status=0 || status=1
    rm -rf "$dir"
    return $status
}
# 32-bit Wine needs the i386 packages; where they cannot be installed (a
# mirror's i386 index out of step with amd64, say) the 64-bit suite stands in.
windows_suite=windows64
if ! runs_32_bit_programs; then
    windows_says="the 64-bit build's, under 64-bit Wine, because this machine's kernel refuses 32-bit programs"
elif ! ensure_packages wine wine32:i386; then
    windows_says="the 64-bit build's, under 64-bit Wine, because 32-bit Wine could not be installed"
else
    windows_suite=windows
    windows_says="the 32-bit build's, under Wine"
fi
[ $windows_suite = windows64 ] && ensure_packages g++-mingw-w64-x86-64-posix wine64

wine_loader=$([ $windows_suite = windows ] && echo wine || echo /usr/lib/wine/wine64)
if ! wine_says=$("$wine_loader" --version 2>&1); then
    echo "test.sh: no Windows test suite can run here: $wine_loader does not start: $wine_says" >&2
    exit 1
fi

for preset in linux windows $([ $windows_suite = windows64 ] && echo windows64) sanitize; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
for preset in linux windows; do
    cmake --build --preset "$preset" --target package
done

echo "test.sh: the Windows tests that run here are $windows_says"
xvfb-run -a -s "-screen 0 1280x1024x24" scripts/test-suites.sh linux $windows_suite sanitize
