#!/usr/bin/env bash
# Decoding a 24-megapixel camera-like JPEG: `ruvello-probe --decode FILE` against
# `djpeg -outfile /dev/null FILE`, both timed as whole commands, several runs each.
# Prints the medians and their ratio probe/djpeg (target: at most 1.10).
#   bench/decode_vs_djpeg.sh [RELEASE-BUILD-FOLDER]      (default: build)
# The folder must hold a Release build of the probe:
#   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build --target ruvello-probe
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/common.sh
. "$root/bench/common.sh"
build=${1:-$root/build}
runs=${RUNS:-11}
probe=$build/src/probe/ruvello-probe

if [ ! -x "$probe" ]; then
    echo "decode_vs_djpeg.sh: no $probe; build the probe (Release) first" >&2
    exit 1
fi
if ! grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$build/CMakeCache.txt" 2>/dev/null; then
    echo "decode_vs_djpeg.sh: warning: $build is not a Release build" >&2
fi
for tool in cc cjpeg djpeg; do
    command -v "$tool" >/dev/null || { echo "decode_vs_djpeg.sh: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A photo-like picture: smooth gradients and soft blobs of colour with fine noise, so
# that it compresses at quality 90 about as a camera picture does (a few MB).
cat >"$work/photo.c" <<'EOF'
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
int main(int argc, char** argv)
{
    const int w = atoi(argv[1]), h = atoi(argv[2]);
    unsigned char* row = malloc((size_t)w * 3);
    unsigned int noise = 2463534242u;
    printf("P6\n%d %d\n255\n", w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double u = (double)x / w, v = (double)y / h;
            const double blob = 40 * sin(9 * u + 3 * sin(7 * v)) * cos(6 * v + 2 * u);
            for (int c = 0; c < 3; ++c) {
                noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
                const double value = 60 + 90 * v + 50 * u * (c + 1) / 3 + blob * (1 - 0.3 * c) +
                                     (double)(noise % 17) - 8;
                row[x * 3 + c] = value < 0 ? 0 : value > 255 ? 255 : (unsigned char)value;
            }
        }
        fwrite(row, 3, (size_t)w, stdout);
    }
    free(row);
    return 0;
}
EOF
cc -O2 -o "$work/photo" "$work/photo.c" -lm
"$work/photo" 6000 4000 >"$work/photo.ppm"
cjpeg -quality 90 -outfile "$work/photo.jpg" "$work/photo.ppm"
rm "$work/photo.ppm"
echo "picture: 6000 x 4000, $(stat -c %s "$work/photo.jpg") bytes"

"$probe" --decode "$work/photo.jpg" | grep -q '6000	4000	3' || {
    echo "decode_vs_djpeg.sh: the probe did not decode the picture:" >&2
    "$probe" --decode "$work/photo.jpg" >&2
    exit 1
}

# One warm-up each (page cache, dynamic loader), then alternating runs.
elapsedUs "$probe" --decode "$work/photo.jpg" >/dev/null
elapsedUs djpeg -outfile /dev/null "$work/photo.jpg" >/dev/null
: >"$work/probe.times"
: >"$work/djpeg.times"
for _ in $(seq "$runs"); do
    elapsedUs "$probe" --decode "$work/photo.jpg" >>"$work/probe.times"
    elapsedUs djpeg -outfile /dev/null "$work/photo.jpg" >>"$work/djpeg.times"
done
probe_us=$(medianOfLines <"$work/probe.times")
djpeg_us=$(medianOfLines <"$work/djpeg.times")
awk -v p="$probe_us" -v d="$djpeg_us" -v n="$runs" 'BEGIN {
    printf "median of %d runs: ruvello-probe --decode %.1f ms, djpeg %.1f ms\n", n, p / 1000, d / 1000
    printf "ratio probe/djpeg: %.3f (target <= 1.10)\n", p / d
}'
