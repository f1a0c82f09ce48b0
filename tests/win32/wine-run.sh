#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine with the test settings: a
# private prefix (made on first use), no debug chatter, no Mono or Gecko
# installers. Without a DISPLAY it runs on an Xvfb of its own.
#   wine-run.sh program.exe [arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX=${DUPLEXA_WINEPREFIX:-$here/../../build-win/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# Debian's `wine` wrapper complains about the missing 32-bit half; the
# 64-bit loader is all we need.
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        "$wineserver" -k 2>/dev/null || true
        kill "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    read_fd=$(mktemp -u)
    mkfifo "$read_fd"
    Xvfb -displayfd 4 -screen 0 800x600x16 -nolisten tcp 4>"$read_fd" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r display_number <"$read_fd"
    rm -f "$read_fd"
    export DISPLAY=":$display_number"
fi

mkdir -p "$(dirname "$WINEPREFIX")"
# One first-time set-up at a time; later runs find the prefix ready.
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot -i >/dev/null 2>&1 || true
        "$wineserver" -w 2>/dev/null || true
    fi
) 9>"$WINEPREFIX.lock"

status=0
"$wine" "$@" || status=$?
exit $status
