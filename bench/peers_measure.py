#!/usr/bin/python3
"""Ruvello beside other picture viewers, as a person sees them on one virtual screen.

    peers_measure.py RUVELLO PEERS_WATCH FOLDER ROUNDS

FOLDER holds photo01.jpg... (24-megapixel, with Exif thumbnails). For each viewer, once:
start it on photo01, wait until the screen rests, page twice with its "next" key; the
three resting screens are what it shows of photo01..03 in full, and where the two first
differ is its picture area. Then ROUNDS rounds, the viewers interleaved, each started
afresh: the time from starting it to its picture area showing photo01 as it rests (a
preview does not pass), from a key pressed at once to photo02, resident memory 3 s later,
and from the next key to photo03, which it had those 3 s to read ahead. Prints the
medians, Ruvello's ratio to the best peer, and one line of figures.
"""
import io
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from PIL import Image, ImageChops

import peers_x as px

COLUMNS = (("start_ms", "start"), ("next_ms", "next, cold"), ("ahead_ms", "next, read ahead"),
           ("rss_mb", "RSS MB"))


def viewers(ruvello):
    """Name, command for a picture in a folder, "next" key, window name (None: by pid)."""
    every = [
        ("Ruvello", lambda picture, folder: [ruvello, picture], "Next", "^Ruvello( |$)"),
        ("qimgv", lambda picture, folder: ["qimgv", picture], "Right", None),
        ("geeqie", lambda picture, folder: ["geeqie", picture], "space", None),
        ("gthumb", lambda picture, folder: ["gthumb", picture], "Page_Down", None),
        ("eog", lambda picture, folder: ["eog", picture], "Right", None),
        # feh shows a large picture at 1:1 unless told to fit it in the window.
        ("feh", lambda picture, folder: ["feh", "--scale-down", "--start-at", picture, folder],
         "space", None),
    ]
    return [v for v in every if v[0] == "Ruvello" or shutil.which(v[0])]


def picture_area(first, second):
    """The box where two resting screens of different pictures differ: the picture."""
    red, green, blue = ImageChops.difference(first, second).split()
    changed = ImageChops.lighter(ImageChops.lighter(red, green), blue).point(
        lambda v: 255 if v > 8 else 0)
    width, height = changed.size
    columns = list(changed.resize((width, 1), Image.Resampling.BOX).getdata())
    rows = list(changed.resize((1, height), Image.Resampling.BOX).getdata())
    xs = [x for x, v in enumerate(columns) if v > max(columns) / 2]
    ys = [y for y, v in enumerate(rows) if v > max(rows) / 2]
    if not xs or not ys:
        return None
    return xs[0], ys[0], xs[-1] + 1, ys[-1] + 1


def thumbnail(path):
    data = subprocess.run(["exiftool", "-b", "-ThumbnailImage", path],
                          stdout=subprocess.PIPE, check=True).stdout
    return Image.open(io.BytesIO(data)).convert("RGB")


class Calibration:
    def __init__(self, name, work):
        self.name, self.work = name, work
        self.refs, self.notes = [], []


