#!/usr/bin/env bash
# Builds the Windows programs and starts Dockvane.exe under Wine in a virtual desktop, on the current
# display or, when there is none, on an Xvfb display of its own.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

export WINEPREFIX="${WINEPREFIX:-$HOME/.dockvane-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

xvfb_pid=""
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
    for display in $(seq 99 130); do
        [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
        Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        sleep 1
        if kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$display"
            break
        fi
        xvfb_pid=""
    done
    [ -n "${DISPLAY:-}" ] || { echo "no X display could be started" >&2; exit 1; }
    echo "No display was set: Dockvane runs on the virtual display $DISPLAY."
    echo "Look at it with:  DISPLAY=$DISPLAY import -window root dockvane.png"
    echo "Click the tray icon with:  DISPLAY=$DISPLAY xdotool mousemove 1010 1012 click 1"
fi

mkdir -p "$WINEPREFIX"
[ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1
echo "Starting Dockvane (prefix $WINEPREFIX); Exit in its tray menu ends it."
wine explorer /desktop=Dockvane,1280x1024 build/windows/src/Dockvane.exe
