"""The Debian package on this machine, as a user would have it: `apt-get install` of the file,
the installed program started until its window shows, then removal with nothing left behind.

Installing needs root (or sudo without a password); without either the test is skipped with
exit status 77. A machine that has the package installed already is left alone the same way.
"""

import os
import shutil
import sys
import unittest

from packaging_case import (HarnessError, XDisplay, installed_files, packaging_info,
                            read_desktop_entry, require_tools, run, wait_for)
from test_deb import the_package

SKIPPED = 77
MAIN_WINDOW = (208, 51)
APT_OPTIONS = ["-o", "DPkg::Lock::Timeout=300", "-o", "APT::Get::Assume-Yes=true"]


def as_root():
    """The command prefix that runs a command as root, or None when there is none."""
    if os.geteuid() == 0:
        return []
    if shutil.which("sudo") and run(["sudo", "-n", "true"], check=False).returncode == 0:
        return ["sudo", "-n"]
    return None


def installed(package):
    result = run(["dpkg-query", "-W", "-f", "${Status}", package], check=False)
    return result.returncode == 0 and "installed" in result.stdout.split()


class InstallRunRemove(unittest.TestCase):
    def setUp(self):
        self.info = packaging_info()
        self.root = as_root()
        self.deb = os.path.abspath(the_package())
        self.package = self.info["package"]

    def apt(self, *args):
        return run([*self.root, "env", "DEBIAN_FRONTEND=noninteractive", "apt-get",
                    *APT_OPTIONS, *args], timeout=600)

    def test_installs_runs_and_removes_cleanly(self):
        self.apt("install", self.deb)
        removed = False
        try:
            self.assertTrue(installed(self.package))
            listed = run(["dpkg", "--listfiles", self.package]).stdout.split("\n")
            files = {p for p in listed if p and os.path.isfile(p) and not os.path.islink(p)}
            expected = {f"/usr/{f}" for f in installed_files(self.info)}
            self.assertEqual(files, expected)
            manual = run(["man", "--where", self.info["linux_exe"]]).stdout.strip()
            self.assertEqual(manual, f"/usr/share/man/man1/{self.info['linux_exe']}.1.gz")
            self.check_program_runs()
            self.apt("remove", "--purge", self.package)
            removed = True
        finally:
            if not removed and installed(self.package):
                run([*self.root, "dpkg", "--purge", self.package], check=False)

        self.assertFalse(installed(self.package))
        left = sorted(p for p in expected if os.path.lexists(p))
        self.assertEqual(left, [])
        for folder in (f"/usr/share/{self.package}", f"/usr/share/doc/{self.package}"):
            self.assertFalse(os.path.exists(folder), folder)
        self.assertEqual(run(["dpkg", "--listfiles", self.package], check=False).returncode, 1)

    def check_program_runs(self):
        """/usr/bin's program shows its window, of the class its desktop entry names."""
        entry = read_desktop_entry(f"/usr/share/applications/{self.info['app_id']}.desktop")
        self.assertEqual(shutil.which(entry["Exec"], path="/usr/bin"),
                         f"/usr/bin/{self.info['linux_exe']}")
        display = XDisplay()
        try:
            program = display.start([f"/usr/bin/{self.info['linux_exe']}"], "pelmora.log")

            def shown():
                if program.poll() is not None:
                    raise HarnessError(f"the installed program ended with status "
                                       f"{program.returncode}:\n{display.log(program)}")
                return display.window_of(program, MAIN_WINDOW)

            window = wait_for("the installed program's window", shown, timeout=30)
            self.assertEqual(display.wm_class(window)[1:], (entry["StartupWMClass"],))
            self.assertTrue(os.path.exists(os.path.join(display.env["XDG_RUNTIME_DIR"],
                                                        "pelmora.lock")))
        finally:
            display.close()


def main():
    require_tools("apt-get", "dpkg", "Xvfb", "xdotool", "xwininfo", "xprop")
    if as_root() is None:
        print("skipped: installing the package needs root or sudo without a password")
        return SKIPPED
    if installed(packaging_info()["package"]):
        print("skipped: the package is installed on this machine already; it is left alone")
        return SKIPPED
    program = unittest.main(exit=False, argv=[sys.argv[0], "-v"])
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
