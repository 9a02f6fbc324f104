#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# each fuzz target for SECONDS (default 60) on a copy of its seed corpus, then prints executions,
# speed, coverage and corpus size per target. Exits non-zero when a target found a crash; the input
# that caused it is kept in build/fuzz/work/TARGET/.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: ini_file share_settings logs ping share_name
#                                             pnp_event pipe_message
#   FUZZ_PARALLEL=2 scripts/fuzz.sh 600       two targets at a time
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
parallel=${FUZZ_PARALLEL:-1}

# clang 14 and its runtime libraries (libFuzzer, the sanitizers) from Debian, and the JSON library
# that the pipe's messages are read with.
missing=()
for package in clang-14 libclang-rt-14-dev cmake make nlohmann-json3-dev; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
command -v clang++ >/dev/null || { echo "clang++ is missing (Debian package clang)" >&2; exit 1; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=("$@")
if ((${#targets[@]} == 0)); then
    for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
fi

# The targets go through real files: on tmpfs, where flushing them to the medium costs nothing.
scratch_base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_base=/dev/shm
scratch=$(mktemp -d "$scratch_base/dockvane-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run_target() {
    local target=$1
    local work=build/fuzz/work/$target
    rm -rf "$work"
    mkdir -p "$work/corpus" "$scratch/$target"
    cp fuzz/corpus/"$target"/* "$work/corpus/"
    DOCKVANE_FUZZ_TMP="$scratch/$target" nice build/fuzz/fuzz/fuzz_"$target" \
        -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 -timeout=30 \
        -artifact_prefix="$work/" "$work/corpus" >"$work/fuzz.log" 2>&1 || true
}

running=0
for target in "${targets[@]}"; do
    [ -x build/fuzz/fuzz/fuzz_"$target" ] || { echo "no fuzz target $target" >&2; exit 1; }
    echo "== fuzz_$target for ${seconds}s"
    run_target "$target" &
    running=$((running + 1))
    if ((running >= parallel)); then
        wait -n
        running=$((running - 1))
    fi
done
wait

status=0
printf '\n%-16s %12s %8s %7s %7s %8s  %s\n' target executions exec/s cov ft corpus found
for target in "${targets[@]}"; do
    work=build/fuzz/work/$target
    log=$work/fuzz.log
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
    cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
    corpus=$(find "$work/corpus" -type f | wc -l)
    artifacts=$(find "$work" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | tr '\n' ' ')
    if [ -n "$artifacts" ]; then
        status=1
        found="$artifacts(see $log)"
    else
        found="nothing"
    fi
    printf '%-16s %12s %8s %7s %7s %8s  %s\n' "$target" "${executions:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "$found"
done
exit $status
