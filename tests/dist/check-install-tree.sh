#!/bin/sh
# Installs the build into a staging folder and checks the tree with the tools
# a desktop and a packager rely on.
#   check-install-tree.sh CMAKE BUILD_DIR APP_ID VERSION
set -eu
cmake=$1 build=$2 id=$3 version=$4
fail() { echo "install tree: $*" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >/dev/null
cd "$stage/usr/share"

desktop=applications/$id.desktop
desktop-file-validate "$desktop" || fail "$desktop is not valid"
appstreamcli validate-tree --no-net "$stage/usr" >/dev/null || fail "metainfo is not valid or has no desktop entry"
# The entry's and its actions' programs (an Exec line's first word).
for program in $(sed -n 's/^\(Try\)\{0,1\}Exec=\([^ ]*\).*/\2/p' "$desktop" | sort -u) perlo-sim; do
    [ -x "../bin/$program" ] || fail "no program bin/$program"
done

icon=$(sed -n 's/^Icon=//p' "$desktop")
for size in 16 32 48 64 128 256; do
    png=icons/hicolor/${size}x$size/apps/$icon.png
    file "$png" | grep -q "PNG image data, $size x $size," || fail "$png is not a $size-pixel PNG"
done
file "icons/hicolor/scalable/apps/$icon.svg" | grep -q "SVG Scalable Vector Graphics" || fail "no scalable icon"

grep -q "<release version=\"$version\"" "metainfo/$id.metainfo.xml" || fail "metainfo has no release $version"
zcat doc/ruruzidura/changelog.gz | head -n 1 | grep -q "^ruruzidura ($version)" || fail "changelog does not start at $version"
grep -q "/usr/share/common-licenses/GPL-3" doc/ruruzidura/copyright || fail "no copyright file"

for page in ruruzidura perlo-sim; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
               man --warnings -E UTF-8 -l -Tutf8 -Z "man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$page.1: $warnings"
done
