#!/usr/bin/env bash
# Where the time from launch to the whole picture on the screen goes: the real program
# is started RUNS times (5 unless set) with --verbose on a virtual X server (when there
# is no display), each time with a fresh settings folder, on a 24-megapixel camera JPEG
# (made for the run) or on PICTURE. The program's "timeline <ms> ms: <milestone>" lines
# give the milliseconds since its process started; the script prints the median of
# each milestone, in the order of the first run, and the resident memory once the
# sharp frame is on the screen. Then the same with an empty folder, whose memory is
# taken a second after its first frame. Ends with one line:
#   sharp_ms=... rss_picture_mb=... rss_empty_mb=...
#   bench/startup_timeline.sh RELEASE-BUILD-FOLDER [PICTURE]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/common.sh
source "$root/bench/common.sh"
[ $# -ge 1 ] && [ $# -le 2 ] || {
    echo "usage: bench/startup_timeline.sh RELEASE-BUILD-FOLDER [PICTURE]" >&2
    exit 2
}
build=$(cd "$1" && pwd)
runs=${RUNS:-5}

if [ -z "${STARTUP_TIMELINE_DISPLAY:-}" ] && [ -z "${DISPLAY:-}" ]; then
    STARTUP_TIMELINE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi

benchBuild startup_timeline.sh "$build" ruvello ruvello-makesamples
viewer=$build/src/app/ruvello
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/empty" "$work/pictures"
if [ $# -eq 2 ]; then
    picture=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
else
    picture=$work/pictures/photo.jpg
    "$build/tools/makesamples/ruvello-makesamples" --photo 6000 4000 1 "$picture" \
        --thumbnail >/dev/null
fi
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# oneRun LOG LAST-MILESTONE SETTLE-S ARGS...: one start, its standard error in LOG, until
# LAST-MILESTONE is printed (at most 60 s); the resident memory SETTLE-S seconds later is
# appended as "rss_kb <n>".
oneRun()
{
    local log=$1 last=$2 settle=$3
    shift 3
    rm -rf "$work/config" "$work/data"
    : >"$log"
    # Settings and kept lists of their own: nothing of another run asks a question.
    XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=xcb \
        "$viewer" --verbose "$@" 2>"$log" >/dev/null &
    local pid=$! deadline=$((SECONDS + 60))
    until grep -q ": $last\$" "$log"; do
        if [ "$SECONDS" -ge "$deadline" ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "startup_timeline.sh: no \"$last\" within 60 s; the program said:" >&2
            cat "$log" >&2
            kill "$pid" 2>/dev/null || true
            exit 1
        fi
        sleep 0.01
    done
    sleep "$settle"
    echo "rss_kb $(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")" >>"$log"
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null || true
}

# report NAME LOG...: the median of each milestone over the logs, and of the memory.
report()
{
    local name=$1
    shift
    echo "$name: medians of ${#} runs (ms since the process started)"
    awk '
        /^timeline [0-9.]+ ms: / {
            ms = $2; sub(/^timeline [0-9.]+ ms: /, "")
            if (!($0 in seen)) { seen[$0] = 1; order[++n] = $0 }
            values[$0] = values[$0] " " ms
        }
        END { for (i = 1; i <= n; ++i) print order[i] "\t" values[order[i]] }
    ' "$@" | while IFS=$'\t' read -r milestone values; do
        printf '%8.1f  %s\n' "$(tr ' ' '\n' <<<"$values" | sed '/^$/d' | medianOfLines)" "$milestone"
    done
    printf '%8.0f  MB resident\n' "$(cat "$@" | awk '/^rss_kb / { print $2 / 1024 }' | medianOfLines)"
}

pictureLogs=() emptyLogs=()
for ((r = 0; r < runs; r++)); do
    oneRun "$work/picture$r.log" "sharp frame on the screen" 0 "$picture"
    pictureLogs+=("$work/picture$r.log")
done
for ((r = 0; r < runs; r++)); do
    oneRun "$work/empty$r.log" "first frame on the screen" 1 "$work/empty"
    emptyLogs+=("$work/empty$r.log")
done
report "$(basename "$picture")" "${pictureLogs[@]}" | tee "$work/picture.report"
echo
report "an empty folder" "${emptyLogs[@]}" | tee "$work/empty.report"
sharp=$(awk '/  sharp frame on the screen$/ { print $1 }' "$work/picture.report")
rssPicture=$(awk '/MB resident$/ { print $1 }' "$work/picture.report")
rssEmpty=$(awk '/MB resident$/ { print $1 }' "$work/empty.report")
echo
echo "sharp_ms=$sharp rss_picture_mb=$rssPicture rss_empty_mb=$rssEmpty"
