#!/usr/bin/env bash
# Converting a 12-megapixel stereo MPO into an anaglyph JPEG: `ruvello-anaglyph` against
# what no converter can avoid, `djpeg` of both pictures plus `cjpeg` of a picture of the
# same size, all timed as whole commands (medians of several runs). Also the anaglyph
# pass alone (after decoding, before encoding, as the converter's --time-pass reports
# it) against decoding the two pictures on one core.
# Targets: over_baseline <= 1.3 and pass_over_decode <= 0.5.
#   bench/anaglyph_export.sh BUILD-DIR
# BUILD-DIR: a Release build configured with -DRUVELLO_BENCH=ON.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/common.sh
. "$root/bench/common.sh"
build=$(cd "${1:?usage: bench/anaglyph_export.sh BUILD-DIR}" && pwd)
runs=${RUNS:-9}
width=4000 height=3000

for tool in cjpeg djpeg; do
    command -v "$tool" >/dev/null || { echo "anaglyph_export.sh: $tool is missing" >&2; exit 1; }
done
benchBuild anaglyph_export.sh "$build" ruvello-anaglyph stereo_mpo
converter=$build/src/anaglyph/ruvello-anaglyph

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# No calibration of the user's may change the work: an empty working directory and
# configuration folder.
export XDG_CONFIG_HOME=$work/config
cd "$work"
"$build/bench/stereo_mpo" "$width" "$height" "$work/stereo.mpo"
djpeg -outfile "$work/left.ppm" "$work/stereo-left.jpg"
echo "stereo pair: $width x $height each, $(stat -c %s "$work/stereo.mpo") bytes"

"$converter" --time-pass --overwrite -o "$work/out.jpg" "$work/stereo.mpo" 2>"$work/check.txt" || {
    cat "$work/check.txt" >&2
    exit 1
}

: >"$work/convert.ms"
: >"$work/decode.ms"
: >"$work/encode.ms"
: >"$work/pass.ms"
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$converter" --time-pass --overwrite -o "$work/out.jpg" "$work/stereo.mpo" 2>"$work/times.txt" >/dev/null
    end=$(date +%s%N)
    echo $(((end - start) / 1000000)) >>"$work/convert.ms"
    sed -n 's/.*pass_ms=\([0-9.]*\).*/\1/p' "$work/times.txt" >>"$work/pass.ms"
    left=$(elapsedUs djpeg -outfile /dev/null "$work/stereo-left.jpg")
    right=$(elapsedUs djpeg -outfile /dev/null "$work/stereo-right.jpg")
    echo $(((left + right) / 1000)) >>"$work/decode.ms"
    echo $(($(elapsedUs cjpeg -quality 90 -outfile "$work/ref.jpg" "$work/left.ppm") / 1000)) >>"$work/encode.ms"
done

convert=$(medianOfLines <"$work/convert.ms")
decode=$(medianOfLines <"$work/decode.ms")
encode=$(medianOfLines <"$work/encode.ms")
pass=$(medianOfLines <"$work/pass.ms")
awk -v n="$runs" -v c="$convert" -v d="$decode" -v e="$encode" -v p="$pass" 'BEGIN {
    printf "medians of %d runs: ruvello-anaglyph %d ms; djpeg of both pictures %d ms, cjpeg %d ms\n", n, c, d, e
    printf "targets: over_baseline <= 1.30, pass_over_decode <= 0.50\n"
    printf "convert_ms=%d baseline_ms=%d over_baseline=%.2f pass_ms=%.1f decode_ms=%d pass_over_decode=%.2f\n",
        c, d + e, c / (d + e), p, d, p / d
}'
