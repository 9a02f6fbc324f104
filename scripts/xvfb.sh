# Sourced by the scripts that run Wine: start_xvfb FIRST LAST GEOMETRY starts Xvfb on the first free
# display number in FIRST..LAST, exports DISPLAY and keeps the server's pid in xvfb_pid (the caller
# kills it when done). Exits the calling script when no display can be started.
xvfb_pid=""
start_xvfb() {
    local display
    for display in $(seq "$1" "$2"); do
        [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
        Xvfb ":$display" -screen 0 "$3" -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        # Another script may have started a server on the same number at the same moment: the display
        # is ours only when the lock names our server (the other one ends once it sees the lock, which
        # may be after the display's socket is there).
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$display" ] && [ "$(tr -d ' \n' <"/tmp/.X$display-lock" 2>/dev/null)" = "$xvfb_pid" ] && break
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$xvfb_pid" 2>/dev/null && [ "$(tr -d ' \n' <"/tmp/.X$display-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
            export DISPLAY=":$display"
            return 0
        fi
        kill "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=""
    done
    echo "no X display could be started" >&2
    exit 1
}
