"""A private GNOME desktop for the end-to-end tests: mutter headless on a virtual monitor, with its
own XWayland, a session bus, PipeWire and WirePlumber, and the real portals of GNOME
(xdg-desktop-portal-gnome behind xdg-desktop-portal), run as the sway rig's unprivileged user.
gnome-shell is not needed: the portal's "Screen Share" dialog is a GTK window of its own.

What the tests see and do goes through mutter's own APIs, not the portal the program uses: a
screen cast for the pictures and a remote-desktop session for the pointer
(mutter_remote.py, run as the user, who alone may use the bus)."""
import glob
import json
import os
import re
import shutil
import subprocess
import sys

from PIL import Image

from rig import HERE, Session, wait_until

MUTTER_INSTALLED = bool(shutil.which("mutter")) and os.path.exists("/usr/libexec/xdg-desktop-portal-gnome")
WAYLAND_NAME = "nukitori-gnome"
# The dialog's colours in GNOME's default (Adwaita) style.
DIALOG_HEADER = (235, 235, 235)
DIALOG_ROW = (255, 255, 255)
SHARE_READY = (53, 132, 228)
SHARE_WAITING = (144, 183, 231)  # until a monitor is chosen
ACCESS_BACKGROUND = (246, 245, 244)


class GnomeDesktop(Session):
    """mutter on a headless virtual monitor of `size`, XWayland, the bus, PipeWire and the portals."""

    def __init__(self, size=(1024, 768)):
        self.remote = None
        self.shots = 0
        super().__init__(size)

    def _start(self):
        self.env.update({
            "XDG_CURRENT_DESKTOP": "GNOME", "LIBGL_ALWAYS_SOFTWARE": "1", "GSETTINGS_BACKEND": "memory",
            "NO_AT_BRIDGE": "1", "GTK_A11Y": "none", "WAYLAND_DISPLAY": WAYLAND_NAME,
        })
        self._start_bus()
        self.spawn(["pipewire"], "pipewire")
        wait_until(lambda: os.path.exists(self.path("run", "pipewire-0")), what="pipewire")
        self.spawn(["wireplumber"], "wireplumber")
        width, height = self.size
        mutter = self.spawn(["mutter", "--headless", "--virtual-monitor", f"{width}x{height}", "--wayland",
                             "--wayland-display=" + WAYLAND_NAME], "mutter")

        def x_display():
            if mutter.poll() is not None:
                raise RuntimeError("mutter ended:\n" + self.log("mutter"))
            found = re.search(r"Using public X11 display (:\d+)", self.log("mutter"))
            return found and found.group(1)
        self.env["DISPLAY"] = wait_until(x_display, timeout=20, what="mutter's XWayland")
        self.env["XAUTHORITY"] = glob.glob(self.path("run", ".mutter-Xwaylandauth.*"))[0]
        wait_until(lambda: self.run(["xdpyinfo"], check=False, timeout=20), timeout=20, interval=0.2,
                   what="XWayland")
        # The portals are started by the bus when asked, in the environment it was told.
        self.run(["dbus-update-activation-environment", "WAYLAND_DISPLAY", "DISPLAY", "XAUTHORITY",
                  "XDG_CURRENT_DESKTOP"])
        gnome = self.spawn(["/usr/libexec/xdg-desktop-portal-gnome"], "portal-gnome")
        self.wait_for_name("org.freedesktop.impl.portal.desktop.gnome", gnome, "portal-gnome")
        frontend = self.spawn(["/usr/libexec/xdg-desktop-portal"], "portal")
        self.wait_for_name("org.freedesktop.portal.Desktop", frontend, "portal")
        remote = self.install(os.path.join(HERE, "mutter_remote.py"))
        self.remote = self.spawn([sys.executable, remote], "mutter-remote", stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        ready = json.loads(self.remote.stdout.readline() or b"{}")
        if not ready.get("ready"):
            raise RuntimeError("mutter's remote desktop did not start:\n" + self.log("mutter-remote"))

    def ask(self, **command):
        """One command to mutter_remote.py; its answer."""
        self.remote.stdin.write((json.dumps(command) + "\n").encode())
        self.remote.stdin.flush()
        line = self.remote.stdout.readline()
        if not line:
            raise RuntimeError("mutter_remote.py ended:\n" + self.log("mutter-remote"))
        answer = json.loads(line)
        if "error" in answer:
            raise RuntimeError(f"{command}: {answer['error']}")
        return answer

    def screenshot(self):
        """The monitor as mutter's screen cast gives it, without the pointer."""
        self.shots += 1
        path = self.path("work", f"shot-{self.shots}.rgb")
        width, height = self.ask(do="shot", path=path)["size"]
        with open(path, "rb") as f:
            picture = Image.frombytes("RGB", (width, height), f.read())
        os.remove(path)
        return picture

    def click(self, x, y):
        self.ask(do="click", x=x, y=y)

    def monitors(self):
        return self.ask(do="monitors")

    def set_scale(self, scale):
        return self.ask(do="scale", scale=scale)

    def show_picture(self, picture, x, y, title="picture"):
        """`picture` 1:1 in an X11 window asking to be at x, y (mutter adds its title bar above)."""
        return XPicture(self, picture, x, y, title)

    def close(self):
        if self.remote and self.remote.stdin:
            self.remote.stdin.close()
        super().close()


class XPicture:
    """x_picture.py's window: one picture, changed on demand."""

    def __init__(self, desktop, picture, x, y, title):
        self.desktop = desktop
        self.count = 0
        path = self._save(picture)
        self.process = desktop.spawn([sys.executable, desktop.install(os.path.join(HERE, "x_picture.py")), path, title,
                                      str(x), str(y)], "x-picture", stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        wait_until(lambda: desktop.xdotool("search", "--onlyvisible", "--name", f"^{title}$"),
                   what=f"the window {title}")

    def _save(self, picture):
        self.count += 1
        path = self.desktop.path("work", f"x-picture-{self.count}.png")
        picture.save(path)
        os.chown(path, self.desktop.user.pw_uid, self.desktop.user.pw_gid)
        return path

    def change(self, picture):
        self.process.stdin.write((self._save(picture) + "\n").encode())
        self.process.stdin.flush()
        if self.process.stdout.readline().strip() != b"shown":
            raise RuntimeError("x_picture.py did not show the new picture:\n" + self.desktop.log("x-picture"))


def find_dialog(shot):
    """GNOME's "Screen Share" dialog on `shot`: {"box", "cancel", "share", "row"}, the points to
    click at, with "share_shown" (False while another window covers Share) and "share_ready";
    None while the dialog or its Cancel is not there.

    The dialog is found by its header bar's colour: the longest rows of it are the header, whose
    left end holds Cancel and right end Share; the monitor row is the white list below, None once
    it is chosen (it turns grey)."""
    width, height = shot.size
    pixels = shot.load()
    rows = []
    for y in range(height):
        run = [x for x in range(0, width, 2) if pixels[x, y] == DIALOG_HEADER]
        if len(run) > 60:
            rows.append((y, run[0], run[-1]))
    if not rows:
        return None
    # The header is the first band of such rows; its buttons and title (and a window over part of
    # it) may break it for some.
    band = [rows[0]]
    for row in rows[1:]:
        if row[0] > band[-1][0] + 30:
            break
        band.append(row)
    top, bottom = band[0][0], band[-1][0]
    left, right = min(r[1] for r in band), max(r[2] for r in band)
    middle = (top + bottom) // 2

    def button(x0, x1):
        xs = [x for x in range(x0, x1) if pixels[x, middle] != DIALOG_HEADER]
        return (xs[0], xs[-1]) if xs else None
    cancel = button(left, left + (right - left) // 4)
    share = button(right - (right - left) // 4, right)
    row_ys = [y for y in range(bottom + 1, min(height, bottom + 300)) if pixels[(left + right) // 2, y] == DIALOG_ROW]
    if not cancel:
        return None
    button_colours = {pixels[x, middle] for x in range(share[0], share[1] + 1)} if share else set()
    cancel = ((cancel[0] + cancel[1]) // 2, middle)
    share = ((share[0] + share[1]) // 2, middle) if share else None
    return {"box": (left, top, right - left + 1, bottom - top + 1), "cancel": cancel, "share": share,
            "row": ((left + right) // 2, (row_ys[0] + row_ys[-1]) // 2) if row_ys else None,
            "share_ready": SHARE_READY in button_colours,
            "share_shown": bool(button_colours & {SHARE_READY, SHARE_WAITING})}


def find_access_dialog(shot):
    """GNOME's yes-or-no question ("Allow Applications to Take Screenshots?"): {"deny", "allow"},
    the points to click at, or None. Found by its background, in a band taller than any title
    bar of that colour (an unfocused one has it); its two buttons split its bottom strip."""
    width, height = shot.size
    pixels = shot.load()
    rows = [y for y in range(height) if sum(pixels[x, y] == ACCESS_BACKGROUND for x in range(0, width, 2)) > 100]
    bands, start = [], None
    for i, y in enumerate(rows):
        if start is None:
            start = y
        # A line of large text may break the background for a few rows.
        if i + 1 == len(rows) or rows[i + 1] > y + 8:
            bands.append((start, y))
            start = None
    tall = [band for band in bands if band[1] - band[0] > 100]
    if not tall:
        return None
    top, bottom = tall[0]
    xs = [x for x in range(width) if pixels[x, (top + bottom) // 2] == ACCESS_BACKGROUND]
    left, right = xs[0], xs[-1]
    y = bottom - 22
    return {"deny": ((3 * left + right) // 4, y), "allow": ((left + 3 * right) // 4, y)}
