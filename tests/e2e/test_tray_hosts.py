"""The tray icon on the tray hosts people run: trayer (XEmbed) that comes and goes, clicks that
act on the release, and xfce4-panel as a StatusNotifierItem host that shows the menu itself."""

import time
import unittest

from desktop import SCREEN_H, Desktop, HarnessError, stop, wait_for
from e2e_case import LABEL_ROWS, MENU_ROWS, TIP, FreshDesktopCase
from screen_text import Digits, Row
from tray_hosts import (OtherWindow, SniDesktop, active_window, docked_icons, restart_trayer,
                        shown_menus)

RESTARTS = 20
NUMBER_WORD = 3  # 'Total', 'RAM', '=', number, unit
MENU_CAPTIONS = ["_Keep on top", "_Precise Values", "_Show Usage Meter", "_About", "E_xit"]


def docks(program):
    """(tip docked with, tip in effect then) for each time a tray took the icon."""
    found, tip = [], None
    for request in program.tray_requests():
        if request.startswith("tip "):
            tip = request[4:]
        elif request == "dock" or request.startswith("dock "):
            found.append((request[5:] or None, tip))
    return found


class _DesktopPerTest(FreshDesktopCase):
    """A desktop of desktop_class for each test; the test starts the program itself."""

    desktop_class = Desktop

    def setUp(self):
        self.desktop = self.desktop_class(f"{type(self).__name__}.{self._testMethodName}")
        self.desktop.__enter__()
        self.program = None

    def start(self):
        self.program = self.desktop.start_program()
        self.program.wait_main_window()
        wait_for("the first tip", self.program.last_tip, timeout=5)
        return self.program

    def other_window(self):
        other = OtherWindow(self.desktop)
        self.addCleanup(other.stop)
        return other

    def assert_tip_form(self, tip):
        self.assertIsNotNone(TIP.match(tip or ""), f"malformed tip {tip!r}")


class TrayerComesAndGoes(_DesktopPerTest):

    def test_icon_and_its_current_tip_come_back_after_each_of_20_restarts(self):
        program = self.start()
        wait_for("the icon in the tray", lambda: docked_icons(self.desktop, program.pid),
                 timeout=5)
        for restart in range(1, RESTARTS + 1):
            before = len(docks(program))
            restart_trayer(self.desktop)
            try:
                wait_for("the icon in the new tray",
                         lambda: docked_icons(self.desktop, program.pid), timeout=5)
                wait_for("the icon handed to the new tray", lambda: len(docks(program)) > before,
                         timeout=5)
            except HarnessError as e:
                self.fail(f"restart {restart}: {e}")
            docked_with, in_effect = docks(program)[-1]
            self.assertEqual(docked_with, in_effect,
                             f"restart {restart}: the tray got a tip that is not the current one")
        self.assertEqual(len(docked_icons(self.desktop, program.pid)), 1, "one icon, not more")
        requests = program.tray_requests()
        self.assertEqual(requests.count("add"), 1, "the program itself added the icon once")
        self.assertNotIn("delete", requests)
        self.assert_tip_form(docks(program)[-1][0])
        self.assert_tooltip_shown()
        self.assertTrue(program.running())

    def test_icon_appears_when_a_tray_host_starts_after_the_program(self):
        stop(self.desktop.trayer)
        wait_for("trayer to go", lambda: self.desktop.tray_panel() is None, timeout=5)
        program = self.start()
        time.sleep(0.5)
        self.assertEqual(docks(program), [], "docked with no tray host running")
        restart_trayer(self.desktop)
        wait_for("the icon in the tray that started later",
                 lambda: docked_icons(self.desktop, program.pid), timeout=5)
        wait_for("the icon handed to the tray", lambda: docks(program), timeout=5)
        docked_with, in_effect = docks(program)[-1]
        self.assertEqual(docked_with, in_effect)
        self.assert_tip_form(docked_with)
        self.assert_tooltip_shown()

    def assert_tooltip_shown(self):
        (icon,) = docked_icons(self.desktop, self.program.pid)
        known = {w.wid for w in self.program.windows()}
        cx, cy = icon.x + icon.width // 2, icon.y + icon.height // 2
        self.desktop.move_pointer(cx - 3, cy - 3)
        self.desktop.move_pointer(cx, cy)
        tip = wait_for("a tooltip over the tray icon", lambda: [
            w for w in self.program.windows()
            if w.wid not in known and w.override and w.wid != icon.wid and w.width > 60], timeout=8)
        self.assertTrue(tip)
        self.desktop.move_pointer(5, SCREEN_H - 5)


