"""What the benchmarks of the real Dockvane.exe under Wine share: the Wine prefix and display of the
end-to-end runs (tests/e2e/e2e_support.py), a virtual desktop with a notification area that the
measured programs start in directly, the pixels of that notification area read straight from the X
server, the threads of a Wine process as the host kernel counts them, and the figures' summary."""

import ctypes
import glob
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2e_support  # noqa: E402,F401  (re-exported for the benchmarks)
from e2e_support import Wine, read_text, user_folder, wait_for  # noqa: E402,F401

DESKTOP = "DockvaneBench"
DESKTOP_SIZE = (1024, 768)
# The notification area: the right end of the taskbar at the bottom of the virtual desktop, which
# sits at the top left of the display.
TRAY_AREA = (DESKTOP_SIZE[0] - 400, DESKTOP_SIZE[1] - 28, 400, 28)


def start_desktop(wine, program, *args):
    """Opens the virtual desktop with its taskbar, running `program` in it, and makes every later
    start of the face, DockvaneTray.exe and minimal_tray.exe join that desktop directly (Wine's
    per-program desktop setting), so that no launcher stands between the process start and the program."""
    for name in ("Dockvane.exe", "DockvaneTray.exe", "minimal_tray.exe"):
        subprocess.run(["wine", "reg", "add", rf"HKCU\Software\Wine\AppDefaults\{name}\Explorer", "/v", "Desktop",
                        "/d", DESKTOP, "/f"], env=wine.env, capture_output=True, timeout=60, check=True)
    wine.desktops.append(subprocess.Popen(
        ["wine", "explorer", f"/desktop={DESKTOP},{DESKTOP_SIZE[0]}x{DESKTOP_SIZE[1]}",
         os.path.join(wine.build, program), *args],
        env=wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


class Screen:
    """Reads a rectangle of the display's pixels (a few hundred microseconds a read), so that the
    moment an icon shows in the notification area is seen without asking Wine anything."""

    Z_PIXMAP = 2
    ALL_PLANES = ctypes.c_ulong(0xFFFFFFFF)

    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.POINTER(XImage)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                       ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = self.x11.XOpenDisplay(display.encode())
        if not self.display:
            raise RuntimeError(f"cannot open display {display}")
        self.root = self.x11.XDefaultRootWindow(self.display)

    def pixels(self, area=TRAY_AREA):
        x, y, width, height = area
        image = self.x11.XGetImage(self.display, self.root, x, y, width, height, self.ALL_PLANES, self.Z_PIXMAP)
        if not image:
            return b""
        data = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * image.contents.height)
        self.x11.XFree(image.contents.data)
        self.x11.XFree(image)
        return data

    def close(self):
        self.x11.XCloseDisplay(self.display)


def wine_processes(wine, name):
    """Host process ids of the Windows program `name` running in the run's prefix."""
    found = []
    for folder in glob.glob("/proc/[0-9]*"):
        try:
            with open(os.path.join(folder, "cmdline"), "rb") as f:
                command = f.read().split(b"\0")[0].decode(errors="replace")
            with open(os.path.join(folder, "environ"), "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if command.replace("\\", "/").split("/")[-1].lower() == name.lower() and \
                f"WINEPREFIX={wine.env['WINEPREFIX']}".encode() in environment:
            found.append(int(os.path.basename(folder)))
    return found


def thread_switches(pid):
    """{thread id: (name, context switches so far)} of a host process: every time a thread went to
    sleep and woke again, or was preempted."""
    threads = {}
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(os.path.join(task, "comm")) as f:
                name = f.read().strip()
            with open(os.path.join(task, "status")) as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
            switches = int(fields["voluntary_ctxt_switches"]) + int(fields["nonvoluntary_ctxt_switches"])
        except (OSError, KeyError, ValueError):
            continue
        threads[int(os.path.basename(task))] = (name, switches)
    return threads


def idle_wakeups(pid, seconds):
    """Context switches of each thread of the process over `seconds` of doing nothing, as rows
    (thread id, name, switches)."""
    before = thread_switches(pid)
    time.sleep(seconds)
    after = thread_switches(pid)
    rows = []
    for tid, (name, switches) in sorted(after.items()):
        rows.append((tid, name, switches - before.get(tid, (name, 0))[1]))
    return rows


def summary(values):
    """median, min, max and the spread between the quartiles, in milliseconds."""
    if not values:
        return "no figures"
    ms = sorted(v * 1000 for v in values)
    quartiles = statistics.quantiles(ms, n=4) if len(ms) > 1 else [ms[0]] * 3
    return (f"median {statistics.median(ms):7.1f} ms   min {ms[0]:7.1f}   max {ms[-1]:7.1f}   "
            f"IQR {quartiles[2] - quartiles[0]:6.1f}   (n={len(ms)})")
