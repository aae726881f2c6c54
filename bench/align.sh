#!/usr/bin/env bash
# Aligning a stereo pair of two 12-megapixel pictures against decoding them: a rendered
# stereo MPO (ruvello-makesamples --mpo), decoded and aligned in one program several
# times (medians). Target: align_over_decode <= 0.5, the alignment costing at most half
# of decoding both pictures. Ends with the line
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
