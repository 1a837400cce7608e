#!/usr/bin/env python3
"""Screen reads through the desktop portal, on the Wayland test rig (tests/wayland/rig.py: headless
sway, XWayland, the real portal frontend with the test's ScreenCast backend, or with the real
Screenshot portal). Run as root, as the rig is.

  1. portal_screen_qt_bench as the rig's user: a 594 x 578 read with the stream running against
     the copy of one frame, and the session start against one portal call (both in the same run);
     then the same read where the desktop only takes screenshots.
  2. Keypad + held for 4 s in the viewer: numbered grabs saved a second, through the stream, with
     the same on Xvfb through the X11 reader as the anchor, in the same run.

  bench/wayland_portal.py [--bench BENCH] [--bin NUKITORI]
"""
import argparse
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests", "wayland"))

HOLD_SECONDS = 4.0


def run_bench(desktop, bench, extra):
    out = desktop.run([desktop.install(bench), "--benchmark_min_time=0.5", *extra], timeout=300,
                      env={"NUKITORI_BENCH_PORTAL": "1"}, check=False)
    print(out.decode(errors="replace"))


def held_grabs_on_wayland(desktop, binary):
    import test_wayland
    test_wayland.BIN = binary
    app = test_wayland.App(desktop)
    try:
        desktop.swaymsg(f"[id={app.viewer}]", "focus")
        time.sleep(1.0)
        # The first grab starts the session: it is not part of the steady rate.
        desktop.xdotool("key", "KP_Add")
        test_wayland.wait_until(lambda: app.saved_files(), timeout=20, what="the first grab")
        before = len(app.saved_files())
        desktop.xdotool("keydown", "KP_Add")
        time.sleep(HOLD_SECONDS)
        desktop.xdotool("keyup", "KP_Add")
        time.sleep(0.5)
        return (len(app.saved_files()) - before) / HOLD_SECONDS
    finally:
        app.close()


def held_grabs_on_xvfb(binary):
    import harness
    harness.BIN = binary
    server = harness.XServer()
    try:
        app = harness.Nukitori(server)
        try:
            viewer = app.window("ビューア")
            app.focus(viewer)
            time.sleep(1.0)
            harness.hold(server, server.keycode_of("KP_Add"), HOLD_SECONDS)
            time.sleep(0.5)
            return len(app.saved_files()) / HOLD_SECONDS
        finally:
            app.close()
    finally:
        server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", default=os.path.join(ROOT, "build-bench/bench/portal_screen_qt_bench"))
    parser.add_argument("--bin", default=os.path.join(ROOT, "build-bench/nukitori"))
    args = parser.parse_args()
    bench, binary = os.path.abspath(args.bench), os.path.abspath(args.bin)
    from rig import Desktop

    desktop = Desktop(portals="screencast", screenshot=False)
    try:
        print("== through ScreenCast (the test backend streams the output)")
        run_bench(desktop, bench, [])
        wayland = held_grabs_on_wayland(desktop, binary)
    finally:
        desktop.close()
    desktop = Desktop(portals="screenshot")
    try:
        print("== through Screenshot (xdg-desktop-portal-wlr)")
        run_bench(desktop, bench, ["--benchmark_filter=portalRead"])
    finally:
        desktop.close()
    x11 = held_grabs_on_xvfb(binary)
    print(f"== keypad + held {HOLD_SECONDS:.0f} s: {wayland:.1f} grabs/s through ScreenCast, "
          f"{x11:.1f} grabs/s through X11 on Xvfb (anchor), ratio {wayland / x11 if x11 else 0:.2f}")


if __name__ == "__main__":
    main()
