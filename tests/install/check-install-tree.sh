#!/usr/bin/env bash
# Installs this build tree into a temporary prefix and checks it as a desktop would read it.
# Usage: check-install-tree.sh BUILD_DIR VERSION
source "$(dirname "$0")/check-common.sh"
prefix=$scratch

cmake --install "$build_dir" --prefix "$prefix" >/dev/null

share=$prefix/share
desktop=$share/applications/org.glint.Glint.desktop
metainfo=$share/metainfo/org.glint.Glint.metainfo.xml
for file in "$prefix/bin/glint" "$desktop" "$metainfo" "$share/icons/hicolor/scalable/apps/org.glint.Glint.svg" \
    "$share/man/man1/glint.1.gz"; do
    [ -f "$file" ] || fail "missing ${file#"$prefix"/}"
done

desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=glint annotate' "$desktop" || fail "no Annotate action running glint annotate"
# KWin finds the entry that declares its screenshot interface by the program's absolute path.
grep -qx "Exec=$prefix/bin/glint" "$desktop" || fail "the entry does not run $prefix/bin/glint"
grep -qx 'X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2' "$desktop" ||
    fail "the entry does not declare KWin's screenshot interface"
appstreamcli validate --no-net "$metainfo" >/dev/null || {
    appstreamcli validate --no-net "$metainfo" >&2
    fail "appstreamcli validate"
}

# A PNG's width and height are the big-endian words at bytes 16 and 20.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'; }
for size in 16 22 24 32 48 64 128 256; do
    icon=$share/icons/hicolor/${size}x${size}/apps/org.glint.Glint.png
    if [ ! -f "$icon" ]; then
        fail "missing icon ${size}x${size}"
    elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
        fail "icon ${size}x${size} is $(png_size "$icon")"
    fi
done

# man prints groff's warnings (a broken request, a line that does not fit) on standard error.
page=$(MANWIDTH=80 man --warnings -l "$share/man/man1/glint.1.gz" 2>"$prefix/man.err") || fail "man -l"
[ ! -s "$prefix/man.err" ] || fail "man -l warns: $(cat "$prefix/man.err")"
for section in SYNOPSIS ENVIRONMENT FILES GLINT_LOG_FILE 'glint annotate'; do
    grep -q "$section" <<<"$page" || fail "the manual page lacks $section"
done

# The program hands `glint annotate` over before it loads anything but the C library; the application
# module has Qt, and the sound server's and the encoder's libraries come with the voice module, loaded on
# first use. Each module must load with everything it needs.
needed=$(readelf -d "$prefix/bin/glint" | awk '/\(NEEDED\)/ { print $5 }')
grep -E '^\[(libQt|libpulse|libav)' <<<"$needed" && fail "glint itself needs Qt or the voice libraries"
for entry in glint-app:glint_application_main glint-voice:glint_voice_backend; do
    module=$(find "$prefix" -path "*/lib*/glint/${entry%%:*}.so")
    if [ -z "$module" ]; then
        fail "missing lib/glint/${entry%%:*}.so"
        continue
    fi
    unresolved=$(ldd -r "$module" 2>&1 | grep -e 'not found' -e 'undefined symbol' || true)
    [ -z "$unresolved" ] || fail "${entry%%:*}.so does not load: $unresolved"
    nm -D --defined-only "$module" | grep -w "${entry#*:}" >/dev/null || fail "${entry%%:*}.so lacks its entry point"
done
app_needed=$(readelf -d "$(find "$prefix" -path '*/lib*/glint/glint-app.so')" | awk '/\(NEEDED\)/ { print $5 }')
grep -E '^\[(libpulse|libav)' <<<"$app_needed" && fail "the application module needs the voice libraries"

printed=$("$prefix/bin/glint" --version) || fail "glint --version exits with $?"
[ "$printed" = "glint $version" ] || fail "glint --version printed '$printed'"

[ "$failures" -eq 0 ] && echo "The install tree is complete and valid."
exit "$failures"
