#!/usr/bin/env bash
# Starts the real program on a picture of one colour and watches the screen: from the
# moment the picture shows, the splash window is no longer mapped and the picture's
# top-right part and middle have the picture's colour (no splash, nothing blue over it).
# The --verbose timeline says the picture was requested before the folder tree and the
# list's dates and Exif data came in.
#   startup_splash.sh RUVELLO-BINARY
set -u
binary=$1
# shellcheck source=tests/realprogram.sh
source "$(dirname "${BASH_SOURCE[0]}")/realprogram.sh"
ownScreen 1280x800 "$0" "$@"
/usr/bin/python3 -c 'import PIL.ImageGrab' 2>/dev/null || {
    echo "SKIP: Pillow is missing in /usr/bin/python3 (Debian: python3-pil)"
    exit 77
}
realProgramHome
mkdir "$work/photos"
# Orange: far from the splash's dark blue and from any blue overlay.
/usr/bin/python3 -c 'import sys; from PIL import Image
Image.new("RGB", (2400, 1600), (240, 140, 20)).save(sys.argv[1], quality=95)' \
    "$work/photos/orange.jpg"

"$binary" --verbose "$work/photos/orange.jpg" >/dev/null 2>"$work/err" &
pid=$!

# Each grab: how much of the screen is orange, and the share of orange pixels in the
# top-right eighth and the middle of the orange area's bounding box.
cat >"$work/grab.py" <<'EOF'
from PIL import ImageGrab
im = ImageGrab.grab().convert("RGB")
orange = lambda p: 1 if (p[0] > 200 and 100 < p[1] < 180 and p[2] < 70) else 0
small = im.resize((im.width // 4, im.height // 4))
px = small.load()
rows = [sum(orange(px[x, y]) for x in range(small.width)) for y in range(small.height)]
cols = [sum(orange(px[x, y]) for y in range(small.height)) for x in range(small.width)]
if max(rows) < 20 or max(cols) < 20:
    print("none")
else:
    # The picture's rows and columns, not the few orange pixels of a tool bar icon.
    ys = [y for y, n in enumerate(rows) if n > max(rows) // 3]
    xs = [x for x, n in enumerate(cols) if n > max(cols) // 3]
    x0, x1, y0, y1 = xs[0], xs[-1], ys[0], ys[-1]
    def share(ax, ay, bx, by):
        cells = [(x, y) for y in range(ay, by) for x in range(ax, bx)]
        return sum(orange(px[c]) for c in cells) / max(len(cells), 1)
    w, h = x1 - x0, y1 - y0
    print("shown %.3f %.3f" % (share(x1 - w // 4, y0 + 1, x1, y0 + h // 4),
                               share(x0 + w // 3, y0 + h // 3, x1 - w // 3, y1 - h // 3)))
EOF

fail=0 seen=0 after=0
deadline=$((SECONDS + 90))
while [ "$SECONDS" -lt "$deadline" ] && [ "$after" -lt 10 ]; do
    kill -0 "$pid" 2>/dev/null || break
    splash=$(xdotool search --onlyvisible --name '^Ruvello: starting$' 2>/dev/null | head -1)
    read -r state corner middle < <(/usr/bin/python3 "$work/grab.py")
    [ "$state" = shown ] || continue
    seen=1
    after=$((after + 1))
    # The splash may have gone between the search and the grab, never come back.
    if [ -n "$splash" ] && [ -n "$(xdotool search --onlyvisible --name '^Ruvello: starting$' 2>/dev/null)" ]; then
        echo "FAIL: the splash window is mapped while the picture shows"
        fail=1
    fi
    if awk -v c="$corner" -v m="$middle" 'BEGIN { exit !(c < 0.97 || m < 0.97) }'; then
        echo "FAIL: the picture's top right ($corner) or middle ($middle) is not the picture's colour"
        fail=1
    fi
done
kill -TERM "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
if [ "$seen" != 1 ]; then
    echo "FAIL: the picture never showed"
    fail=1
fi

# The timeline: milliseconds since the process started, each milestone once.
at() { sed -n "s/^timeline \([0-9.]*\) ms: $1\$/\1/p" "$work/err" | head -1; }
requested=$(at 'first picture requested')
for later in 'folder tree: first folder listed' 'list: dates and Exif read' 'sharp frame on the screen'; do
    ms=$(at "$later")
    if [ -z "$requested" ] || [ -z "$ms" ] || awk -v a="$requested" -v b="$ms" 'BEGIN { exit !(a > b) }'; then
        echo "FAIL: \"first picture requested\" ($requested ms) is not before \"$later\" ($ms ms)"
        fail=1
    fi
done
if [ "$fail" != 0 ]; then
    echo "--- standard error ---"
    cat "$work/err"
    exit 1
fi
echo "the picture shows with no splash over it; requested before the tree and the list"
