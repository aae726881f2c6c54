#!/usr/bin/env bash
# Starts the real program on the current display and checks that a window titled
# "Ruvello" appears, that no ERROR line is printed, and that SIGTERM ends it cleanly.
set -u
binary=$1
# A display of its own, so that no other test's window can pass for the program's.
if [ -z "${RUVELLO_OWN_DISPLAY:-}" ]; then
    RUVELLO_OWN_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_RUNTIME_DIR=$work/runtime
export XDG_CONFIG_HOME=$work/config
mkdir -m 700 "$XDG_RUNTIME_DIR"
# Mesa unloads its driver before a sanitizer's leak check at exit, so that its own
# leaks cannot be told from ours here; the window tests check leaks in-process.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0

"$binary" >"$work/out" 2>"$work/err" &
pid=$!

found=0
# A sanitizer build on a busy machine can take many seconds to show its first window.
deadline=$((SECONDS + 60))
while [ "$SECONDS" -lt "$deadline" ]; do
    # The main window: titled "Ruvello" (or "Ruvello - ..." once a picture shows) and of
    # the program's window class.
    if xwininfo -root -tree 2>/dev/null | grep -Eq '"Ruvello( [^"]*)?": \("ruvello"'; then
        found=1
        break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done

kill -TERM "$pid" 2>/dev/null
status=0
wait "$pid" || status=$?

fail=0
if [ "$found" != 1 ]; then
    echo "FAIL: no window titled \"Ruvello\" appeared within 60 s"
    fail=1
fi
if grep -q 'ERROR' "$work/err"; then
    echo "FAIL: the program printed an ERROR line:"
    fail=1
fi
if [ "$status" != 0 ]; then
    echo "FAIL: the program ended with status $status after SIGTERM"
    fail=1
fi
if [ "$fail" != 0 ]; then
    echo "--- standard error ---"
    cat "$work/err"
    exit 1
fi
echo "window shown, no ERROR line, clean end on SIGTERM"
