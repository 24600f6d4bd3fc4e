#!/bin/sh
# Runs a command inside the project's own Wine session: a prefix under the
# build folder (HOME pointed into it, so desktop links stay inside), Wine's
# server and helper processes started once with their output away from the
# caller's pipes, and stopped again at the end.
#   tools/wine-session.sh COMMAND [ARG...]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${QUILLFEN_WINE_DIR:-$root/build/wine}
mkdir -p "$scratch/home"
export WINEPREFIX="$scratch/prefix" HOME="$scratch/home" WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d'
# Polish code page, so dialogs and boxes show the agreement text correctly.
export LC_ALL=pl_PL.UTF-8

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    ( unset DISPLAY; wineboot -i </dev/null >/dev/null 2>&1; wineserver -w )
    # No window manager under Xvfb: let Wine draw its own captions, which also
    # avoids a 2-second delay whenever a window closes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    wineserver -w
fi
(wineserver -p </dev/null >/dev/null 2>&1 &)
wineboot </dev/null >/dev/null 2>&1
status=0
"$@" || status=$?
wineserver -k 2>/dev/null || true
exit $status
