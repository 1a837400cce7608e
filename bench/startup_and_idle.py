#!/usr/bin/python3
"""Start-up time and idle load of the real nukitori binary under a private Xvfb.

Start-up: from just before exec to the first presented frame, seen as the viewer's clear
colour at a point of its client area that nothing else covers (aim: under 300 ms).
Idle: the CPU the running, untouched program takes over a few seconds (aim: far below one core,
since the main loop is paced to 60 Hz).

Usage: startup_and_idle.py [--bin PATH] [--runs N] [--idle-seconds S] [--json]
"""
import argparse
import ctypes
import ctypes.util
import json
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
# The end-to-end harness starts the X server and the program the same way for tests and here.
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from harness import CLEAR_COLOUR, Nukitori, XServer, near  # noqa: E402

VIEWER_TITLE = "ビューア"
# A point of the viewer's client area that the model, overlay, texts and button leave alone.
PROBE = (585, 570)
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


class Xlib:
    """Just enough Xlib, through ctypes, to read one root-window pixel cheaply per poll."""

    ZPixmap = 2
    AllPlanes = ctypes.c_ulong(~0 & 0xFFFFFFFFFFFFFFFF)

    def __init__(self, display_name):
        lib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
        lib.XOpenDisplay.restype = ctypes.c_void_p
        lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        lib.XDefaultRootWindow.restype = ctypes.c_ulong
        lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        lib.XGetImage.restype = ctypes.c_void_p
        lib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        lib.XGetPixel.restype = ctypes.c_ulong
        lib.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        lib.XDestroyImage.argtypes = [ctypes.c_void_p]
        lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.lib = lib
        self.display = lib.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError(f"cannot open {display_name}")
        self.root = lib.XDefaultRootWindow(self.display)

    def pixel(self, x, y):
        image = self.lib.XGetImage(self.display, self.root, x, y, 1, 1, self.AllPlanes, self.ZPixmap)
        if not image:
            return None
        value = self.lib.XGetPixel(image, 0, 0)
        self.lib.XDestroyImage(image)
        return (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF

    def close(self):
        self.lib.XCloseDisplay(self.display)


class Program:
    """nukitori in a fresh working directory holding the samples, timed from just before exec."""

    def __init__(self, server, binary):
        os.environ["NUKITORI_BIN"] = binary
        self.app = Nukitori(server)
        self.started = self.app.started
        self.process = self.app.process

    def stderr_text(self):
        return self.app.stderr()

    def close(self):
        self.app.close()


def near_clear(colour):
    return colour is not None and near(colour, CLEAR_COLOUR)


def cpu_seconds(pid):
    """utime + stime of a process, from /proc/<pid>/stat (the name may hold spaces)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def status_field(pid, name):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(name + ":"):
                return line.split(":", 1)[1].strip()
    return "?"


def window_probe(server, title=VIEWER_TITLE, timeout=20.0):
    """The screen point to watch in the window titled `title`: found once through xdotool, as the
    placement never changes."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = server.xdotool("search", "--onlyvisible", "--name", f"^{title}$")
        if found:
            values = {}
            for line in server.xdotool("getwindowgeometry", "--shell", found.split()[0]).splitlines():
                key, _, value = line.partition("=")
                values[key] = int(value)
            return values["X"] + PROBE[0], values["Y"] + PROBE[1]
        time.sleep(0.02)
    raise TimeoutError(f"the window {title!r} never appeared")


def time_to_first_frame(xlib, process, probe, timeout=20.0, interval=0.0005):
    """Seconds from exec to the clear colour at the probe, polled about every half millisecond."""
    deadline = process.started + timeout
    while time.monotonic() < deadline:
        if near_clear(xlib.pixel(*probe)):
            return time.monotonic() - process.started
        if process.process.poll() is not None:
            raise RuntimeError(f"nukitori ended with {process.process.returncode}: {process.stderr_text()}")
        time.sleep(interval)
    raise TimeoutError("no frame in the viewer")


def wait_gone(xlib, probe, timeout=5.0):
    """The last run's picture must be off the screen before the next start is timed."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and near_clear(xlib.pixel(*probe)):
        time.sleep(0.005)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", default=os.environ.get("NUKITORI_BIN", os.path.join(ROOT, "build-bench", "nukitori")))
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--idle-seconds", type=float, default=5.0)
    parser.add_argument("--json", action="store_true", help="print the figures as JSON too")
    args = parser.parse_args()
    binary = os.path.abspath(args.bin)
    if not os.access(binary, os.X_OK):
        sys.exit(f"startup_and_idle: no program at {binary}")

    server = XServer()
    xlib = Xlib(server.display)
    figures = {"binary": binary, "display": server.display}
    try:
        # A first run finds the viewer and fills the caches (fonts, shaders, pages); its time is
        # coarse, as it waits for the window through xdotool first.
        warm = Program(server, binary)
        try:
            probe = window_probe(server)
            figures["first_run_ms_coarse"] = round(time_to_first_frame(xlib, warm, probe) * 1000, 1)
        finally:
            warm.close()
        wait_gone(xlib, probe)

        times = []
        for _ in range(args.runs):
            run = Program(server, binary)
            try:
                times.append(time_to_first_frame(xlib, run, probe) * 1000)
            finally:
                run.close()
            wait_gone(xlib, probe)
        figures["startup_ms"] = {
            "runs": len(times),
            "median": round(statistics.median(times), 1),
            "min": round(min(times), 1),
            "max": round(max(times), 1),
            "all": [round(t, 1) for t in times],
        }

        # Idle: let the start-up settle, then count the CPU over the window.
        idle = Program(server, binary)
        try:
            time_to_first_frame(xlib, idle, probe)
            time.sleep(1.0)
            pid, xpid = idle.process.pid, server.process.pid
            cpu0, xcpu0, wall0 = cpu_seconds(pid), cpu_seconds(xpid), time.monotonic()
            time.sleep(args.idle_seconds)
            cpu1, xcpu1, wall1 = cpu_seconds(pid), cpu_seconds(xpid), time.monotonic()
            if idle.process.poll() is not None:
                raise RuntimeError(f"nukitori ended while idle: {idle.stderr_text()}")
            wall = wall1 - wall0
            figures["idle"] = {
                "seconds": round(wall, 2),
                "nukitori_cpu_fraction": round((cpu1 - cpu0) / wall, 3),
                "xvfb_cpu_fraction": round((xcpu1 - xcpu0) / wall, 3),
                "nukitori_threads": status_field(pid, "Threads"),
                "nukitori_rss": status_field(pid, "VmRSS"),
            }
        finally:
            idle.close()
    finally:
        xlib.close()
        server.close()

    s = figures["startup_ms"]
    print(f"start-up to first frame ({s['runs']} runs): median {s['median']} ms, min {s['min']} ms, "
          f"max {s['max']} ms (target < 300 ms); first, cold run ~{figures['first_run_ms_coarse']} ms")
    print(f"  each run (ms): {s['all']}")
    i = figures["idle"]
    print(f"idle over {i['seconds']} s: nukitori {i['nukitori_cpu_fraction'] * 100:.1f}% of one core "
          f"({i['nukitori_threads']} threads, RSS {i['nukitori_rss']}), Xvfb {i['xvfb_cpu_fraction'] * 100:.1f}%")
    if args.json:
        print(json.dumps(figures, ensure_ascii=False))


if __name__ == "__main__":
    main()
