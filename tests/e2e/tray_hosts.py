"""Tray hosts for the end-to-end tests: trayer restarted at will, and xfce4-panel as a
StatusNotifierItem host in a session bus of the desktop's own.

The panel gets a configuration of its own (an empty, transparent separator that pushes the
notification area to the right end of a top panel), so that the only thing drawn on the panel
is the icons it hosts. Items are read over D-Bus with gdbus.
"""

import os
import re
import subprocess

from desktop import TRAYER_ARGS, Desktop, HarnessError, distance, stop, wait_for

PANEL_HEIGHT = 28

PANEL_CONFIG = f"""<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="{PANEL_HEIGHT}"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
"""

WATCHER = "org.kde.StatusNotifierWatcher"


def restart_trayer(desk):
    """Ends trayer and starts a new one; returns once its panel is there."""
    stop(desk.trayer)
    wait_for("the old tray panel to go", lambda: desk.tray_panel() is None, timeout=5)
    desk.trayer = desk._spawn("trayer", TRAYER_ARGS)
    wait_for("trayer's panel", desk.tray_panel)


def docked_icons(desk, pid):
    """The program's windows that are docked and shown in trayer's panel."""
    found = []
    for wid in desk.tray_icons_of(pid):
        w = desk.window(wid)
        if w is not None and w.viewable and w.width > 1:
            found.append(w)
    return found


class SniDesktop(Desktop):
    """Xvfb + openbox + xfce4-panel with a private session bus and no trayer: the panel's
    notification area is the StatusNotifierWatcher and its host."""

    def _start(self):
        base = {k: v for k, v in os.environ.items()
                if not k.startswith(("QT_", "XDG_", "DBUS_", "WAYLAND_", "GTK_"))}
        base.pop("DISPLAY", None)
        display = self._start_xvfb(base)
        config = os.path.join(self.home, ".config")
        channel = os.path.join(config, "xfce4", "xfconf", "xfce-perchannel-xml")
        os.makedirs(channel)
        with open(os.path.join(channel, "xfce4-panel.xml"), "w", encoding="utf-8") as f:
            f.write(PANEL_CONFIG)
        bus = os.path.join(self.runtime, "bus")
        self.env = dict(base, DISPLAY=display, HOME=self.home, XDG_RUNTIME_DIR=self.runtime,
                        XDG_CONFIG_HOME=config, DBUS_SESSION_BUS_ADDRESS="unix:path=" + bus,
                        QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8",
                        # No accessibility bus: it would only slow every GTK start.
                        NO_AT_BRIDGE="1")
        self.bus = self._spawn("dbus-daemon", ["dbus-daemon", "--session", "--nofork",
                                               "--address=unix:path=" + bus])
        wait_for("the session bus", lambda: os.path.exists(bus), timeout=10)
        self.wm = self._spawn("openbox", ["openbox", "--sm-disable"])
        wait_for("openbox to manage the screen",
                 lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in self.x("xprop", "-root",
                                                                      "_NET_SUPPORTING_WM_CHECK"))
        self.trayer = self._spawn("xfce4-panel", ["xfce4-panel", "--disable-wm-check"])
        wait_for("the panel's StatusNotifierWatcher", lambda: WATCHER in self.bus_names(),
                 timeout=20)

    def close(self):
        super().close()
        # Services the bus started for the panel end with their bus.
        stop(getattr(self, "bus", None))

    # --- D-Bus ------------------------------------------------------------------------

    def bus_call(self, dest, path, method, *args):
        """One method call on the session bus; gdbus's printed reply."""
        argv = ["gdbus", "call", "--session", "--dest", dest, "--object-path", path,
                "--method", method, "--", *map(str, args)]
        try:
            r = subprocess.run(argv, env=self.env, capture_output=True, text=True, timeout=10,
                               stdin=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{method} on {dest} did not answer within 10 s")
        if r.returncode != 0:
            raise HarnessError(f"{method} on {dest}{path} failed: {r.stderr.strip()}")
        return r.stdout.strip()

    def bus_property(self, dest, path, interface, name):
        return self.bus_call(dest, path, "org.freedesktop.DBus.Properties.Get", interface, name)

    def bus_names(self):
        try:
            return self.bus_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus.ListNames")
        except HarnessError:
            return ""

    def sni_items_of(self, pid):
        """(bus name, object path) of each item the watcher has registered for pid."""
        reply = self.bus_property(WATCHER, "/StatusNotifierWatcher", WATCHER,
                                  "RegisteredStatusNotifierItems")
        found = []
        for item in re.findall(r"'([^']+)'", reply):
            name, slash, path = item.partition("/")
            owner = self.bus_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus.GetConnectionUnixProcessID", name)
            if re.search(rf"\b{pid}\b", owner):
                found.append((name, slash + path if slash else "/StatusNotifierItem"))
        return found

    def menu_layout(self, name, path):
        """The rows of an exported menu: dicts of each child's properties, in order."""
        reply = self.bus_call(name, path, "com.canonical.dbusmenu.GetLayout", 0, -1, "@as []")
        rows = []
        for props in re.findall(r"<\(\d+, \{(.*?)\}, @av \[\]\)>", reply):
            rows.append(dict(re.findall(r"'([\w-]+)': <(.*?)>(?:, |$)", props)))
        return rows

    # --- the panel --------------------------------------------------------------------

    def panel_ink(self, label):
        """Bounding box (x, y, w, h) of whatever is drawn on the panel, or None."""
        shot = self.screenshot(label)
        strip = shot.crop(0, 0, shot.width, PANEL_HEIGHT)
        bg = strip.pixel(2, PANEL_HEIGHT // 2)
        xs, ys = [], []
        for y in range(2, strip.height - 2):
            for x in range(strip.width):
                if distance(strip.pixel(x, y), bg) > 40:
                    xs.append(x)
                    ys.append(y)
        if not xs:
            return None
        return min(xs), min(ys), max(xs) - min(xs) + 1, max(ys) - min(ys) + 1


# --- what a person sees and does ----------------------------------------------------------

def active_window(desk):
    """The window the window manager says is active, or None."""
    m = re.search(r"window id # (0x[0-9a-f]+)", desk.x("xprop", "-root", "_NET_ACTIVE_WINDOW"))
    return int(m.group(1), 16) if m else None


def shown_menus(desk):
    """Ids of the shown override-redirect top-level windows tall enough to be a menu."""
    rows = desk.tree()
    top = min((depth for depth, _, _ in rows), default=0)
    found = set()
    for depth, wid, _ in rows:
        if depth == top:
            w = desk.window(wid)
            if w is not None and w.viewable and w.override and w.height > 40:
                found.add(wid)
    return found


class OtherWindow:
    """Another program's window, to hold the focus before a click; ended by its pid."""

    def __init__(self, desk):
        self.desk = desk
        self.proc = desk._spawn("xlogo", ["xlogo", "-geometry", "160x120+40+560"])
        found = wait_for("xlogo's window", lambda: desk.x(
            "xdotool", "search", "--onlyvisible", "--class", "xlogo").split(), timeout=10)
        self.wid = int(found[0])

    def take_focus(self):
        self.desk.x("xdotool", "windowactivate", str(self.wid))
        wait_for("xlogo to be the active window", lambda: active_window(self.desk) == self.wid,
                 timeout=5)

    def stop(self):
        stop(self.proc)
