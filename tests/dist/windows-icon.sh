#!/bin/sh
# The Windows icon holds every size asked for, each entry of its directory
# naming its size (0 for 256) and pointing at a PNG image of that size.
#   windows-icon.sh RURU_RENDER_ICONS
set -eu
icon=$(mktemp)
trap 'rm -f "$icon"' EXIT
"$1" --ico "$icon" 16 32 48 256
at() { od -An -v -t"$1" -j"$2" -N"$3" "$icon" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//'; }
[ "$(at u2 0 6)" = "0 1 4" ] || { echo "not an icon of 4 images: $(at u2 0 6)" >&2; exit 1; }
i=0
for size in 16 32 48 256; do
    entry=$((6 + 16 * i))
    offset=$(at u4 $((entry + 12)) 4)
    side=$((size % 256))
    png_side=$(at u1 $((offset + 16)) 8 | awk '{ print $3 * 256 + $4 }')
    if [ "$(at u1 "$entry" 2)" != "$side $side" ] || [ "$(at x1 "$offset" 4)" != "89 50 4e 47" ] ||
        [ "$png_side" != "$size" ]; then
        echo "entry $i: not a $size-pixel PNG image" >&2
        exit 1
    fi
    i=$((i + 1))
done
