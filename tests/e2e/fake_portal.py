"""A desktop portal of the tests' own on a private session bus, for the program's portal reads
where no desktop is: ScreenCast sessions that start (with a restore token) but never stream, so
each read falls back to Screenshot, which names whatever file the test chose.

    fake_portal.py CONTROL LOG

CONTROL is a JSON file read at each call: {"screencast": false to offer no ScreenCast,
"screenshot": the path the Screenshot answer names}. LOG gets one line per call: "select" with
the restore token the call brought ("-" for none), "start", "screenshot". "ready" on stdout once
the portal's name is taken."""
import json
import sys

from gi.repository import Gio, GLib

NAME = "org.freedesktop.portal.Desktop"
OBJECT = "/org/freedesktop/portal/desktop"
INTERFACES = Gio.DBusNodeInfo.new_for_xml("""
<node>
  <interface name="org.freedesktop.portal.ScreenCast">
    <method name="CreateSession">
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <method name="SelectSources">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" direction="in"/><arg type="s" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="o" direction="out"/>
    </method>
    <method name="OpenPipeWireRemote">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/><arg type="h" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
  <interface name="org.freedesktop.portal.Screenshot">
    <method name="Screenshot">
      <arg type="s" direction="in"/><arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
</node>""").interfaces


class Portal:
    def __init__(self, connection, control, log):
        self.connection, self.control, self.log = connection, control, log
        self.starts = 0

    def settings(self):
        with open(self.control) as f:
            return json.load(f)

    def note(self, *words):
        with open(self.log, "a") as f:
            f.write(" ".join(words) + "\n")

    def answer(self, sender, options, results):
        """The Request's path, answered once the call has returned it."""
        token = options.get("handle_token", "t")
        path = f"{OBJECT}/request/{sender[1:].replace('.', '_')}/{token}"

        def respond():
            self.connection.emit_signal(sender, path, "org.freedesktop.portal.Request", "Response",
                                        GLib.Variant("(ua{sv})", (0, results)))
            return False
        GLib.idle_add(respond)
        return GLib.Variant("(o)", (path,))

    def call(self, connection, sender, path, interface, method, parameters, invocation):
        args = parameters.unpack()
        if method == "CreateSession":
            session = f"{OBJECT}/session/{sender[1:].replace('.', '_')}/s{self.starts}"
            invocation.return_value(self.answer(sender, args[0], {"session_handle": GLib.Variant("s", session)}))
        elif method == "SelectSources":
            self.note("select", args[1].get("restore_token", "-"))
            invocation.return_value(self.answer(sender, args[1], {}))
        elif method == "Start":
            self.starts += 1
            self.note("start")
            streams = GLib.Variant("a(ua{sv})", [(7, {})])
            token = GLib.Variant("s", f"new-token-{self.starts}")
            invocation.return_value(self.answer(sender, args[2], {"streams": streams, "restore_token": token}))
        elif method == "OpenPipeWireRemote":
            invocation.return_dbus_error("org.freedesktop.portal.Error.Failed", "no PipeWire here")
        elif method == "Screenshot":
            self.note("screenshot")
            uri = GLib.filename_to_uri(self.settings()["screenshot"], None)
            invocation.return_value(self.answer(sender, args[1], {"uri": GLib.Variant("s", uri)}))

    def version(self, connection, sender, path, interface, name):
        offered = interface != "org.freedesktop.portal.ScreenCast" or self.settings().get("screencast", True)
        return GLib.Variant("u", 4 if offered else 0)


def main():
    control, log = sys.argv[1:3]
    connection = Gio.bus_get_sync(Gio.BusType.SESSION)
    portal = Portal(connection, control, log)
    for interface in INTERFACES:
        connection.register_object(OBJECT, interface, portal.call, portal.version, None)
    loop = GLib.MainLoop()

    def acquired(*_):
        print("ready", flush=True)
    Gio.bus_own_name_on_connection(connection, NAME, Gio.BusNameOwnerFlags.NONE, acquired, lambda *_: loop.quit())
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    loop.run()


if __name__ == "__main__":
    main()
