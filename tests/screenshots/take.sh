#!/usr/bin/env bash
# Starts Dockvane under Wine on a virtual X display, opens its windows through the tray icon the way
# a user would (xdotool clicks on the virtual desktop's notification area) and saves a screenshot of
# each. Usage: tests/screenshots/take.sh [OUTPUT_FOLDER]   (default: build/screenshots)
# Needs the windows preset built (./run.sh or ./test.sh does that).
set -euo pipefail
cd "$(dirname "$0")/../.."
out="${1:-build/screenshots}"
mkdir -p "$out"
exe=build/windows/src/Dockvane.exe
[ -x "$exe" ] || { echo "build the windows preset first: $exe is missing" >&2; exit 1; }

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

for display in $(seq 140 170); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    sleep 1
    kill -0 "$xvfb_pid" 2>/dev/null && { export DISPLAY=":$display"; break; }
    xvfb_pid=""
done
[ -n "${DISPLAY:-}" ] || { echo "no X display could be started" >&2; exit 1; }

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot --init >/dev/null 2>&1
wine explorer /desktop=Dockvane,1024x768 "$exe" >/dev/null 2>&1 &
sleep 6

# The notification area is at the bottom right of the virtual desktop's taskbar.
tray() { xdotool mousemove 1013 758 click "$1"; sleep 1.5; }
shot() { import -window root "$out/$1.png"; echo "$out/$1.png"; }
item() { xdotool mousemove "$1" "$2" click 1; sleep 2; }

tray 1; shot 01-tray-menu
xdotool key Escape; sleep 0.5
tray 3; shot 02-right-click-menu
xdotool key Escape; sleep 0.5

# Settings (the fourth entry from the bottom of the tray menu).
tray 1; item 740 693; shot 03-settings-window
xdotool key Escape; sleep 1

# About.
tray 1; item 740 729; shot 04-about-box
xdotool key Return; sleep 1

# Add without a USB drive: the explanation.
tray 1; item 740 666; shot 05-add-without-drive
xdotool key Return; sleep 1

echo "screenshots in $out"
