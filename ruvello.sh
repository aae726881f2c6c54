#!/usr/bin/env bash
# Installs what is missing, builds Ruvello (Release, into build/) and starts it on the
# picture or folder given, or on the bundled sample pictures.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The build's "[ 42%]" lines as one progress figure: rewritten in place on a terminal,
# a line every tenth otherwise (a log keeps short).
show_progress() {
    local line percent shown=-1
    while IFS= read -r line; do
        [[ $line =~ ^\[\ *([0-9]+)%\] ]] || continue
        percent=$((10#${BASH_REMATCH[1]}))
        if [ -t 2 ]; then
            [ "$percent" -ne "$shown" ] && printf '\r  %3d %%' "$percent" >&2
            shown=$percent
        elif [ $((percent / 10)) -ne $((shown / 10)) ] || [ "$shown" -lt 0 ]; then
            printf '  %3d %%\n' "$percent" >&2
            shown=$percent
        fi
    done
    [ "$shown" -lt 0 ] || [ ! -t 2 ] || printf '\n' >&2
}

# Builds into $1 with the command "$2..." (cmake --build and its arguments). The first
# build takes minutes, so it says so and shows its progress; later starts, which rebuild
# little, stay quiet. The log is build.log in the build folder, shown whole on failure.
build_quietly() {
    local dir=$1
    shift
    local log="$dir/build.log"
    if [ -x "$dir/src/app/ruvello" ]; then
        "$@" >"$log" 2>&1 && return 0
    else
        echo "Building Ruvello (the first time takes a few minutes)…" >&2
        "$@" 2>&1 | tee "$log" | show_progress && return 0
    fi
    cat "$log"
    echo "ruvello.sh: the build failed (log above, also in $log)" >&2
    return 1
}

# Sourced (by a test), only the functions above are wanted.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

"$root/tools/install-deps.sh" run

# Configuring again is quick and picks up new folders of the source tree.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
build_quietly "$root/build" cmake --build "$root/build" \
    --target ruvello ruvello-probe ruvello-anaglyph -j "$(nproc)" || exit 1

if [ $# -eq 0 ]; then
    set -- "$root/samples"
fi
exec "$root/build/src/app/ruvello" "$@"
