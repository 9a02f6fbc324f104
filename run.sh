#!/usr/bin/env bash
# Builds the Windows programs and starts Dockvane as the test tray DockvaneTray.exe (engine and tray in
# one elevated process) under Wine in a virtual desktop, on the current display or, when there is
# none, on an Xvfb display of its own. It runs in simulation mode with a
# demo drive E: plugged in, so that the drive shows up shared within seconds (README: "Simulation
# mode"), beside the stand-in network-management library and with the stand-in search service
# running as WSearch; DOCKVANE_DEMO names the folder of the demo's drive and state (default
# ~/.dockvane-demo).
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows

export WINEPREFIX="${WINEPREFIX:-$HOME/.dockvane-wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# netapi32: the stand-in network-management library where it lies beside the program (shares and
# accounts kept in the simulation folder), Wine's own for every other program.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};netapi32=n,b"

demo="${DOCKVANE_DEMO:-$HOME/.dockvane-demo}"
mkdir -p "$demo/drive-e" "$demo/simulation"
demo="$(cd "$demo" && pwd)"
drive="$demo/drive-e"
simulation="$demo/simulation"
if [ ! -f "$drive/velmora.conf" ] && [ ! -f "$drive/velmora.conf.inactive" ]; then
    printf '[Share]\r\nShareName=DEMO\r\nDescription=Dockvane demo drive\r\nAutoRemove=True\r\n' \
        >"$drive/velmora.conf"
    printf 'A folder that Dockvane sees as USB drive E:.\r\n' >"$drive/readme.txt"
fi
# The tray runs from a copy beside the stand-in library; the build's folder never holds it.
mkdir -p "$demo/program"
cp build/windows/src/DockvaneTray.exe build/windows/tests/standins/netapi32/netapi32.dll "$demo/program/"
# Under Wine, Z: reaches the host's files.
export DOCKVANE_SIMULATION="Z:${simulation//\//\\}"
dvsim() { wine build/windows/tools/dvsim/dvsim.exe "$@"; }

source scripts/xvfb.sh
source scripts/search-standin.sh
cleanup() {
    # A drive left plugged in would stay a drive letter of the prefix.
    dvsim unplug E >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT INT TERM

if [ -z "${DISPLAY:-}" ]; then
    start_xvfb 99 130 1280x1024x24
    echo "No display was set: Dockvane runs on the virtual display $DISPLAY."
    echo "Look at it with:  DISPLAY=$DISPLAY import -window root dockvane.png"
    echo "Click the tray icon with:  DISPLAY=$DISPLAY xdotool mousemove 1010 1012 click 1"
fi

mkdir -p "$WINEPREFIX"
# One server for the whole run: services (WSearch) run only while it does, and it must not end in the
# gap before Dockvane starts. The cleanup ends it.
wineserver -p
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1
    settle_fresh_prefix
fi
# Dockvane stops the search service while a drive is shared, if it ran when Dockvane started.
start_search_standin build/windows
echo "The stand-in search service runs as WSearch:  WINEPREFIX=$WINEPREFIX wine sc query WSearch"
dvsim unplug E >/dev/null 2>&1 || true   # left plugged in by a run that was cut short
app_log="$WINEPREFIX/drive_c/ProgramData/Dockvane/Velmora.log"
log_size=0
[ -f "$app_log" ] && log_size=$(stat -c %s "$app_log")

echo "Starting Dockvane in simulation mode (prefix $WINEPREFIX, state $simulation); Exit in its tray menu ends it."
wine explorer /desktop=Dockvane,1280x1024 "$demo/program/DockvaneTray.exe" &
dockvane=$!

# Plug the demo drive in once Dockvane has started (its log has a new Start line).
for _ in $(seq 120); do
    if [ -f "$app_log" ] && tail -c +$((log_size + 1)) "$app_log" | grep -q "Start"; then break; fi
    kill -0 "$dockvane" 2>/dev/null || break
    sleep 0.5
done
if kill -0 "$dockvane" 2>/dev/null && dvsim plug E "$drive"; then
    echo
    echo "The demo drive E: (the folder $drive) is plugged in and shared:"
    dvsim shares | tr -d '\r' | sed 's/^/    share    /'
    dvsim accounts | tr -d '\r' | grep -v '^Administrator\|^Guest' | sed 's/^/    account  /'
    echo "Logs: $drive/velmora-activity.log and $app_log"
    echo "Let the backup finish (Dockvane unshares and ejects the drive):  touch '$drive/backup.done'"
    echo "Plug in more drives (any folder with a velmora.conf), from this folder:"
    echo "    WINEPREFIX=$WINEPREFIX DOCKVANE_SIMULATION='$DOCKVANE_SIMULATION' \\"
    echo "        wine build/windows/tools/dvsim/dvsim.exe plug F /path/to/folder"
fi
wait "$dockvane" || true
