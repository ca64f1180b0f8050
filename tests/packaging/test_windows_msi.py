"""The Windows installers as a user runs them, under Wine's msiexec in a 64-bit prefix: what
msiinfo reads back, the winget manifest that names them, and one user's history with them:
installed, replaced by the other architecture, started from the Start menu, upgraded, repaired,
refused an older version and removed with nothing left.

Runs inside tests/win32/in-xvfb.sh, which gives it a display and a copy of the builds' prefix:
`installers` in the 64-bit build (with both programs built), `x86-program` in the 32-bit one.

Usage: test_windows_msi.py installers | x86-program
"""

import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

from packaging_case import (REPO_ROOT, build_dir, packaging_info, require_tools, run, wait_for)

sys.path.insert(0, os.path.join(REPO_ROOT, "tools"))
import release_zip  # noqa: E402  (tools/ is no package)

WINE = "/usr/lib/wine/wine64"
MAIN_WINDOW = (208, 51)
# msiexec's status for a refused install, as a Linux exit status keeps it (its low byte).
INSTALL_FAILURE = 1603 & 0xFF
USER = "HKEY_CURRENT_USER\\Software"
RUN_KEY = USER + r"\Microsoft\Windows\CurrentVersion\Run"
# What is read of the registry: the user's own part (the program's values, Run, the products
# the user installed) and where Wine keeps the "Apps & features" entries of 64-bit and 32-bit
# products.
REGISTRY = (USER, r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall",
            r"HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall")


def msi_table(msi, table):
    """The rows of one table as msiinfo exports it, past its three header lines."""
    lines = run(["msiinfo", "export", msi, table]).stdout.splitlines()[3:]
    return [line.split("\t") for line in lines]


