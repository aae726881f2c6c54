#!/usr/bin/env bash
# Times reading the capture date of 2000 camera-like JPEGs (3-8 MB, made once by
# make_exif_files.sh and kept) as whole commands: ruvello-probe against exiv2 and
# exiftool, each over all files in one command, the median of several runs.
#   exif_vs_tools.sh [BUILD-DIR]   a Release build folder (default: build)
#   exif_vs_tools.sh --clean       removes the files (about 8.5 GB)
# RUVELLO_BENCH_FILES chooses the folder of the files (default: a folder under /tmp).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=common.sh
source "$root/bench/common.sh"
files=${RUVELLO_BENCH_FILES:-${TMPDIR:-/tmp}/ruvello-exif-bench}
count=2000
runs=5
slowRuns=3

if [ "${1:-}" = "--clean" ]; then
    rm -rf "$files"
    echo "removed $files"
    exit 0
fi
build=${1:-$root/build}
benchBuild exif_vs_tools.sh "$build" ruvello-probe
probe=$build/src/probe/ruvello-probe
for tool in exiv2 exiftool; do
    command -v "$tool" >/dev/null || {
        echo "exif_vs_tools.sh: $tool is missing" >&2
        exit 1
    }
done

benchFiles exif_vs_tools.sh "$files" "$count"

# Every command must read the dates that the files carry.
expected=$(exiftool -fast2 -T -DateTimeOriginal "${list[0]}" "${list[count - 1]}")
got=$("$probe" "${list[0]}" "${list[count - 1]}" | cut -f2)
[ "$got" = "$expected" ] || {
    printf 'exif_vs_tools.sh: ruvello-probe read\n%s\nbut the files hold\n%s\n' "$got" "$expected" >&2
    exit 1
}

# Warm the page cache, so that all commands read from memory.
cat "${list[@]}" >/dev/null


echo "median of $runs runs ($slowRuns for exiftool), whole commands over all files:"
probeTime=$(median "$runs" "$probe" "${list[@]}")
printf '  %-40s %8.3f s\n' "ruvello-probe" "$probeTime"
exiv2Time=$(median "$runs" exiv2 -g Exif.Photo.DateTimeOriginal "${list[@]}")
printf '  %-40s %8.3f s\n' "exiv2 -g Exif.Photo.DateTimeOriginal" "$exiv2Time"
exiftoolTime=$(median "$slowRuns" exiftool -fast2 -DateTimeOriginal "${list[@]}")
printf '  %-40s %8.3f s\n' "exiftool -fast2 -DateTimeOriginal" "$exiftoolTime"

awk -v p="$probeTime" -v e="$exiv2Time" -v t="$exiftoolTime" 'BEGIN {
    printf "ruvello-probe is %.1fx faster than exiv2 (target 3x) and %.1fx faster than exiftool (target 50x)\n",
        e / p, t / p
}'
