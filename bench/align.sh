#!/usr/bin/env bash
# Aligning a stereo pair of two 12-megapixel pictures against decoding them: a rendered
# stereo MPO (ruvello-makesamples --mpo), decoded and aligned in one program several
# times (medians); then, when RUVELLO_TEST_CORPUS names the test corpus, the same for a
# real camera's pair from it (CAMERA_PAIR, a path inside the corpus), whose pictures
# hold less detail and cost the alignment more. Target: align_over_decode <= 0.5 for
# each, the alignment costing at most half of decoding both pictures. Each pair ends
# with the line
#   align_ms=... decode_ms=... align_over_decode=...
#   bench/align.sh BUILD-DIR
# BUILD-DIR: a Release build configured with -DRUVELLO_BENCH=ON.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/common.sh
. "$root/bench/common.sh"
build=$(cd "${1:?usage: bench/align.sh BUILD-DIR}" && pwd)
runs=${RUNS:-9}
seed=${SEED:-7}
width=4000 height=3000

benchBuild align.sh "$build" align_bench ruvello-makesamples

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/makesamples/ruvello-makesamples" --mpo "$width" "$height" "$seed" "$work/stereo.mpo" >/dev/null
echo "stereo pair: $width x $height each, $(stat -c %s "$work/stereo.mpo") bytes; $runs runs"
echo "target: align_over_decode <= 0.5"
"$build/bench/align_bench" "$work/stereo.mpo" "$runs"

camera=${CAMERA_PAIR:-mpo/libmpo_fujifilm_w3.mpo}
if [ -n "${RUVELLO_TEST_CORPUS:-}" ]; then
    if [ -f "$RUVELLO_TEST_CORPUS/$camera" ]; then
        echo
        echo "camera pair: $camera, $(stat -c %s "$RUVELLO_TEST_CORPUS/$camera") bytes; $runs runs"
        "$build/bench/align_bench" "$RUVELLO_TEST_CORPUS/$camera" "$runs"
    else
        echo "no camera pair: $camera is not in the corpus at RUVELLO_TEST_CORPUS" >&2
        exit 1
    fi
else
    echo "camera pair left out: RUVELLO_TEST_CORPUS is not set"
fi
