#!/usr/bin/python3
"""The longest time Ruvello's window does not answer while a person works in it.

    peers_stall.py RUVELLO PINGSTALL MAKESAMPLES WORK ROUNDS

Under one virtual screen, each case in a fresh start with a throw-away home: paging
through 24-megapixel pictures (Page Down every 300 ms), exporting the anaglyph of a
2 x 24-megapixel MPO (Ctrl+E, Return on the proposed name), turning a JPEG (Ctrl+R),
sorting a 50 000-row folder by Date while it fills (a click on the header) and listing
that folder from the start. pingstall pings the main window meanwhile; the time before
the window first shows is not part of it. Each case runs ROUNDS times; prints the
median per case, each run's figure, and a last line of the medians
    paging_ms=... export_ms=... turn_ms=... sort_ms=... listing_ms=...
"""
import os
import re
import shutil
import subprocess
import statistics
import sys
import tempfile
import threading
import time

from PIL import ImageChops

import peers_x as px

TARGET_MS = 50
TITLE = "^Ruvello( |$)"
BIG_FOLDER_FILES = 50000


def ping(tool, window, seconds):
    """pingstall on the window for `seconds`, in the background; .result() is its
    longest round trip in ms."""
    process = subprocess.Popen([tool, window, str(seconds), "10"], stdout=subprocess.PIPE,
                               text=True)
    holder = {}

    def read():
        holder["out"] = process.communicate()[0]

    thread = threading.Thread(target=read)
    thread.start()

    class Pinging:
        def result(self):
            thread.join()
            found = re.search(r"longest_ms=([0-9.]+)", holder["out"])
            lost = re.search(r"lost=([0-9]+)", holder["out"])
            if lost and int(lost.group(1)):
                return float("inf")
            return float(found.group(1)) if found else None

    return Pinging()


def started(ruvello, path, home=None):
    """The program started on the path, its window at rest and focused."""
    viewer = px.Viewer([ruvello, path], keep_home=home)
    window = viewer.window(TITLE)
    px.settle(1.5)
    px.xdotool("windowfocus", window)
    return viewer, window


def paging(ruvello, tool, folder):
    pictures = sorted(f for f in os.listdir(folder) if f.endswith(".jpg"))
    viewer, window = started(ruvello, os.path.join(folder, pictures[0]))
    try:
        presses = len(pictures) - 1
        pinging = ping(tool, window, 0.5 + presses * 0.3 + 2.5)
        time.sleep(0.5)
        for _ in range(presses):
            pressed = time.monotonic()
            px.xdotool("key", "Next")
            time.sleep(max(0.0, 0.3 - (time.monotonic() - pressed)))
        return pinging.result(), "%d pictures" % len(pictures)
    finally:
        viewer.close()


def exporting(ruvello, tool, mpo):
    target = os.path.splitext(mpo)[0] + "-anaglyph.jpg"
    # The last run's export goes: the dialog would ask whether to replace it.
    if os.path.exists(target):
        os.remove(target)
    viewer, window = started(ruvello, mpo)
    try:
        pinging = ping(tool, window, 20)
        time.sleep(0.5)
        px.xdotool("key", "ctrl+e")
        dialog = viewer.window("^Export Anaglyph", timeout=10)
        px.xdotool("windowfocus", dialog)
        px.xdotool("key", "Return")
        begun = time.monotonic()
        while not os.path.exists(target) and time.monotonic() - begun < 19:
            time.sleep(0.05)
        took = time.monotonic() - begun
        note = ("written in %.1f s" % took) if os.path.exists(target) else "NOT WRITTEN in 19 s"
        return pinging.result(), note
    finally:
        viewer.close()


def orientation(path):
    return subprocess.run(["exiftool", "-n", "-s3", "-Orientation", path],
                          stdout=subprocess.PIPE, text=True).stdout.strip() or "none"


