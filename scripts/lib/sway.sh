# Starts a private headless Wayland session: sway with two 1920x1080 outputs side by side, in its own
# runtime directory. Sway will not run as root, so as root it runs in a user namespace where root is an
# ordinary user.
# Usage: source scripts/lib/sway.sh; glint_start_wayland DIR; ...; glint_stop_wayland
# Sets GLINT_TEST_WAYLAND_DISPLAY (the socket's full path) and SWAYSOCK without touching WAYLAND_DISPLAY,
# so that the X11 tests stay on X11; the Wayland tests choose the session themselves.

glint_wayland_pid=

glint_start_wayland() {
    local dir=$1
    command -v sway >/dev/null || { echo "sway is not installed" >&2; return 1; }
    mkdir -p -m 700 "$dir"
    cat >"$dir/config" <<'CONFIG'
output HEADLESS-1 resolution 1920x1080 position 0 0
output HEADLESS-2 resolution 1920x1080 position 1920 0
xwayland disable
focus_follows_mouse no
CONFIG
    local namespace=()
    [ "$(id -u)" -eq 0 ] && namespace=(unshare --user --map-user=1000 --map-group=1000)
    env -u WAYLAND_DISPLAY -u DISPLAY XDG_RUNTIME_DIR="$dir" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 \
        WLR_HEADLESS_OUTPUTS=2 WLR_RENDERER=pixman "${namespace[@]}" sway -c "$dir/config" >"$dir/sway.log" 2>&1 &
    glint_wayland_pid=$!
    local _ socket display
    for _ in $(seq 100); do
        socket=$(find "$dir" -maxdepth 1 -type s -name "sway-ipc.*.sock" | head -n1)
        display=$(find "$dir" -maxdepth 1 -type s -name 'wayland-*' | head -n1)
        if [ -n "$socket" ] && [ -n "$display" ] && swaymsg -s "$socket" -t get_outputs 2>/dev/null |
            grep -q HEADLESS-2; then
            export GLINT_TEST_WAYLAND_DISPLAY="$display" SWAYSOCK="$socket"
            return 0
        fi
        sleep 0.05
    done
    echo "sway did not start:" >&2
    cat "$dir/sway.log" >&2
    glint_stop_wayland
    return 1
}

glint_stop_wayland() {
    [ -n "$glint_wayland_pid" ] || return 0
    kill "$glint_wayland_pid" 2>/dev/null || true
    wait "$glint_wayland_pid" 2>/dev/null || true
    glint_wayland_pid=
}
