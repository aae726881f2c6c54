#!/usr/bin/env bash
# Times the picture list's first sort by Date of a folder of 5000 camera-like JPEGs
# (made once by make_exif_files.sh and kept), every date read from the Exif data, warm
# cache, against ruvello-probe over the same files as a whole command. The sort is timed
# inside model_sort_bench (listing the folder and the program's start are left out); the
# probe as a whole command, start included. Median of several runs each.
#   sort_vs_probe.sh [BUILD-DIR]   a Release build folder with RUVELLO_BENCH=ON (default: build)
#   sort_vs_probe.sh --clean       removes the files (about 21 GB)
# RUVELLO_SORT_BENCH_FILES chooses the folder of the files (default: a folder under /tmp).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=common.sh
source "$root/bench/common.sh"
files=${RUVELLO_SORT_BENCH_FILES:-${TMPDIR:-/tmp}/ruvello-sort-bench}
count=5000
runs=7
target=1.5

if [ "${1:-}" = "--clean" ]; then
    rm -rf "$files"
    echo "removed $files"
    exit 0
fi
build=${1:-$root/build}
benchBuild sort_vs_probe.sh "$build" ruvello-probe model_sort_bench
probe=$build/src/probe/ruvello-probe
bench=$build/bench/model_sort_bench

benchFiles sort_vs_probe.sh "$files" "$count"

# Warm the page cache with what both read: the first blocks of every file (the whole
# files would not all stay in memory).
for file in "${list[@]}"; do
    head -c 262144 "$file" >/dev/null
done
"$probe" "${list[@]}" >/dev/null

# Both must have read every capture date: the list's first and last rows after the sort
# hold the earliest and the latest date that the probe reads.
IFS=$'\t' read -r rows _ first last < <("$bench" "$files")
dates=$("$probe" "${list[@]}" | cut -f2 | LC_ALL=C sort)
expectedFirst=$(head -1 <<<"$dates")
expectedLast=$(tail -1 <<<"$dates")
if [ "$rows" != "$count" ] || [ "$first" != "$expectedFirst" ] || [ "$last" != "$expectedLast" ]; then
    echo "sort_vs_probe.sh: the list has $rows rows from $first to $last;" \
        "the probe reads $count files from $expectedFirst to $expectedLast" >&2
    exit 1
fi


# Prints the median of the sort times that RUNS runs of model_sort_bench report.
medianSort()
{
    local runs=$1
    for ((r = 0; r < runs; r++)); do
        "$bench" "$files" | cut -f2
    done | sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

echo "median of $runs runs:"
sortTime=$(medianSort "$runs")
printf '  %-56s %8.3f s\n' "first sort by Date (inside model_sort_bench)" "$sortTime"
benchTime=$(median "$runs" "$bench" "$files")
printf '  %-56s %8.3f s\n' "model_sort_bench, whole command (start, listing, sort)" "$benchTime"
probeTime=$(median "$runs" "$probe" "${list[@]}")
printf '  %-56s %8.3f s\n' "ruvello-probe over the files, whole command" "$probeTime"

awk -v s="$sortTime" -v p="$probeTime" -v t="$target" 'BEGIN {
    printf "the sort takes %.2f times as long as the probe (target at most %.1f)\n", s / p, t
    exit (s / p <= t) ? 0 : 3
}'
