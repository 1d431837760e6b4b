# Starts a private headless KWin session of KDE Plasma: two 1920x1080 outputs side by side, its own buses,
# home and runtime directory, and the desktop portal with KDE's backend.
# Usage: source scripts/lib/kde.sh; glint_start_kde DIR; ...; glint_stop_kde
# Needs what glint_prepare_kde (scripts/lib/deps.sh) keeps in GLINT_KDE_CACHE.
# Sets GLINT_TEST_KDE_DISPLAY (the socket's full path), GLINT_TEST_KDE_BUS (the session bus) and
# GLINT_TEST_KDE_INPUT (a program taking the input commands of scripts/lib/kwin-fake-input.c).

source "$(dirname "${BASH_SOURCE[0]}")/desktop.sh"

glint_kde_dir=

# Builds the input program into DIR and lets KWin offer it the fake input protocol.
glint_kde_input_tool() {
    local dir=$1 protocol=/usr/share/plasma-wayland-protocols/fake-input.xml
    wayland-scanner client-header "$protocol" "$dir/fake-input-client-protocol.h" &&
        wayland-scanner private-code "$protocol" "$dir/fake-input-protocol.c" &&
        cc -O1 -I"$dir" -o "$dir/kwin-fake-input" "$(dirname "${BASH_SOURCE[0]}")/kwin-fake-input.c" \
            "$dir/fake-input-protocol.c" -lwayland-client || return 1
    cat >"$dir/home/.local/share/applications/glint-test-input.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Glint test input
Exec=$dir/kwin-fake-input
NoDisplay=true
X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input
DESKTOP
}

glint_start_kde() {
    local dir=$1
    [ -x "$GLINT_KDE_CACHE/kwin_wayland" ] && [ -d "$GLINT_KDE_CACHE/qml" ] ||
        { echo "KWin is not prepared: run glint_prepare_kde of scripts/lib/deps.sh" >&2; return 1; }
    glint_kde_dir=$dir
    # The portal's backend is a Qt 5 program of its own; its screenshot dialog needs the QML modules.
    glint_desktop_start_buses "$dir" KDE QT_QPA_PLATFORM=wayland QML2_IMPORT_PATH="$GLINT_KDE_CACHE/qml" &&
        glint_kde_input_tool "$dir" || { glint_stop_kde; return 1; }
    # The portal's backend saves each screenshot there and fails when the folder is missing.
    mkdir -p "$dir/home/Pictures"
    (
        glint_desktop_enter "$dir" KDE
        exec "$GLINT_KDE_CACHE/kwin_wayland" --virtual --width 1920 --height 1080 --output-count 2 \
            --socket "$WAYLAND_DISPLAY" --no-lockscreen
    ) >"$dir/kwin.log" 2>&1 &
    local _
    for _ in $(seq 300); do
        [ -S "$dir/runtime/wayland-0" ] && glint_desktop_wait_for_name "$dir" org.kde.KWin 1 && break
        sleep 0.1
    done
    if ! glint_desktop_wait_for_name "$dir" org.kde.KWin 1; then
        echo "KWin did not start:" >&2
        cat "$dir/kwin.log" >&2
        glint_stop_kde
        return 1
    fi
    export GLINT_TEST_KDE_DISPLAY="$dir/runtime/wayland-0" GLINT_TEST_KDE_BUS="unix:path=$dir/runtime/bus"
    export GLINT_TEST_KDE_INPUT="$dir/kwin-fake-input"
}

# Lets PROGRAM take KWin's screenshots, as Glint's installed menu entry does: KWin shows the screen to the
# programs that such an entry names by their path.
# Usage: glint_kde_allow_screenshots PROGRAM
glint_kde_allow_screenshots() {
    local program
    program=$(readlink -f "$1")
    cat >"$glint_kde_dir/home/.local/share/applications/glint-test-$(basename "$program").desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=$(basename "$program") under test
Exec=$program
NoDisplay=true
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
DESKTOP
}

glint_stop_kde() {
    [ -n "$glint_kde_dir" ] || return 0
    glint_desktop_stop "$glint_kde_dir"
    glint_kde_dir=
}
