#!/usr/bin/env bash
# The real program on a small screen (1024 x 768), as a person uses it: a normal start on
# a picture, r pressed in the view and Help opened print nothing at all; Help fits the
# screen, also at device pixel ratio 2, and its end can be scrolled to and read (OCR);
# --verbose prints the filter table.
# Usage: quiet_window.sh RUVELLO PICTURE
set -u
binary=$1
picture=$2
# shellcheck source=tests/realprogram.sh
source "$(dirname "${BASH_SOURCE[0]}")/realprogram.sh"
ownScreen 1024x768 "$0" "$@"
screen_w=1024
screen_h=768
realProgramHome
failed=0

fail() {
    echo "FAIL: $*"
    failed=1
}
within() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}
main_window() { xdotool search --onlyvisible --name '^Ruvello( |$)' 2>/dev/null | head -1; }
help_window() { xdotool search --onlyvisible --name '^Ruvello Help$' 2>/dev/null | head -1; }
shown() { [ -n "$(main_window)" ]; }
help_shown() { [ -n "$(help_window)" ]; }
press() {
    xdotool windowfocus --sync "$1"
    shift
    xdotool key "$@"
}
start() {
    "$@" >"$work/out" 2>"$work/err" &
    pid=$!
    # A sanitizer build on a busy machine can take many seconds to show its window.
    within 60 shown || fail "no window titled \"Ruvello\" within 60 s"
    # The picture decodes and the pair aligns meanwhile.
    sleep 4
}
stop() {
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    pid=
}
# The words OCR reads in the window, lower-cased (screen text enlarged three times).
read_window() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    /usr/bin/python3 - "$X" "$Y" "$WIDTH" "$HEIGHT" "$work/shot.png" <<'EOF'
import os, sys
from PIL import ImageGrab
x, y, w, h = map(int, sys.argv[1:5])
shot = ImageGrab.grab(bbox=(x, y, x + w, y + h), xdisplay=os.environ["DISPLAY"])
shot.resize((w * 3, h * 3)).save(sys.argv[5])
EOF
    tesseract "$work/shot.png" stdout --psm 6 2>/dev/null | tr 'A-Z\n' 'a-z ' | tr -s ' '
}
# Help (F1) inside the screen, its contents list at the top and its last words readable
# once scrolled to the end (End).
check_help() {
    press "$(main_window)" F1
    within 30 help_shown || {
        fail "$1: F1 showed no window titled \"Ruvello Help\""
        return
    }
    local window
    window=$(help_window)
    eval "$(xdotool getwindowgeometry --shell "$window")"
    if [ "$X" -lt 0 ] || [ "$Y" -lt 0 ] || [ $((X + WIDTH)) -gt $screen_w ] ||
        [ $((Y + HEIGHT)) -gt $screen_h ]; then
        fail "$1: Help at ${WIDTH}x${HEIGHT}+$X+$Y does not fit the ${screen_w}x$screen_h screen"
    fi
    if [ -n "$ocr" ]; then
        sleep 1
        read_window "$window" >"$work/top"
        grep -q "contents" "$work/top" || fail "$1: no contents list at Help's top: $(cat "$work/top")"
        press "$window" End
        sleep 1
        read_window "$window" >"$work/end"
        grep -q "draw it wrongly or not at all" "$work/end" ||
            fail "$1: Help's last words unreadable after End: $(cat "$work/end")"
    fi
}

ocr=1
if ! command -v tesseract >/dev/null || ! /usr/bin/python3 -c 'import PIL.ImageGrab' 2>/dev/null; then
    echo "Help's text not read: tesseract or Pillow missing"
    ocr=
fi

# A normal start: nothing on either stream, with r (shaders reloaded) and Help.
start "$binary" "$picture"
press "$(main_window)" r
sleep 2
check_help "1024x768"
stop
if [ -s "$work/out" ] || [ -s "$work/err" ]; then
    fail "a normal start printed:"
    cat "$work/out" "$work/err"
fi

QT_SCALE_FACTOR=2 start "$binary" "$picture"
check_help "device pixel ratio 2"
stop

start "$binary" --verbose "$picture"
stop
grep -q "Filter Parameters" "$work/err" || fail "--verbose printed no filter table"

[ "$failed" = 0 ] || exit 1
echo "quiet start, Help fits and scrolls to its end, --verbose prints the filter table"
