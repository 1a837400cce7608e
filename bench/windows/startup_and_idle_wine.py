#!/usr/bin/python3
"""Start-up time and idle load of the Windows program (nukitori.exe) under Wine, on a private Xvfb.

Start-up: from just before exec of `wine nukitori.exe` to the first presented frame, seen as the
viewer's clear colour at a point of its client area that nothing else covers, as
bench/startup_and_idle.py measures the Linux program. The anchor, timed the same way in the
same run, each of its runs right beside one of the program's: first_frame_d3d9.exe, a window
with a Direct3D 9 device that presents one cleared frame, the floor of any such program under
this Wine; the ratio is the median of the paired runs' ratios. The prefix's Wine server is kept
running between the runs (as Windows keeps its services running), so the timed runs are the
programs' start, not Wine's; the first run of each, which for the program also starts the
server and Wine's desktop, is printed apart and is coarse (it finds the window through xdotool
first).
Idle: the CPU the running, untouched program takes over --idle-seconds, and beside it Wine's
server, Wine's other processes (desktop, services) and the X server, which work on its behalf.

Usage: startup_and_idle_wine.py --prefix WINEPREFIX [--exe PATH] [--anchor PATH] [--runs N]
                                [--idle-seconds S] [--json]
The prefix is made on first use (tools/wine-run); its Wine processes are ended at the end, so
give it a prefix of its own.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "bench"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
# The Linux measurement's pieces: the pixel probe, the timing loop, /proc readings.
from startup_and_idle import (PROBE, VIEWER_TITLE, Xlib, window_probe, cpu_seconds, status_field,  # noqa: E402
                              time_to_first_frame, wait_gone)
from harness import ASSETS, SAMPLES, SAVE_FOLDER, XServer, stop  # noqa: E402

WINE_RUN = os.path.join(ROOT, "tools", "wine-run")
ANCHOR_TITLE = "first frame"
SETTLE_SECONDS = 0.5


def wine_env(env, prefix):
    return dict(env, WINEPREFIX=prefix, WINEDEBUG="-all")


class WineProgram:
    """nukitori.exe under Wine in a fresh working directory holding the samples, timed from just
    before exec (the `wine` script execs the loader, so the process stays the one started)."""

    def __init__(self, server, exe, prefix):
        self.workdir = tempfile.mkdtemp(prefix="nukitori-bench-")
        for name in SAMPLES:
            shutil.copy(os.path.join(ASSETS, name), self.workdir)
        os.mkdir(os.path.join(self.workdir, SAVE_FOLDER))
        self.stderr_path = os.path.join(self.workdir, "stderr.txt")
        self._stderr = open(self.stderr_path, "wb")
        env = wine_env(server.env, prefix)
        self.started = time.monotonic()
        self.process = subprocess.Popen(["wine", exe], cwd=self.workdir, env=env,
                                        stdout=subprocess.DEVNULL, stderr=self._stderr)

    def stderr_text(self):
        self._stderr.flush()
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def close(self):
        stop(self.process)
        self._stderr.close()
        shutil.rmtree(self.workdir, ignore_errors=True)


def prefix_processes(prefix):
    """pid -> command of every Wine process of the prefix: its environment names the prefix and
    it is Wine's server or a Windows program (other processes may have inherited the variable)."""
    found = {}
    wanted = f"WINEPREFIX={prefix}".encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if wanted not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                command = f.read().split(b"\0")[0].decode(errors="replace")
        except OSError:
            continue
        name = os.path.basename(command.replace("\\", "/")).lower()
        if name.endswith(".exe") or name.startswith("wine"):
            found[int(entry)] = command
    return found


def cpu_of(pids):
    total = 0.0
    for pid in pids:
        try:
            total += cpu_seconds(pid)
        except OSError:
            pass
    return total


