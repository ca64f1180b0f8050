"""The tray icon on a StatusNotifierItem host that comes after the program or goes and comes
back: xfce4-panel, started or restarted in its session bus, lists Pelmora's item once, with the
current tip, the item's clicks reach Pelmora's window and a right click on it opens Pelmora's
menu."""

import time

from desktop import SCREEN_H, TRAYER_ARGS, stop, wait_for
from e2e_case import MENU_ROWS
from test_tray_hosts import _DesktopPerTest
from tray_hosts import (PANEL_HEIGHT, WATCHER, SniDesktop, active_window, docked_icons,
                        shown_menus)

PANEL = ["xfce4-panel", "--disable-wm-check"]
ITEM = "org.kde.StatusNotifierItem"


def stop_panel(desk):
    stop(desk.trayer)
    wait_for("the watcher to go with the panel", lambda: WATCHER not in desk.bus_names(),
             timeout=10)


def start_panel(desk):
    desk.trayer = desk._spawn("xfce4-panel", PANEL)
    wait_for("the new panel's watcher", lambda: WATCHER in desk.bus_names(), timeout=20)


class PanelRestarts(_DesktopPerTest):
    desktop_class = SniDesktop

    def test_item_tip_and_menu_come_back_when_the_panel_restarts(self):
        program = self.start()
        desk = self.desktop
        wait_for("the item registered with the watcher", lambda: desk.sni_items_of(program.pid),
                 timeout=5)
        stop_panel(desk)
        start_panel(desk)
        self.registered_item(program)
        self.panel_icon()
        # Qt's own item exports its menu, which the panel shows at a right click.
        self.assert_menu_opens(lambda: desk.xdotool("click", 3))
        self.assertEqual(len(desk.sni_items_of(program.pid)), 1, "registered more than once")

    def test_item_registers_with_a_panel_started_after_the_program(self):
        figures = self.figures()
        desk = self.desktop
        stop_panel(desk)
        program = self.start()
        main = program.main_window()
        other = self.other_window()
        start_panel(desk)
        name, path = self.registered_item(program)
        wait_for("the XEmbed icon to hide while the item is registered",
                 lambda: [w.wid for w in program.windows()] == [main.wid], timeout=5)
        # A new tip goes to the registered item too.
        tip = program.last_tip()
        figures.set(avail_kb=figures.avail_kb // 2)
        wait_for("a new tip", lambda: program.last_tip() != tip, timeout=5)
        self.registered_item(program)

        # A left click in the panel activates the item: the window gets the focus.
        other.take_focus()
        x, y = self.panel_icon()
        desk.xdotool("click", 1)
        wait_for("the main window to be active after the click",
                 lambda: active_window(desk) == main.wid, timeout=5)

        # A right click in the panel opens the item's menu; a row chosen there acts, and the
        # next opening shows the new mark.
        menu = self.assert_menu_opens(lambda: desk.xdotool("click", 3),
                                      checks=[False, False, True, False, False], close=False)
        desk.key("p")
        self.wait_gone(menu, "the menu to close once Precise Values is chosen")
        self.panel_icon()
        self.assert_menu_opens(lambda: desk.xdotool("click", 3),
                               checks=[False, True, True, False, False])
        # A host that asks the item for a context menu gets the program's popup at the pointer.
        self.panel_icon()
        self.assert_menu_opens(lambda: desk.bus_call(name, path, f"{ITEM}.ContextMenu", x, y))
        self.assertEqual(len(desk.sni_items_of(program.pid)), 1, "registered more than once")

        # With the panel gone for good, an XEmbed tray gets the icon again.
        stop_panel(desk)
        desk.trayer = desk._spawn("trayer", TRAYER_ARGS)
        wait_for("the icon docked in trayer", lambda: docked_icons(desk, program.pid),
                 timeout=10)
        self.assertTrue(program.running())

    def registered_item(self, program):
        """(bus name, path) of the program's one item on the panel's watcher, once its tip is
        the current one."""
        desk = self.desktop
        (item,) = wait_for("the item registered with the new watcher",
                           lambda: desk.sni_items_of(program.pid), timeout=10)

        def tip_is_current():
            tip = desk.bus_property(*item, ITEM, "ToolTip")
            return (program.last_tip() or "?") in tip

        wait_for("the item's tip to be the current one", tip_is_current, timeout=5)
        return item

    def panel_icon(self):
        """Puts the pointer on the one icon the panel shows; its centre."""
        desk = self.desktop
        x, y, w, h = wait_for("the icon on the panel", lambda: desk.panel_ink("panel"),
                              timeout=5)
        self.assertLessEqual(w, PANEL_HEIGHT, "more than one icon on the panel")
        desk.move_pointer(x + w // 2 - 3, y + h // 2 - 3)
        desk.move_pointer(x + w // 2, y + h // 2)
        return x + w // 2, y + h // 2

    def assert_menu_opens(self, action, checks=None, close=True):
        """action opens the program's menu, with its rows (and these marks); Escape closes it
        unless told not to. The menu's window."""
        desk = self.desktop
        before = shown_menus(desk)
        action()
        (wid,) = wait_for("Pelmora's menu", lambda: shown_menus(desk) - before, timeout=5)
        desk.move_pointer(5, SCREEN_H - 5)
        time.sleep(0.4)  # the marks of a menu already shown may still change
        image = desk.grab(desk.window(wid), "menu")
        self.assertEqual(self.menu_rows(image), MENU_ROWS)
        if checks is not None:
            self.assertEqual(self.menu_checks(image), checks)
        if close:
            desk.key("Escape")
            self.wait_gone(wid, "the menu to close on Escape")
        self.assertTrue(self.program.running())
        return wid
