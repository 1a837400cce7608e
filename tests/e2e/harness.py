"""End-to-end harness: a private Xvfb (and optionally openbox), the real nukitori binary in a
fresh working directory holding the sample files, input through xdotool, screenshots.

With NUKITORI_WINE_PREFIX set, NUKITORI_BIN is the Windows program and runs under Wine in that
prefix (made on first use), on the same Xvfb and with the same tests."""
import atexit
import fcntl
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

from PIL import Image, ImageGrab

BIN = os.environ.get("NUKITORI_BIN", os.path.join(os.path.dirname(__file__), "../../build/nukitori"))
ASSETS = os.environ.get("NUKITORI_ASSETS", os.path.join(os.path.dirname(__file__), "../../assets"))
WINE_PREFIX = os.path.abspath(os.environ["NUKITORI_WINE_PREFIX"]) if os.environ.get("NUKITORI_WINE_PREFIX") else None
UNDER_WINE = bool(WINE_PREFIX)
WINE_RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../tools/wine-run")
SAMPLES = ["model.x", "枠.bmp", "フィルター画像.jpg", "フィルター.bmp"]
SAVE_FOLDER = "抜き取り画像保存フォルダ"
RECORD = "nukitori-samples.jsonl"
CLEAR_COLOUR = (60, 163, 185)


