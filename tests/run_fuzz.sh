#!/usr/bin/env bash
# Runs one libFuzzer target for a while and fails on any crash, leak or sanitizer report.
#   run_fuzz.sh FUZZ-BINARY SECONDS exif|jpeg|png|view|csv|calib|ui|icc|exifcopy|stereolayout
# Picture targets are seeded from the real-world files when RUVELLO_TEST_CORPUS is set;
# the list, calibration, view-parameter and colour-profile targets from the files under
# fuzz/seeds/.
set -u
binary=$(realpath "$1")
seconds=$2
kind=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/new"

seeds=()
case $kind in
    csv | calib | ui | icc) seeds=("$source_dir/fuzz/seeds/$kind") ;;
    *)
        if [ -n "${RUVELLO_TEST_CORPUS:-}" ]; then
            case $kind in
                png) seeds=("$RUVELLO_TEST_CORPUS/png" "$RUVELLO_TEST_CORPUS/broken") ;;
                view)
                    seeds=("$RUVELLO_TEST_CORPUS/mpo" "$RUVELLO_TEST_CORPUS/exif"
                        "$RUVELLO_TEST_CORPUS/png" "$RUVELLO_TEST_CORPUS/broken")
                    ;;
                *) seeds=("$RUVELLO_TEST_CORPUS/exif" "$RUVELLO_TEST_CORPUS/mpo" "$RUVELLO_TEST_CORPUS/broken") ;;
            esac
        else
            echo "RUVELLO_TEST_CORPUS is not set: fuzzing without seeds"
        fi
        ;;
esac
# Seed folders hold subfolders; libFuzzer reads one level, so gather the files.
mkdir "$work/seeds"
for dir in "${seeds[@]}"; do
    find "$dir" -type f -size -4M | while read -r file; do
        cp "$file" "$work/seeds/$(echo "$file" | md5sum | cut -c1-16)"
    done
done

cd "$work" || exit 1
# Targets that read files write each input to a scratch file here.
export TMPDIR=$work
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1
# The readers echo and warn on standard error for every input; libFuzzer's own report
# and the sanitizers' still reach the log (-close_fd_mask=2).
"$binary" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=2048 -timeout=20 \
    -close_fd_mask=2 -print_final_stats=1 "$work/new" "$work/seeds" 2>"$work/log"
status=$?
tail -n 25 "$work/log"
exit $status
