#!/usr/bin/env bash
# ruvello-makesamples as a developer runs it, and the bundled samples it made, read
# back with the project's probe and the reference tools.
#   makesamples_test.sh MAKESAMPLES PROBE SAMPLES-FOLDER
set -u
tool=$1
probe=$2
samples=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

expect() {  # expect NAME ACTUAL EXPECTED
    if [ "$2" != "$3" ]; then
        printf 'FAIL %s\n  got:      %q\n  expected: %q\n' "$1" "$2" "$3"
        failures=$((failures + 1))
    fi
}

field() {  # field LINE N
    printf '%s\n' "$1" | cut -f "$2"
}

# The thumbnail at the offset that the probe reports decodes to the given size.
expect_thumbnail() {  # expect_thumbnail NAME FILE OFFSET SIZE
    local header
    header=$(tail -c +$(($3 + 1)) "$2" | djpeg 2>/dev/null | head -c 20 | head -n 2 | tr '\n' ' ')
    expect "$1" "$header" "P6 $4 "
}

# Photos: the same bytes for the same seed, other bytes for another seed.
"$tool" --photo 640 480 7 a.jpg --thumbnail >/dev/null &&
    "$tool" --photo 640 480 7 b.jpg --thumbnail >/dev/null &&
    "$tool" --photo 640 480 8 c.jpg >/dev/null
expect "photo status" "$?" 0
cmp -s a.jpg b.jpg
expect "same seed, same bytes" "$?" 0
cmp -s a.jpg c.jpg
expect "other seed, other bytes" "$?" 1

line=$("$probe" --decode a.jpg)
expect "photo line" "$(field "$line" 1-3),$(field "$line" 5-11)" \
    "a.jpg	2023:08:01 16:49:31	1,Ruvello	RT-1 Photo	640	480	640	480	3"
expect_thumbnail "photo thumbnail" a.jpg "$(field "$line" 4)" "160 120"
expect "photo without thumbnail" "$("$probe" c.jpg | cut -f 4)" "-1"

# A stereo pair: both views decode, the right one found through the MP index.
"$tool" --mpo 320 240 7 pair.mpo >/dev/null
expect "mpo status" "$?" 0
line=$("$probe" --decode pair.mpo)
expect "mpo line" "$(field "$line" 2-11),$(field "$line" 13-15)" \
    "2023:08:01 16:49:31	1	-1	Ruvello	RT-65 Stereo	320	240	320	240	3,320	240	3"
expect "mpo index" "$(exiftool -n -s -s -s -MPImageStart pair.mpo)" "$(field "$line" 12)"

"$tool" --photo 0 480 7 bad.jpg >/dev/null 2>&1
expect "bad size status" "$?" 2
"$tool" --mpo 32 24 >/dev/null 2>&1
expect "missing arguments status" "$?" 2

# The bundled samples: what the viewer and the Exif tools read of them.
for name in 3d-spheres.mpo 3d-arcade.mpo portrait.jpg; do
    file=$samples/$name
    size=$(stat -c %s "$file")
    [ "$size" -lt 1000000 ] || expect "$name size under 1 MB" "$size" "< 1000000"
    exiftool -validate -warning -a -s -s -s "$file" | head -n 1 >validate.txt
    expect "$name valid" "$(cat validate.txt)" "OK"
done
line=$("$probe" --decode "$samples/3d-spheres.mpo")
expect "spheres" "$(field "$line" 2-3),$(field "$line" 5-11),$(field "$line" 13-15)" \
    "2024:05:01 10:00:00	1,Ruvello	RT-65 Stereo	1600	1200	1600	1200	3,1600	1200	3"
expect_thumbnail "spheres thumbnail" "$samples/3d-spheres.mpo" "$(field "$line" 4)" "160 120"
expect "spheres index" "$(exiftool -n -s -s -s -MPImageStart "$samples/3d-spheres.mpo")" \
    "$(field "$line" 12)"
line=$("$probe" --decode "$samples/3d-arcade.mpo")
expect "arcade" "$(field "$line" 2-11),$(field "$line" 13-15)" \
    "2024:05:02 15:30:00	1	-1	Ruvello	RT-65 Stereo	1600	1200	1600	1200	3,1600	1200	3"
line=$("$probe" --decode "$samples/portrait.jpg")
expect "portrait" "$(field "$line" 2-3),$(field "$line" 5-11)" \
    "2024:05:03 18:45:00	6,Ruvello	RT-65 Stereo	1600	1200	1600	1200	3"
expect_thumbnail "portrait thumbnail" "$samples/portrait.jpg" "$(field "$line" 4)" "160 120"
expect "portrait orientation by exiv2" \
    "$(exiv2 -Pv -K Exif.Image.Orientation "$samples/portrait.jpg" 2>&1)" "6"

if [ "$failures" -ne 0 ]; then
    echo "$failures failed"
    exit 1
fi
echo "makesamples: all checks passed"
