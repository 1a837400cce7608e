"""A ScreenCast backend for the real xdg-desktop-portal frontend, for the tests: it casts the whole
output, as grim sees it, through a PipeWire node fed by GStreamer, in a video format the test
chooses per session. xdg-desktop-portal-wlr cannot cast from a headless pixman output (it needs
DMA-BUF); this one needs only SHM.

    cast_backend.py CONTROL LOG

CONTROL is a JSON file read at each Start: {"format": "BGRx" or a list taken in turn,
"refuse": true to answer 1 as a user who cancels, "region": [x, y, w, h] to cast only that part
of the output, "answer_after": seconds that Start takes, as a user reading a question would}. LOG gets one line per event, its first word the event and its last two "at" and
the monotonic time: "create", "select", "start" for the calls; then "asked" where a user would
have been asked to choose the screen (no restore data came), "refused", "started FORMAT NODE";
"closed" when the session ends."""
import json
import os
import subprocess
import sys
import threading
import time

from gi.repository import Gio, GLib

NAME = "nukitest"
FRAMES_PER_SECOND = 8
INTERFACES = Gio.DBusNodeInfo.new_for_xml("""
<node>
  <interface name="org.freedesktop.impl.portal.ScreenCast">
    <method name="CreateSession">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="SelectSources">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" direction="in"/><arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="u" direction="out"/><arg type="a{sv}" direction="out"/>
    </method>
    <property name="AvailableSourceTypes" type="u" access="read"/>
    <property name="AvailableCursorModes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.impl.portal.Session">
    <method name="Close"/>
    <signal name="Closed"/>
    <property name="version" type="u" access="read"/>
  </interface>
</node>""").interfaces
PROPERTIES = {"AvailableSourceTypes": GLib.Variant("u", 1), "AvailableCursorModes": GLib.Variant("u", 7),
              "version": GLib.Variant("u", 4)}


def output_size():
    header = subprocess.run(["grim", "-t", "ppm", "-"], capture_output=True, check=True).stdout.split(maxsplit=3)
    return int(header[1]), int(header[2])


