#!/usr/bin/python3
"""Start-up time and idle load of the real nukitori binary under a private Xvfb.

Start-up: from just before exec to the first presented frame, seen as the viewer's clear
colour at a point of its client area that nothing else covers (aim: under 300 ms).
Idle: the CPU the running, untouched program takes over a few seconds (aim: far below one core,
since the main loop is paced to 60 Hz).

With --f3d PATH (Debian's f3d package), f3d is measured the same way in the same run, opening the sample glTF: its
first painted pixel (a corner of its window leaving black), a run after each of nukitori's, and its
idle load; the figures are reported beside nukitori's, as ratios.

Usage: startup_and_idle.py [--bin PATH] [--f3d PATH] [--runs N] [--idle-seconds S] [--json]
"""
import argparse
import ctypes
import ctypes.util
import json
import os
import statistics
import subprocess
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


class F3d:
    """f3d opening the sample glTF, timed from just before exec."""

    def __init__(self, server, binary):
        self.started = time.monotonic()
        self.process = subprocess.Popen([binary, os.path.join(ROOT, "assets", "model.glb")], env=server.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def f3d_first_pixel(server, xlib, run, timeout=20.0):
    """Seconds from exec to the first non-black pixel 10 px inside f3d's window."""
    probe = None
    deadline = run.started + timeout
    while time.monotonic() < deadline:
        if probe is None:
            found = server.xdotool("search", "--onlyvisible", "--name", "^F3D")
            if found:
                values = dict(line.partition("=")[::2] for line in
                              server.xdotool("getwindowgeometry", "--shell", found.split()[-1]).splitlines())
                probe = int(values["X"]) + 10, int(values["Y"]) + 10
        else:
            colour = xlib.pixel(*probe)
            if colour is not None and max(colour) > 8:
                return time.monotonic() - run.started
        if run.process.poll() is not None:
            raise RuntimeError(f"f3d ended with {run.process.returncode}")
        time.sleep(0.0005 if probe else 0.005)
    raise TimeoutError("f3d painted nothing")


def idle_fraction(pid, seconds):
    cpu0, wall0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pid) - cpu0) / (time.monotonic() - wall0)


def f3d_start(server, xlib, binary):
    """Milliseconds to f3d's first painted pixel, once."""
    run = F3d(server, binary)
    try:
        return f3d_first_pixel(server, xlib, run) * 1000
    finally:
        run.close()
        time.sleep(0.3)


def f3d_idle(server, xlib, binary, idle_seconds):
    run = F3d(server, binary)
    try:
        f3d_first_pixel(server, xlib, run)
        time.sleep(1.0)
        return idle_fraction(run.process.pid, idle_seconds)
    finally:
        run.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bin", default=os.environ.get("NUKITORI_BIN", os.path.join(ROOT, "build-bench", "nukitori")))
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--idle-seconds", type=float, default=5.0)
    parser.add_argument("--json", action="store_true", help="print the figures as JSON too")
    parser.add_argument("--f3d", help="f3d's program, measured beside nukitori in the same run")
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

        # With f3d, its runs alternate with nukitori's, so that the machine's slower and faster
        # spells fall on both alike; its first run fills the caches and is not counted.
        if args.f3d:
            f3d_start(server, xlib, args.f3d)
        times, f3d_times = [], []
        for _ in range(args.runs):
            run = Program(server, binary)
            try:
                times.append(time_to_first_frame(xlib, run, probe) * 1000)
            finally:
                run.close()
            wait_gone(xlib, probe)
            if args.f3d:
                f3d_times.append(f3d_start(server, xlib, args.f3d))
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
        if args.f3d:
            figures["f3d"] = {"startup_ms_median": round(statistics.median(f3d_times), 1),
                              "startup_ms_all": [round(t, 1) for t in f3d_times],
                              "idle_cpu_fraction": round(f3d_idle(server, xlib, args.f3d, args.idle_seconds), 4)}
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
    if args.f3d:
        f = figures["f3d"]
        print(f"f3d in the same run: start-up median {f['startup_ms_median']} ms (each {f['startup_ms_all']}), "
              f"idle {f['idle_cpu_fraction'] * 100:.2f}% of one core")
        print(f"nukitori / f3d start-up: {s['median'] / f['startup_ms_median']:.2f} (target at most 0.45); "
              f"idle: nukitori {i['nukitori_cpu_fraction'] * 100:.2f}% against f3d "
              f"{f['idle_cpu_fraction'] * 100:.2f}% (target at most f3d's + 0.2%)")
    if args.json:
        print(json.dumps(figures, ensure_ascii=False))


if __name__ == "__main__":
    main()