def wineserver(prefix, *args):
    subprocess.run(["wineserver", *args], env=wine_env(os.environ, prefix), check=False,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--exe", default=os.path.join(ROOT, "build-windows", "nukitori.exe"))
    parser.add_argument("--anchor", default=os.path.join(ROOT, "build-windows", "bench", "windows",
                                                         "first_frame_d3d9.exe"))
    parser.add_argument("--prefix", required=True, help="a Wine prefix of the benchmarks' own")
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--idle-seconds", type=float, default=20.0)
    parser.add_argument("--json", action="store_true", help="print the figures as JSON too")
    args = parser.parse_args()
    exe, anchor = os.path.abspath(args.exe), os.path.abspath(args.anchor)
    prefix = os.path.abspath(args.prefix)
    for path in (exe, anchor):
        if not os.path.isfile(path):
            sys.exit(f"startup_and_idle_wine: no program at {path}")

    subprocess.run([WINE_RUN, prefix], check=True, timeout=300)
    # A server of the prefix left from another X server would tie the programs to that one.
    wineserver(prefix, "-k")
    wineserver(prefix, "-w")
    server = XServer()
    xlib = Xlib(server.display)
    figures = {"exe": exe, "display": server.display, "prefix": prefix}
    try:
        # The first run also starts the Wine server (kept running from here on) and Wine's
        # desktop; it finds the viewer, whose place never changes.
        wineserver(prefix, "-p")
        programs = {"nukitori": (exe, VIEWER_TITLE), "anchor": (anchor, ANCHOR_TITLE)}
        probes = {}
        for name, (path, title) in programs.items():
            warm = WineProgram(server, path, prefix)
            try:
                # Without a window manager the X window of a Wine top-level is its client area, so the
                # point is the same as the Linux viewer's.
                probes[name] = window_probe(server, title, timeout=30.0)
                figures[f"{name}_first_run_ms_coarse"] = round(
                    time_to_first_frame(xlib, warm, probes[name]) * 1000, 1)
            finally:
                warm.close()
            wait_gone(xlib, probes[name])
            time.sleep(SETTLE_SECONDS)

        times = {name: [] for name in programs}
        for _ in range(args.runs):
            for name, (path, _title) in programs.items():
                run = WineProgram(server, path, prefix)
                try:
                    times[name].append(time_to_first_frame(xlib, run, probes[name]) * 1000)
                finally:
                    run.close()
                wait_gone(xlib, probes[name])
                # Wine tears a killed program down after its window is gone (the server and the
                # desktop process release what it held): not part of the next start.
                time.sleep(SETTLE_SECONDS)
        for name, values in times.items():
            figures[f"{name}_startup_ms"] = {
                "runs": len(values),
                "median": round(statistics.median(values), 1),
                "min": round(min(values), 1),
                "max": round(max(values), 1),
                "all": [round(t, 1) for t in values],
            }
        figures["startup_ratio"] = round(statistics.median(
            n / a for n, a in zip(times["nukitori"], times["anchor"])), 2)

        # Idle: let the start-up settle, then count the CPU over the window.
        idle = WineProgram(server, exe, prefix)
        try:
            time_to_first_frame(xlib, idle, probes["nukitori"])
            time.sleep(1.0)
            pid, xpid = idle.process.pid, server.process.pid
            wine = prefix_processes(prefix)
            servers = [p for p, command in wine.items() if os.path.basename(command).startswith("wineserver")]
            others = [p for p in wine if p != pid and p not in servers]
            before = (cpu_seconds(pid), cpu_of(servers), cpu_of(others), cpu_seconds(xpid), time.monotonic())
            time.sleep(args.idle_seconds)
            after = (cpu_seconds(pid), cpu_of(servers), cpu_of(others), cpu_seconds(xpid), time.monotonic())
            if idle.process.poll() is not None:
                raise RuntimeError(f"nukitori.exe ended while idle: {idle.stderr_text()}")
            wall = after[4] - before[4]
            share = [round((a - b) / wall, 4) for a, b in zip(after[:4], before[:4])]
            figures["idle"] = {
                "seconds": round(wall, 2),
                "nukitori_cpu_fraction": share[0],
                "wineserver_cpu_fraction": share[1],
                "other_wine_cpu_fraction": share[2],
                "other_wine_processes": sorted({os.path.basename(wine[p].replace("\\", "/")) for p in others}),
                "xvfb_cpu_fraction": share[3],
                "nukitori_threads": status_field(pid, "Threads"),
                "nukitori_rss": status_field(pid, "VmRSS"),
            }
        finally:
            idle.close()
    finally:
        wineserver(prefix, "-k")
        xlib.close()
        server.close()

    print("start-up under Wine to the first frame, Wine server running:")
    for name, label in (("nukitori", "nukitori.exe"), ("anchor", "first_frame_d3d9.exe (anchor)")):
        s = figures[f"{name}_startup_ms"]
        print(f"  {label:32} median {s['median']:7.1f} ms, min {s['min']:7.1f} ms, max {s['max']:7.1f} ms "
              f"({s['runs']} runs); first run ~{figures[f'{name}_first_run_ms_coarse']} ms")
        print(f"    each run (ms): {s['all']}")
    print(f"  ratio nukitori.exe / anchor: {figures['startup_ratio']:.2f} (median of the paired runs)")
    i = figures["idle"]
    print(f"idle over {i['seconds']} s, in shares of one core: nukitori.exe {i['nukitori_cpu_fraction'] * 100:.2f}% "
          f"({i['nukitori_threads']} threads, RSS {i['nukitori_rss']}), wineserver {i['wineserver_cpu_fraction'] * 100:.2f}%, "
          f"other Wine processes {i['other_wine_cpu_fraction'] * 100:.2f}%, Xvfb {i['xvfb_cpu_fraction'] * 100:.2f}%")
    print(f"  other Wine processes: {', '.join(i['other_wine_processes'])}")
    if args.json:
        print(json.dumps(figures, ensure_ascii=False))


if __name__ == "__main__":
    main()
