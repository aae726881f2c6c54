#!/usr/bin/env bash
# The desktop installation as a package would make it: installed into a scratch root,
# then checked with the freedesktop.org tools that desktops use themselves.
#   install_test.sh <build folder>
set -u
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0

fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

DESTDIR=$root cmake --install "$build" --prefix /usr >"$root/install.log" 2>&1 || {
    cat "$root/install.log"
    fail "cmake --install"
}
usr=$root/usr

for program in ruvello ruvello-probe ruvello-anaglyph; do
    [ -x "$usr/bin/$program" ] || fail "bin/$program is not installed as a program"
done

desktop=$usr/share/applications/ruvello.desktop
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    value() { sed -n "s/^$1=//p" "$desktop"; }
    [ "$(value Exec)" = "ruvello %f" ] || fail "Exec is '$(value Exec)'"
    [ "$(value Icon)" = ruvello ] || fail "Icon is '$(value Icon)'"
    for category in Graphics Viewer; do
        [[ ";$(value Categories)" == *";$category;"* ]] || fail "no category $category"
    done
    for type in image/jpeg image/png image/x-mpo; do
        [[ ";$(value MimeType)" == *";$type;"* ]] || fail "no MIME type $type"
    done
else
    fail "no desktop entry"
fi

mime=$usr/share/mime/packages/ruvello.xml
if [ -f "$mime" ]; then
    xmllint --noout "$mime" || fail "xmllint"
    # Built as a desktop builds it: *.mpo must come out as image/x-mpo, a kind of JPEG.
    XDG_DATA_DIRS=$usr/share update-mime-database "$usr/share/mime" || fail "update-mime-database"
    grep -qx '[0-9]*:image/x-mpo:\*\.mpo' "$usr/share/mime/globs2" ||
        fail "*.mpo is not image/x-mpo: $(cat "$usr/share/mime/globs2")"
    grep -qx 'image/x-mpo image/jpeg' "$usr/share/mime/subclasses" ||
        fail "image/x-mpo is no sub-class of image/jpeg"
else
    fail "no shared-mime-info file"
fi

# Width and height from the PNG header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d", (($1*256+$2)*256+$3)*256+$4, (($5*256+$6)*256+$7)*256+$8 }'
}
for size in 16 32 48 64 128 256; do
    icon=$usr/share/icons/hicolor/${size}x${size}/apps/ruvello.png
    if [ -f "$icon" ]; then
        [ "$(png_size "$icon")" = "${size}x${size}" ] ||
            fail "$icon is $(png_size "$icon")"
    else
        fail "no ${size}x${size} icon"
    fi
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "desktop installation: all checks passed"
