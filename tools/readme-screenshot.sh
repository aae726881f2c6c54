#!/usr/bin/env bash
# Makes docs/screenshot.png, the README's picture of the main window: the bundled
# stereo sample as an anaglyph, on a virtual display.
#   tools/readme-screenshot.sh [BUILD-DIR]   (default build/, as ./ruvello.sh makes it)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target ruvello-screenshot -j "$(nproc)" >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A folder of a neutral name, so that the picture shows no folder of this machine.
pictures=/tmp/Stereo-Photos
rm -rf "$pictures"
mkdir -p "$pictures" "$work/runtime" "$work/config"
chmod 700 "$work/runtime"
cp "$root"/samples/* "$pictures/"
XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config ASAN_OPTIONS=detect_leaks=0 \
    xvfb-run -a -s "-screen 0 1280x900x24" \
    "$build/tools/screenshot/ruvello-screenshot" "$pictures/3d-spheres.mpo" \
    "$root/docs/screenshot.png" 1000 640
rm -rf "$pictures"
echo "wrote docs/screenshot.png"
