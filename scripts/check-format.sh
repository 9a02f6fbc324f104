#!/usr/bin/env bash
# Fails, naming each file, when a C++ source of the project differs from what .clang-format describes.
# `scripts/check-format.sh --fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."

# The version the project formats with: a newer clang-format lays some lines out differently.
formatter=clang-format-14
command -v "$formatter" >/dev/null || { echo "check-format: $formatter is not installed" >&2; exit 2; }

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
    "$formatter" -i --style=file "${files[@]}"
    exit 0
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! "$formatter" --dry-run -Werror --style=file "${files[@]}" 2>"$report"; then
    grep -o '^[^:]*:[0-9]*:[0-9]*: error' "$report" | cut -d: -f1 | sort -u | sed 's/^/unformatted: /' >&2
    echo "check-format: run scripts/check-format.sh --fix" >&2
    exit 1
fi
