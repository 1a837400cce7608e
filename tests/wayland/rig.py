"""A private Wayland desktop for the end-to-end tests: headless sway with XWayland, its own session
bus, PipeWire and the desktop portals, all run as an unprivileged user (sway refuses root). Its
Session is the part every desktop shares (gnome_rig.py has the other).

The portals come in two set-ups: "screenshot" has the real Screenshot portal (wlr for the
picture, gtk for Access) and no ScreenCast; "screencast" adds ScreenCast from the test backend in
cast_backend.py, which streams grim's pictures of the output through PipeWire; with
screenshot=False that backend is the only way to the pixels.

Everything the rig starts runs as a descendant of the test process, which adopts orphans, so the
teardown finds and ends each of them by its id."""
import ctypes
import io
import json
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "../e2e"))
from harness import wait_until  # noqa: E402

USER = "nukitori-wl"
CAST_DESKTOP = "nukitest"
SHOT_FILE = "/tmp/out.png"
PICTURE_AREA = (424, 303)


def rig_user():
    """The user everything runs as: a user of its own, made on first use, when the tests run as
    root (sway refuses root); else the tests' own user."""
    if os.geteuid() != 0:
        return pwd.getpwuid(os.geteuid())
    try:
        return pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/nonexistent",
                        "--shell", "/usr/sbin/nologin", USER], check=False)
        return pwd.getpwnam(USER)


def as_user(user):
    """Popen's options that run a process as `user`: only root may switch."""
    if os.geteuid() != 0:
        return {}
    return {"user": user.pw_uid, "group": user.pw_gid, "extra_groups": []}


def adopt_orphans():
    """Makes this process the reaper of its descendants' orphans (daemons, bus-activated
    services), so that they stay findable under it."""
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def descendants(pid):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    parent = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            children.setdefault(parent, []).append(int(entry))
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


def owned_by(pid, uid):
    try:
        return os.stat(f"/proc/{pid}").st_uid == uid
    except OSError:
        return False


