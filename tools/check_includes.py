#!/usr/bin/env python3
"""Fails when an include runs up the layers, or when a core source includes a toolkit or
system-window header. Each folder of src/ is a layer and may include only itself and the layers
it names below; only the backends see Qt, X11, OpenGL or Windows, and in the core only the
Windows halves of base's operating-system primitives (base/os/*_win32.cpp) see windows.h."""
import pathlib
import re
import sys

# Each layer and the layers below it that it may include.
LAYERS = {
    "base": set(),
    "state": {"base"},
    "device": {"base"},
    "platform": {"base", "state"},
    "model": {"base"},
    "render": {"base", "state", "device", "platform", "model"},
    "input": {"base", "state", "platform"},
    "capture": {"base", "state", "platform"},
    "app": {"base", "state", "device", "platform", "model", "render", "input", "capture"},
    "samples": {"base", "capture"},
    "replay": {"base", "state", "device", "platform", "model", "render", "capture"},
    "backends/fake": {"base", "state", "device", "platform", "input"},
    "backends/x11": {"base", "state", "platform"},
    "backends/wayland": {"base", "state", "platform"},
    "backends/gl": {"base", "device"},
    "backends/egl": {"base", "device"},
    "backends/qt": {"base", "state", "device", "platform", "backends/x11"},
    "backends/d3d9": {"base", "device"},
    "backends/win32": {"base", "state", "device", "platform"},
}
BACKENDS = "backends/"
TOOLKIT = re.compile(r'#\s*include\s*[<"]\s*(Q[A-Z]\w*>|Qt\w*/|X11/|GL/|EGL/|KHR/|xcb/|wayland-|pipewire/|spa/|systemd/)')
WINDOWS = re.compile(r'#\s*include\s*[<"]\s*([Ww]indows\.h|win(user|gdi|base|def|nt)\.h|d3d\w*\.h|wincodec\.h|'
                     r'objbase\.h|shellapi\.h|dwmapi\.h|shlobj\.h)')
OWN = re.compile(r'#\s*include\s*"([^"]+)"')


def layer_of(path):
    """The layer an include path or a source's path (relative to src/) belongs to."""
    parts = path.split("/")
    if parts[0] == "backends" and len(parts) > 2:
        return "backends/" + parts[1]
    return parts[0] if len(parts) > 1 else None


def main(src, stamp):
    src = pathlib.Path(src)
    bad = []
    for f in sorted(src.rglob("*")):
        if f.suffix not in (".h", ".cpp"):
            continue
        name = f.relative_to(src).as_posix()
        layer = layer_of(name)
        if layer is None:
            continue  # the programs' mains pair whatever they need
        if layer not in LAYERS:
            bad.append(f"{name}: the folder {layer}/ is no layer of the build")
            continue
        core = not layer.startswith(BACKENDS)
        windows_half = re.fullmatch(r"base/os/\w+_win32\.cpp", name) is not None
        for number, line in enumerate(f.read_text(encoding="utf-8").splitlines(), 1):
            where = f"{name}:{number}: {line.strip()}"
            if core and (TOOLKIT.search(line) or (WINDOWS.search(line) and not windows_half)):
                bad.append(f"{where} (a toolkit header in the portable core)")
            own = OWN.search(line)
            if own and "/" in own.group(1):
                target = layer_of(own.group(1))
                if target in LAYERS and target != layer and target not in LAYERS[layer]:
                    bad.append(f"{where} ({layer} may not include {target})")
    if bad:
        print("includes that break the layers:\n  " + "\n  ".join(bad), file=sys.stderr)
        return 1
    pathlib.Path(stamp).write_text("ok\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
