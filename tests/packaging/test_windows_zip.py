"""The Windows release zip as a user downloads it: made by its one command, unpacked, its sums
checked, both programs' version records read back, the 64-bit program started under Wine, and
the scoop and winget manifests filled in, scoop's pointing at this very zip."""

import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import zipfile

from packaging_case import (REPO_ROOT, XDisplay, generated, packaging_info, require_tools, run,
                            stop, wait_for)

MAKE_ZIP = os.path.join(REPO_ROOT, "tools", "make-release-zip.sh")
WINESERVER = "/usr/lib/wine/wineserver"
MAIN_WINDOW = (208, 51)
# name in the zip, the machine its PE header names
PROGRAMS = (("Pelmora.exe", 0x14C), ("x64/Pelmora.exe", 0x8664))


def section_names(pe):
    """Section names; a long one ("/N") is read from the string table after the symbols."""
    names = []
    strings = pe.FILE_HEADER.PointerToSymbolTable + 18 * pe.FILE_HEADER.NumberOfSymbols
    data = pe.__data__
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode()
        if name.startswith("/") and pe.FILE_HEADER.PointerToSymbolTable:
            at = strings + int(name[1:])
            name = data[at:data.find(b"\0", at)].decode()
        names.append(name)
    return names


def make_zip(out):
    return run(["bash", MAKE_ZIP, "--out", out], timeout=900,
               env=dict(os.environ, PELMORA_JOBS="2"))