class Session:
    """A desktop session's common parts: the user, a private runtime folder, home and logs, the
    processes started as the user, the session bus; a subclass's _start brings up its desktop."""

    def __init__(self, size):
        self.user = rig_user()
        self.size = size
        self.processes = []
        adopt_orphans()
        self.root = tempfile.mkdtemp(prefix="nukitori-wl-")
        os.chmod(self.root, 0o755)
        for name in ("run", "home", "logs", "portals", "work"):
            os.mkdir(self.path(name), 0o700)
        for folder, _, _ in os.walk(self.root):
            os.chown(folder, self.user.pw_uid, self.user.pw_gid)
        self.env = {
            "PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": self.path("home"), "USER": self.user.pw_name, "LOGNAME": self.user.pw_name,
            "LANG": "C.UTF-8", "XDG_RUNTIME_DIR": self.path("run"), "XDG_SESSION_TYPE": "wayland",
            "TMPDIR": self.path("work"),
        }
        try:
            self._start()
        except BaseException:
            self.close()
            raise

    def _start(self):
        raise NotImplementedError

    def path(self, *parts):
        return os.path.join(self.root, *parts)

    def install(self, program):
        """A copy of `program` the user may run: the checkout may lie where only root can read
        (a CI run's clone in /root)."""
        copy = self.path("bin", os.path.basename(program))
        if not os.path.exists(copy):
            os.makedirs(self.path("bin"), mode=0o755, exist_ok=True)
            shutil.copy(program, copy)
            os.chmod(copy, 0o755)
        return copy

    # Processes of the user.

    def spawn(self, args, name=None, env=None, **options):
        """Starts `args` as the user in the session's environment, its output in logs/`name`."""
        name = name or os.path.basename(args[0])
        log = open(self.path("logs", name + ".log"), "ab")
        options.setdefault("stdout", log)
        options.setdefault("stderr", log)
        options.setdefault("cwd", self.path("work"))
        options.setdefault("stdin", subprocess.DEVNULL)
        process = subprocess.Popen(args, env=dict(self.env, **(env or {})), **as_user(self.user), **options)
        log.close()
        self.processes.append(process)
        return process

    def run(self, args, check=True, timeout=30, env=None, input=None):
        """Runs `args` as the user to its end; returns its output (bytes)."""
        result = subprocess.run(args, env=dict(self.env, **(env or {})), **as_user(self.user),
                                cwd=self.path("work"),
                                capture_output=True, timeout=timeout, input=input)
        if check and result.returncode != 0:
            raise RuntimeError(f"{args} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
        return result.stdout

    def log(self, name):
        try:
            with open(self.path("logs", name + ".log"), encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def _start_bus(self):
        address = "unix:path=" + self.path("run", "bus")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.spawn(["dbus-daemon", "--session", "--address=" + address, "--nofork", "--nopidfile"], "dbus")
        wait_until(lambda: os.path.exists(self.path("run", "bus")), what="the session bus")

    def bus_names(self):
        out = self.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                        "/org/freedesktop/DBus", "org.freedesktop.DBus.ListNames"], check=False)
        return {line.split('"')[1] for line in out.decode().splitlines() if line.strip().startswith("string ")}

    def wait_for_name(self, name, process, log, timeout=15):
        def there():
            if process.poll() is not None:
                raise RuntimeError(f"{process.args[0]} ended:\n" + self.log(log))
            return name in self.bus_names()
        wait_until(there, timeout=timeout, interval=0.1, what=name)

    def xdotool(self, *args):
        return self.run(["xdotool", *[str(a) for a in args]], check=False).decode().strip()

    def close(self):
        """Ends everything the rig started, politely and then by force, until nothing is left:
        the bus may still be starting a service while the others end."""
        uid = self.user.pw_uid
        force_at = time.monotonic() + 3
        while True:
            mine = [p for p in descendants(os.getpid()) if owned_by(p, uid)]
            for pid in mine:
                if _zombie(pid):
                    try:
                        os.waitpid(pid, os.WNOHANG)
                    except ChildProcessError:
                        pass  # another process's child: it reaps it
            alive = [p for p in mine if not _zombie(p)]
            if not alive:
                break
            sig = signal.SIGKILL if time.monotonic() > force_at else signal.SIGTERM
            for pid in alive:
                try:
                    os.kill(pid, sig)
                except ProcessLookupError:
                    pass
            time.sleep(0.05)
        for process in self.processes:
            process.poll()
        shutil.rmtree(self.root, ignore_errors=True)


