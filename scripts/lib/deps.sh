# Installs the Debian packages the project needs, quickly when they are all present already; for the tests
# also what the KWin session needs beyond them (glint_prepare_kde).
# Usage: source scripts/lib/deps.sh; glint_install_deps build|run|test|bench|package

glint_build_packages=(
    cmake ninja-build g++ pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-base-private-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
    libsecret-1-dev libwebp-dev libmd4c-dev libpng-dev libx11-dev libxcb1-dev libxext-dev libxi-dev libxtst-dev
    libpulse-dev libavcodec-dev libavformat-dev libavutil-dev libwayland-dev wayland-protocols qt6-wayland
    libgtest-dev libbenchmark-dev fonts-dejavu-core librsvg2-bin
)
glint_run_packages=(xvfb openbox x11-utils)
glint_test_packages=(
    xvfb openbox x11-xserver-utils x11-utils xdotool xterm dbus dbus-x11 gnome-keyring libsecret-tools
    clang libclang-rt-14-dev openssl trayer pulseaudio pulseaudio-utils espeak-ng
    desktop-file-utils appstream man-db lintian sway grim wtype at-spi2-core python3-pyatspi
    gnome-shell mutter xdg-desktop-portal xdg-desktop-portal-gnome python3-gi gir1.2-glib-2.0
    gnome-settings-daemon-common
    kwin-wayland xdg-desktop-portal-kde qtwayland5 plasma-wayland-protocols qml-module-org-kde-kirigami2
    qml-module-qtquick-controls2 qml-module-qtquick-layouts qml-module-qtquick-window2 qml-module-qtgraphicaleffects
)
# dpkg-shlibdeps (dpkg-dev) computes the package's dependencies of the binaries that file(1) finds.
glint_package_packages=(dpkg-dev file)

glint_install_deps() {
    local wanted=("${glint_build_packages[@]}")
    case "${1:-build}" in
        run) wanted+=("${glint_run_packages[@]}") ;;
        test) wanted+=("${glint_test_packages[@]}" "${glint_package_packages[@]}") ;;
        package) wanted+=("${glint_package_packages[@]}") ;;
    esac
    local missing=()
    local pkg
    for pkg in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=()
        [ "$(id -u)" -eq 0 ] || sudo=(sudo)
        "${sudo[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    [ "${1:-build}" != test ] || glint_prepare_kde
}

# What kde.sh runs beyond the packages, kept in GLINT_KDE_CACHE.
export GLINT_KDE_CACHE=${GLINT_KDE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/glint-kde}
glint_prepare_kde() {
    mkdir -p "$GLINT_KDE_CACHE"
    # The installed kwin_wayland carries the file capability cap_sys_resource, which a container's bounding
    # set may lack, and then it cannot be run at all; a copy carries none.
    [ "$GLINT_KDE_CACHE/kwin_wayland" -nt /usr/bin/kwin_wayland ] || cp /usr/bin/kwin_wayland "$GLINT_KDE_CACHE/"
    # The KDE portal's screenshot dialog imports two QML modules of plasma-workspace, a package that would
    # bring systemd and udev along: only those are taken out of its archive.
    [ -d "$GLINT_KDE_CACHE/qml/org/kde/plasma/workspace" ] && return 0
    local unpacked
    unpacked=$(mktemp -d)
    chmod 755 "$unpacked" # apt fetches as its own user
    (cd "$unpacked" && apt-get download -qq plasma-workspace && dpkg -x plasma-workspace_*.deb tree) || {
        rm -rf "$unpacked"
        return 1
    }
    mkdir -p "$GLINT_KDE_CACHE/qml/org/kde/plasma"
    cp -a "$unpacked"/tree/usr/lib/*/qt5/qml/org/kde/plasma/{workspace,lookandfeel} "$GLINT_KDE_CACHE/qml/org/kde/plasma/"
    rm -rf "$unpacked"
}

# Configures (once) and builds a tree. Usage: glint_build DIR [cmake options...]
glint_build() {
    local dir=$1
    shift
    # Paths inside the tree are hashed relative to it, so a clone elsewhere (CI's) reuses the cache.
    export CCACHE_BASEDIR="$GLINT_ROOT" CCACHE_NOHASHDIR=1
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$GLINT_ROOT" -B "$dir" -G Ninja "$@"
    else
        cmake "$dir" "$@" >/dev/null
    fi
    cmake --build "$dir" -j2
}
