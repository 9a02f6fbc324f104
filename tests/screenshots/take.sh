#!/usr/bin/env bash
# Starts Dockvane under Wine on a virtual X display, opens its windows through the tray icon the way
# a user would (xdotool clicks on the virtual desktop's notification area) and saves a screenshot of
# each, at 100 %, 150 % and 200 % (96, 144 and 192 DPI), each in a subfolder of its own. As in the
# end-to-end runs, Dockvane runs beside the stand-in network-management library and with the
# stand-in search service running as WSearch.
# Usage: tests/screenshots/take.sh [OUTPUT_FOLDER [SCALE...]]   (default: build/screenshots 100 150 200)
# Needs the windows preset built (./run.sh or ./test.sh does that).
set -euo pipefail
cd "$(dirname "$0")/../.."
out="${1:-build/screenshots}"
shift || true
scales=("$@")
[ ${#scales[@]} -gt 0 ] || scales=(100 150 200)
mkdir -p "$out"
exe=build/windows/src/DockvaneTray.exe
probe=build/windows/tests/e2e/e2e_process_probe.exe
for built in "$exe" "$probe"; do
    [ -x "$built" ] || { echo "build the windows preset first: $built is missing" >&2; exit 1; }
done

work=$(mktemp -d)
source scripts/xvfb.sh
source scripts/search-standin.sh
cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

range=${DOCKVANE_E2E_DISPLAYS:-140-170}
start_xvfb "${range%-*}" "${range#*-}" 1280x1024x24
W=1280 H=1024

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;netapi32=n,b"
# The test tray (engine and tray in one process) runs from a copy beside the stand-in network-management library.
mkdir -p "$work/program"
cp "$exe" build/windows/tests/standins/netapi32/netapi32.dll "$work/program/"
exe="$work/program/DockvaneTray.exe"

# One run of the whole tour at `dpi`, in a fresh prefix, into folder `shots`.
take_at() {
dpi=$1 shots=$2
mkdir -p "$shots"
export WINEPREFIX="$work/prefix-$dpi"
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot --init >/dev/null 2>&1
settle_fresh_prefix
start_search_standin build/windows
# Wine reads the DPI from these when a program starts.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
    /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1

# Simulated USB drives (dvsim), and the AutoPlay mode that shows Dockvane's own AutoPlay dialog.
rm -rf "$work/state" "$work/backup" "$work/photos"
mkdir -p "$work/state" "$work/backup" "$work/photos"
export DOCKVANE_SIMULATION="Z:$(echo "$work/state" | tr / '\\')"
printf '[Share]\r\nShareName=BACKUP\r\nShareUserName=extdisk_backup\r\nDescription=Nightly backup\r\nAutoRemove=True\r\n' \
    > "$work/backup/velmora.conf"
echo "holiday" > "$work/photos/beach.jpg"
# The machine's settings (a folder the host user makes is Dockvane's own under Wine).
mkdir -p "$WINEPREFIX/drive_c/ProgramData/Dockvane"
printf '[General]\r\nAutoPlay=1\r\n' > "$WINEPREFIX/drive_c/ProgramData/Dockvane/Settings.ini"
dvsim() { wine build/windows/tools/dvsim/dvsim.exe "$@"; }

wine explorer /desktop=Dockvane,${W}x${H} "$exe" >/dev/null 2>&1 &
sleep 6

# The notification area is at the bottom right of the virtual desktop's taskbar.
tray() { xdotool mousemove $((W - 11)) $((H - 10)) click "$1"; sleep 1.5; }
shot() { import -window root "$shots/$1.png"; echo "$shots/$1.png"; }
# A length at 96 DPI, at this run's DPI.
px() { echo $(($1 * dpi / 96)); }
# The open tray menu's top: where its header band (the workspace grey) begins in column W - 264.
menu_top() {
    import -window root "$work/menu.png"
    convert "$work/menu.png" -crop 1x${H}+$((W - 264))+0 txt:"$work/menu.txt"
    awk -F'[,:]' '/#808080/ { print $2; exit }' "$work/menu.txt"
}
# Windows open centred and are not always in the foreground: a click in the middle of the screen
# makes the one there active before the key that closes it.
dismiss() { xdotool mousemove $((W / 2)) $((H / 2)) click 1; sleep 0.5; xdotool key "$1"; sleep 1; }
# Clicks the entry `offset` pixels below the menu's top.
item() {
    local top
    top=$(menu_top)
    [ -n "$top" ] || { echo "no menu open" >&2; return 1; }
    xdotool mousemove $((W - 264)) $((top + $(px $1))) click 1
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
dismiss Return  # the message box, centred

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

# Dockvane ends through its tray's Exit: the counts of a process that was killed (as wineserver -k
# kills what is left) are no leak report, since it may have died holding a buffer.
ended=$(wine "$probe" exit DockvaneTray.exe 20000 2>&1 | tr -d '\r' || true)
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
check_buffers "$dpi" "$ended"
}

# What the stand-in library counted for each process that used it (Dockvane, which ended through
# Exit, reported as $2): every buffer it handed out must have come back through its
# NetApiBufferFree, and nothing else may have been given to it. The library replaces its counts
# whole, so a file without them all is a fault too.
buffer_problems=0
check_buffers() {
    local file found=0
    case $2 in
        exit_code=0\ *) ;;
        *)
            echo "at $1 DPI Dockvane did not end through its Exit ($2): its buffer counts tell nothing" >&2
            buffer_problems=1
            return
            ;;
    esac
    for file in "$work"/state/netapi32-buffers-*.txt; do
        [ -f "$file" ] || continue
        found=1
        if ! awk -F'\t' '$1 == "unreleased" || $1 == "foreign" { seen++; if ($2 != "0") bad = 1 }
                         END { exit bad || seen != 2 }' "$file"; then
            echo "at $1 DPI the stand-in network-management library counted a leak or left its counts" \
                "incomplete: $(tr '\t\n' '= ' <"$file")" >&2
            buffer_problems=1
        fi
    done
    if [ $found = 0 ]; then
        echo "at $1 DPI no process used the stand-in network-management library" >&2
        buffer_problems=1
    fi
}

for scale in "${scales[@]}"; do
    take_at $((scale * 96 / 100)) "$out/$scale"
done
echo "screenshots in $out/{$(IFS=,; echo "${scales[*]}")}"
[ $buffer_problems = 0 ] || exit 1