def calibrate(entry, pictures, folder, work):
    name, command, key, title = entry
    cal = Calibration(name, work)
    viewer = px.Viewer(command(pictures[0], folder))
    try:
        shots = [px.settle()]
        window = viewer.window(title)
        geometry = px.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in geometry.splitlines())
        cal.window = "%sx%s" % (values["WIDTH"], values["HEIGHT"])
        for _ in (1, 2):
            px.xdotool("windowfocus", window)
            px.xdotool("key", key)
            shots.append(px.settle())
    finally:
        viewer.close()
    box = picture_area(shots[0], shots[1])
    if box is None:
        raise RuntimeError("%s: the key %s did not show another picture" % (name, key))
    cal.picture = "%dx%d" % (box[2] - box[0], box[3] - box[1])
    inset = 4
    cal.rect = (box[0] + inset, box[1] + inset, box[2] - inset, box[3] - inset)
    cal.tolerance, cal.far = 1e9, 1.0
    for i, shot in enumerate(shots):
        crop = shot.crop(cal.rect)
        path = os.path.join(work, "%s-%d.rgb" % (name, i))
        with open(path, "wb") as out:
            out.write(crop.tobytes())
        cal.refs.append(path)
        # Half way would pass a preview; 0.4 of the way passes any scaling of the picture.
        mean, far = px.mean_difference(crop, px.blurred(crop))
        cal.tolerance = min(cal.tolerance, 0.4 * mean)
        cal.far = min(cal.far, max(0.01, 0.4 * far))
        # The resting screen against the picture and against its preview, both scaled to
        # the picture area: the first must be the nearer by far.
        size = (box[2] - box[0], box[3] - box[1])
        inner = (inset, inset, size[0] - inset, size[1] - inset)
        with Image.open(pictures[i]) as picture:
            sharp = picture.convert("RGB").resize(size, Image.Resampling.LANCZOS).crop(inner)
        preview = thumbnail(pictures[i]).resize(size, Image.Resampling.BILINEAR).crop(inner)
        to_sharp, to_preview = px.mean_difference(crop, sharp)[0], px.mean_difference(
            crop, preview)[0]
        cal.notes.append("%.1f/%.1f" % (to_sharp, to_preview))
        if to_sharp > to_preview / 2:
            print("%s: WARNING: picture %d at rest is no sharp %s (difference %.1f, to the "
                  "preview %.1f)" % (name, i + 1, os.path.basename(pictures[i]), to_sharp,
                                     to_preview), file=sys.stderr)
    return cal


class Watch:
    """peers_watch on one reference, started and ready to see it come."""

    def __init__(self, tool, cal, index, timeout_ms=30000):
        x0, y0, x1, y1 = cal.rect
        self.process = subprocess.Popen(
            [tool, cal.refs[index], str(x0), str(y0), str(x1 - x0), str(y1 - y0),
             str(timeout_ms), "%.3f" % cal.tolerance, "%.4f" % cal.far],
            stdout=subprocess.PIPE, text=True)
        if self.process.stdout.readline().strip() != "ready":
            raise RuntimeError("peers_watch did not start")

    def seen(self):
        """CLOCK_MONOTONIC seconds when the reference showed, or None."""
        words = self.process.stdout.readline().split()
        self.process.wait()
        return float(words[1]) if words and words[0] == "match" else None


def press(window, key, watch, patience=1.5, tries=5):
    """Presses the key; when within `patience` seconds neither the window's title changes
    nor the picture comes (a viewer still busy starting may drop the key), presses it
    again, as a person would. Returns the number of presses; watch.pressed is the time
    of the last."""
    title = px.xdotool("getwindowname", window, check=False)
    for attempt in range(1, tries + 1):
        watch.pressed = time.monotonic()
        px.xdotool("key", key)
        while time.monotonic() - watch.pressed < patience:
            if watch.process.poll() is not None or select.select(
                    [watch.process.stdout], [], [], 0)[0]:
                return attempt
            if px.xdotool("getwindowname", window, check=False) != title:
                return attempt
            time.sleep(0.05)
    return tries


def measure(entry, cal, tool, pictures, folder):
    name, command, key, title = entry
    figures = {}
    watch = Watch(tool, cal, 0)
    viewer = px.Viewer(command(pictures[0], folder))
    try:
        shown = watch.seen()
        if shown is None:
            return figures
        figures["start_ms"] = (shown - viewer.started) * 1000
        first_shown = shown
        window = viewer.window(title)
        px.xdotool("windowfocus", window)
        for index, column in ((1, "next_ms"), (2, "ahead_ms")):
            watch = Watch(tool, cal, index)
            pressed = press(window, key, watch)
            if pressed > 1:
                figures["ignored"] = figures.get("ignored", 0) + pressed - 1
            pressed = watch.pressed
            shown = watch.seen()
            if shown is None:
                break
            figures[column] = (shown - pressed) * 1000
            if index == 1:
                # How long the viewer had to read ahead before the "cold" key.
                figures["gap_ms"] = (pressed - first_shown) * 1000
                time.sleep(3)
                figures["rss_mb"] = viewer.rss_mb()
    finally:
        viewer.close()
    return figures


