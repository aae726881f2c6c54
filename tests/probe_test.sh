#!/usr/bin/env bash
# ruvello-probe as a user runs it: real files made with the reference tools, one line
# per file, the exit status telling whether every file was read.
set -u
probe=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
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

# A 96 x 64 photo-like picture with Exif written by exiv2, and a 32 x 48 one for a
# right view.
python3 - <<'PY'
import struct
def ppm(name, w, h, seed):
    rows = bytearray()
    for y in range(h):
        for x in range(w):
            rows += bytes(((x * 5 + seed) % 256, (y * 3) % 256, (x + y + seed) % 256))
    open(name, "wb").write(b"P6\n%d %d\n255\n" % (w, h) + rows)
ppm("left.ppm", 96, 64, 0)
ppm("right.ppm", 32, 48, 90)
PY
cjpeg -quality 90 left.ppm >left.jpg && cjpeg -quality 90 right.ppm >right.jpg || exit 1
cp left.jpg photo.jpg
exiv2 -M "set Exif.Image.Make Ruvello Test" -M "set Exif.Image.Model Probe	One" \
    -M "set Exif.Image.Orientation 6" -M "set Exif.Photo.DateTimeOriginal 2021:07:04 10:11:12" \
    -M "set Exif.Image.DateTime 2022:01:01 00:00:00" mo photo.jpg || exit 1
cp photo.jpg "Größe 3D.jpg"
# Two pictures one after the other: the second is found after the first one's end.
cat left.jpg right.jpg >pair.mpo
cp "$here/../samples/ruvello-test-card.png" card.png

out=$("$probe" photo.jpg)
status=$?
expect "exif line" "$out" "photo.jpg	2021:07:04 10:11:12	6	-1	Ruvello Test	Probe\\tOne	0	0"
expect "exif status" "$status" 0

out=$("$probe" --decode "Größe 3D.jpg" pair.mpo card.png)
status=$?
expect "decoded lines" "$out" "Größe 3D.jpg	2021:07:04 10:11:12	6	-1	Ruvello Test	Probe\\tOne	0	0	96	64	3
pair.mpo	no Exif data	-2	-1	unknown	unknown	0	0	96	64	3	$(stat -c %s left.jpg)	32	48	3
card.png	no jpeg file	-2	-1	unknown	unknown	0	0	1200	800	3	8"
expect "decode status" "$status" 0

out=$("$probe" photo.jpg missing.jpg 2>/dev/null)
status=$?
expect "missing file line" "$(echo "$out" | tail -n 1)" "missing.jpg	could not open file	-1	-1	unknown	unknown	0	0"
expect "missing file status" "$status" 1

head -c 300 photo.jpg >cut.jpg
"$probe" --decode cut.jpg >/dev/null 2>&1
expect "undecodable status" "$?" 1

"$probe" >/dev/null 2>&1
expect "no argument status" "$?" 2

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "ruvello-probe: all checks passed"
