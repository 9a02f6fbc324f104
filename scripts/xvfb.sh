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
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$display" ] && break
            sleep 0.1
        done
        if kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$display"
            return 0
        fi
        xvfb_pid=""
    done
    echo "no X display could be started" >&2
    exit 1
}
