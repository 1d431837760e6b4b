# Starts a private Xvfb on a free display number (Xvfb picks it) and openbox on it.
# Usage: source scripts/lib/xvfb.sh; glint_start_display 3840x1080; ...; glint_stop_display
# Sets DISPLAY; remembers the processes it started so glint_stop_display stops exactly those.

glint_display_pids=()

glint_start_display() {
    local size=$1
    local numberfile
    numberfile=$(mktemp)
    Xvfb -displayfd 5 -screen 0 "${size}x24" +extension RANDR -nolisten tcp -noreset \
        5>"$numberfile" 2>/dev/null &
    glint_display_pids+=($!)
    local _
    for _ in $(seq 100); do
        [ -s "$numberfile" ] && break
        sleep 0.05
    done
    if [ ! -s "$numberfile" ]; then
        echo "Xvfb did not start" >&2
        rm -f "$numberfile"
        return 1
    fi
    export DISPLAY=":$(head -n1 "$numberfile")"
    rm -f "$numberfile"
    openbox --sm-disable >/dev/null 2>&1 &
    glint_display_pids+=($!)
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
        sleep 0.05
    done
}

glint_stop_display() {
    local pid
    for pid in "${glint_display_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${glint_display_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    glint_display_pids=()
}
