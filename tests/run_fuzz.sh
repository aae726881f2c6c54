#!/usr/bin/env bash
# Runs one libFuzzer target for a while, seeded from the real-world files when
# RUVELLO_TEST_CORPUS is set. Fails on any crash, leak or sanitizer report.
#   run_fuzz.sh FUZZ-BINARY SECONDS exif|jpeg|png
set -u
binary=$(realpath "$1")
seconds=$2
kind=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/new"

seeds=()
if [ -n "${RUVELLO_TEST_CORPUS:-}" ]; then
    case $kind in
        png) seeds=("$RUVELLO_TEST_CORPUS/png" "$RUVELLO_TEST_CORPUS/broken") ;;
        *) seeds=("$RUVELLO_TEST_CORPUS/exif" "$RUVELLO_TEST_CORPUS/mpo" "$RUVELLO_TEST_CORPUS/broken") ;;
    esac
else
    echo "RUVELLO_TEST_CORPUS is not set: fuzzing without seeds"
fi
# Seed folders hold subfolders; libFuzzer reads one level, so gather the files.
mkdir "$work/seeds"
for dir in "${seeds[@]}"; do
    find "$dir" -type f -size -4M | while read -r file; do
        cp "$file" "$work/seeds/$(echo "$file" | md5sum | cut -c1-16)"
    done
done

cd "$work" || exit 1
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1
"$binary" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=2048 -timeout=20 \
    -print_final_stats=1 "$work/new" "$work/seeds" 2>"$work/log"
status=$?
tail -n 25 "$work/log"
exit $status
