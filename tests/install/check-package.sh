#!/usr/bin/env bash
# Builds the Debian package from this build tree and checks its control fields, its files and lintian's
# verdict (no errors; the warnings are printed).
# Usage: check-package.sh BUILD_DIR VERSION
source "$(dirname "$0")/check-common.sh"
out=$scratch

cpack --config "$build_dir/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log" >&2
    exit 1
}
deb=$out/glint_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || {
    echo "FAIL: no $(basename "$deb"); made: $(ls "$out")" >&2
    exit 1
}

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = glint ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
for name in Maintainer Section Priority Description Installed-Size; do
    [ -n "$(field "$name")" ] || fail "no $name field"
done
# Computed by dpkg-shlibdeps from what the program and its modules link, with versions.
depends=$(field Depends)
for library in 'libqt6widgets6 (>=' 'libc6 (>=' 'libqt6dbus6 (>=' 'libsecret-1-0 (>=' 'libpulse0 (>=' 'libavcodec' \
    'libmd4c0 (>='; do
    grep -qF "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

files=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
outside=$(grep -v -e '^\./$' -e '^\./usr/' <<<"$files" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
for file in bin/glint share/applications/org.glint.Glint.desktop share/metainfo/org.glint.Glint.metainfo.xml \
    share/icons/hicolor/scalable/apps/org.glint.Glint.svg share/icons/hicolor/48x48/apps/org.glint.Glint.png \
    share/man/man1/glint.1.gz share/doc/glint/copyright share/doc/glint/changelog.gz; do
    grep -qx "\./usr/$file" <<<"$files" || fail "the package lacks /usr/$file"
done
for module in glint-app glint-voice; do
    grep -qx "\./usr/lib/\(.*/\)\?glint/$module\.so" <<<"$files" || fail "the package lacks $module.so"
done

lintian --tag-display-limit 0 "$deb" >"$out/lintian.log" 2>&1 || true
cat "$out/lintian.log"
if grep -q '^E: ' "$out/lintian.log"; then
    fail "lintian reports errors"
fi

[ "$failures" -eq 0 ] && echo "The package $(basename "$deb") is sound."
exit "$failures"
