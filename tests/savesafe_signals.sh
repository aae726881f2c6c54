#!/usr/bin/env bash
# The real program with unsaved changes in its list, and the signals that end programs:
# SIGINT brings up the question, and neither another SIGINT nor SIGHUP (a closed
# terminal) ends the program without an answer. The third SIGTERM ends it with status 0,
# keeping the list in the recovery file; the next start offers that list back, unsaved.
# Usage: savesafe_signals.sh RUVELLO PICTURE
set -u
binary=$1
picture=$2
# shellcheck source=tests/realprogram.sh
source "$(dirname "${BASH_SOURCE[0]}")/realprogram.sh"
ownScreen 1920x1080 "$0" "$@"
realProgramHome
kept=$XDG_DATA_HOME/Ruvello/Ruvello/recovery.csv

mkdir "$work/photos" "$work/more"
cp "$picture" "$work/photos/a.jpg"
cp "$picture" "$work/more/b.jpg"
list=$work/photos/list.csv
printf 'a.jpg,,2010:03:28 02:30:00,1,Alpha\n' >"$list"
cp "$list" "$work/list.before"
# The change as a list file holds it: the other folder's picture, with its folder.
row='^"b\.jpg","[^"]*/more",'

fail() {
    echo "FAIL: $*"
    echo "--- windows ---"
    for window in $(xdotool search --onlyvisible --name '.'); do
        xdotool getwindowname "$window"
    done
    echo "--- standard error ---"
    cat "$work/err"
    exit 1
}
# within SECONDS COMMAND...: until the command succeeds, for at most that long.
within() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}
main_window() { xdotool search --onlyvisible --name '^Ruvello( |$)' 2>/dev/null | head -1; }
shown() { [ -n "$(main_window)" ]; }
title() { xdotool getwindowname "$(main_window)" 2>/dev/null; }
unsaved() { title | grep -q ' \*$'; }
box() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
asking() { [ -n "$(box "Unsaved changes")" ]; }
alive() { kill -0 "$pid" 2>/dev/null; }

start() {
    "$binary" "$@" >"$work/out" 2>"$work/err" &
    pid=$!
    # A sanitizer build on a busy machine can take many seconds to show its window.
    within 60 shown || fail "no window titled \"Ruvello\" within 60 s"
}
# press WINDOW KEYS...: keys through the X server into that window, as a person types
# them (without a window manager, the window takes the focus when told to).
press() {
    xdotool windowfocus --sync "$1"
    shift
    xdotool key "$@"
}
# The list takes in another folder's pictures, typed into the path field: a change.
change_the_list() {
    press "$(main_window)" Tab
    xdotool type "$work/more"
    xdotool key Return
    within 30 unsaved || fail "the list shows no change: title \"$(title)\""
}
# After a signal that must not end the program: a while later it still runs, with its
# window and the question.
still_asking() {
    sleep 2
    alive || fail "$1 ended the program"
    shown || fail "the window is gone after $1"
    asking || fail "the question is gone after $1"
}
ended() {
    local status=0
    wait "$pid" || status=$?
    pid=
    [ "$status" = 0 ] || fail "the program ended with status $status"
}

# SIGINT asks; a second SIGINT, SIGHUP and two SIGTERMs wait for the answer.
start "$list"
change_the_list
kill -INT "$pid"
within 30 asking || fail "SIGINT did not ask about the unsaved changes"
kill -INT "$pid"
still_asking "a second SIGINT"
kill -HUP "$pid"
still_asking "SIGHUP"
kill -TERM "$pid"
still_asking "the first SIGTERM"
kill -TERM "$pid"
still_asking "the second SIGTERM"
# A shutdown kills what still runs after SIGTERM: the list is kept already.
grep -q "$row" "$kept" 2>/dev/null || fail "SIGTERM did not keep the unsaved list in $kept"
kill -TERM "$pid"
within 30 eval '! alive' || fail "the third SIGTERM did not end the program"
ended
grep -q "$row" "$kept" || fail "the recovery file lacks the change"
cmp -s "$list" "$work/list.before" || fail "the list file was changed without the user's word"

# The next start offers the list back; Open shows it unsaved, with the change.
start
within 30 eval '[ -n "$(box "Unsaved picture list")" ]' || fail "the next start offered nothing"
press "$(box "Unsaved picture list")" Return
within 30 unsaved || fail "the recovered list does not show as unsaved: \"$(title)\""

# Ctrl+Q asks, and SIGHUP then (the terminal closed) does not end the program.
press "$(main_window)" ctrl+q
within 30 asking || fail "Ctrl+Q did not ask about the recovered list"
kill -HUP "$pid"
still_asking "SIGHUP after Ctrl+Q"
# Signals of one kind that come together count once: a moment apart they count three.
for _ in 1 2 3; do
    kill -TERM "$pid"
    sleep 0.5
done
within 30 eval '! alive' || fail "three SIGTERMs did not end the program"
ended
# Kept again, still saying which list it was.
grep -q "$row" "$kept" || fail "the recovered list was not kept again"
grep -q "^list=.*list.csv" "${kept%.csv}.txt" || fail "the recovery no longer names its list"
cmp -s "$list" "$work/list.before" || fail "the list file was changed without the user's word"
echo "SIGINT and SIGHUP wait for the answer; the third SIGTERM keeps the list; the next start offers it"
