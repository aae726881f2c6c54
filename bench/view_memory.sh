#!/usr/bin/env bash
# Resident memory of the program showing a bundled stereo sample as an anaglyph in its
# main window (target: under 250 MB), measured as the peak of the whole run of the
# screenshot tool, which starts the real window, loads both pictures, switches stereo
# on and draws. Ends with one line: max_rss_mb=...
#   bench/view_memory.sh RELEASE-BUILD-FOLDER
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: bench/view_memory.sh RELEASE-BUILD-FOLDER" >&2; exit 2; }
build=$(cd "$1" && pwd)
cmake --build "$build" --target ruvello-screenshot -j "$(nproc)" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
run=(python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("max_rss_mb=%.0f" % (resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024))'
    "$build/tools/screenshot/ruvello-screenshot" "$root/samples/3d-spheres.mpo" "$work/shot.png")
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config
if [ -z "${DISPLAY:-}" ]; then
    run=(xvfb-run -a -s "-screen 0 1920x1080x24" "${run[@]}")
fi
"${run[@]}"
