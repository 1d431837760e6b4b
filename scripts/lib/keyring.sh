# Starts an unlocked gnome-keyring on the current session bus, with its login keyring in $HOME.
# Usage: source scripts/lib/keyring.sh; glint_start_keyring; ...; glint_stop_keyring

glint_keyring_pid=

glint_start_keyring() {
    # An empty password makes the daemon ask a prompter, which a headless session does not have.
    printf 'glint-test' | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
    glint_keyring_pid=$!
    local _
    for _ in $(seq 100); do
        [ -f "$HOME/.local/share/keyrings/login.keyring" ] &&
            dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
                string:org.freedesktop.secrets 2>/dev/null | grep -q 'boolean true' && return 0
        sleep 0.05
    done
    echo "gnome-keyring did not start" >&2
    return 1
}

glint_stop_keyring() {
    [ -n "$glint_keyring_pid" ] || return 0
    kill "$glint_keyring_pid" 2>/dev/null || true
    wait "$glint_keyring_pid" 2>/dev/null || true
    glint_keyring_pid=
}