class Desktop(Session):
    """sway on a headless output of `size`, XWayland, a session bus, and with `portals`
    ("screenshot" or "screencast") PipeWire and the portals."""

    def __init__(self, portals=None, screenshot=True, size=(1024, 768)):
        self.portals = portals
        self.screenshot_portal = screenshot
        super().__init__(size)

    def _start(self):
        self._start_sway()
        self._start_bus()
        if self.portals:
            self._start_portals(self.portals, self.screenshot_portal)

    # The compositor.

    def _start_sway(self):
        width, height = self.size
        config = self.path("sway.conf")
        with open(config, "w") as f:
            f.write(f"""\
output HEADLESS-1 resolution {width}x{height} position 0 0
xwayland enable
default_border none
default_floating_border none
focus_follows_mouse no
# Windows float at their own sizes, as on a stacking desktop, not tiled.
for_window [shell="xwayland"] floating enable
for_window [title="picture-"] floating enable, border none
exec echo "$DISPLAY" > {self.path("run", "x-display")}
""")
        sway = self.spawn(["sway", "-c", config], "sway",
                          env={"WLR_BACKENDS": "headless", "WLR_LIBINPUT_NO_DEVICES": "1",
                               "WLR_RENDERER": "pixman", "WLR_HEADLESS_OUTPUTS": "1"})

        def x_display():
            if sway.poll() is not None:
                raise RuntimeError("sway ended:\n" + self.log("sway"))
            try:
                with open(self.path("run", "x-display")) as f:
                    return f.read().strip()
            except FileNotFoundError:
                return None
        self.env["DISPLAY"] = wait_until(x_display, timeout=20, what="sway")
        sockets = [n for n in os.listdir(self.path("run")) if n.startswith("wayland-") and not n.endswith(".lock")]
        self.env["WAYLAND_DISPLAY"] = sockets[0]
        self.env["SWAYSOCK"] = next(os.path.join(self.path("run"), n) for n in os.listdir(self.path("run"))
                                    if n.startswith("sway-ipc."))
        # XWayland starts with its first client: wait until it answers.
        wait_until(lambda: self.run(["xdpyinfo"], check=False, timeout=20), timeout=20, interval=0.2,
                   what="XWayland")

    def swaymsg(self, *command, check=True):
        return json.loads(self.run(["swaymsg", "-r", *command], check=check) or b"null")

    # The session bus, PipeWire and the portals.

    def _portal_file(self, name, bus_name, interfaces, use_in):
        with open(self.path("portals", name + ".portal"), "w") as f:
            f.write(f"[portal]\nDBusName={bus_name}\nInterfaces={';'.join(interfaces)};\nUseIn={use_in}\n")

    def _start_portals(self, portals, screenshot):
        """The real frontend, with only the backends of the set-up in its portal folder."""
        self.env["XDG_DESKTOP_PORTAL_DIR"] = self.path("portals")
        desktops = ["sway"]
        self._portal_file("gtk", "org.freedesktop.impl.portal.desktop.gtk",
                          ["org.freedesktop.impl.portal.Access"], "gnome")
        if screenshot:
            # wlr writes every screenshot to this one file; one left by another user (a run that
            # stopped before nukitori removed it) would make them fail.
            if os.path.exists(SHOT_FILE) and os.stat(SHOT_FILE).st_uid != self.user.pw_uid:
                if os.geteuid() != 0:
                    raise RuntimeError(f"{SHOT_FILE} belongs to another user: wlr's screenshots would fail")
                os.remove(SHOT_FILE)
            # wlr's ScreenCast needs DMA-BUF, which a headless pixman output has not: only its
            # Screenshot is offered.
            self._portal_file("wlr", "org.freedesktop.impl.portal.desktop.wlr",
                              ["org.freedesktop.impl.portal.Screenshot"], "sway")
        self.spawn(["pipewire"], "pipewire")
        wait_until(lambda: os.path.exists(self.path("run", "pipewire-0")), what="pipewire")
        self.spawn(["wireplumber"], "wireplumber")
        if portals == "screencast":
            desktops.insert(0, CAST_DESKTOP)
            self._portal_file(CAST_DESKTOP, "org.freedesktop.impl.portal.desktop." + CAST_DESKTOP,
                              ["org.freedesktop.impl.portal.ScreenCast"], CAST_DESKTOP)
            self.cast_control = self.path("work", "cast-control.json")
            self.cast_log = self.path("logs", "cast-events.log")
            self.set_cast(format="BGRx", refuse=False)
            backend = self.spawn(["python3", self.install(os.path.join(HERE, "cast_backend.py")),
                                  self.cast_control, self.cast_log], "cast-backend")
            self.wait_for_name("org.freedesktop.impl.portal.desktop." + CAST_DESKTOP, backend, "cast-backend")
        self.env["XDG_CURRENT_DESKTOP"] = ":".join(desktops)
        gtk = self.spawn(["/usr/libexec/xdg-desktop-portal-gtk"], "portal-gtk")
        self.wait_for_name("org.freedesktop.impl.portal.desktop.gtk", gtk, "portal-gtk")
        if screenshot:
            wlr = self.spawn(["/usr/libexec/xdg-desktop-portal-wlr"], "portal-wlr")
            self.wait_for_name("org.freedesktop.impl.portal.desktop.wlr", wlr, "portal-wlr")
        frontend = self.spawn(["/usr/libexec/xdg-desktop-portal", "--verbose"], "portal")
        self.wait_for_name("org.freedesktop.portal.Desktop", frontend, "portal")

    def set_cast(self, **settings):
        """Tells the ScreenCast backend what its next sessions do: format (a PipeWire video
        format name, or a list taken in turn), refuse (answer 1 to Start, as a user who cancels),
        region ([x, y, w, h]: cast only that part of the output, placed there), answer_after
        (seconds Start takes to answer)."""
        with open(self.cast_control + ".new", "w") as f:
            json.dump(settings, f)
        os.chown(self.cast_control + ".new", self.user.pw_uid, self.user.pw_gid)
        os.replace(self.cast_control + ".new", self.cast_control)

    def cast_events(self):
        """The backend's events so far, each a list of words (see cast_backend.py)."""
        try:
            with open(self.cast_log) as f:
                return [line.split() for line in f.read().splitlines()]
        except FileNotFoundError:
            return []

    def cast_consumers(self):
        """The PipeWire links that read a stream of the ScreenCast backend now."""
        objects = [(o.get("type"), o["id"], o.get("info") or {}) for o in self._pipewire_objects()]
        nodes = {id for kind, id, info in objects if kind == "PipeWire:Interface:Node"
                 and str((info.get("props") or {}).get("node.name", "")).startswith(CAST_DESKTOP + "-cast-")}
        return [id for kind, id, info in objects
                if kind == "PipeWire:Interface:Link" and info.get("output-node-id") in nodes]

    def _pipewire_objects(self):
        # pw-dump's output is not one JSON document when the graph changes while it writes (an
        # object removed mid-dump): such a dump is taken again.
        for _ in range(10):
            try:
                return json.loads(self.run(["pw-dump"]) or b"[]")
            except json.JSONDecodeError:
                time.sleep(0.1)
        raise RuntimeError("pw-dump gave no readable picture of the PipeWire graph")

    # What the tests see and do.

    def screenshot(self):
        """The output as grim sees it: what the compositor shows."""
        data = self.run(["grim", "-t", "ppm", "-"])
        return Image.open(io.BytesIO(data)).convert("RGB")

    def show_picture(self, picture, x, y):
        """Shows `picture` in a native Wayland window (weston-image) placed at x, y; returns the
        process. weston-image fits a picture to its drawing area, PICTURE_AREA: one of that size
        is drawn 1:1, inside the window's title bar and border."""
        if picture.size != PICTURE_AREA:
            raise ValueError(f"a picture of {picture.size} would be scaled: make it {PICTURE_AREA}")
        path = self.path("work", f"picture-{len(self.processes)}.png")
        picture.save(path)
        os.chown(path, self.user.pw_uid, self.user.pw_gid)
        process = self.spawn(["weston-image", path], "weston-image")
        title = "Wayland Image - " + os.path.basename(path)
        wait_until(lambda: self.window_rect(title), what=f"the window {title}")
        self.swaymsg(f'[title="{os.path.basename(path)}"]', "move", "position", str(x), str(y))
        return process

    def window_rect(self, title):
        """(x, y, width, height) of the sway window whose title starts with `title`, or None."""
        def walk(node):
            if (node.get("name") or "").startswith(title) and node.get("type") in ("con", "floating_con"):
                yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from walk(child)
        for node in walk(self.swaymsg("-t", "get_tree")):
            r = node["rect"]
            return r["x"], r["y"], r["width"], r["height"]
        return None

    def close(self):
        super().close()
        # xdg-desktop-portal-wlr always saves its screenshots there.
        if os.path.exists(SHOT_FILE) and os.stat(SHOT_FILE).st_uid == self.user.pw_uid:
            os.remove(SHOT_FILE)


def _zombie(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True
