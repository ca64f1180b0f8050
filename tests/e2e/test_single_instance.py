"""A second start shows the message, leaves nothing behind and does not touch the first."""

import time
import unittest

from desktop import distance, wait_for
from e2e_case import FreshDesktopCase


def text_lines(img):
    """Number of separate bands of dark ink (text lines) in an image."""
    counts = {}
    for p in img.pixels():
        counts[p] = counts.get(p, 0) + 1
    bg = max(counts, key=counts.get)
    bands, inside = 0, False
    for y in range(img.height):
        ink = any(distance(img.pixel(x, y), bg) > 80 for x in range(img.width))
        if ink and not inside:
            bands += 1
        inside = ink
    return bands


class SecondStart(FreshDesktopCase):

    def test_second_copy_shows_the_message_and_ends_without_a_tray_icon(self):
        first = self.program
        first_main = self.main()
        second = self.desktop.start_program("second")

        def message_box():
            if not second.running():
                self.fail(f"the second copy ended ({second.proc.returncode}) without a message")
            found = second.windows(name="^Pelmora$")
            return found[0] if found else None

        box = wait_for("a window titled 'Pelmora' from the second copy", message_box, timeout=15)
        time.sleep(0.3)
        img = self.desktop.grab(self.desktop.window(box.wid), "message-box")
        # Two lines of text right of the icon, above the OK button.
        text_area = img.crop(img.width // 4, 0, img.width * 3 // 4, img.height * 3 // 5)
        self.assertGreaterEqual(text_lines(text_area), 2, "the message is not two lines")
        # The stop icon is red.
        self.assertGreater(img.count(lambda p: p[0] > 150 and p[1] < 90 and p[2] < 90), 40,
                           "no critical-error icon in the box")
        self.assertEqual(second.main_window(), None, "the second copy showed a main window")
        self.assertEqual(self.desktop.tray_icons_of(second.pid), [])

        self.desktop.activate(box.wid)
        self.desktop.key("Return")
        status = second.wait_exit(timeout=10)
        self.assertEqual(status, 0, second.stderr())
        self.assertNotIn("add", second.tray_requests(), "the second copy added a tray icon")

        self.assertTrue(first.running(), "the first copy ended")
        now = self.main()
        self.assertEqual((now.wid, now.x, now.y), (first_main.wid, first_main.x, first_main.y))
        self.assertEqual(len(self.desktop.tray_icons_of(first.pid)), 1)
        self.assertEqual(first.tray_requests().count("add"), 1)
        self.assertNotIn("delete", first.tray_requests())
        # The first copy still answers the mouse.
        menu = self.open_popup()
        self.desktop.key("Escape")
        self.wait_gone(menu.wid, "the first copy's popup to close")

    def test_a_copy_starts_again_however_the_previous_one_ended(self):
        def by_exit(program):
            self.choose("x")
            self.assertEqual(program.wait_exit(timeout=10), 0)

        def by_kill(program):
            program.proc.kill()
            program.wait_exit(timeout=10)

        current = self.program
        for how, end in (("Exit", by_exit), ("killed", by_kill), ("Exit", by_exit)):
            with self.subTest(ended_by=how):
                end(current)
                current = self.desktop.start_program(f"after-{how}-{current.pid}")
                self.program = current
                current.wait_main_window()
                wait_for("the new copy's tray icon",
                         lambda: len(self.desktop.tray_icons_of(current.pid)) == 1, timeout=5)

if __name__ == "__main__":
    unittest.main()
