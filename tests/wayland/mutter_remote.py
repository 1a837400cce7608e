"""Mutter's own remote-desktop and screen-cast APIs for the GNOME tests, run as the desktop's user
(only it may use the session bus): the screen as mutter composes it, and a pointer.

    mutter_remote.py

Reads one JSON command a line on stdin and answers each with one JSON line on stdout:
    {"do": "shot", "path": P}              the whole monitor into P, as RGB rows; answers {"size": [w, h]}
    {"do": "click", "x": X, "y": Y}        moves the pointer there and clicks the left button
    {"do": "monitors"}                     DisplayConfig's state: {"serial", "monitors", "logical"}
    {"do": "scale", "scale": S}            the monitor at scale S (temporarily, as a settings panel tries it)
A failure answers {"error": text}.

One remote-desktop session, made at the start, moves the pointer; its linked
screen cast (which places the pointer on the monitor) is read all along, without the pointer, and
gives the pictures."""
import json
import os
import re
import subprocess
import sys
import threading
import time

from gi.repository import Gio, GLib

MUTTER = "org.gnome.Mutter."
BTN_LEFT = 0x110
# Mutter ignores a new device's events for a moment after it appears.
DEVICE_SETTLE = 0.5
# How long without a new frame counts as a still screen.
SETTLE = 0.15


def bus_proxy(connection, name, path, interface):
    return Gio.DBusProxy.new_sync(connection, Gio.DBusProxyFlags.DO_NOT_AUTO_START, None, name, path,
                                  interface, None)


