# shellcheck shell=bash
# Sourced by the scripts that run the real program: they call ownScreen first, then
# realProgramHome. The program's pid goes into $pid, which is killed on the way out.

# A display of its own (SIZE: WIDTHxHEIGHT), so that no other test's window can pass for
# the program's: the script runs itself again under a virtual X server. Call it as
# ownScreen SIZE "$0" "$@".
ownScreen() {
    local size=$1
    shift
    if [ -z "${RUVELLO_OWN_DISPLAY:-}" ]; then
        RUVELLO_OWN_DISPLAY=1 exec xvfb-run -a -s "-screen 0 ${size}x24" "$@"
    fi
}

# A working folder ($work) with the program's runtime, settings and data folders of its
# own, removed with the program at exit.
realProgramHome() {
    work=$(mktemp -d)
    pid=
    trap '[ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; rm -rf "$work"' EXIT
    export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    # Mesa unloads its driver before a sanitizer's leak check at exit (see
    # startup_window.sh).
    export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
}
