#!/usr/bin/env bash
# Runs the text-fit tests of the Windows-side test program at 96, 144 and 192 DPI.
# Usage: tests/scaling/text_fit_at_dpis.sh TEST_EXE [DPI...]
#
# Wine takes the DPI from the prefix's registry (LogPixels), and each process reads it when it
# starts: one prefix of our own, whose value changes between the runs, serves all three, and the
# prefix of whoever called us is left alone. The tests check that they ran at the DPI set here.
# Needs an X display; without DISPLAY one is started (DOCKVANE_E2E_DISPLAYS, FIRST-LAST).
set -euo pipefail
exe=$(readlink -f "$1")
shift
dpis=("$@")
[ ${#dpis[@]} -gt 0 ] || dpis=(96 144 192)
here=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    WINEPREFIX="$work/prefix" wineserver -k 2>/dev/null || true
    WINEPREFIX="$work/prefix" wineserver -w 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    source "$here/scripts/xvfb.sh"
    range=${DOCKVANE_E2E_DISPLAYS:-140-179}
    start_xvfb "${range%-*}" "${range#*-}" 1280x1024x24
fi

export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot --init >/dev/null 2>&1

failed=()
for dpi in "${dpis[@]}"; do
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
        /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    echo "== $dpi DPI"
    if ! DOCKVANE_EXPECTED_DPI=$dpi wine "$exe" --gtest_filter='WinTextFit.*' --gtest_brief=1; then
        failed+=("$dpi")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "captions cut at ${failed[*]} DPI" >&2
    exit 1
fi
echo "every caption fits at ${dpis[*]} DPI"
