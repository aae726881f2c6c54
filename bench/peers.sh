#!/usr/bin/env bash
# Ruvello beside the picture viewers people use, on one virtual screen (1920 x 1080, no
# window manager: each viewer sizes its own window, the table says how): the time from
# starting a viewer on a 24-megapixel camera picture until the picture itself (not its
# preview) is on the screen, the time from its "next" key to the next picture when it
# could not read it ahead (pressed at once) and when it could (3 s later), and its
# resident memory showing one picture (with its child processes). Viewers: Ruvello (the
# release build's, with a throw-away home like every viewer) and whichever of qimgv,
# geeqie, gthumb, eog and feh are installed; --install installs the missing ones from
# Debian first. Five rounds, the viewers interleaved; prints the medians, Ruvello's
# ratio to the best peer in each column (target: at most 1.0) and a last line
#   ruvello_start_ms=... best_peer_start_ms=... start_ratio=... (next, ahead, rss too)
#   bench/peers.sh [--install] RELEASE-BUILD-FOLDER
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
usage="usage: bench/peers.sh [--install] RELEASE-BUILD-FOLDER (configured with -DRUVELLO_BENCH=ON)"
install=0
if [ "${1:-}" = --install ]; then
    install=1
    shift
fi
[ $# -eq 1 ] || { echo "$usage" >&2; exit 2; }
build=$(cd "$1" && pwd)
rounds=${ROUNDS:-5}

if [ $install = 1 ]; then
    missing=()
    for viewer in qimgv geeqie gthumb eog feh; do
        command -v "$viewer" >/dev/null || missing+=("$viewer")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        sudo=()
        [ "$(id -u)" = 0 ] || sudo=(sudo)
        echo "Installing: ${missing[*]}"
        "${sudo[@]}" apt-get update -qq
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
            --no-install-recommends "${missing[@]}" >/dev/null
    fi
fi
for tool in Xvfb xdotool exiftool gcc dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "peers.sh: $tool is missing" >&2; exit 1; }
done
/usr/bin/python3 -c 'import PIL.ImageGrab' 2>/dev/null ||
    { echo "peers.sh: Pillow is missing from /usr/bin/python3 (Debian: python3-pil)" >&2; exit 1; }

benchBuild peers.sh "$build" ruvello ruvello-makesamples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gcc -O2 -o "$work/peers_watch" "$root/bench/peers_watch.c" -lX11 -lXext
mkdir "$work/pictures"
echo "Making 6 pictures of 6000 x 4000 with Exif thumbnails in $work/pictures..."
/usr/bin/python3 -B "$root/bench/peers_pictures.py" "$build/tools/makesamples/ruvello-makesamples" \
    "$work/pictures" 6

# A session bus as on a desktop, so that no viewer waits for one; the chatter of its
# daemon and the services it starts goes, the measurement's own output stays.
dbus-run-session -- sh -c 'exec /usr/bin/python3 -B "$@" >&3 2>&4' sh "$root/bench/peers_measure.py" \
    "$build/src/app/ruvello" "$work/peers_watch" "$work/pictures" "$rounds" 3>&1 4>&2 >/dev/null 2>&1
