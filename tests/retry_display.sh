#!/usr/bin/env bash
# Runs a test program on the virtual X server that the whole suite shares. That server,
# busy with many short-lived test processes, has refused a program's first connection now
# and then ("could not connect to display"), and the toolkit aborts on it before any test
# runs. Such a start is tried again, twice at most; every other outcome stands as it is.
err=$(mktemp)
trap 'rm -f "$err"' EXIT
for attempt in 1 2 3; do
    "$@" 2>"$err"
    status=$?
    if [ "$status" -ne 0 ] && [ "$attempt" -lt 3 ] &&
        grep -q 'could not connect to display' "$err"; then
        echo "retry_display.sh: the display refused the connection; starting again" >&2
        sleep 1
        continue
    fi
    cat "$err" >&2
    exit "$status"
done
