#!/usr/bin/env bash
# Every benchmark, by hand (none of them is a test): the log benchmark (Google Benchmark, bench
# preset), then, under Wine, the start-up of the face beside a minimal tray program with what wakes
# up when the face and the engine's service idle, and the arrival road of one and of eight drives in
# simulation mode, through the service and through the earlier tray program side by side.
#   scripts/bench.sh [log|startup|arrival ...]     (default: all three)
# The Wine benchmarks start an Xvfb display of their own when DISPLAY is not set, on the first free
# number of DOCKVANE_E2E_DISPLAYS (FIRST-LAST, 140-179 by default); each uses a fresh Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
which=("$@")
[ ${#which[@]} -gt 0 ] || which=(log startup arrival)
windows_built=""

for bench in "${which[@]}"; do
    case "$bench" in
        log)
            echo "== log benchmark (bench preset: Release, no sanitizers)"
            cmake --preset bench >/dev/null
            cmake --build --preset bench
            build/bench/bench/dockvane_bench
            ;;
        startup | arrival)
            if [ -z "$windows_built" ]; then
                echo "== windows build"
                cmake --preset windows >/dev/null
                cmake --build --preset windows
                windows_built=1
                ls -l build/windows/src/Dockvane.exe build/windows/src/Dockvane.exe.debug
            fi
            echo "== $bench benchmark (Wine)"
            python3 "bench/${bench}_bench.py" --build-dir build/windows
            ;;
        *)
            echo "unknown benchmark: $bench (log, startup, arrival)" >&2
            exit 1
            ;;
    esac
done
