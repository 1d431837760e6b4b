# What the GNOME and KDE sessions of the tests share: a directory of their own with a private home and
# runtime directory, a session bus and an empty system bus of their own, an unlocked keyring on that session
# bus, and stopping every process of the session by PID.
# Usage: source scripts/lib/desktop.sh (gnome.sh and kde.sh do).

source "$(dirname "${BASH_SOURCE[0]}")/keyring.sh"

# Enters the session's environment in the current shell: run it in a subshell.
# Usage: glint_desktop_enter DIR DESKTOP (GNOME or KDE)
glint_desktop_enter() {
    local dir=$1
    [ "$2" != KDE ] || export KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true
    export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    export XDG_STATE_HOME="$HOME/.local/state"
    export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=$2 XDG_SESSION_DESKTOP=${2,,}
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus_socket"
    export WAYLAND_DISPLAY=wayland-0
    unset DISPLAY GLINT_TEST_WAYLAND_DISPLAY SWAYSOCK
}

# The processes whose runtime directory is the session's: everything the session started, including the
# services its bus activated.
glint_desktop_pids() {
    local runtime=$1 entry pid
    for entry in /proc/[0-9]*; do
        pid=${entry#/proc/}
        [ "$pid" = "$$" ] || [ "$pid" = "$BASHPID" ] && continue
        { tr '\0' '\n' <"$entry/environ"; } 2>/dev/null | grep -qxF "XDG_RUNTIME_DIR=$runtime" && echo "$pid"
    done
}

# Starts the buses and the keyring of a session in DIR (created). Further variables are given to the session
# bus at its start, for the services it activates.
# Usage: glint_desktop_start_buses DIR DESKTOP [NAME=VALUE...]
glint_desktop_start_buses() {
    local dir=$1 desktop=$2
    shift 2
    mkdir -p "$dir/home"
    mkdir -p -m 700 "$dir/runtime"
    (
        glint_desktop_enter "$dir" "$desktop"
        mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME/applications" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
        [ $# -eq 0 ] || export "$@"
        # Without a system bus, GNOME Shell's login manager proxy throws at start.
        cat >"$dir/system-bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>${DBUS_SYSTEM_BUS_ADDRESS}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
CONF
        dbus-daemon --config-file="$dir/system-bus.conf" --nofork >/dev/null 2>&1 &
        dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork >/dev/null 2>&1 &
        local _
        for _ in $(seq 100); do
            dbus-send --session --dest=org.freedesktop.DBus / org.freedesktop.DBus.Peer.Ping 2>/dev/null &&
                dbus-send --system --dest=org.freedesktop.DBus / org.freedesktop.DBus.Peer.Ping 2>/dev/null && break
            sleep 0.05
        done
        glint_start_keyring
    )
}

# Waits until a name is owned on the session's bus. Usage: glint_desktop_wait_for_name DIR NAME [TENTHS]
glint_desktop_wait_for_name() {
    local _
    for _ in $(seq "${3:-200}"); do
        DBUS_SESSION_BUS_ADDRESS="unix:path=$1/runtime/bus" dbus-send --session --print-reply \
            --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "string:$2" 2>/dev/null |
            grep -q 'boolean true' && return 0
        sleep 0.1
    done
    return 1
}

# Whether a process still runs (a zombie whose parent left does not).
glint_desktop_alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [ "${stat:0:1}" != Z ]
}

# Stops every process of the session in DIR: politely, then for good after five seconds.
glint_desktop_stop() {
    local runtime="$1/runtime" pids pid _
    [ -d "$runtime" ] || return 0
    pids=$(glint_desktop_pids "$runtime")
    [ -n "$pids" ] || return 0
    for pid in $pids; do kill -TERM "$pid" 2>/dev/null || true; done
    for _ in $(seq 50); do
        pids=$(for pid in $pids; do glint_desktop_alive "$pid" && echo "$pid"; done)
        [ -n "$pids" ] || return 0
        sleep 0.1
    done
    for pid in $pids; do kill -KILL "$pid" 2>/dev/null || true; done
}