def project_version(source):
    """The version the source tree at source builds: its CMakeLists.txt's project()."""
    with open(os.path.join(source, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(nukitori VERSION ([0-9.]+)", f.read()).group(1)


def wait_until(predicate, timeout=10.0, interval=0.05, what="condition"):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise TimeoutError(f"timed out after {timeout} s waiting for {what}")


def stop(process, grace=5):
    """Ends a process politely, by force when it has not ended within `grace` seconds."""
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def near(colour, expected, tolerance=8):
    """Equal within the precision of a 5-6-5 back buffer (8 levels per channel at most)."""
    return all(abs(int(a) - int(b)) <= tolerance for a, b in zip(colour[:3], expected))


def wine_env(env):
    return dict(env, WINEPREFIX=WINE_PREFIX, WINEDEBUG="-all")


_wine_lock = None


def prepare_wine():
    """Makes the prefix once per test process (the first start in a fresh prefix takes seconds).
    Test processes on one prefix take turns: its programs share one desktop and its foreground
    window. A wineserver still running would tie the next start to another X server."""
    global _wine_lock
    if _wine_lock:
        return
    os.makedirs(os.path.dirname(WINE_PREFIX), exist_ok=True)
    lock = open(WINE_PREFIX + ".e2e-lock", "w")
    fcntl.flock(lock, fcntl.LOCK_EX)
    subprocess.run([WINE_RUN, WINE_PREFIX], check=True, timeout=300)
    if not wine_ended():
        lock.close()
        raise RuntimeError(f"a wineserver of {WINE_PREFIX} does not end: the prefix is in use "
                           "elsewhere; give these tests a prefix of their own")
    _wine_lock = lock
    atexit.register(subprocess.run, ["wineserver", "-k"], env=wine_env(os.environ),
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def wine_ended(timeout=30):
    """Waits until every Wine process of the prefix, its wineserver included, has ended."""
    try:
        subprocess.run(["wineserver", "-w"], env=wine_env(os.environ), timeout=timeout)
        return True
    except subprocess.TimeoutExpired:
        return False


def program_path(path):
    """An absolute path as the program names it: under Wine the drive Z: is the Unix root."""
    return "Z:" + path.replace("/", "\\") if UNDER_WINE else path


class XServer:
    """Xvfb on a free display chosen by the server itself (-displayfd), never a fixed number. Its
    screen has 24 bits a pixel, or 16 (5-6-5) for the tests of such displays."""

    def __init__(self, width=1280, height=1024, window_manager=False, depth=24):
        self.depth = depth
        read_fd, write_fd = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x{depth}",
             "-noreset", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.runtime_dir = tempfile.mkdtemp(prefix="nukitori-xdg-")
        os.chmod(self.runtime_dir, 0o700)
        self.env["XDG_RUNTIME_DIR"] = self.runtime_dir
        self.wm = None
        if UNDER_WINE:
            # Windows reads the keypad's digits only with NumLock on; X starts with it off.
            self.xdotool("key", "Num_Lock")
            wait_until(lambda: "Num Lock:    on" in self.run(["xset", "q"]), what="NumLock on")
        if window_manager:
            self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wait_until(self._wm_running, what="openbox")

    def _wm_running(self):
        out = self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)
        return "window id" in out

    def run(self, args, check=True):
        result = subprocess.run(args, env=self.env, capture_output=True, text=True, check=check)
        return result.stdout

    def visible_window(self, title):
        """The first visible window titled exactly `title`, or None."""
        found = self.xdotool("search", "--onlyvisible", "--name", f"^{title}$").split()
        return found[0] if found else None

    def xdotool(self, *args):
        return self.run(["xdotool", *[str(a) for a in args]], check=False).strip()

    def screenshot(self):
        if self.depth == 16:
            return self._screenshot_16()
        return ImageGrab.grab(xdisplay=self.display).convert("RGB")

    def _screenshot_16(self):
        """Pillow cannot grab a 16-bit screen: the root's 5-6-5 pixels, widened to eight bits a
        channel by repeating their bits, as xwd and the desktop's screenshot tools do."""
        from PIL import ImageMath
        from Xlib import X, display as xdisplay
        d = xdisplay.Display(self.display)
        try:
            if d.display.info.image_byte_order != X.LSBFirst:
                raise RuntimeError("only little-endian 16-bit screens are read")
            root = d.screen().root
            geometry = root.get_geometry()
            size = geometry.width, geometry.height
            raw = root.get_image(0, 0, *size, X.ZPixmap, 0xFFFFFFFF).data
        finally:
            d.close()
        # Each pixel's low byte holds green's low three bits over blue; its high byte red over
        # green's high three.
        low, high = Image.frombytes("LA", size, raw, "raw", "LA", len(raw) // size[1]).split()
        red = high.point([(h & 0xF8) | h >> 5 for h in range(256)])
        blue = low.point([(b & 31) << 3 | (b & 31) >> 2 for b in range(256)])
        green6 = ImageMath.eval("(h & 7) << 3 | l >> 5", h=high, l=low)
        green = ImageMath.eval("convert(g << 2 | g >> 4, 'L')", g=green6)
        return Image.merge("RGB", (red, green, blue))

    def keysym_of(self, keycode):
        """The first keysym of a raw keycode, so xdotool presses exactly that physical key."""
        for line in self.run(["xmodmap", "-pke"]).splitlines():
            parts = line.split()
            if len(parts) >= 4 and parts[0] == "keycode" and parts[1] == str(keycode):
                return parts[3]
        raise KeyError(f"keycode {keycode} has no keysym")

    def keycode_of(self, keysym):
        for line in self.run(["xmodmap", "-pke"]).splitlines():
            parts = line.split()
            if len(parts) >= 4 and parts[0] == "keycode" and parts[3] == keysym:
                return int(parts[1])
        raise KeyError(f"no keycode for {keysym}")

    def key_down(self, keycode):
        self.xdotool("keydown", self.keysym_of(keycode))

    def key_up(self, keycode):
        self.xdotool("keyup", self.keysym_of(keycode))

    def tap(self, keycode, hold=0.15):
        """A press held for a few frames, as a person's is: the key poll samples once a frame."""
        self.key_down(keycode)
        time.sleep(hold)
        self.key_up(keycode)

    def close_window(self, window):
        """Asks the window manager to close the window, as its close box does (WM_DELETE_WINDOW)."""
        self.run(["wmctrl", "-i", "-c", hex(int(window))])

    def send_delete_window(self, window):
        """Sends WM_DELETE_WINDOW straight to a window, as a window manager's close box does; it
        works with no window manager too."""
        from Xlib import X, display as xdisplay
        from Xlib.protocol import event as xevent
        d = xdisplay.Display(self.display)
        try:
            target = d.create_resource_object("window", int(window))
            protocols = d.intern_atom("WM_PROTOCOLS")
            target.send_event(xevent.ClientMessage(window=target, client_type=protocols,
                                                   data=(32, [d.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])))
            d.flush()
        finally:
            d.close()

    def close(self):
        for process in (self.wm, self.process):
            stop(process)
        shutil.rmtree(self.runtime_dir, ignore_errors=True)


class Nukitori:
    """The real binary in a temporary working directory holding the sample files."""

    def __init__(self, server, samples=SAMPLES, make_folder=True, env=None, files=None, arguments=()):
        """`files` maps further file names to their bytes, written before the program starts."""
        self.server = server
        self.workdir = tempfile.mkdtemp(prefix="nukitori-e2e-")
        for name in samples:
            shutil.copy(os.path.join(ASSETS, name), self.workdir)
        for name, data in (files or {}).items():
            with open(os.path.join(self.workdir, name), "wb") as f:
                f.write(data)
        if make_folder:
            os.mkdir(os.path.join(self.workdir, SAVE_FOLDER))
        self.stderr_path = os.path.join(self.workdir, "stderr.txt")
        self._stderr = open(self.stderr_path, "wb")
        command = [os.path.abspath(os.environ.get("NUKITORI_BIN", BIN)), *arguments]
        env = env if env is not None else server.env
        if UNDER_WINE:
            prepare_wine()
            command, env = ["wine", *command], wine_env(env)
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, cwd=self.workdir, env=env,
                                        stdout=subprocess.DEVNULL, stderr=self._stderr)

    def window(self, title, timeout=30.0):
        # Generous: a sanitizer build on a busy machine can take many seconds to show a window.
        return wait_until(lambda: self.server.visible_window(title), timeout, what=f"window {title!r}")

    def geometry(self, window):
        """(x, y, width, height) of a window's inside, in screen coordinates."""
        return screen_geometry(self.server, window)

    def focus(self, window):
        self.server.xdotool("windowfocus", "--sync", window)

    def keys_reach(self, window):
        """Whether key presses now reach `window`: it has the X focus or, while the focus follows
        the pointer (PointerRoot), the pointer is over it. Wine without a window manager leaves
        the X focus as it is and moves the Windows focus itself."""
        focused = self.server.xdotool("getwindowfocus")
        if focused == str(window):
            return True
        return UNDER_WINE and not focused and \
            f"WINDOW={window}" in self.server.xdotool("getmouselocation", "--shell").split()

    def wait_exit(self, timeout=10.0):
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        # Under Wine the Unix side of an ending program is, now and then (a few exits in a
        # hundred), killed by Wine after the program has already ended itself: the status is then
        # SIGKILL, not the program's exit code, which Wine does not pass on. Such an end counts as
        # the quit it followed; any other status is the program's own.
        if UNDER_WINE and code == -signal.SIGKILL:
            return 0
        return code

    def _end_wine(self):
        """Ends the program as a user would, Escape first, and waits for all of Wine to end while
        its X server is still there. Only what does not end is killed, and that is an error."""
        def ask_viewer(ask):
            viewers = self.server.xdotool("search", "--name", "^ビューア$").split()
            if viewers and self.process.poll() is None:
                ask(viewers[0])
                try:
                    self.process.wait(10)
                except subprocess.TimeoutExpired:
                    pass

        def escape(viewer):
            self.focus(viewer)
            self.server.tap(self.server.keycode_of("Escape"))
        ask_viewer(escape)
        ask_viewer(self.server.send_delete_window)
        if self.process.poll() is None or not wine_ended():
            subprocess.run(["wineserver", "-k"], env=wine_env(os.environ))
            self.process.wait(10)
            raise RuntimeError("nukitori or another Wine program did not end and was killed")

    def stderr(self):
        self._stderr.flush()
        with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def path(self, *parts):
        return os.path.join(self.workdir, *parts)

    def saved_files(self):
        """The samples in the save folder, without the record that lists them."""
        folder = self.path(SAVE_FOLDER)
        return sorted(name for name in os.listdir(folder) if name != RECORD) if os.path.isdir(folder) else []

    def close(self):
        try:
            if UNDER_WINE:
                self._end_wine()
            elif self.process.poll() is None:
                self.process.send_signal(signal.SIGTERM)
                try:
                    self.process.wait(5)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
        finally:
            self._stderr.close()
            shutil.rmtree(self.workdir, ignore_errors=True)


class OtherProgram:
    """Another program's window at x, y, to take the focus from ours. Under Wine it is a Wine
    program too: Wine sees keys held anywhere only while one of its own windows has the focus."""

    def __init__(self, app, x, y):
        self.server = app.server
        if UNDER_WINE:
            # WineMine keeps its place from its last run, and one started at a kept place never
            # ends on WM_DELETE_WINDOW: each starts as the first did.
            subprocess.run(["wine", "reg", "delete", "HKCU\\Software\\Microsoft\\WinMine", "/f"],
                           env=wine_env(self.server.env), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=60)
            self.process = subprocess.Popen(["wine", "winemine"], env=wine_env(self.server.env),
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.window = app.window("WineMine")
            self.server.xdotool("windowmove", "--sync", self.window, x, y)
        else:
            self.process = subprocess.Popen(["xmessage", "-geometry", f"+{x}+{y}", "-title", "elsewhere",
                                             "another program"], env=self.server.env,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.window = app.window("elsewhere")

    def close(self):
        if UNDER_WINE:
            # Without a window manager Wine takes two seconds to destroy a window.
            self.server.send_delete_window(self.window)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                # WineMine at times ignores the close (not our program): it has served its turn.
                self.process.kill()
                self.process.wait(5)
        else:
            self.process.terminate()
            self.process.wait(5)


def crop(image, x, y, w, h):
    return image.crop((x, y, x + w, y + h))


def load_bmp(path):
    with Image.open(path) as im:
        im.load()
        return im.convert("RGB")


# Pointer, key and file helpers shared by the key and capture tests.

def move_pointer(server, x, y):
    """Moves the pointer and waits until it is there. xdotool's --sync waits for a motion, which
    never comes when the pointer is there already (it then gives up only after seconds)."""
    location = server.xdotool("getmouselocation", "--shell").split()
    if f"X={x}" not in location or f"Y={y}" not in location:
        server.xdotool("mousemove", "--sync", x, y)


def click_at(server, x, y, button=1):
    move_pointer(server, x, y)
    server.xdotool("click", button)


def drag(server, start, end, steps=10, settle=0.3, arrived=None, timeout=10.0):
    """Press at `start`, move to `end` in steps, hold still, release. The pause before the release
    lets uncovered windows repaint before anything that runs on the release reads the screen.
    With `arrived`, the button stays down until it holds, as a user's would until the window is
    there: a busy program under Wine asks the window manager to move its window only when it
    gets to the press, and then the window follows only the pointer's later motions."""
    (x0, y0), (x1, y1) = start, end
    move_pointer(server, x0, y0)
    server.xdotool("mousedown", 1)
    for i in range(1, steps + 1):
        server.xdotool("mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        time.sleep(0.03)
    deadline = time.monotonic() + timeout
    while arrived and not arrived() and time.monotonic() < deadline:
        for x in (x1 + 1, x1):
            server.xdotool("mousemove", x, y1)
            time.sleep(0.05)
    time.sleep(settle)
    server.xdotool("mouseup", 1)


def hold(server, keycode, seconds):
    """Holds a key for real: the program polls the keyboard once a frame."""
    server.key_down(keycode)
    try:
        time.sleep(seconds)
    finally:
        server.key_up(keycode)


def file_stamp(path):
    """(mtime_ns, size, inode) of a file, or None: tells a rewritten file from the old one."""
    try:
        st = os.stat(path)
    except FileNotFoundError:
        return None
    return st.st_mtime_ns, st.st_size, st.st_ino


def wait_for_file(path, size=None, timeout=10.0, old_stamp=None):
    """Waits until `path` exists, differs from `old_stamp` and, if given, has `size` bytes."""
    def ready():
        stamp = file_stamp(path)
        if stamp is None or stamp == old_stamp:
            return None
        return stamp if size is None or stamp[1] == size else None
    return wait_until(ready, timeout, what=f"{os.path.basename(path)} to be written")


def stable_screenshot(server, box=None, timeout=5.0):
    """A screenshot equal to the one taken a frame or two before (within `box` if given), so that
    a still scene is compared, not one half-way through a repaint."""
    previous = [None]

    def settled():
        shot = server.screenshot()
        part = shot.crop(box) if box else shot
        data = part.tobytes()
        same = data == previous[0]
        previous[0] = data
        return shot if same else None
    return wait_until(settled, timeout, interval=0.05, what="the screen to settle")


def screen_geometry(server, window):
    """(x, y, width, height) of a window's inside in screen coordinates, from xwininfo. Unlike
    xdotool's getwindowgeometry it stays right for windows that a window manager has reparented
    into a decorated frame."""
    values = {}
    for line in server.run(["xwininfo", "-id", str(window)]).splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
            int(values["Width"]), int(values["Height"]))


# A minimal XDND (version 5) drag source, so that file drops reach the program the way a file
# manager's do: through the X server, the target's own conversion of the selection and its answers.

class DropResult:
    def __init__(self, target, accepted, finished, conversions):
        self.target = target            # the window the messages went to
        self.accepted = accepted        # XdndStatus said it would take the drop
        self.finished = finished        # XdndFinished said the drop was performed
        self.conversions = conversions  # the targets the program asked the selection for

    def __repr__(self):
        return (f"DropResult(target={self.target:#x}, accepted={self.accepted}, finished={self.finished}, "
                f"conversions={self.conversions})")


def file_url(path):
    """The percent-encoded file:// URL of an absolute path (UTF-8 bytes, as file managers send)."""
    from urllib.parse import quote
    return "file://" + quote(os.path.abspath(path), safe="/")


def xdnd_drop(server, window_or_point, path, timeout=5.0):
    """Drags the file `path` from a window of our own onto the centre of a window (an id) or onto
    a point (x, y) on the screen, and drops it there as text/uri-list. Returns a DropResult; when
    the target refuses, the drag is left (XdndLeave) instead of dropped."""
    import select
    from Xlib import X, Xatom, display as xdisplay
    from Xlib.protocol import event as xevent

    if isinstance(window_or_point, tuple):
        x, y = window_or_point
    else:
        wx, wy, ww, wh = screen_geometry(server, window_or_point)
        x, y = wx + ww // 2, wy + wh // 2
    payload = (file_url(path) + "\r\n").encode("ascii")
    d = xdisplay.Display(server.display)
    try:
        atom = d.intern_atom
        aware, selection, uri_list, targets = (atom("XdndAware"), atom("XdndSelection"),
                                               atom("text/uri-list"), atom("TARGETS"))
        copy = atom("XdndActionCopy")
        root = d.screen().root

        # The target is the deepest XdndAware window on the path from the root down to the point.
        target, version, window = None, 0, root
        while True:
            child = window.translate_coords(root, x, y).child
            if not child:
                break
            window = child
            prop = window.get_full_property(aware, X.AnyPropertyType)
            if prop is not None and len(prop.value):
                target, version = window, min(int(prop.value[0]), 5)
        if target is None:
            raise RuntimeError(f"no XdndAware window under {x},{y}")

        source = root.create_window(-10, -10, 1, 1, 0, X.CopyFromParent, X.InputOutput,
                                    X.CopyFromParent, event_mask=X.PropertyChangeMask)
        # A real server time for the selection, taken from a property change of our own.
        source.change_property(uri_list, Xatom.STRING, 8, b"", mode=X.PropModeAppend)
        d.flush()
        conversions = []

        def answer(request):
            prop = request.property or request.target
            if request.selection == selection and request.target == uri_list:
                request.requestor.change_property(prop, uri_list, 8, payload)
            elif request.selection == selection and request.target == targets:
                request.requestor.change_property(prop, Xatom.ATOM, 32, [targets, uri_list])
            else:
                prop = X.NONE
            conversions.append(d.get_atom_name(request.target))
            request.requestor.send_event(xevent.SelectionNotify(
                time=request.time, requestor=request.requestor, selection=request.selection,
                target=request.target, property=prop))
            d.flush()

        def wait_for(wanted):
            """The next event of a kind in `wanted` (event type or client message type name),
            answering selection requests meanwhile."""
            deadline = time.monotonic() + timeout
            while True:
                while d.pending_events():
                    ev = d.next_event()
                    if ev.type == X.SelectionRequest:
                        answer(ev)
                    elif ev.type == X.ClientMessage and d.get_atom_name(ev.client_type) in wanted:
                        return ev
                    elif ev.type in wanted:
                        return ev
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"no {wanted} from window {target.id:#x} within {timeout} s")
                select.select([d], [], [], left)

        stamp = wait_for((X.PropertyNotify,)).time
        source.set_selection_owner(selection, stamp)
        if d.get_selection_owner(selection) != source:
            raise RuntimeError("could not own XdndSelection")

        def send(kind, *values):
            data = [source.id, *values] + [0] * (4 - len(values))
            target.send_event(xevent.ClientMessage(window=target, client_type=atom(kind), data=(32, data)))
            d.flush()

        send("XdndEnter", version << 24, uri_list)
        send("XdndPosition", 0, (x << 16) | y, stamp, copy)
        status = wait_for(("XdndStatus",)).data[1]
        accepted = bool(status[1] & 1)
        finished = False
        if accepted:
            send("XdndDrop", 0, stamp)
            finished = bool(wait_for(("XdndFinished",)).data[1][1] & 1)
        else:
            send("XdndLeave")
        source.destroy()
        d.flush()
        return DropResult(target.id, accepted, finished, conversions)
    finally:
        d.close()
