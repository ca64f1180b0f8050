"""The tray icon on a StatusNotifierItem host that goes and comes back: xfce4-panel, restarted in
its session bus, lists Pelmora's item again, once, with the current tip, and a right click on it
opens Pelmora's menu."""

import time

from desktop import SCREEN_H, _stop, wait_for
from e2e_case import MENU_ROWS
from test_tray_hosts import _DesktopPerTest
from tray_hosts import WATCHER, SniDesktop, shown_menus

PANEL = ["xfce4-panel", "--disable-wm-check"]


class PanelRestarts(_DesktopPerTest):
    desktop_class = SniDesktop

    def test_item_tip_and_menu_come_back_when_the_panel_restarts(self):
        program = self.start()
        desk = self.desktop
        wait_for("the item registered with the watcher", lambda: desk.sni_items_of(program.pid),
                 timeout=5)
        _stop(desk.trayer)
        wait_for("the watcher to go with the panel", lambda: WATCHER not in desk.bus_names(),
                 timeout=10)
        desk.trayer = desk._spawn("xfce4-panel", PANEL)
        wait_for("the new panel's watcher", lambda: WATCHER in desk.bus_names(), timeout=20)

        (item,) = wait_for("the item registered with the new watcher",
                           lambda: desk.sni_items_of(program.pid), timeout=10)
        name, path = item

        def tip_is_current():
            tip = desk.bus_property(name, path, "org.kde.StatusNotifierItem", "ToolTip")
            return (program.last_tip() or "?") in tip

        wait_for("the item's tip to be the current one", tip_is_current, timeout=5)

        x, y, w, h = wait_for("the icon on the new panel", lambda: desk.panel_ink("panel"),
                              timeout=5)
        before = shown_menus(desk)
        desk.move_pointer(x + w // 2 - 3, y + h // 2 - 3)
        desk.move_pointer(x + w // 2, y + h // 2)
        desk.xdotool("click", 3)
        (wid,) = wait_for("Pelmora's menu from the new panel", lambda: shown_menus(desk) - before,
                          timeout=5)
        desk.move_pointer(5, SCREEN_H - 5)
        time.sleep(0.4)  # the marks of a menu already shown may still change
        self.assertEqual(self.menu_rows(desk.grab(desk.window(wid), "menu")), MENU_ROWS)
        desk.key("Escape")
        self.wait_gone(wid, "the menu to close on Escape")
        self.assertEqual(len(desk.sni_items_of(program.pid)), 1, "registered more than once")
        self.assertTrue(program.running())
