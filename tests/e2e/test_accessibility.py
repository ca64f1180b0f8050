"""What a screen reader reads of the program: the accessible tree on the accessibility bus
(at-spi2-core), read with pyatspi as an assistive technology reads it. One program start:
the window and its figures, the meter's level and low state, which changes are announced,
the popup menu opened from the keyboard, and the About box."""

import os
import subprocess
import time
import unittest

from desktop import Desktop, HarnessError, stop, wait_for
from e2e_case import FreshDesktopCase
from memfigures import caption

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
# 100 refreshes of 30 ms, and a little more.
HUNDRED_TICKS_S = 3.3


def _atspi_problem():
    if not os.access(BUS_LAUNCHER, os.X_OK):
        return "at-spi2-core is not installed"
    probe = subprocess.run(["/usr/bin/python3", "-c", "import pyatspi"], capture_output=True)
    return "python3-pyatspi is not installed" if probe.returncode != 0 else None


class AccessibilityDesktop(Desktop):
    """The usual desktop with a session bus of its own and the accessibility bus on it; the
    program is told to speak to it."""

    def _start(self):
        super()._start()
        address = "unix:path=" + os.path.join(self.runtime, "session-bus")
        self.env.update(DBUS_SESSION_BUS_ADDRESS=address, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        self.session_bus = self._spawn("dbus-daemon", ["dbus-daemon", "--session", "--nofork",
                                                       "--address=" + address])
        wait_for("the session bus", lambda: os.path.exists(address[len("unix:path="):]))
        self.bus_launcher = self._spawn("at-spi-bus-launcher",
                                        [BUS_LAUNCHER, "--launch-immediately"])
        wait_for("the accessibility bus", lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"], env=self.env, capture_output=True).returncode == 0)

    def close(self):
        # The accessibility bus and its registry end with the session bus.
        for proc in (getattr(self, "bus_launcher", None), getattr(self, "session_bus", None)):
            stop(proc)
        super().close()


class ScreenReader(FreshDesktopCase):

    @classmethod
    def _open(cls, name):
        problem = _atspi_problem()
        if problem is not None:
            raise unittest.SkipTest(problem)
        desk = AccessibilityDesktop(name)
        desk.__enter__()
        try:
            program = desk.start_program()
            program.wait_main_window()
        except BaseException:
            desk.close()
            raise
        return desk, program, set()

    def setUp(self):
        super().setUp()
        # The reader speaks to this desktop's session bus; it connects once, on import.
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.desktop.env["DBUS_SESSION_BUS_ADDRESS"]
        import pyatspi
        from gi.repository import GLib
        self.atspi, self.glib = pyatspi, GLib
        self.events = []
        for kind in ("object:text-changed", "object:property-change:accessible-name",
                     "object:state-changed:focused"):
            pyatspi.Registry.registerEventListener(self.heard, kind)

    # --- the reader ---------------------------------------------------------------------

    def heard(self, event):
        try:
            self.events.append((event.type, event.source.getRoleName(), event.source.name,
                                event.detail1, event.source))
        except self.glib.Error:
            pass  # about something already gone (a closed menu's row)

    def listen(self, seconds, until=None):
        """Takes in what the program announces for a while, or until something is heard."""
        context = self.glib.MainContext.default()
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and not (until and until()):
            context.iteration(False)
            time.sleep(0.01)

    def app(self):
        def probe():
            desktop = self.atspi.Registry.getDesktop(0)
            for app in desktop:
                if app is not None and app.name == "pelmora":
                    app.clear_cache()
                    return app
            return None

        return wait_for("pelmora on the accessibility bus", probe, timeout=15)

    def nodes(self, node):
        """(role, name) of an accessible and everything under it, depth first."""
        yield node
        for i in range(node.childCount):
            yield from self.nodes(node.getChildAtIndex(i))

    def window(self, role, name):
        def probe():
            for child in self.app():
                if child.getRoleName() == role and child.name == name:
                    return child
            return None

        return wait_for(f"the {role} '{name}'", probe)

    def read(self, node):
        return [(n.getRoleName(), n.name) for n in self.nodes(node)][1:]

    def meter(self):
        main = self.window("frame", "Pelmora")
        bar = next(n for n in self.nodes(main) if n.getRoleName() == "progress bar")
        return bar.name, bar.queryValue().currentValue, bar.description

    def keyed(self, *keys):
        """Types keys at the window that has the focus and lets the announcements in."""
        self.desktop.key(*keys)
        self.listen(0.3)

    def focused_menu(self):
        """The popup menu whose row has the focus: its rows as read out."""
        def probe():
            self.listen(0.1)
            for kind, role, _, on, source in reversed(self.events):
                if kind.startswith("object:state-changed:focused") and on and role == "menu item":
                    return source.parent
            return None

        menu = wait_for("a menu row to take the focus", probe, timeout=5)
        rows = []
        for i in range(menu.childCount):
            row = menu.getChildAtIndex(i)
            action = row.queryAction() if row.getRoleName() == "menu item" else None
            rows.append((row.getRoleName(), row.name,
                         action.getKeyBinding(0) if action is not None else "",
                         row.getState().contains(self.atspi.STATE_CHECKED)))
        return rows

    def open_menu(self, *keys):
        self.desktop.activate(self.main().wid)
        self.events.clear()
        self.keyed(*keys)
        self.keyed("Down")
        return self.focused_menu()

    def wait_main_focused(self):
        # Told as an event, or read from the window's state: a focus that came back before the
        # listener asked sends no event of its own.
        def probe():
            self.listen(0.1)
            if any(kind.startswith("object:state-changed:focused") and on and name == "Pelmora"
                   for kind, _, name, on, _ in self.events):
                return True
            try:
                return self.window("frame", "Pelmora").getState().contains(
                    self.atspi.STATE_FOCUSED) and "dialog" not in [
                        c.getRoleName() for c in self.app()]
            except Exception:  # the tree is being rebuilt: ask again
                return False

        try:
            wait_for("the focus back on the main window", probe, timeout=5)
        except HarnessError:
            frame = self.window("frame", "Pelmora")
            self.fail("the focus did not come back to the main window: its states "
                      f"{frame.getState().getStates()}, the windows "
                      f"{[(c.getRoleName(), c.name) for c in self.app()]}")

    # --- the test -------------------------------------------------------------------------

    def test_a_screen_reader_reads_the_figures_meter_menu_and_about_box(self):
        meminfo = self.figures()
        # 4,096,000,000 bytes in all, and exactly 25 % of them free: the low mark.
        total_kb = 4000000
        meminfo.set(total_kb, total_kb // 4)

        def figures(precise=False):
            used = meminfo.total - meminfo.avail
            usage = f"Usage = {(used * 100 + meminfo.total // 2) // meminfo.total} %"
            if precise:
                return [("label", f"Total RAM = {meminfo.total} Bytes"),
                        ("label", f"Free RAM = {meminfo.avail} Bytes"), ("label", usage)]
            return [("label", caption("Total RAM = ", meminfo.total)),
                    ("label", caption("Free RAM = ", meminfo.avail)), ("label", usage)]

        def main_reads(expected, level, low):
            want = expected + [("progress bar", "Free memory")]
            meter = ("Free memory", level, "Low" if low else "")
            try:
                wait_for("the figures read out", lambda: self.read(self.window(
                    "frame", "Pelmora")) == want and self.meter() == meter)
            except HarnessError:
                self.assertEqual(self.read(self.window("frame", "Pelmora")), want)
                self.assertEqual(self.meter(), meter)

        with self.subTest("the figures and the meter at 25 % free, low"):
            main_reads(figures(), 25.0, True)
        with self.subTest("the meter at 25.5 % free, not low"):
            meminfo.set(avail_kb=1020000)
            main_reads(figures(), 25.5, False)
        with self.subTest("nothing is announced while the figures stay"):
            self.listen(0.5)
            self.events.clear()
            self.listen(HUNDRED_TICKS_S)
            told = [e[:4] for e in self.events if not e[0].endswith("focused")]
            self.assertEqual(told, [])
        with self.subTest("a figure that changes is announced"):
            meminfo.set(avail_kb=2000000)
            self.listen(3, until=lambda: any(e[0].startswith("object:text-changed")
                                             for e in self.events))
            changed = {e[2] for e in self.events if e[0].startswith("object:text-changed")}
            self.assertEqual(changed, {caption("Free RAM = ", meminfo.avail), "Usage = 50 %"})

        rows = [("menu item", "Keep on top", "Alt+K", False),
                ("menu item", "Precise Values", "Alt+P", False),
                ("menu item", "Show Usage Meter", "Alt+S", True),
                ("separator", "", "", False),
                ("menu item", "About", "Alt+A", False),
                ("separator", "", "", False),
                ("menu item", "Exit", "Alt+x", False)]
        with self.subTest("the context-menu key opens the menu; its rows read out"):
            self.assertEqual(self.open_menu("Menu"), rows)
            self.events.clear()
            self.keyed("p")
            self.wait_main_focused()
        with self.subTest("Shift+F10 opens it again, Precise Values now checked"):
            toggled = [row if row[1] != "Precise Values" else row[:3] + (True,) for row in rows]
            self.assertEqual(self.open_menu("shift+F10"), toggled)
            self.events.clear()
            self.keyed("Escape")
            self.wait_main_focused()
            main_reads(figures(precise=True), 50.0, False)

        with self.subTest("the About box reads its texts, its picture and its OK button"):
            self.open_menu("Menu")
            self.keyed("a")
            about = self.window("dialog", "About Pelmora")
            read = self.read(about)
            self.assertIn(("label", "Pelmora"), read)
            self.assertIn(("image", "Pelmora"), read)
            self.assertIn(("push button", "OK"), read)
            self.assertTrue(any(r == "label" and n.startswith("Version ") for r, n in read), read)
            self.assertIn(("label", "(C) Pelmora team"), read)
            ok = next(n for n in self.nodes(about) if n.getRoleName() == "push button")
            self.assertTrue(ok.getState().contains(self.atspi.STATE_IS_DEFAULT))
        with self.subTest("Enter closes it and the focus comes back to the main window"):
            self.events.clear()
            self.keyed("Return")
            self.wait_main_focused()
            self.assertNotIn("dialog", [c.getRoleName() for c in self.app()])


if __name__ == "__main__":
    unittest.main()
