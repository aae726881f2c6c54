#!/usr/bin/env bash
# Installs what is missing, builds Ruvello (Release, into build/) and starts it on the
# picture or folder given, or on the bundled sample pictures.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

"$root/tools/install-deps.sh" run

# Configuring again is quick and picks up new folders of the source tree.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" --target ruvello ruvello-probe ruvello-anaglyph -j "$(nproc)" >"$root/build/build.log" 2>&1 || {
    cat "$root/build/build.log"
    echo "ruvello.sh: the build failed (log above, also in build/build.log)" >&2
    exit 1
}

if [ $# -eq 0 ]; then
    set -- "$root/samples"
fi
exec "$root/build/src/app/ruvello" "$@"