class Remote:
    def __init__(self):
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        self.loop = GLib.MainLoop()
        self.gst = None
        self._connect()

    def _connect(self):
        self.connector = self.monitors()["monitors"][0]["connector"]
        desktop = bus_proxy(self.bus, MUTTER + "RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                            MUTTER + "RemoteDesktop")
        path = desktop.call_sync("CreateSession", None, 0, -1, None).unpack()[0]
        self.input = bus_proxy(self.bus, MUTTER + "RemoteDesktop", path, MUTTER + "RemoteDesktop.Session")
        session_id = self.input.get_cached_property("SessionId").unpack()
        cast = self._cast_session({"remote-desktop-session-id": GLib.Variant("s", session_id)})
        self.pointer_stream = cast.call_sync("RecordMonitor", GLib.Variant("(sa{sv})", (self.connector, {
            "cursor-mode": GLib.Variant("u", 0)})), 0, -1, None).unpack()[0]
        self._watch(self.pointer_stream)
        self.ready_at = time.monotonic() + DEVICE_SETTLE

    def _cast_session(self, properties):
        caster = bus_proxy(self.bus, MUTTER + "ScreenCast", "/org/gnome/Mutter/ScreenCast", MUTTER + "ScreenCast")
        path = caster.call_sync("CreateSession", GLib.Variant("(a{sv})", (properties,)), 0, -1, None).unpack()[0]
        return bus_proxy(self.bus, MUTTER + "ScreenCast", path, MUTTER + "ScreenCast.Session")

    def _watch(self, stream_path):
        """Reads the stream's frames as they come into self.frame: (bytes, width, height, time)."""
        stream = bus_proxy(self.bus, MUTTER + "ScreenCast", stream_path, MUTTER + "ScreenCast.Stream")
        node = []

        def added(proxy, sender, signal, parameters):
            if signal == "PipeWireStreamAdded":
                node.append(parameters.unpack()[0])
                self.loop.quit()
        stream.connect("g-signal", added)
        self.input.call_sync("Start", None, 0, -1, None)
        timeout = GLib.timeout_add_seconds(10, self.loop.quit)
        self.loop.run()
        if not node:
            raise RuntimeError("mutter announced no stream")
        GLib.source_remove(timeout)
        # The frames' size comes from the caps gst-launch tells (-v): the stream's "size" parameter
        # need not be it (a scaled monitor in logical layout).
        frames, frames_in = os.pipe()
        self.gst = subprocess.Popen(["gst-launch-1.0", "-v", "pipewiresrc", f"path={node[0]}", "always-copy=true",
                                     "!", "videoconvert", "!", "video/x-raw,format=RGB", "!", "fdsink",
                                     f"fd={frames_in}"], stdout=subprocess.PIPE, pass_fds=(frames_in,))
        os.close(frames_in)
        self.frame = None
        self.frame_came = threading.Condition()
        size = []
        sized = threading.Event()

        def caps():
            for line in self.gst.stdout:
                found = re.search(rb"fdsink\d*\.GstPad:sink: caps = .*width=\(int\)(\d+), height=\(int\)(\d+)", line)
                if found:
                    size[:] = [int(found.group(1)), int(found.group(2))]
                    sized.set()

        def read():
            source = os.fdopen(frames, "rb")
            sized.wait()
            while True:
                width, height = size
                data = source.read(width * height * 3)
                if len(data) < width * height * 3:
                    return
                with self.frame_came:
                    self.frame = (data, width, height, time.monotonic())
                    self.frame_came.notify_all()
        threading.Thread(target=caps, daemon=True).start()
        threading.Thread(target=read, daemon=True).start()

    def shot(self, path):
        """The last frame once the screen has been still for SETTLE: mutter sends one at every
        change, so a change on its way shows before that."""
        deadline = time.monotonic() + 10
        with self.frame_came:
            while time.monotonic() < deadline:
                last = self.frame[3] if self.frame else None
                if last is not None and time.monotonic() - last >= SETTLE:
                    break
                self.frame_came.wait(SETTLE)
            if not self.frame:
                raise RuntimeError("mutter sent no frame")
            data, width, height, _ = self.frame
        with open(path, "wb") as f:
            f.write(data)
        return {"size": [width, height]}

    def click(self, x, y):
        time.sleep(max(0.0, self.ready_at - time.monotonic()))
        self.input.call_sync("NotifyPointerMotionAbsolute",
                             GLib.Variant("(sdd)", (self.pointer_stream, float(x), float(y))), 0, -1, None)
        # The window under the pointer learns that it has it a moment later (through XWayland for
        # an X window); a press before that goes to the window it was over.
        time.sleep(0.2)
        for pressed in (True, False):
            self.input.call_sync("NotifyPointerButton", GLib.Variant("(ib)", (BTN_LEFT, pressed)), 0, -1, None)
            time.sleep(0.1)
        return {}

    def _config(self):
        return bus_proxy(self.bus, MUTTER + "DisplayConfig", "/org/gnome/Mutter/DisplayConfig",
                         MUTTER + "DisplayConfig")

    def monitors(self):
        serial, monitors, logical, properties = self._config().call_sync("GetCurrentState", None, 0, -1,
                                                                         None).unpack()
        return {
            "serial": serial,
            "monitors": [{"connector": spec[0], "modes": [{"id": m[0], "size": [m[1], m[2]], "scales": m[5],
                                                            "current": bool(m[6].get("is-current"))}
                                                           for m in modes]}
                         for spec, modes, _ in monitors],
            "logical": [{"x": x, "y": y, "scale": scale, "connectors": [m[0] for m in specs]}
                        for x, y, scale, _, _, specs, _ in logical],
            "layout_mode": properties.get("layout-mode"),
        }

    def scale(self, scale):
        state = self.monitors()
        monitor = state["monitors"][0]
        mode = next(m for m in monitor["modes"] if m["current"])
        if not any(abs(s - scale) < 1e-6 for s in mode["scales"]):
            raise RuntimeError(f"mode {mode['id']} offers the scales {mode['scales']}, not {scale}")
        TEMPORARY = 1
        self._config().call_sync("ApplyMonitorsConfig", GLib.Variant("(uua(iiduba(ssa{sv}))a{sv})", (
            state["serial"], TEMPORARY, [(0, 0, scale, 0, True, [(monitor["connector"], mode["id"], {})])], {})),
            0, -1, None)
        # Mutter ends the sessions that cast a monitor whose configuration changes: a new one starts.
        self.gst.terminate()
        self.gst.wait()
        self._connect()
        return self.monitors()


def main():
    remote = Remote()
    print(json.dumps({"ready": True}), flush=True)
    for line in sys.stdin:
        command = json.loads(line)
        try:
            if command["do"] == "shot":
                answer = remote.shot(command["path"])
            elif command["do"] == "click":
                answer = remote.click(command["x"], command["y"])
            elif command["do"] == "monitors":
                answer = remote.monitors()
            elif command["do"] == "scale":
                answer = remote.scale(command["scale"])
            else:
                answer = {"error": f"no command {command['do']!r}"}
        except Exception as error:  # the test gets the reason
            answer = {"error": repr(error)}
        print(json.dumps(answer), flush=True)


if __name__ == "__main__":
    main()
