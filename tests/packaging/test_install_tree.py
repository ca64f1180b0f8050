"""`cmake --install` of the Linux program: exactly the files it should put under the prefix,
each one valid by the desktop's own validators and agreeing with the identity."""

import glob
import gzip
import os
import re
import shutil
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

from packaging_case import (REPO_ROOT, build_dir, files_under, identity_version,
                            installed_files, packaging_info, png_size, read_desktop_entry,
                            require_tools, run)


class InstallTree(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tools("desktop-file-validate", "appstreamcli", "man")
        cls.info = packaging_info()
        cls.work = tempfile.mkdtemp(prefix="pelmora-install.")
        # A prefix that is neither /usr nor /usr/local, so a path fixed at build time shows.
        cls.prefix = os.path.join(cls.work, "opt", "pelmora")
        run(["cmake", "--install", build_dir(), "--prefix", cls.prefix])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def path(self, relative):
        return os.path.join(self.prefix, relative)

    def test_installs_exactly_the_program_and_its_desktop_files(self):
        self.assertEqual(files_under(self.prefix), installed_files(self.info))
        self.assertTrue(os.access(self.path(f"bin/{self.info['linux_exe']}"), os.X_OK))
        # Nothing lands where a session would start it at login.
        self.assertEqual(glob.glob(os.path.join(self.work, "**", "xdg", "autostart"),
                                   recursive=True), [])

    def test_desktop_entries_validate_and_name_the_program(self):
        info = self.info
        for relative in (f"share/applications/{info['app_id']}.desktop",
                         f"share/{info['package']}/autostart/{info['app_id']}.desktop"):
            with self.subTest(relative):
                result = run(["desktop-file-validate", self.path(relative)], check=False)
                self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
                entry = read_desktop_entry(self.path(relative))
                self.assertEqual(entry["Type"], "Application")
                self.assertEqual(entry["Name"], info["title"])
                self.assertEqual(entry["Exec"], info["linux_exe"])
                self.assertEqual(entry["Icon"], info["app_id"])
                self.assertEqual(entry["StartupWMClass"], info["wm_class"])
                self.assertIn("memory", entry["Keywords"].split(";"))
                self.assertNotEqual(entry.get("Hidden"), "true")

    def test_metainfo_validates_strictly_and_agrees_with_the_identity(self):
        info = self.info
        metainfo = self.path(f"share/metainfo/{info['app_id']}.metainfo.xml")
        result = run(["appstreamcli", "validate", "--strict", "--no-net", "--no-color",
                      metainfo], check=False)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

        root = ElementTree.parse(metainfo).getroot()
        self.assertEqual(root.get("type"), "desktop-application")
        self.assertEqual(root.findtext("id"), info["app_id"])
        self.assertEqual(root.findtext("launchable[@type='desktop-id']"),
                         f"{info['app_id']}.desktop")
        self.assertTrue(os.path.isfile(self.path(f"share/applications/{info['app_id']}.desktop")))
        binary = root.findtext("provides/binary")
        self.assertEqual(binary, info["linux_exe"])
        self.assertTrue(os.path.isfile(self.path(f"bin/{binary}")))
        self.assertEqual(root.findtext("project_license"), "MIT")
        self.assertTrue(root.findtext("summary"))
        self.assertTrue(root.findall("description/p"))
        self.assertIsNotNone(root.find("content_rating[@type='oars-1.1']"))
        releases = root.findall("releases/release")
        self.assertEqual([(r.get("version"), r.get("date")) for r in releases],
                         [(identity_version(), info["release_date"])])

    def test_metainfo_screenshot_is_a_picture_kept_in_the_repository(self):
        root = ElementTree.parse(
            self.path(f"share/metainfo/{self.info['app_id']}.metainfo.xml")).getroot()
        images = [i.text for i in root.findall("screenshots/screenshot/image")]
        self.assertTrue(images)
        for url in images:
            with self.subTest(url):
                self.assertTrue(url.startswith("https://"), url)
                match = re.search(r"/(docs/[\w.-]+\.png)$", url)
                self.assertIsNotNone(match, url)
                self.assertTrue(os.path.isfile(os.path.join(REPO_ROOT, match[1])), match[1])

    def test_icons_are_the_committed_pictures_at_their_sizes(self):
        for size in self.info["icon_sizes"]:
            with self.subTest(size=size):
                icon = self.path(f"share/icons/hicolor/{size}x{size}/apps/"
                                 f"{self.info['app_id']}.png")
                self.assertEqual(png_size(icon), (size, size))
                name = "pelmora.png" if size == 32 else f"pelmora-{size}.png"
                with open(icon, "rb") as a, open(os.path.join(REPO_ROOT, "resources", name),
                                                   "rb") as b:
                    self.assertEqual(a.read(), b.read())

    def manual_page(self):
        with gzip.open(self.path(f"share/man/man1/{self.info['linux_exe']}.1.gz"), "rt") as f:
            return f.read()

    def test_manual_page_renders_without_warnings(self):
        page = self.path(f"share/man/man1/{self.info['linux_exe']}.1.gz")
        result = run(["man", "--warnings", "-E", "UTF-8", "-l", page], check=False,
                     env=dict(os.environ, MANWIDTH="80", MANPAGER="cat", PAGER="cat",
                              LC_ALL="C.UTF-8"))
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        for section in ("NAME", "SYNOPSIS", "DESCRIPTION", "MENU", "FILES", "ENVIRONMENT",
                        "STARTING AT LOGIN"):
            self.assertRegex(result.stdout, rf"(?m)^{section}$")

    def test_manual_page_names_the_installed_autostart_entry_and_the_version(self):
        text = self.manual_page()
        autostart = self.path(f"share/{self.info['package']}/autostart/"
                              f"{self.info['app_id']}.desktop")
        prefix, rest = autostart.split("/share/", 1)
        roff = (prefix + "/share").replace("-", "\\-").replace("/", "/\\:") + "/" + rest
        self.assertIn(roff, text)
        self.assertIn(f'"{self.info["title"]} {identity_version()}"', text.splitlines()[0])

    def test_manual_page_documents_every_variable_the_program_reads(self):
        # The variables the Linux program reads, found in its sources.
        sources = [path for layer in ("qt", "linux")
                   for path in glob.glob(os.path.join(REPO_ROOT, "src", "platform", layer, "*.cpp"))]
        pattern = re.compile(r'(?:getenv|qEnvironmentVariable\w*|qgetenv)\(\s*"(\w+)"')
        read = set()
        for source in sources:
            with open(source, encoding="utf-8") as f:
                read |= set(pattern.findall(f.read()))
        self.assertIn("XDG_RUNTIME_DIR", read)
        text = self.manual_page()
        environment = text.split(".SH ENVIRONMENT", 1)[1].split(".SH ", 1)[0]
        for name in sorted(read):
            with self.subTest(name):
                self.assertIn(f".B {name}\n", environment)
        # The lock is where the program puts it.
        self.assertIn("$XDG_RUNTIME_DIR/pelmora.lock", text)
        self.assertIn("/tmp/pelmora\\- UID /pelmora.lock", text)

    def test_debian_documents_agree_with_the_licence_and_the_version(self):
        doc = self.path(f"share/doc/{self.info['package']}")
        with open(os.path.join(doc, "copyright"), encoding="utf-8") as f:
            copyright_text = f.read()
        with open(os.path.join(REPO_ROOT, "LICENSE"), encoding="utf-8") as f:
            licence = f.read()
        self.assertTrue(copyright_text.startswith(
            "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"))
        holder = re.search(r"Copyright \(c\) (.+)", licence)[1]
        self.assertIn(f"\nCopyright: {holder}\n", copyright_text)
        # The licence text, paragraph for paragraph, in the copyright file's indented form.
        body = licence[licence.index("Permission is hereby granted"):].strip()
        indented = "\n".join(" " + (line or ".") for line in body.split("\n"))
        self.assertIn(f"License: MIT\n{indented}\n", copyright_text)
        with gzip.open(os.path.join(doc, "changelog.gz"), "rt") as f:
            first = f.readline()
        self.assertTrue(first.startswith(f"{self.info['package']} ({identity_version()}) "),
                        first)


if __name__ == "__main__":
    unittest.main()
