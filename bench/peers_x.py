"""What the viewer comparison and the stall measurement share: a virtual screen, viewers
started with a throw-away home, their windows, keys, screen grabs and resident memory."""
import os
import shutil
import signal
import subprocess
import tempfile
import time

from PIL import Image, ImageChops, ImageGrab

SCREEN = (1920, 1080)


class Screen:
    """One Xvfb of 1920 x 1080 x 24 for the whole run; DISPLAY points at it. No reset
    when the last client goes: a viewer's exit must not restart the server under the
    next one."""

    def __enter__(self):
        read, write = os.pipe()
        self.server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % SCREEN,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        os.environ["DISPLAY"] = ":" + number.decode().strip()
        # The pointer out of the way: hovering shows controls in some viewers.
        xdotool("mousemove", str(SCREEN[0] - 1), str(SCREEN[1] - 1))
        return self

    def __exit__(self, *args):
        self.server.terminate()
        self.server.wait()


def xdotool(*args, check=True):
    result = subprocess.run(["xdotool", *args], stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    if check and result.returncode != 0:
        raise RuntimeError("xdotool %s failed" % " ".join(args))
    return result.stdout.strip()


def grab():
    return ImageGrab.grab(xdisplay=os.environ["DISPLAY"])


class Viewer:
    """A viewer process in a session of its own with a home, configuration, cache and
    runtime folder that are made for it and removed after it, so nothing is read from an
    earlier start and nothing is kept."""

    def __init__(self, command, keep_home=None):
        self.home = keep_home or tempfile.mkdtemp(prefix="peers-home-")
        self.own_home = keep_home is None
        env = dict(os.environ)
        for name, sub in (("HOME", ""), ("XDG_CONFIG_HOME", ".config"),
                          ("XDG_CACHE_HOME", ".cache"), ("XDG_DATA_HOME", ".local/share"),
                          ("XDG_STATE_HOME", ".local/state"), ("XDG_RUNTIME_DIR", "runtime")):
            env[name] = os.path.join(self.home, sub)
            os.makedirs(env[name], mode=0o700, exist_ok=True)
        env["QT_QPA_PLATFORM"] = "xcb"
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, env=env, start_new_session=True,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pid = self.process.pid

    def window(self, name=None, timeout=30):
        """The largest visible window of the process (or, given a name pattern, the first
        visible window so named)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            found = xdotool("search", "--onlyvisible", *(
                ["--name", name] if name else ["--pid", str(self.pid)]), check=False).split()
            best, area = None, 0
            for window in found:
                size = xdotool("getwindowgeometry", "--shell", window, check=False)
                values = dict(line.split("=", 1) for line in size.splitlines() if "=" in line)
                here = int(values.get("WIDTH", 0)) * int(values.get("HEIGHT", 0))
                if here > area:
                    best, area = window, here
            if best:
                return best
            if self.process.poll() is not None:
                raise RuntimeError("the viewer ended (status %s)" % self.process.returncode)
            time.sleep(0.02)
        raise RuntimeError("no window showed within %d s" % timeout)

    def rss_mb(self):
        """VmRSS of the process and all its descendants, in MB."""
        children = {}
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry) as stat:
                        parent = int(stat.read().rsplit(")", 1)[1].split()[1])
                    children.setdefault(parent, []).append(int(entry))
                except (OSError, IndexError, ValueError):
                    pass
        total, todo = 0, [self.pid]
        while todo:
            pid = todo.pop()
            todo.extend(children.get(pid, []))
            try:
                with open("/proc/%d/status" % pid) as status:
                    for line in status:
                        if line.startswith("VmRSS:"):
                            total += int(line.split()[1])
            except OSError:
                pass
        return total / 1024

    def close(self):
        """Ends the viewer's whole session: TERM, then KILL after 3 s."""
        for sig, wait in ((signal.SIGTERM, 3), (signal.SIGKILL, 3)):
            try:
                os.killpg(self.pid, sig)
            except ProcessLookupError:
                break
            try:
                self.process.wait(wait)
                break
            except subprocess.TimeoutExpired:
                pass
        if self.own_home:
            shutil.rmtree(self.home, ignore_errors=True)


def settle(stable=2.0, timeout=40.0, ignore_area=4000):
    """Grabs the screen until it has not changed (beyond a blinking cursor's worth of
    pixels) for `stable` seconds; returns the last grab."""
    last = grab()
    since = time.monotonic()
    deadline = since + timeout
    while time.monotonic() < deadline:
        time.sleep(0.2)
        shot = grab()
        box = ImageChops.difference(shot, last).getbbox()
        if box and (box[2] - box[0]) * (box[3] - box[1]) > ignore_area:
            since = time.monotonic()
        last = shot
        if time.monotonic() - since >= stable:
            break
    return last


def mean_difference(a, b):
    """Mean absolute difference per channel of two same-size RGB pictures, and the share
    of pixels with a channel more than 24 apart."""
    diff = ImageChops.difference(a, b)
    histogram = diff.histogram()
    total = a.size[0] * a.size[1]
    mean = sum(sum(i * n for i, n in enumerate(histogram[c * 256:(c + 1) * 256]))
               for c in range(3)) / (3 * total)
    red, green, blue = diff.split()
    largest = ImageChops.lighter(ImageChops.lighter(red, green), blue)
    far = largest.point(lambda v: 255 if v > 24 else 0)
    return mean, far.histogram()[255] / total


def blurred(picture):
    """The picture as a 160-pixel-wide preview blown up to its size would show it."""
    small = picture.resize((160, max(1, picture.size[1] * 160 // picture.size[0])),
                           Image.Resampling.BOX)
    return small.resize(picture.size, Image.Resampling.BILINEAR)
