#!/usr/bin/env bash
# The longest time Ruvello's window does not answer (pingstall: a _NET_WM_PING every
# 10 ms, answered from the event loop) while a person pages through 24-megapixel
# pictures (Page Down every 300 ms), exports the anaglyph of a 2 x 24-megapixel MPO
# (File > Export Anaglyph..., Return on the proposed name), turns a JPEG (Ctrl+R), sorts
# a 50 000-row folder by Date while it fills (a click on the header), and while the
# program lists that folder from the start. Each case starts the release build's program
# afresh with a throw-away home, on one virtual screen; the files are made for the run
# and removed after it. Each case runs three times (ROUNDS=n for another count); prints
# the median and each run's figure, target 50 ms each, and ends with one line of medians:
#   paging_ms=... export_ms=... turn_ms=... sort_ms=... listing_ms=...
#   bench/pingstall.sh RELEASE-BUILD-FOLDER
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
[ $# -eq 1 ] || {
    echo "usage: bench/pingstall.sh RELEASE-BUILD-FOLDER (configured with -DRUVELLO_BENCH=ON)" >&2
    exit 2
}
build=$(cd "$1" && pwd)
rounds=${ROUNDS:-3}
for tool in Xvfb xdotool exiftool tesseract gcc dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "pingstall.sh: $tool is missing" >&2; exit 1; }
done
/usr/bin/python3 -c 'import PIL.ImageGrab' 2>/dev/null ||
    { echo "pingstall.sh: Pillow is missing from /usr/bin/python3 (Debian: python3-pil)" >&2; exit 1; }

benchBuild pingstall.sh "$build" ruvello ruvello-makesamples
makesamples=$build/tools/makesamples/ruvello-makesamples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -O2 -o "$work/pingstall" "$root/bench/pingstall.c" -lX11
mkdir "$work/pictures"
echo "Making 12 pictures of 6000 x 4000 and an MPO of two in $work..."
/usr/bin/python3 -B "$root/bench/peers_pictures.py" "$makesamples" "$work/pictures" 12

# A session bus as on a desktop; the chatter of its daemon and the services it starts
# goes, the measurement's own output stays.
dbus-run-session -- sh -c 'exec /usr/bin/python3 -B "$@" >&3 2>&4' sh "$root/bench/peers_stall.py" \
    "$build/src/app/ruvello" "$work/pingstall" "$makesamples" "$work" "$rounds" 3>&1 4>&2 >/dev/null 2>&1