def main():
    ruvello, tool, folder, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
    pictures = sorted(os.path.join(folder, f) for f in os.listdir(folder)
                      if f.startswith("photo") and f.endswith(".jpg"))
    work = tempfile.mkdtemp(prefix="peers-refs-")
    try:
        with px.Screen():
            entries = viewers(ruvello)
            cals = {}
            for entry in entries:
                try:
                    cals[entry[0]] = calibrate(entry, pictures, folder, work)
                except RuntimeError as error:
                    print("%s: left out: %s" % (entry[0], error), file=sys.stderr)
            results = {name: {c: [] for c, _ in COLUMNS} for name in cals}
            for r in range(rounds):
                for entry in entries:
                    if entry[0] in cals:
                        figures = measure(entry, cals[entry[0]], tool, pictures, folder)
                        for column, value in figures.items():
                            results[entry[0]].setdefault(column, []).append(value)
                        print("round %d %-8s %s" % (r + 1, entry[0], " ".join(
                            "%s=%.0f" % kv for kv in sorted(figures.items()))), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    report(cals, results, rounds)


def report(cals, results, rounds):
    ignored = {name: sum(cols.pop("ignored", [])) for name, cols in results.items()}
    gaps = [g for cols in results.values() for g in cols.pop("gap_ms", [])]
    medians = {name: {c: statistics.median(v) if v else None for c, v in cols.items()}
               for name, cols in results.items()}
    print()
    print("Medians of %d rounds (ms; lower is better). Without a window manager each viewer "
          "sizes its own window:" % rounds)
    print("%-10s %-10s %-10s %8s %11s %17s %7s  %s" % (
        "viewer", "window", "picture", "start", "next, cold", "next, read ahead", "RSS MB",
        "at rest: to picture/to preview"))
    for name, cal in cals.items():
        m = medians[name]
        print("%-10s %-10s %-10s %8s %11s %17s %7s  %s" % (
            name, cal.window, cal.picture, *[
                "%.0f" % m[c] if m[c] is not None else "-" for c, _ in COLUMNS],
            " ".join(cal.notes)))
        if ignored[name]:
            print("%10s %s dropped %d \"next\" key(s) pressed at once after it showed the "
                  "first picture; timed from the press it took" % ("", name, ignored[name]))
    if gaps:
        print("The cold key came %.0f ms (median; %.0f to %.0f) after the first picture "
              "showed." % (statistics.median(gaps), min(gaps), max(gaps)))
    line = []
    ratios = []
    for column, label in COLUMNS:
        ours = medians.get("Ruvello", {}).get(column)
        peers = [(m[column], n) for n, m in medians.items()
                 if n != "Ruvello" and m[column] is not None]
        best, who = min(peers) if peers else (None, "-")
        ratio = ours / best if ours is not None and best else None
        ratios.append("%s %s (best: %s)" % (label, "%.2f" % ratio if ratio else "-", who))
        key = column.rsplit("_", 1)
        line.append("ruvello_%s=%s best_peer_%s=%s %s_ratio=%s" % (
            column, "%.0f" % ours if ours is not None else "nan", column,
            "%.0f" % best if best is not None else "nan", key[0],
            "%.2f" % ratio if ratio else "nan"))
    print("Ruvello / best peer (target <= 1.0): " + "; ".join(ratios))
    print(" ".join(line))


if __name__ == "__main__":
    main()
