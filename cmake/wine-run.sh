#!/bin/sh
# Runs a Windows program of a cross build under Wine, in a private prefix
# under build/ so that no user's Wine set-up is touched or needed.
#
#   wine-run.sh PROCESSOR PROGRAM [ARGUMENTS]   run a program
#   wine-run.sh PROCESSOR --start               make the prefix, keep Wine up
#   wine-run.sh PROCESSOR --stop                end Wine
#
# PROCESSOR is the build's: i686 runs under the 32-bit loader in a 32-bit
# prefix, x86_64 under the 64-bit loader alone, which never starts a 32-bit
# process.
#
# Wine's server and services outlive the program that starts them, holding
# its output open, and ctest waits for a test's output to close: a few
# seconds for every test. --start runs them once, away from any test's
# output, and keeps the server up until --stop.
repo=$(cd "$(dirname "$0")/.." && pwd)
processor=$1
shift
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: their install dialogs would stall an unattended run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ "$processor" = x86_64 ]; then
    export WINEPREFIX="${WINEPREFIX:-$repo/build/windows64/wineprefix}" WINEARCH=win64
    loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64
else
    export WINEPREFIX="${WINEPREFIX:-$repo/build/windows/wineprefix}" WINEARCH=win32
    loader=wine server=wineserver
fi
case "$1" in
--start)
    mkdir -p "$WINEPREFIX"
    log="$WINEPREFIX/start.log"
    "$server" -p </dev/null >"$log" 2>&1 &&
        "$loader" wineboot -i </dev/null >>"$log" 2>&1 ||
        { cat "$log" >&2; exit 1; }
    ;;
--stop)
    "$server" -k 2>/dev/null
    "$server" -w
    ;;
*)
    exec "$loader" "$@"
    ;;
esac
