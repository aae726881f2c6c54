#!/usr/bin/env bash
# Makes camera-like JPEG files for the Exif benchmarks: three large pictures of noise
# (about 3.5, 5 and 8 MB) made with cjpeg, each given an Exif block by exiftool (date,
# make, model, orientation, pixel dimensions, a 160x120 thumbnail), then COUNT copies,
# each with its own capture date written over the base picture's in place.
#   make_exif_files.sh FOLDER [COUNT]
# FOLDER gets the files img0000.jpg ... and a file "complete" when all are there; an
# existing complete folder is left as it is. Needs cjpeg and exiftool.
set -euo pipefail
folder=${1:?usage: make_exif_files.sh FOLDER [COUNT]}
count=${2:-2000}

if [ -f "$folder/complete" ] && [ "$(cat "$folder/complete")" = "$count" ]; then
    exit 0
fi
for tool in cjpeg exiftool; do
    command -v "$tool" >/dev/null || {
        echo "make_exif_files.sh: $tool is missing (Debian: libjpeg-turbo-progs, libimage-exiftool-perl)" >&2
        exit 1
    }
done
rm -rf "$folder"
mkdir -p "$folder/base"
base=$folder/base

# Noise of a chosen amplitude: folding the byte range halves it each time, and the
# JPEG size with it.
noise()
{
    local bytes=$1 folds=$2
    local stream="head -c $bytes /dev/urandom | tr '\\200-\\377' '\\000-\\177'"
    [ "$folds" -ge 2 ] && stream+=" | tr '\\100-\\177' '\\000-\\077'"
    [ "$folds" -ge 3 ] && stream+=" | tr '\\040-\\077' '\\000-\\037'"
    eval "$stream"
}

picture()
{
    local name=$1 width=$2 height=$3 folds=$4 quality=$5
    { printf 'P6\n%d %d\n255\n' "$width" "$height"; noise $((width * height * 3)) "$folds"; } \
        >"$base/$name.ppm"
    cjpeg -quality "$quality" "$base/$name.ppm" >"$base/$name.jpg"
    rm "$base/$name.ppm"
    # The placeholder capture date is unique in the file: the copies overwrite it.
    exiftool -q -overwrite_original "-ThumbnailImage<=$base/thumb.jpg" \
        -DateTimeOriginal="2000:01:01 00:00:00" -ModifyDate="2000:02:02 02:02:02" \
        -Make="Stereo Works" -Model="SW-3D Twin $name" -Orientation#=6 \
        -ExifImageWidth="$width" -ExifImageHeight="$height" "$base/$name.jpg"
    local offsets
    offsets=$(grep -obUa "2000:01:01 00:00:00" "$base/$name.jpg" | cut -d: -f1)
    [ "$(echo "$offsets" | wc -l)" = 1 ] || {
        echo "make_exif_files.sh: the capture date of $name is not unique" >&2
        exit 1
    }
    echo "$offsets" >"$base/$name.offset"
}

{ printf 'P6\n160 120\n255\n'; noise 57600 2; } >"$base/thumb.ppm"
cjpeg -quality 80 "$base/thumb.ppm" >"$base/thumb.jpg"
picture small 4000 3000 3 90
picture medium 4000 3000 1 75
picture large 4000 3000 1 90

# Seven in ten small, two medium, one large: about 4.2 MB a file on average.
for ((i = 0; i < count; i++)); do
    case $((i % 10)) in
        0) name=large ;;
        1 | 2) name=medium ;;
        *) name=small ;;
    esac
    file=$(printf '%s/img%04d.jpg' "$folder" "$i")
    cp "$base/$name.jpg" "$file"
    date=$(printf '2019:%02d:%02d %02d:%02d:%02d' $((i / 200 % 12 + 1)) $((i / 8 % 28 + 1)) \
        $((i % 24)) $((i * 7 % 60)) $((i * 13 % 60)))
    printf '%s' "$date" | dd of="$file" bs=1 seek="$(cat "$base/$name.offset")" conv=notrunc \
        status=none
done
rm -rf "$base"
echo "$count" >"$folder/complete"
