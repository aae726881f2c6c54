#!/usr/bin/env bash
# Times reading the capture date of 2000 camera-like JPEGs (3-8 MB, made once by
# make_exif_files.sh and kept) as whole commands: ruvello-probe against exiv2 and
# exiftool, each over all files in one command, the median of several runs.
#   exif_vs_tools.sh [BUILD-DIR]   a Release build folder (default: build)
#   exif_vs_tools.sh --clean       removes the files (about 8.5 GB)
# RUVELLO_BENCH_FILES chooses the folder of the files (default: a folder under /tmp).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
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
[ -f "$build/CMakeCache.txt" ] || {
    echo "exif_vs_tools.sh: $build is no build folder; configure one with" >&2
    echo "  cmake -S $root -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release" >&2
    exit 1
}
buildType=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
if [ "$buildType" != "Release" ] || grep -q '^RUVELLO_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "exif_vs_tools.sh: WARNING: $build is a '$buildType' build (sanitizers?); the figures need Release" >&2
fi
cmake --build "$build" --target ruvello-probe >/dev/null
probe=$build/src/probe/ruvello-probe
for tool in exiv2 exiftool; do
    command -v "$tool" >/dev/null || {
        echo "exif_vs_tools.sh: $tool is missing" >&2
        exit 1
    }
done

if [ ! -f "$files/complete" ]; then
    echo "Making $count files in $files (once; remove them with --clean)..."
fi
"$root/bench/make_exif_files.sh" "$files" "$count"
mapfile -t list < <(find "$files" -maxdepth 1 -name 'img*.jpg' | sort)
[ "${#list[@]}" = "$count" ] || {
    echo "exif_vs_tools.sh: expected $count files in $files, found ${#list[@]}" >&2
    exit 1
}
echo "$count files, $(du -sh "$files" | cut -f1) in $files"

# Every command must read the dates that the files carry.
expected=$(exiftool -fast2 -T -DateTimeOriginal "${list[0]}" "${list[count - 1]}")
got=$("$probe" "${list[0]}" "${list[count - 1]}" | cut -f2)
[ "$got" = "$expected" ] || {
    printf 'exif_vs_tools.sh: ruvello-probe read\n%s\nbut the files hold\n%s\n' "$got" "$expected" >&2
    exit 1
}

# Warm the page cache, so that all commands read from memory.
cat "${list[@]}" >/dev/null

# Prints the median wall time in seconds of RUNS runs of the command.
median()
{
    local runs=$1
    shift
    local times=()
    for ((r = 0; r < runs; r++)); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s.%N)
        times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

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
