#!/usr/bin/env bash
# How ctest runs a Windows test program: under Wine. On a loaded machine a Wine start can, rarely, fail
# before the program runs at all: a failing exit code and not one byte of output. A test program
# prints before its first test, so only such a start is made once more; a program that ran keeps its
# result, whatever it is.
set -uo pipefail
output=$(mktemp)
trap 'rm -f "$output"' EXIT
for attempt in 1 2; do
    wine "$@" 2>&1 | tee "$output"
    code=${PIPESTATUS[0]}
    if [ "$code" -eq 0 ] || [ -s "$output" ] || [ "$attempt" -eq 2 ]; then
        exit "$code"
    fi
    echo "wine-test: Wine ended with code $code before the program printed anything; starting it once more" >&2
done
