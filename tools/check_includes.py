#!/usr/bin/env python3
"""Fails when a core source includes a toolkit or system-window header. The core builds on any
machine: only the backend folders under src/platform may see Qt, X11, OpenGL or Windows. The
Windows halves of base's operating-system primitives live in src/platform/win32/os/."""
import pathlib
import re
import sys

CORE = ["base", "xfile", "model", "render", "input", "capture", "app", "platform/fake"]
PORTS = "platform"  # the port headers directly in src/platform
TOOLKIT = re.compile(r'#\s*include\s*[<"]\s*(Q[A-Z]\w*>|Qt\w*/|X11/|GL/|EGL/|KHR/|xcb/|wayland-|pipewire/|spa/|systemd/)')
WINDOWS = re.compile(r'#\s*include\s*[<"]\s*([Ww]indows\.h|win(user|gdi|base|def|nt)\.h|d3d\w*\.h|wincodec\.h|'
                     r'objbase\.h|shellapi\.h|dwmapi\.h|shlobj\.h)')


def main(src, stamp):
    src = pathlib.Path(src)
    files = [f for folder in CORE for f in (src / folder).rglob("*") if f.suffix in (".h", ".cpp")]
    files += [f for f in (src / PORTS).glob("*.h")]
    bad = []
    for f in files:
        for number, line in enumerate(f.read_text(encoding="utf-8").splitlines(), 1):
            if TOOLKIT.search(line) or WINDOWS.search(line):
                bad.append(f"{f.relative_to(src)}:{number}: {line.strip()}")
    if bad:
        print("toolkit headers in the portable core:\n  " + "\n  ".join(bad), file=sys.stderr)
        return 1
    pathlib.Path(stamp).write_text("ok\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
