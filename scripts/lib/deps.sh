# Installs the Debian packages the project needs, quickly when they are all present already.
# Usage: source scripts/lib/deps.sh; glint_install_deps build|run|test|bench|package

glint_build_packages=(
    cmake ninja-build g++ pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-qpa-plugins libgl-dev
    libsecret-1-dev libwebp-dev libpng-dev libx11-dev libxcb1-dev libxext-dev libxi-dev libxtst-dev
    libpulse-dev libavcodec-dev libavformat-dev libavutil-dev libwayland-dev wayland-protocols qt6-wayland
    libgtest-dev libbenchmark-dev fonts-dejavu-core librsvg2-bin
)
glint_run_packages=(xvfb openbox x11-utils)
glint_test_packages=(
    xvfb openbox x11-xserver-utils x11-utils xdotool xterm dbus dbus-x11 gnome-keyring libsecret-tools
    clang libclang-rt-14-dev openssl trayer pulseaudio pulseaudio-utils espeak-ng
    desktop-file-utils appstream man-db lintian sway grim wtype
    gnome-settings-daemon-common
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
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
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
