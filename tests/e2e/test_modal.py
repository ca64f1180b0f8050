"""The About box as a modal box: a click on the window it blocks brings it back, and it stays
whole on a screen that shrinks under it (Xorg with the dummy driver, which really resizes)."""

import os
import re
import shutil
import time
import unittest

from desktop import Desktop, HarnessError, wait_for
from e2e_case import FreshDesktopCase

ABOUT = "^About Pelmora$"

# A screen that xrandr can shrink from 1024 x 768 to 640 x 480.
XORG_CONF = """\
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "card"
  Driver "dummy"
  VideoRam 16384
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1024x768" 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
  Modeline "640x480" 25.18 640 656 752 800 480 490 492 525 -hsync -vsync
EndSection
Section "Screen"
  Identifier "screen"
  Device "card"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1024x768" "640x480"
    Virtual 1024 768
  EndSubSection
EndSection
"""


def xorg_missing():
    """Why Xorg with the dummy driver cannot run here, or None."""
    if shutil.which("Xorg") is None:
        return "no Xorg (install xserver-xorg-core)"
    if not os.path.exists("/usr/lib/xorg/modules/drivers/dummy_drv.so"):
        return "no dummy video driver (install xserver-xorg-video-dummy)"
    return None


class XorgDesktop(Desktop):
    """The same desktop on Xorg with the dummy driver instead of Xvfb."""

    server_name = "Xorg"
    server_start_seconds = 20

    def _server_argv(self, displayfd):
        conf = os.path.join(self.tmp, "xorg.conf")
        with open(conf, "w") as f:
            f.write(XORG_CONF)
        return ["Xorg", "-displayfd", str(displayfd), "-config", conf, "-noreset",
                "-nolisten", "tcp", "-sharevts", "-novtswitch", "-keeptty",
                "-logfile", os.path.join(self.artifacts, "xorg-server.log")]

    def _server_failure(self):
        return ": " + self._xorg_words()

    def _xorg_words(self):
        lines = []
        for name in ("xorg.log", "xorg-server.log"):
            try:
                with open(os.path.join(self.artifacts, name), errors="replace") as f:
                    lines += [line.rstrip() for line in f if "(EE)" in line or "Fatal" in line]
            except OSError:
                pass
        return "\n".join(lines[-12:])


class ModalBoxCase(FreshDesktopCase):

    def open_about(self):
        self.choose("a")
        return wait_for("the About box", lambda: (self.program.windows(name=ABOUT) or [None])[0],
                        timeout=5)

    def state_of(self, wid):
        return self.desktop.prop(wid, "WM_STATE")

    def outer(self, w):
        """The window's rectangle with the frame the window manager put round it."""
        extents = self.desktop.prop(w.wid, "_NET_FRAME_EXTENTS")
        left, right, top, bottom = ([int(v) for v in extents.split(",")] if extents
                                    else [0, 0, 0, 0])
        return (w.x - left, w.y - top, w.x + w.width + right, w.y + w.height + bottom)


class BlockedClick(ModalBoxCase):

    def test_a_click_brings_the_minimised_about_box_back_in_front(self):
        main = self.main()
        box = self.open_about()
        self.desktop.xdotool("windowminimize", box.wid)
        wait_for("the About box to be minimised",
                 lambda: "Iconic" in self.state_of(box.wid), timeout=5)
        time.sleep(0.3)
        # The main window stays: a click on it, which the box blocks.
        self.assertNotIn("Iconic", self.state_of(main.wid), "minimised with the box")
        self.desktop.move_pointer(main.x + 100, main.y + 25)
        self.desktop.xdotool("click", 1)
        wait_for("the About box back on screen", lambda: "Normal" in self.state_of(box.wid) and
                 (self.desktop.window(box.wid) or box).viewable, timeout=5)
        self.assertTrue(self.program.running())
        # In front of the window it blocks.
        stacking = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", self.desktop.x(
            "xprop", "-root", "_NET_CLIENT_LIST_STACKING"))]
        self.assertGreater(stacking.index(box.wid), stacking.index(main.wid), stacking)
        # Taking the keys: Escape closes it.
        self.desktop.activate(box.wid)
        self.desktop.key("Escape")
        self.wait_gone(box.wid, "the About box to close on Escape")
        self.assertIsNotNone(self.program.main_window())


@unittest.skipIf(xorg_missing(), xorg_missing() or "")
class ScreenShrinks(ModalBoxCase):

    desktop_class = XorgDesktop

    def drag_main_to(self, x, y):
        main = self.main()
        self.desktop.xdotool("windowmove", "--sync", main.wid, x, y)
        return wait_for("the main window moved", lambda: (lambda w: w if (w.x, w.y) == (x, y)
                                                          else None)(self.main()), timeout=5)

    def shrink(self):
        self.desktop.x("xrandr", "-s", "640x480", check=True)
        wait_for("the screen to shrink",
                 lambda: "640x480 pixels" in self.desktop.x("xdpyinfo") or None, timeout=5)

    def test_the_modal_about_box_lies_wholly_on_the_shrunk_screen(self):
        self.drag_main_to(768, 670)
        box = self.open_about()
        time.sleep(0.5)
        self.shrink()

        def whole():
            w = self.desktop.window(box.wid)
            left, top, right, bottom = self.outer(w)
            return w if left >= 0 and top >= 0 and right <= 640 and bottom <= 480 else None

        try:
            wait_for("the About box wholly on the 640 x 480 screen", whole, timeout=5)
        except HarnessError:
            self.fail(f"the About box lies at {self.outer(self.desktop.window(box.wid))}")
        main = self.main()
        self.assertTrue(main.x + 8 <= 640 and main.y + 8 <= 480, f"main window at {main}")
        self.desktop.activate(box.wid)
        self.desktop.key("Escape")
        self.wait_gone(box.wid, "the About box to close on Escape")

    def test_an_open_popup_menu_closes_when_the_screen_shrinks(self):
        main = self.drag_main_to(700, 600)
        menu = self.open_popup(at=(main.x + 40, main.y + 25))
        self.shrink()
        self.wait_gone(menu.wid, "the popup menu to close with the change")
        self.assertTrue(self.program.running())
        self.assertIsNotNone(self.main())


if __name__ == "__main__":
    unittest.main()