def turning(ruvello, tool, picture):
    before = orientation(picture)
    viewer, window = started(ruvello, picture)
    try:
        pinging = ping(tool, window, 5)
        time.sleep(0.5)
        px.xdotool("key", "ctrl+r")
        result = pinging.result()
    finally:
        viewer.close()
    return result, "orientation %s -> %s" % (before, orientation(picture))


def big_folder(makesamples, folder):
    """BIG_FOLDER_FILES small JPEGs with their capture dates going back in time as their
    names go up, so that a sort by Date turns the list round."""
    os.makedirs(folder)
    template = os.path.join(folder, "template.jpg")
    subprocess.run([makesamples, "--photo", "64", "48", "3", template], check=True,
                   stdout=subprocess.DEVNULL)
    with open(template, "rb") as f:
        data = f.read()
    os.remove(template)
    date = re.search(rb"\d{4}:\d\d:\d\d \d\d:\d\d:\d\d", data).group(0)
    start = time.mktime((2024, 1, 1, 0, 0, 0, 0, 0, -1))
    for i in range(BIG_FOLDER_FILES):
        stamp = time.strftime("%Y:%m:%d %H:%M:%S",
                              time.localtime(start - i * 600)).encode()
        with open(os.path.join(folder, "img%05d.jpg" % i), "wb") as f:
            f.write(data.replace(date, stamp))


def date_header(ruvello, small_folder, home):
    """Widens the list's dock in a start on a small folder, kept in the home's settings
    when the program quits, and finds the Date header's centre on the screen by reading
    the screen, for the next start with that home."""
    viewer, window = started(ruvello, small_folder, home)
    try:
        spot = find_word("Filename")
        if spot is None:
            raise RuntimeError("no Filename header on the screen")
        # The dock ends where the view's black begins, right of the list's empty rows.
        shot = px.grab()
        x, y = spot[0], spot[1] + 100
        while x < px.SCREEN[0] - 1 and sum(shot.getpixel((x, y))) > 60:
            x += 1
        # Step by step, as a hand moves: the window takes the press for the separator's
        # only once the pointer has rested on it.
        y = str(y)
        for step in (["mousemove", str(x - 3), y], ["mousedown", "1"],
                     ["mousemove", str(x + 2), y], ["mousemove", str(x + 200), y],
                     ["mousemove", str(x + 400), y], ["mouseup", "1"]):
            px.xdotool(*step)
            time.sleep(0.3)
        px.xdotool("mousemove", str(px.SCREEN[0] - 1), str(px.SCREEN[1] - 1))
        shot = px.settle(1.0)
        header = date_section(shot, spot)
        px.xdotool("windowfocus", window)
        px.xdotool("key", "ctrl+q")
        viewer.process.wait(10)
        return header
    finally:
        viewer.close()