class XEmbedClicks(_DesktopPerTest):

    def test_clicks_act_on_the_release_over_the_icon(self):
        program = self.start()
        main = program.main_window()
        (icon,) = docked_icons(self.desktop, program.pid)
        centre = (icon.x + icon.width // 2, icon.y + icon.height // 2)
        away = (icon.x - 80, icon.y + 150)
        other = self.other_window()
        desk = self.desktop

        def press(button, release_at=None):
            # mousemove --sync waits for a move: come from elsewhere.
            desk.move_pointer(centre[0] - 3, centre[1] - 3)
            desk.move_pointer(*centre)
            desk.xdotool("mousedown", button)
            time.sleep(0.6)
            held = {"active": active_window(desk), "menus": shown_menus(desk)}
            if release_at is not None:
                desk.move_pointer(*release_at)
            desk.xdotool("mouseup", button)
            return held

        with self.subTest(click="left"):
            other.take_focus()
            held = press(1)
            self.assertEqual(held["active"], other.wid, "the window took the focus at the press")
            wait_for("the main window to be active after the release",
                     lambda: active_window(desk) == main.wid, timeout=5)

        with self.subTest(click="left, released away from the icon"):
            other.take_focus()
            press(1, release_at=away)
            time.sleep(0.6)
            self.assertEqual(active_window(desk), other.wid)

        with self.subTest(click="right"):
            before = shown_menus(desk)
            held = press(3)
            self.assertEqual(held["menus"], before, "the menu opened at the press")
            menu = wait_for("the menu after the release", lambda: shown_menus(desk) - before,
                            timeout=5)
            (wid,) = menu
            shown = desk.window(wid)
            self.assertLess(abs(shown.x - centre[0]) + abs(shown.y - centre[1]), 300,
                            f"the menu {shown} is not at the pointer")
            desk.move_pointer(5, SCREEN_H - 5)
            time.sleep(0.25)
            self.assertEqual(self.menu_rows(desk.grab(shown, "xembed-menu")), MENU_ROWS)
            desk.key("Escape")
            self.wait_gone(wid, "the menu to close on Escape")

        with self.subTest(click="right, released away from the icon"):
            before = shown_menus(desk)
            press(3, release_at=away)
            time.sleep(0.6)
            self.assertEqual(shown_menus(desk), before, "a menu opened without a click")
        self.assertTrue(program.running())


class StatusNotifierHost(_DesktopPerTest):
    """One xfce4-panel session: the item over D-Bus, then both clicks on the icon."""

    desktop_class = SniDesktop

    def test_item_its_tip_and_both_clicks_work_through_the_panel(self):
        total = self.figures().total
        program = self.start()
        desk = self.desktop
        (item,) = wait_for("the program's item registered with the watcher",
                           lambda: desk.sni_items_of(program.pid), timeout=5)
        name, path = item
        interface = "org.kde.StatusNotifierItem"

        with self.subTest(check="ToolTip is the current tip"):
            def tooltip_is_last_tip():
                reply = desk.bus_property(name, path, interface, "ToolTip")
                return (program.last_tip() or "?") in reply

            wait_for("the item's ToolTip to carry the tip", tooltip_is_last_tip, timeout=5)
            self.assert_tip_form(program.last_tip())

        with self.subTest(check="Menu is exported with its seven rows"):
            menu_path = desk.bus_property(name, path, interface, "Menu")
            self.assertIn("'/MenuBar'", menu_path, "the item offers no menu")
            layout = desk.menu_layout(name, "/MenuBar")
            kinds = ["separator" if row.get("type") == "'separator'" else "item"
                     for row in layout]
            self.assertEqual(kinds, MENU_ROWS)
            items = [row for row in layout if row.get("type") != "'separator'"]
            self.assertEqual([row.get("label", "").strip("'") for row in items], MENU_CAPTIONS)
            self.assertEqual([row.get("toggle-state") == "1" for row in items],
                             [False, False, True, False, False])
            self.assertTrue(all(row.get("enabled") == "true" for row in items))

        icon = wait_for("the icon on the panel", lambda: desk.panel_ink("panel"), timeout=5)
        x, y, w, h = icon
        centre = (x + w // 2, y + h // 2)

        def open_menu(label):
            before = shown_menus(desk)
            desk.move_pointer(centre[0] - 3, centre[1] - 3)
            desk.move_pointer(*centre)
            desk.xdotool("click", 3)
            (wid,) = wait_for("Pelmora's menu from the panel",
                              lambda: shown_menus(desk) - before, timeout=5)
            desk.move_pointer(5, SCREEN_H - 5)
            time.sleep(0.4)  # the marks of a menu already shown may still change
            menu = desk.window(wid)
            return menu, desk.grab(menu, label)

        menu, image = open_menu("sni-menu")
        with self.subTest(check="the right click opens the menu near the icon"):
            self.assertEqual(self.menu_rows(image), MENU_ROWS)
            self.assertEqual(self.menu_checks(image), [False, False, True, False, False])
            self.assertLess(menu.y - (y + h), 40, f"the menu {menu} is not under the icon")
            self.assertLess(abs((menu.x + menu.width) - (x + w)), 200,
                            f"the menu {menu} is not by the icon at {icon}")

        desk.key("p")
        self.wait_gone(menu.wid, "the menu to close once Precise Values is chosen")
        _, top, bottom = LABEL_ROWS[0]

        def total_in_bytes():
            try:
                Digits(Row(desk.grab(program.main_window(), "precise"), top, bottom),
                       NUMBER_WORD, str(total))
                return True
            except HarnessError:
                return False

        wait_for("the total to show its bytes", total_in_bytes, timeout=5)

        menu, image = open_menu("sni-menu-precise")
        with self.subTest(check="the marks follow the window's state"):
            self.assertEqual(self.menu_checks(image), [False, True, True, False, False])
        desk.key("Escape")
        self.wait_gone(menu.wid, "the menu to close on Escape")

        other = self.other_window()
        other.take_focus()
        desk.move_pointer(centre[0] - 3, centre[1] - 3)
        desk.move_pointer(*centre)
        desk.xdotool("click", 1)
        main = program.main_window()
        wait_for("the main window to be active after a left click on the icon",
                 lambda: active_window(desk) == main.wid, timeout=5)
        self.assertTrue(program.running())


if __name__ == "__main__":
    unittest.main()