class ReleaseZip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tools("sha256sum", "xdotool", "xwininfo", "Xvfb")
        cls.info = packaging_info()
        cls.identity = generated("identity.json")
        cls.work = tempfile.mkdtemp(prefix="pelmora-zip-test.")
        cls.out = os.path.join(cls.work, "out")
        make_zip(cls.out)
        cls.zip_path = os.path.join(cls.out, cls.info["zip_name"])
        with open(cls.zip_path, "rb") as f:
            cls.zip_bytes = f.read()
        cls.unpacked = os.path.join(cls.work, "unpacked")
        with zipfile.ZipFile(cls.zip_path) as archive:
            if archive.testzip() is not None:
                raise AssertionError("the zip has an entry with a bad CRC")
            cls.names = archive.namelist()
            archive.extractall(cls.unpacked)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_holds_the_two_programs_licence_readme_and_sums(self):
        self.assertEqual(sorted(self.names), sorted(["Pelmora.exe", "x64/Pelmora.exe", "LICENSE",
                                                     "README.txt", "SHA256SUMS"]))
        self.assertEqual(self.info["zip_name"],
                         f"{self.info['title']}-{self.info['version']}-windows.zip")
        with open(os.path.join(REPO_ROOT, "LICENSE"), "rb") as a, \
                open(os.path.join(self.unpacked, "LICENSE"), "rb") as b:
            self.assertEqual(a.read(), b.read())
        with open(os.path.join(self.unpacked, "README.txt"), "rb") as f:
            readme = f.read()
        self.assertTrue(readme.startswith(f"Pelmora {self.info['version']}\r\n".encode()))
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""), "README.txt is not CRLF")
        self.assertIn(b"x64\\Pelmora.exe", readme)

    def test_sums_cover_every_other_file_and_check(self):
        result = run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=self.unpacked)
        checked = sorted(line.rsplit(":", 1)[0] for line in result.stdout.splitlines())
        self.assertEqual(checked, sorted(set(self.names) - {"SHA256SUMS"}))

    def test_both_programs_carry_the_identity_in_their_version_record(self):
        import pefile  # Debian's python3-pefile, for /usr/bin/python3

        major, minor, build, revision = self.identity["version"]
        language = (self.identity["language"] + self.identity["codepage"]).upper()
        for name, machine in PROGRAMS:
            with self.subTest(name):
                pe = pefile.PE(os.path.join(self.unpacked, name))
                self.assertEqual(pe.FILE_HEADER.Machine, machine)
                self.assertEqual(pe.OPTIONAL_HEADER.Subsystem, 2)  # a windowed program
                fixed = pe.VS_FIXEDFILEINFO[0]
                for ms, ls in ((fixed.FileVersionMS, fixed.FileVersionLS),
                               (fixed.ProductVersionMS, fixed.ProductVersionLS)):
                    self.assertEqual((ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF),
                                     (major, minor, build, revision))
                strings = {}
                for info in pe.FileInfo[0]:
                    for table in getattr(info, "StringTable", []):
                        if table.LangID.decode().upper() == language:
                            strings.update({k.decode(): v.decode()
                                            for k, v in table.entries.items()})
                self.assertEqual(strings, dict(self.identity["strings"]))
                # Stripped for release: no symbols and no debugging sections left.
                self.assertEqual(pe.FILE_HEADER.NumberOfSymbols, 0)
                sections = section_names(pe)
                self.assertIn(".rsrc", sections)
                self.assertEqual([s for s in sections if s.startswith(".debug")], [])

    def test_manifests_are_filled_in_and_scoop_takes_this_zip(self):
        digest = hashlib.sha256(self.zip_bytes).hexdigest()
        with open(os.path.join(self.out, "scoop", "pelmora.json")) as f:
            scoop = json.load(f)
        self.assertEqual(scoop["version"], self.info["version"])
        self.assertEqual(scoop["hash"], digest)
        self.assertEqual(scoop["url"], self.info["zip_url"])
        self.assertTrue(scoop["url"].endswith("/" + self.info["zip_name"]))
        bins = {arch: scoop["architecture"][arch]["bin"][0][0] for arch in ("32bit", "64bit")}
        self.assertEqual({a: b.replace("\\", "/") for a, b in bins.items()},
                         {"32bit": "Pelmora.exe", "64bit": "x64/Pelmora.exe"})

        winget = os.path.join(self.out, "winget")
        texts = {}
        for name in os.listdir(winget):
            with open(os.path.join(winget, name)) as f:
                texts[name] = f.read()
        winget_id = self.info["winget_id"]
        self.assertEqual(sorted(texts), sorted(f"{winget_id}{part}.yaml" for part in
                                               ("", ".installer", ".locale.en-US")))
        for name, text in texts.items():
            with self.subTest(name):
                self.assertIn(f"\nPackageIdentifier: {winget_id}\n", text)
                self.assertIn(f"\nPackageVersion: {self.info['version']}\n", text)
                self.assertNotIn("${", text)
                self.assertNotRegex(text, r"@\w+@")
        # The winget installer manifest names the installers (test_windows_msi.py).
        self.assertIn("\nInstallerType: wix\n", texts[f"{winget_id}.installer.yaml"])

    def test_making_it_again_gives_the_same_bytes(self):
        again = os.path.join(self.work, "again")
        make_zip(again)
        with open(os.path.join(again, self.info["zip_name"]), "rb") as f:
            self.assertEqual(f.read(), self.zip_bytes)

    def test_the_64_bit_program_starts_under_wine(self):
        display = XDisplay()
        prefix = os.path.join(display.work, "prefix")
        display.env.update(WINEPREFIX=prefix, WINEDEBUG="-all",
                           WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
        try:
            program = display.start([os.path.join(REPO_ROOT, "tools", "wine-run.sh"),
                                     os.path.join(self.unpacked, "x64", "Pelmora.exe")],
                                    "wine.log")

            def shown():
                if program.poll() is not None:
                    raise AssertionError(f"the program ended with status {program.returncode}:"
                                         f"\n{display.log(program)}")
                for wid in display.x("xdotool", "search", "--onlyvisible", "--class",
                                     "pelmora.exe").split():
                    info = display.x("xwininfo", "-id", wid)
                    size = tuple(int(v) for v in re.findall(r"(?:Width|Height): (\d+)", info))
                    if size == MAIN_WINDOW:
                        return wid
                return None

            wait_for("the 64-bit program's window under Wine", shown, timeout=120, interval=0.5)
            stop(program)
        finally:
            # Ends what still runs in this test's own Wine prefix, then the display.
            subprocess.run([WINESERVER, "-k"], env=display.env, timeout=30,
                           capture_output=True, check=False)
            display.close()


if __name__ == "__main__":
    unittest.main()
