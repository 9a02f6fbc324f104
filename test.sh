#!/usr/bin/env bash
# The one test command: installs what this machine lacks, builds both presets and runs every test
# (the Windows ones under Wine on a virtual X display). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

# --- What a fresh Debian 12 machine lacks ---
scripts/install-deps.sh

# --- The layout of every C++ source, before anything is built ---
echo "== format (clang-format-14)"
scripts/check-format.sh

# --- Native: the portable core and its tests ---
echo "== native build (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset native >/dev/null
cmake --build --preset native
echo "== native tests"
ctest --preset native

# --- Windows: cross-built, tested under Wine ---
echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows

echo "== windows tests (Wine)"
work=$(mktemp -d)
source scripts/xvfb.sh
cleanup() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: Wine needs one for any window, and the server must see it from its start.
start_xvfb 90 120 1280x1024x24

export WINEPREFIX="$work/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko prompts in a fresh prefix
mkdir -p "$WINEPREFIX"
wineserver -p                               # one persistent server for the whole run
# A prefix's first start can fail on a machine under heavy load; it is made once more before the
# run gives up, and a failure says which step it was.
if ! wineboot --init >/dev/null 2>&1 && ! wineboot --init >/dev/null 2>&1; then
    echo "the Wine prefix could not be made (wineboot --init failed twice)" >&2
    exit 1
fi
# Making the prefix leaves two service control managers running, each with a list of services of its
# own, so that a service made through one is unknown to the other: start the server once more.
wineserver -k; wineserver -w; wineserver -p
wineboot >/dev/null 2>&1
# Among them the end-to-end run of Dockvane.exe in simulation mode, on a Wine prefix of its own.
ctest --preset windows
echo "Balloons and message boxes of the end-to-end runs: build/windows/e2e-artefacts/"
