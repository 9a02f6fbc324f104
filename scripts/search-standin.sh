# Sourced by the scripts that run Dockvane under Wine (run.sh, tests/screenshots/take.sh): the
# stand-in search service (tests/standins/wsearch) registered as WSearch in $WINEPREFIX and running,
# as in the end-to-end runs, so that Dockvane has a real service to stop while a drive is shared and to
# start again once none is left (README: "The stand-in search service").
#
#   settle_fresh_prefix                 after `wineboot --init` made the prefix
#   start_search_standin BUILD_DIR      registers (or re-points) WSearch and starts it
#   search_service_state                RUNNING, STOPPED, START_PENDING, ... as `sc query` says

# The delays of the end-to-end runs (tests/e2e/e2e_support.py): the real service takes its time too.
SEARCH_STANDIN_START_DELAY_MS=1000
SEARCH_STANDIN_STOP_DELAY_MS=1500

# Making a prefix leaves two service control managers running, each with a list of services of its
# own, so that a service made through one is unknown to the other: the server is started once more,
# persistent (services run only while it does).
settle_fresh_prefix() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p
    wineboot >/dev/null 2>&1 || { echo "wineboot failed in $WINEPREFIX" >&2; return 1; }
}

# Nothing (and success) when WSearch is not registered: the callers run under set -e -o pipefail.
search_service_state() {
    local answer
    answer="$(wine sc query WSearch 2>/dev/null || true)"
    printf '%s\n' "$answer" | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p' | head -1
}

# Waits up to 30 s for the state; returns whether it came.
wait_for_search_service() {
    local _
    for _ in $(seq 60); do
        [ "$(search_service_state)" = "$1" ] && return 0
        sleep 0.5
    done
    return 1
}

# The prefix may outlive the build (run.sh keeps it between runs): WSearch may already be registered,
# by an earlier run or another checkout, and may run. It is stopped, its program replaced by the
# current build's and registered again with this command line, then started. Services run only while
# the Wine server does: the caller keeps it running (wineserver -p) until Dockvane has started.
start_search_standin() {
    local program="$1/tests/standins/wsearch/wsearch_standin.exe"
    local command="C:\\windows\\system32\\wsearch_standin.exe --start-delay-ms $SEARCH_STANDIN_START_DELAY_MS --stop-delay-ms $SEARCH_STANDIN_STOP_DELAY_MS"
    [ -f "$program" ] || { echo "the stand-in search service is missing: $program" >&2; return 1; }
    local state
    state="$(search_service_state)"
    if [ -n "$state" ] && [ "$state" != STOPPED ]; then
        wine sc stop WSearch >/dev/null 2>&1 || true
        wait_for_search_service STOPPED || { echo "WSearch did not stop ($(search_service_state))" >&2; return 1; }
    fi
    cp "$program" "$WINEPREFIX/drive_c/windows/system32/wsearch_standin.exe"
    # Wine's sc has no "config": a registration from before is deleted and made again.
    [ -z "$state" ] || wine sc delete WSearch >/dev/null 2>&1 || true
    wine sc create WSearch binPath= "$command" start= demand >/dev/null 2>&1 \
        || { echo "sc create WSearch failed" >&2; return 1; }
    wine sc start WSearch >/dev/null 2>&1 || true
    wait_for_search_service RUNNING || { echo "WSearch did not start ($(search_service_state))" >&2; return 1; }
}
