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
source scripts/xvfb.sh
cleanup() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

start_xvfb 140 170 1024x768x24

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;netapi32=n,b"
# Dockvane.exe runs from a copy beside the stand-in network-management library.
mkdir -p "$work/program"
cp "$exe" build/windows/tests/standins/netapi32/netapi32.dll "$work/program/"
exe="$work/program/Dockvane.exe"
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot --init >/dev/null 2>&1

# Simulated USB drives (dvsim), and the AutoPlay mode that shows Dockvane's own AutoPlay dialog.
mkdir -p "$work/state" "$work/backup" "$work/photos"
export DOCKVANE_SIMULATION="Z:$(echo "$work/state" | tr / '\\')"
printf '[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_backup\r\nDescription=Nightly backup\r\nAutoRemove=True\r\n' \
    > "$work/backup/velmora.conf"
echo "holiday" > "$work/photos/beach.jpg"
profile=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local | grep -v Public | head -n 1)
mkdir -p "$profile/dockvane"
printf '[General]\r\nAutoPlay=1\r\n' > "$profile/dockvane/Settings.ini"
dvsim() { wine build/windows/tools/dvsim/dvsim.exe "$@"; }

wine explorer /desktop=Dockvane,1024x768 "$exe" >/dev/null 2>&1 &
sleep 6

# The notification area is at the bottom right of the virtual desktop's taskbar.
tray() { xdotool mousemove 1013 758 click "$1"; sleep 1.5; }
shot() { import -window root "$out/$1.png"; echo "$out/$1.png"; }
# The open tray menu's top: where its header band (the workspace grey) begins in column 760.
menu_top() {
    import -window root "$work/menu.png"
    convert "$work/menu.png" -crop 1x768+760+0 txt:"$work/menu.txt"
    awk -F'[,:]' '/#808080/ { print $2; exit }' "$work/menu.txt"
}
# Windows open centred and are not always in the foreground: a click in the middle of the screen
# makes the one there active before the key that closes it.
dismiss() { xdotool mousemove 512 384 click 1; sleep 0.5; xdotool key "$1"; sleep 1; }
# Clicks the entry `offset` pixels below the menu's top.
item() {
    local top
    top=$(menu_top)
    [ -n "$top" ] || { echo "no menu open" >&2; return 1; }
    xdotool mousemove 760 $((top + $1)) click 1
    sleep 2
}

tray 1; shot 01-tray-menu
xdotool mousemove 300 300 click 1; sleep 1  # closes the menu
tray 3; shot 02-right-click-menu
xdotool mousemove 300 300 click 1; sleep 1  # closes the menu

# Offsets of the tray menu's entries below its top: Host 28, Add 55, then one row of 18 per Modify
# entry; after the separator Settings, Help and About 27, 45 and 63 below the last of those.
tray 1; item 82; shot 03-settings-window
dismiss Escape

tray 1; item 118; shot 04-about-box
dismiss Return

tray 1; item 55; shot 05-add-without-drive
xdotool mousemove 514 412 click 1; sleep 1  # the message box's OK, centred

# A configured drive arrives: shared, with its balloon.
dvsim plug E "Z:$(echo "$work/backup" | tr / '\\')"
sleep 3; shot 06-drive-shared-balloon
sleep 8
tray 3; shot 07-eject-menu
xdotool mousemove 300 300 click 1; sleep 1  # closes the menu
tray 1; shot 08-tray-menu-with-drive
item 73; sleep 1; shot 09-drive-settings-modify
dismiss Escape

# A drive without a configuration: the AutoPlay dialog, then the add dialog.
dvsim plug F "Z:$(echo "$work/photos" | tr / '\\')"
sleep 4; shot 10-autoplay-dialog
dismiss Escape
tray 1; item 55; sleep 1; shot 11-drive-settings-add
dismiss Escape

echo "screenshots in $out"
