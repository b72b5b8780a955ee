#!/bin/sh
# Runs a 32-bit Windows program of the cross build under Wine, in a private
# prefix under build/ so that no user's Wine set-up is touched or needed.
repo=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$repo/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko: their install dialogs would stall an unattended run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
