# Starts a private headless GNOME Shell session: two 1920x1080 monitors side by side, its own buses, home and
# runtime directory, the desktop portal with GNOME's backend, and a user who once allowed screenshots.
# Usage: source scripts/lib/gnome.sh; glint_start_gnome DIR; ...; glint_stop_gnome
# Sets GLINT_TEST_GNOME_DISPLAY (the socket's full path), GLINT_TEST_GNOME_BUS (the session bus) and
# GLINT_TEST_GNOME_INPUT (a program taking the input commands of scripts/lib/gnome-input).

source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"

glint_gnome_dir=

glint_start_gnome() {
    local dir=$1
    command -v gnome-shell >/dev/null || { echo "gnome-shell is not installed" >&2; return 1; }
    glint_gnome_dir=$dir
    glint_desktop_start_buses "$dir" GNOME || { glint_stop_gnome; return 1; }
    (
        glint_desktop_enter "$dir" GNOME
        # The hot corner would open the overview whenever the input tool sends the pointer to the top left.
        gsettings set org.gnome.desktop.interface enable-hot-corners false
        gsettings set org.gnome.desktop.interface enable-animations false
        # What the user's "Allow" in the first screenshot's dialog stores for applications outside a sandbox.
        gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore \
            --object-path /org/freedesktop/impl/portal/PermissionStore \
            --method org.freedesktop.impl.portal.PermissionStore.SetPermission \
            screenshot true screenshot '' "['yes']" >/dev/null
        exec gnome-shell --headless --wayland --no-x11 --wayland-display="$WAYLAND_DISPLAY" \
            --virtual-monitor 1920x1080 --virtual-monitor 1920x1080
    ) >"$dir/gnome-shell.log" 2>&1 &
    local _
    for _ in $(seq 300); do
        grep -q 'GNOME Shell started' "$dir/gnome-shell.log" && [ -S "$dir/runtime/wayland-0" ] && break
        sleep 0.1
    done
    # The shell starts in the overview, where windows hide and keys go to the search.
    if ! grep -q 'GNOME Shell started' "$dir/gnome-shell.log" ||
        ! DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/runtime/bus" gdbus call --session --dest org.gnome.Shell \
            --object-path /org/gnome/Shell --method org.freedesktop.DBus.Properties.Set org.gnome.Shell \
            OverviewActive '<false>' >/dev/null; then
        echo "GNOME Shell did not start:" >&2
        cat "$dir/gnome-shell.log" >&2
        glint_stop_gnome
        return 1
    fi
    export GLINT_TEST_GNOME_DISPLAY="$dir/runtime/wayland-0" GLINT_TEST_GNOME_BUS="unix:path=$dir/runtime/bus"
    export GLINT_TEST_GNOME_INPUT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/gnome-input"
}

glint_stop_gnome() {
    [ -n "$glint_gnome_dir" ] || return 0
    glint_desktop_stop "$glint_gnome_dir"
    glint_gnome_dir=
}
