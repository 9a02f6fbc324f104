#!/usr/bin/env bash
# No program that Dockvane.msi installs or carries can be put into the simulation mode: none of them
# holds the name of the simulation's variable, in ASCII or in UTF-16 (cmake/check_no_simulation.cmake).
# Checks every file of the package's cabinet (msiextract) and every program of its Binary table (the
# custom action's library), so that a test program packed by mistake fails here, whatever its name.
#   package_has_no_simulation.sh Dockvane.msi
set -euo pipefail
package=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/files" "$work/binaries"
msiextract -C "$work/files" "$package" >/dev/null
for stream in $(msiinfo streams "$package" | grep '^Binary\.' || true); do
    msiinfo extract "$package" "$stream" >"$work/binaries/$stream"
done

checked=0 failed=0
while IFS= read -r -d '' file; do
    if cmake -DEXE="$file" -P "$here/../../cmake/check_no_simulation.cmake" >/dev/null 2>"$work/error.txt"; then
        echo "ok: ${file#"$work"/} carries no DOCKVANE_SIMULATION"
    else
        echo "FAILED: ${file#"$work"/}: $(cat "$work/error.txt")"
        failed=1
    fi
    checked=$((checked + 1))
done < <(find "$work/files" "$work/binaries" -type f -print0)
# A package that could not be read must not pass for a clean one.
if [ "$checked" -eq 0 ]; then
    echo "FAILED: no file found in $package"
    exit 1
fi
exit $failed