def date_section(shot, spot):
    """The centre of the list's third header section (Filename, Path, Date) on the row of
    the Filename header at `spot`: the sections are told apart by the lines between
    them, dark over the header's whole height."""
    grey = shot.convert("L")
    lines, x = [], spot[0]
    while x < px.SCREEN[0] and len(lines) < 3:
        if all(grey.getpixel((x, y)) < 235 for y in range(spot[1] - 6, spot[1] + 7)):
            if not lines or x > lines[-1] + 2:
                lines.append(x)
        x += 1
    return ((lines[1] + lines[2]) // 2, spot[1]) if len(lines) == 3 else None


def find_word(word):
    """The centre of the first place the screen reads `word`, or None."""
    path = "/tmp/peers-ocr-%d.png" % os.getpid()
    px.grab().save(path)
    try:
        tsv = subprocess.run(["tesseract", path, "-", "tsv"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True).stdout
    finally:
        os.remove(path)
    for line in tsv.splitlines()[1:]:
        cells = line.split("\t")
        if len(cells) == 12 and cells[11].strip() == word:
            left, top, width, height = map(int, cells[6:10])
            return left + width // 2, top + height // 2
    return None


def sorting(ruvello, tool, big, small):
    home = tempfile.mkdtemp(prefix="peers-home-")
    try:
        header = date_header(ruvello, small, home)
        if header is None:
            return None, "no Date header found on the screen"
        viewer = px.Viewer([ruvello, big], keep_home=home)
        window = viewer.window(TITLE)
        shown = time.monotonic() - viewer.started
        pinging = ping(tool, window, 12)
        time.sleep(0.2)
        band = (header[0] - 75, header[1] - 6, header[0] + 75, header[1] + 7)
        before = px.grab().crop(band)
        px.xdotool("mousemove", *map(str, header), "click", "1")
        px.xdotool("mousemove", str(px.SCREEN[0] - 1), str(px.SCREEN[1] - 1))
        result = pinging.result()
        # The sort indicator moved into the Date section.
        sorted_ = ImageChops.difference(before, px.grab().crop(band)).getbbox() is not None
        viewer.close()
        return result, "window after %.1f s, %s" % (
            shown, "sorted" if sorted_ else "NOT SEEN SORTED")
    finally:
        shutil.rmtree(home, ignore_errors=True)


def listing(ruvello, tool, big):
    viewer = px.Viewer([ruvello, big])
    try:
        window = viewer.window(TITLE)
        shown = time.monotonic() - viewer.started
        result = ping(tool, window, 12).result()
        return result, "window after %.1f s" % shown
    finally:
        viewer.close()


def main():
    ruvello, tool, makesamples, work, rounds = *sys.argv[1:5], int(sys.argv[5])
    pictures = os.path.join(work, "pictures")
    mpo = os.path.join(work, "pair", "pair.mpo")
    small = os.path.join(work, "small")
    big = os.path.join(work, "big")
    os.makedirs(os.path.dirname(mpo))
    subprocess.run([makesamples, "--mpo", "6000", "4000", "1", mpo, "--thumbnail"],
                   check=True, stdout=subprocess.DEVNULL)
    os.makedirs(small)
    for i in range(3):
        subprocess.run([makesamples, "--photo", "64", "48", str(i + 1),
                        os.path.join(small, "s%d.jpg" % i)], check=True,
                       stdout=subprocess.DEVNULL)
    print("Making a folder of %d files..." % BIG_FOLDER_FILES, flush=True)
    big_folder(makesamples, big)
    first = os.path.join(pictures, sorted(os.listdir(pictures))[0])
    cases = (("paging", "paging, Page Down every 300 ms", lambda: paging(ruvello, tool, pictures)),
             ("export", "exporting a 2 x 24 MP anaglyph", lambda: exporting(ruvello, tool, mpo)),
             ("turn", "writing an orientation (Ctrl+R)", lambda: turning(ruvello, tool, first)),
             ("sort", "sorting %d rows by Date while filling" % BIG_FOLDER_FILES,
              lambda: sorting(ruvello, tool, big, small)),
             ("listing", "listing %d files from the start" % BIG_FOLDER_FILES,
              lambda: listing(ruvello, tool, big)))
    figures = []
    with px.Screen():
        for key, label, run in cases:
            runs, notes = [], []
            for _ in range(rounds):
                try:
                    longest, note = run()
                except RuntimeError as error:
                    longest, note = None, "failed: %s" % error
                if longest is not None:
                    runs.append(longest)
                notes.append(note)
            median = statistics.median(runs) if runs else None
            shown = "%.0f ms" % median if median is not None else "-"
            print("%-42s longest stall %7s (target %d ms; runs %s)  %s" % (
                label, shown, TARGET_MS, " ".join("%.0f" % r for r in runs) or "-",
                "; ".join(sorted(set(notes)))), flush=True)
            figures.append("%s_ms=%s" % (key, "%.0f" % median if median is not None else "nan"))
    print(" ".join(figures))


if __name__ == "__main__":
    main()
