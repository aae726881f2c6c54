#!/usr/bin/env bash
# How long a 24-megapixel camera picture takes to appear in the real GL view (an
# 800 x 600 window, on a virtual X server when there is no display): its Exif
# thumbnail as a preview (target: 50 ms), the picture itself, sharp at the size it is
# fitted to (it is decoded at that size), when nothing of it was read
# ahead, often while a read-ahead of another picture runs (target: 1.5 times a
# `djpeg -outfile /dev/null` of the same file, timed in the same run), the picture when
# it was read ahead (target: 40 ms, one frame of the window), the longest time the window
# stops answering meanwhile (target: 40 ms), and the resident memory after pictures 6
# and later against after picture 5 (target: 1.10). Then a burst, a picture every 40 ms
# as Page Down held down: the longest stall (target: 50 ms), the decodes it started
# against the pictures selected, and how long the last one took to show in full. Last,
# 1:1 (`z`) on the picture shown: the time until its own pixels are on the screen.
# Thirty different pictures are made for the run and removed after it. Ends with three
# lines of medians:
#   preview_ms=... full_ms=... djpeg_ms=... full_over_djpeg=... readahead_ms=... stall_ms=... rss_growth=...
#   detail_ms=...
#   burst_stall_ms=... burst_selections=... burst_decodes=... burst_settle_ms=...
#   bench/view_latency.sh RELEASE-BUILD-FOLDER
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
[ $# -eq 1 ] || {
    echo "usage: bench/view_latency.sh RELEASE-BUILD-FOLDER (configured with -DRUVELLO_BENCH=ON)" >&2
    exit 2
}
build=$(cd "$1" && pwd)
count=${COUNT:-30}
command -v djpeg >/dev/null || { echo "view_latency.sh: djpeg is missing" >&2; exit 1; }

benchBuild view_latency.sh "$build" view_latency ruvello-makesamples
makesamples=$build/tools/makesamples/ruvello-makesamples
viewer=$build/bench/view_latency

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Making $count pictures of 6000 x 4000 with Exif thumbnails in $work..."
files=()
for ((i = 1; i <= count; i++)); do
    file=$(printf '%s/photo%02d.jpg' "$work" "$i")
    "$makesamples" --photo 6000 4000 "$i" "$file" --thumbnail >/dev/null
    files+=("$file")
done

# djpeg on every picture once after a warm-up; the median stands for one decode.
djpeg -outfile /dev/null "${files[0]}"
: >"$work/djpeg.times"
for file in "${files[@]}"; do
    start=$(date +%s%N)
    djpeg -outfile /dev/null "$file"
    end=$(date +%s%N)
    echo $(((end - start) / 1000)) >>"$work/djpeg.times"
done
djpeg_ms=$(sort -n "$work/djpeg.times" |
    awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }')

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
run=("$viewer" "${files[@]}")
if [ -z "${DISPLAY:-}" ]; then
    run=(xvfb-run -a -s "-screen 0 1920x1080x24" "${run[@]}")
fi
QT_QPA_PLATFORM=xcb "${run[@]}" | tee "$work/view.log"
summary=$(grep '^preview_ms=' "$work/view.log") || {
    echo "view_latency.sh: the view printed no result" >&2
    exit 1
}
full_ms=$(sed -n 's/.*full_ms=\([0-9.]*\).*/\1/p' <<<"$summary")
ratio=$(awk -v f="$full_ms" -v d="$djpeg_ms" 'BEGIN { printf "%.2f", f / d }')
echo "targets: preview_ms <= 50, full_over_djpeg <= 1.5, readahead_ms <= 40, stall_ms <= 40," \
    "rss_growth <= 1.10, burst_stall_ms <= 50"
sed "s/ full_ms=[0-9.]*/& djpeg_ms=$djpeg_ms full_over_djpeg=$ratio/" <<<"$summary"
grep '^detail_ms=' "$work/view.log"
grep '^burst_stall_ms=' "$work/view.log"