class Producer:
    """grim's pictures, FRAMES_PER_SECOND a second, into a PipeWire node offering `video_format`."""

    def __init__(self, video_format, region, number):
        x, y, w, h = region
        self.geometry = f"{x},{y} {w}x{h}"
        self.name = f"{NAME}-cast-{os.getpid()}-{number}"
        self.gst = subprocess.Popen(
            ["gst-launch-1.0", "-q", "--no-fault", "fdsrc", "fd=0", "!",
             "rawvideoparse", f"width={w}", f"height={h}", "format=rgb", f"framerate={FRAMES_PER_SECOND}/1", "!",
             "videoconvert", "!", f"video/x-raw,format={video_format}", "!",
             # pipewiresink's own buffers break videoconvert: it copies plain ones instead.
             "identity", "drop-allocation=true", "!", "pipewiresink", "mode=provide", "sync=false",
             f"stream-properties=props,media.class=Video/Source,node.name={self.name}"],
            stdin=subprocess.PIPE)
        self.running = True
        threading.Thread(target=self._feed, daemon=True).start()
        self.node = self._wait_for_node()

    def _feed(self):
        while self.running and self.gst.poll() is None:
            started = time.monotonic()
            ppm = subprocess.run(["grim", "-g", self.geometry, "-t", "ppm", "-"], capture_output=True).stdout
            try:
                self.gst.stdin.write(ppm.split(b"\n", 3)[3])  # grim writes "P6\nW H\n255\n"
                self.gst.stdin.flush()
            except (OSError, IndexError):
                break
            time.sleep(max(0.0, 1 / FRAMES_PER_SECOND - (time.monotonic() - started)))

    def _wait_for_node(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            for item in json.loads(subprocess.run(["pw-dump"], capture_output=True).stdout or b"[]"):
                props = (item.get("info") or {}).get("props") or {}
                if item.get("type") == "PipeWire:Interface:Node" and props.get("node.name") == self.name:
                    return item["id"]
            time.sleep(0.1)
        self.stop()
        raise RuntimeError("the PipeWire node did not appear")

    def stop(self):
        self.running = False
        self.gst.terminate()
        try:
            self.gst.wait(5)
        except subprocess.TimeoutExpired:
            self.gst.kill()


class Backend:
    def __init__(self, connection, control, log):
        self.connection = connection
        self.control = control
        self.log_path = log
        self.sessions = {}   # session handle -> {"restored": bool, "persist": int, ...}
        self.started = 0
        connection.register_object("/org/freedesktop/portal/desktop", INTERFACES[0], self._call, self._property, None)

    def log(self, *words):
        with open(self.log_path, "a") as f:
            f.write(" ".join(str(w) for w in words) + f" at {time.monotonic():.3f}\n")

    def _property(self, connection, sender, path, interface, name):
        return PROPERTIES[name]

    def _call(self, connection, sender, path, interface, method, parameters, invocation):
        try:
            response, results = getattr(self, method)(*parameters.unpack())
        except Exception as error:  # the frontend gets the reason, the test the log line
            self.log("error", method, repr(error).replace("\n", " "))
            invocation.return_dbus_error("org.freedesktop.portal.Error.Failed", str(error))
            return
        invocation.return_value(GLib.Variant("(ua{sv})", (response, results)))

    def CreateSession(self, handle, session, app_id, options):
        self.log("create")
        registration = self.connection.register_object(session, INTERFACES[1], self._session_call,
                                                       lambda *a: GLib.Variant("u", 1), None)
        self.sessions[session] = {"registration": registration, "restored": False, "persist": 0, "producer": None}
        return 0, {"session_id": GLib.Variant("s", session)}

    def SelectSources(self, handle, session, app_id, options):
        self.log("select")
        state = self.sessions[session]
        restore = options.get("restore_data")
        state["restored"] = bool(restore) and restore[0] == NAME
        state["persist"] = options.get("persist_mode", 0)
        return 0, {}

    def Start(self, handle, session, app_id, parent_window, options):
        self.log("start")
        state = self.sessions[session]
        with open(self.control) as f:
            control = json.load(f)
        if not state["restored"]:
            self.log("asked")
        time.sleep(control.get("answer_after", 0))
        if control.get("refuse"):
            self.log("refused")
            return 1, {}
        formats = control.get("format", "BGRx")
        video_format = formats[self.started % len(formats)] if isinstance(formats, list) else formats
        region = control.get("region") or [0, 0, *output_size()]
        self.started += 1
        state["producer"] = producer = Producer(video_format, region, self.started)
        self.log("started", video_format, producer.node)
        stream = {"position": GLib.Variant("(ii)", tuple(region[:2])), "size": GLib.Variant("(ii)", tuple(region[2:])),
                  "source_type": GLib.Variant("u", 1)}
        results = {"streams": GLib.Variant("a(ua{sv})", [(producer.node, stream)])}
        if state["persist"]:
            results["persist_mode"] = GLib.Variant("u", state["persist"])
            results["restore_data"] = GLib.Variant("(suv)", (NAME, 1, GLib.Variant("s", "HEADLESS-1")))
        return 0, results

    def _session_call(self, connection, sender, path, interface, method, parameters, invocation):
        state = self.sessions.pop(path, None)
        if state:
            if state["producer"]:
                state["producer"].stop()
            connection.unregister_object(state["registration"])
            self.log("closed")
        invocation.return_value(None)

    def stop(self):
        for state in self.sessions.values():
            if state["producer"]:
                state["producer"].stop()


def main():
    control, log = sys.argv[1:3]
    loop = GLib.MainLoop()
    connection = Gio.bus_get_sync(Gio.BusType.SESSION)
    backend = Backend(connection, control, log)
    Gio.bus_own_name_on_connection(connection, f"org.freedesktop.impl.portal.desktop.{NAME}",
                                   Gio.BusNameOwnerFlags.NONE, None, lambda *a: loop.quit())
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    try:
        loop.run()
    finally:
        backend.stop()


if __name__ == "__main__":
    main()
