#!/usr/bin/env bash
# Runs the test suite inside the session scripts/test prepared: a private session bus (we run under
# dbus-run-session), a temporary HOME with an unlocked keyring, a sound server with a virtual microphone,
# a two-monitor virtual display and, beside it, three two-output headless Wayland sessions: Sway, GNOME Shell
# and KWin, the last two with buses of their own. The tests of each Wayland session run after the others, one
# session after the other.
# Usage: test-session.sh BUILD_DIR [ctest arguments...]
set -uo pipefail
GLINT_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
source "$GLINT_ROOT/scripts/lib/xvfb.sh"
source "$GLINT_ROOT/scripts/lib/keyring.sh"
source "$GLINT_ROOT/scripts/lib/pulse.sh"
source "$GLINT_ROOT/scripts/lib/sway.sh"
source "$GLINT_ROOT/scripts/lib/gnome.sh"
source "$GLINT_ROOT/scripts/lib/kde.sh"
build_dir=$1
shift

scratch=$(mktemp -d /tmp/glint-test.XXXXXX)
accessibility_bus=
cleanup() {
    [ -z "$accessibility_bus" ] || kill "$accessibility_bus" 2>/dev/null || true
    glint_stop_kde
    glint_stop_gnome
    glint_stop_wayland
    glint_stop_pulse
    glint_stop_keyring
    glint_stop_display
    rm -rf "$scratch"
}
trap cleanup EXIT

export HOME="$scratch/home"
export XDG_RUNTIME_DIR="$scratch/runtime"
export XDG_CONFIG_HOME="$HOME/.config"
export XDG_DATA_HOME="$HOME/.local/share"
export XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export GLINT_TEST_ENV=1
export GLINT_ARTIFACTS_DIR="${GLINT_ARTIFACTS_DIR:-$GLINT_ROOT/artifacts}"
mkdir -p "$GLINT_ARTIFACTS_DIR"

glint_start_keyring || exit 1
glint_start_pulse || exit 1
# The tests' bus activates nothing, so the accessibility bus a screen reader reads through runs from the start.
/usr/libexec/at-spi-bus-launcher --launch-immediately &
accessibility_bus=$!
# Two 1920x1080 monitors side by side on one 3840x1080 screen.
glint_start_display 3840x1080 || exit 1
xrandr --setmonitor GLINT-LEFT 1920/508x1080/286+0+0 screen >/dev/null
xrandr --setmonitor GLINT-RIGHT 1920/508x1080/286+1920+0 none >/dev/null

glint_start_wayland "$scratch/wayland" || exit 1
glint_start_gnome "$scratch/gnome" || exit 1
glint_start_kde "$scratch/kde" || exit 1
glint_kde_allow_screenshots "$build_dir/glint"

run_ctest() {
    ctest --test-dir "$build_dir" --output-on-failure -j2 --timeout 600 "$@"
}
# A caller's own label selection is taken as it is.
for argument in "$@"; do
    case $argument in -L | -LE | --label-regex | --label-exclude) run_ctest "$@"; exit ;; esac
done
status=0
run_ctest -LE '^(wayland|gnome|kde)$' "$@" || status=$?
for session in wayland gnome kde; do
    run_ctest -L "^$session\$" "$@" || status=$?
done
exit $status