class Wine:
    """The prefix in-xvfb.sh made for this run, with a home of its own and no menu entries
    written into it."""

    def __init__(self, work):
        if not os.environ.get("WINEPREFIX") or not os.environ.get("DISPLAY"):
            raise AssertionError("run under tests/win32/in-xvfb.sh (no WINEPREFIX or DISPLAY)")
        self.prefix = os.environ["WINEPREFIX"]
        home = os.path.join(work, "home")
        os.makedirs(home, exist_ok=True)
        self.env = dict(os.environ, HOME=home, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe,winemenubuilder.exe=d")
        self.logs = work
        self.log_count = 0
        (self.user,) = [p for p in glob.glob(os.path.join(self.prefix, "drive_c", "users", "*"))
                        if os.path.basename(p) != "Public"]

    def __call__(self, *args, check=True, timeout=120, **kwargs):
        return run([WINE, *args], check=check, timeout=timeout, env=self.env, **kwargs)

    def msiexec(self, *args):
        """msiexec without its user interface; its exit status and its log."""
        self.log_count += 1
        log = os.path.join(self.logs, f"msiexec-{self.log_count}.log")
        status = self("msiexec", *args, "/qn", "/l*v", log, check=False).returncode
        with open(log, encoding="utf-8", errors="replace") as f:
            return status, f.read()

    def path(self, *parts):
        return os.path.join(self.user, *parts)

    def windows_path(self, path):
        return "C:\\" + os.path.relpath(path, self.unix_path("C:")).replace("/", "\\")

    def unix_path(self, path):
        drive, _, rest = path.partition("\\")
        if drive != "C:":
            raise AssertionError(f"{path} is not on drive C:")
        return os.path.join(self.prefix, "drive_c", *filter(None, rest.split("\\")))

    def registry(self, *keys):
        """{key: {value name: data}} of the keys and every key below them (none for an absent
        one), read by one start of Wine."""
        result = self("cmd", "/c", " & ".join(f"reg query {key} /s" for key in keys),
                      check=False)
        found, current = {}, None
        for line in result.stdout.splitlines():
            if line.startswith("HKEY_"):
                current = found.setdefault(line.strip(), {})
            elif line.startswith("    ") and current is not None:
                name, _, data = line.strip().partition("    ")
                current[name] = data.partition("    ")[2]
        return found

    def stop_everything(self):
        run([os.path.join(os.path.dirname(WINE), "wineserver"), "-k"], check=False,
            env=self.env, timeout=30)


class Installed:
    """What an install left in the prefix, read afresh."""

    def __init__(self, wine, info):
        title = info["title"]
        self.folder = wine.path("AppData", "Local", "Programs", title)
        self.files = sorted(os.listdir(self.folder)) if os.path.isdir(self.folder) else []
        self.program = os.path.join(self.folder, f"{info['exe_name']}.exe")
        self.machine = (release_zip.pe_machine(release_zip.read(self.program), self.program)
                        if os.path.isfile(self.program) else None)
        self.programs_folder = os.path.isdir(os.path.dirname(self.folder))
        self.shortcut = wine.path("AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                                  "Programs", f"{title}.lnk")
        self.has_shortcut = os.path.isfile(self.shortcut)
        self.registry = wine.registry(*REGISTRY)
        self.own_values = sorted(self.registry.get(rf"{USER}\{title}", {}))
        self.run_value = self.registry.get(RUN_KEY, {}).get(title)
        self.entries = {key.rsplit("\\", 1)[1]: entry for key, entry in self.registry.items()
                        if "Uninstall" in key and entry.get("DisplayName") == title}


class Installers(unittest.TestCase):
    """Both installers as the release's one command makes them, from both builds."""

    @classmethod
    def setUpClass(cls):
        require_tools("wixl", "msiinfo", "xdotool", "xwininfo")
        cls.info = packaging_info()
        cls.work = tempfile.mkdtemp(prefix="pelmora-msi-test.")
        cls.out = os.path.join(cls.work, "out")
        run(["bash", os.path.join(REPO_ROOT, "tools", "make-release-zip.sh"), "--out", cls.out],
            timeout=900, env=dict(os.environ, PELMORA_JOBS="2"))
        cls.msi = {arch: os.path.join(cls.out, name)
                   for arch, name in cls.info["msi_names"].items()}
        # The next two patch versions, of the same program: upgrades.
        major, minor, patch = cls.info["version"].split(".")
        build = release_zip.Build(build_dir(), 64)
        cls.upgrades = []
        for step in (1, 2):
            version = f"{major}.{minor}.{int(patch) + step}"
            msi = os.path.join(cls.work, "upgrades", f"{version}.msi")
            release_zip.build_msi(release_zip.msi_files(build, build.program),
                                  cls.info["msi_upgrade_code"], "x64", version, msi)
            cls.upgrades.append((version, msi))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_property_tables_summaries_and_the_winget_manifest(self):
        with open(os.path.join(self.out, "winget",
                               f"{self.info['winget_id']}.installer.yaml")) as f:
            manifest = f.read()
        installers = re.findall(r"- Architecture: (\S+)\n\s+InstallerUrl: (\S+)\n"
                                r"\s+InstallerSha256: (\S+)\n\s+ProductCode: '(\S+)'", manifest)
        self.assertEqual([i[0] for i in installers], ["x86", "x64"])
        for arch, url, digest, code in installers:
            with self.subTest(arch):
                msi = self.msi[arch]
                properties = dict(msi_table(msi, "Property"))
                self.assertEqual(
                    {k: properties.get(k) for k in ("ProductName", "ProductVersion",
                                                    "Manufacturer", "UpgradeCode")},
                    {"ProductName": self.info["title"], "ProductVersion": self.info["version"],
                     "Manufacturer": self.info["publisher"],
                     "UpgradeCode": "{%s}" % self.info["msi_upgrade_code"]})
                self.assertEqual(properties["ProductCode"], code)
                self.assertEqual(url, f"{self.info['msi_url']}/{os.path.basename(msi)}")
                with open(msi, "rb") as f:
                    self.assertEqual(digest, hashlib.sha256(f.read()).hexdigest().upper())
                summary = run(["msiinfo", "suminfo", msi]).stdout
                platform = {"x86": "Intel", "x64": "x64"}[arch]
                self.assertIn(f"Template: {platform};1033", summary)
                # Word count bit 8: installs without elevation.
                words = int(re.search(r"^Source: (\d+)", summary, re.M)[1])
                self.assertTrue(words & 8, summary)
                # Per user: no ALLUSERS, and the autostart part above the default level.
                self.assertNotIn("ALLUSERS", properties)
                levels = {row[0]: int(row[5]) for row in msi_table(msi, "Feature")}
                self.assertEqual(levels, {"Main": 1, "Autostart": 1000})
        codes = {code for *_, code in installers}
        self.assertEqual(len(codes), 2, "each architecture has a product code of its own")

    def test_install_replace_run_upgrade_repair_refuse_and_remove(self):
        wine = Wine(self.work)
        info, title = self.info, self.info["title"]
        self.addCleanup(wine.stop_everything)

        def one_entry(state, version):
            self.assertEqual(len(state.entries), 1, state.entries)
            (entry,) = state.entries.values()
            self.assertEqual((entry["DisplayName"], entry["DisplayVersion"], entry["Publisher"],
                              entry["HelpLink"]),
                             (title, version, info["publisher"], info["homepage"]))

        def installs(msi, *properties, version=info["version"], machine="x86-64"):
            """msiexec /i; then one copy of the program and the licence, the shortcut and one
            entry of the version."""
            status, log = wine.msiexec("/i", msi, *properties)
            self.assertEqual(status, 0, log)
            state = Installed(wine, info)
            self.assertEqual(state.files, sorted([f"{info['exe_name']}.exe", "LICENSE.txt"]))
            self.assertEqual((state.machine, state.has_shortcut), (machine, True))
            one_entry(state, version)
            return state

        with self.subTest("the x86 installer, for the user, starting at sign-in: AUTOSTART=1"):
            state = installs(self.msi["x86"], "AUTOSTART=1", machine="i386")
            self.assertEqual(state.run_value, f'"{wine.windows_path(state.program)}"')

        with self.subTest("the x64 installer of the same version replaces it, AUTOSTART=0"):
            state = installs(self.msi["x64"], "AUTOSTART=0")
            self.assertIsNone(state.run_value, "still started at sign-in")
            with zipfile.ZipFile(os.path.join(self.out, info["zip_name"])) as archive:
                self.assertEqual(release_zip.read(state.program),
                                 archive.read(f"x64/{info['exe_name']}.exe"), "not the zip's")
            self.assertEqual(release_zip.read(os.path.join(state.folder, "LICENSE.txt")),
                             release_zip.read(os.path.join(REPO_ROOT, "LICENSE")))
            self.assertEqual(state.own_values, ["Folder", "Licence", "Program", "Shortcut"])
            # The icon "Apps & features" shows is the program's own.
            (icon,) = [v["ProductIcon"] for k, v in state.registry.items()
                       if k.startswith(rf"{USER}\Microsoft\Installer\Products") and
                       "ProductIcon" in v]
            self.assertEqual(release_zip.read(wine.unix_path(icon)),
                             release_zip.read(os.path.join(REPO_ROOT, "resources", "pelmora.ico")))

        with self.subTest("started from its Start-menu shortcut"):
            start_from_shortcut(wine, info)
            # Only the program ends: the server keeps what the installs wrote to the registry.
            wine("taskkill", "/f", "/im", f"{info['exe_name']}.exe")

        (next_version, next_msi), (last_version, last_msi) = self.upgrades
        with self.subTest("the next version upgrades it: one copy, one entry, AUTOSTART=1"):
            state = installs(next_msi, "AUTOSTART=1", version=next_version)
            self.assertEqual(state.run_value, f'"{wine.windows_path(state.program)}"')

        with self.subTest("the same version again repairs it"):
            os.remove(os.path.join(state.folder, "LICENSE.txt"))
            installs(next_msi, version=next_version)

        with self.subTest("an upgrade keeps starting at sign-in"):
            self.assertIsNotNone(installs(last_msi, version=last_version).run_value)

        with self.subTest("an older version is refused, with the reason"):
            status, log = wine.msiexec("/i", self.msi["x64"])
            self.assertEqual(status, INSTALL_FAILURE, log)
            self.assertIn(["NOT WIX_DOWNGRADE_DETECTED",
                           f"A newer version of {title} is already installed. To install this "
                           "one, uninstall it first in Apps & features."],
                          msi_table(self.msi["x64"], "LaunchCondition"))
            one_entry(Installed(wine, info), last_version)

        with self.subTest("removed: no file, folder, shortcut or registry value left"):
            status, log = wine.msiexec("/x", last_msi)
            self.assertEqual(status, 0, log)
            state = Installed(wine, info)
            self.assertEqual((state.files, state.programs_folder, state.has_shortcut),
                             ([], False, False))
            self.assertEqual((state.own_values, state.run_value, state.entries), ([], None, {}))


def start_from_shortcut(wine, info):
    """Starts the installed program as the Start menu does, and waits for its window."""
    # What the program started inherits is not waited for.
    wine("start", wine.windows_path(Installed(wine, info).shortcut), capture_output=False,
         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def shown():
        for wid in run(["xdotool", "search", "--onlyvisible", "--class",
                        f"{info['exe_name'].lower()}.exe"], check=False).stdout.split():
            geometry = run(["xwininfo", "-id", wid], check=False).stdout
            if tuple(int(v) for v in re.findall(r"(?:Width|Height): (\d+)", geometry)) == \
                    MAIN_WINDOW:
                return wid
        return None

    return wait_for("the installed program's window", shown, timeout=60, interval=0.5)


class X86Program(unittest.TestCase):
    """The 32-bit build's program, installed by the x86 installer with the 64-bit msiexec."""

    def test_the_32_bit_program_the_x86_installer_installs_starts(self):
        require_tools("wixl", "xdotool", "xwininfo")
        info = packaging_info()
        work = tempfile.mkdtemp(prefix="pelmora-msi-x86.")
        self.addCleanup(shutil.rmtree, work, True)
        build = release_zip.Build(build_dir(), 32)
        msi = os.path.join(work, info["msi_names"]["x86"])
        release_zip.build_msi(release_zip.msi_files(build, build.program),
                              info["msi_upgrade_code"], "x86", info["version"], msi)
        wine = Wine(work)
        self.addCleanup(wine.stop_everything)
        status, log = wine.msiexec("/i", msi)
        self.assertEqual(status, 0, log)
        state = Installed(wine, info)
        self.assertEqual(state.machine, "i386")
        self.assertIsNone(state.run_value, "started at sign-in without being asked")
        start_from_shortcut(wine, info)


def main(argv):
    cases = {"installers": Installers, "x86-program": X86Program}
    if len(argv) != 2 or argv[1] not in cases:
        print(f"usage: {argv[0]} {' | '.join(cases)}", file=sys.stderr)
        return 2
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(cases[argv[1]])
    return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
