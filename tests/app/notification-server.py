#!/usr/bin/python3
"""A desktop notification server for the tests, on the session bus it runs on.

    notification-server.py OUT.json COUNT LIMIT_SECONDS -- PROGRAM [ARG...]

Owns org.freedesktop.Notifications, then starts PROGRAM and records every
Notify call. It stops PROGRAM (SIGTERM) once COUNT notifications came, or
when LIMIT_SECONDS passed, or as soon as PROGRAM ends by itself; then it
writes OUT.json: {"notifications": [...], "ended_by_itself": bool,
"exit_code": int or null, "seconds_to_first": float or null}.
"""

import json
import signal
import subprocess
import sys
import time

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="Notify">
      <arg type="s" name="app_name" direction="in"/>
      <arg type="u" name="replaces_id" direction="in"/>
      <arg type="s" name="app_icon" direction="in"/>
      <arg type="s" name="summary" direction="in"/>
      <arg type="s" name="body" direction="in"/>
      <arg type="as" name="actions" direction="in"/>
      <arg type="a{sv}" name="hints" direction="in"/>
      <arg type="i" name="expire_timeout" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>
"""


def main():
    out, count, limit = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    program = sys.argv[sys.argv.index("--") + 1:]
    received = []
    state = {"child": None, "started": None, "first": None}
    loop = GLib.MainLoop()

    def on_call(connection, sender, path, interface, method, params, invocation):
        if method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["body"],)))
        elif method == "Notify":
            app, _replaces, icon, summary, body, actions, hints, expire = params.unpack()
            received.append({"app_name": app, "app_icon": icon, "summary": summary, "body": body,
                             "actions": list(actions),
                             "hints": {k: str(v) for k, v in hints.items()}, "expire_timeout": expire})
            if state["first"] is None:
                state["first"] = time.monotonic() - state["started"]
            invocation.return_value(GLib.Variant("(u)", (len(received),)))
            if len(received) >= count:
                loop.quit()
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", ("test-server", "kuvzip", "1", "1.2")))
        else:
            invocation.return_value(None)

    def on_bus(connection, _name):
        node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
        connection.register_object("/org/freedesktop/Notifications", node.interfaces[0], on_call, None, None)

    def on_name(_connection, _name):
        state["started"] = time.monotonic()
        state["child"] = subprocess.Popen(program)

        def check_child():
            if state["child"].poll() is None:
                return True
            loop.quit()
            return False

        GLib.timeout_add(100, check_child)

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications", Gio.BusNameOwnerFlags.NONE,
                     on_bus, on_name, lambda *_: loop.quit())
    GLib.timeout_add(int(limit * 1000), loop.quit)
    loop.run()

    child = state["child"]
    ended = child is not None and child.poll() is not None
    if child is not None and not ended:
        child.send_signal(signal.SIGTERM)
        try:
            child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
    with open(out, "w", encoding="utf-8") as f:
        json.dump({"notifications": received, "ended_by_itself": ended,
                   "exit_code": child.returncode if ended else None,
                   "seconds_to_first": state["first"]}, f, ensure_ascii=False)
    return 0 if child is not None else 1


if __name__ == "__main__":
    sys.exit(main())
