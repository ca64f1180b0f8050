"""The Debian package as built: its control fields, its contents, dependencies that cover every
library the program loads, and lintian's verdict. Reads the package that make_package.py made."""

import os
import re
import shutil
import tempfile
import unittest

from packaging_case import (identity_version, installed_files, packaged, packaging_info,
                            require_tools, run)

# Lintian tags left on purpose, each with the reason. Any other warning or error fails.
ACCEPTED_LINTIAN_TAGS = {}


def the_package():
    return packaged("deb")


def control(deb):
    text = run(["dpkg-deb", "--field", deb]).stdout
    fields, key = {}, None
    for line in text.splitlines():
        if line.startswith(" ") and key:
            fields[key] += "\n" + line
        else:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return fields


def depends_names(depends):
    """The package names a Depends field requires, alternatives included."""
    return {re.match(r"\s*([\w.+-]+)", alt)[1]
            for clause in depends.split(",") for alt in clause.split("|")}


def owning_package(path):
    """The installed package that ships a library, asked under each name the file goes by
    (with /usr merged, /lib and /usr/lib are the same folder)."""
    names = []
    for name in (path, os.path.realpath(path)):
        names += [name, re.sub(r"^/usr/lib/", "/lib/", name), re.sub(r"^/lib/", "/usr/lib/", name)]
    for name in names:
        result = run(["dpkg-query", "--search", name], check=False)
        if result.returncode == 0:
            return result.stdout.split(":")[0]
    raise AssertionError(f"no installed package ships {path}")


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_tools("dpkg-deb", "readelf", "lintian")
        cls.deb = the_package()
        cls.info = packaging_info()
        cls.fields = control(cls.deb)

    def test_control_fields(self):
        arch = run(["dpkg", "--print-architecture"]).stdout.strip()
        summary, *extended = self.fields["Description"].split("\n")
        expected = (("Package", self.info["package"]), ("Version", identity_version()),
                    ("Architecture", arch), ("Section", "utils"), ("Priority", "optional"),
                    ("Homepage", self.info["homepage"]))
        for field, value in expected:
            with self.subTest(field):
                self.assertEqual(self.fields.get(field), value)
        self.assertRegex(self.fields["Maintainer"], r"^[^<>]+ <[^@\s]+@[^@\s]+\.\w+>$")
        self.assertTrue(summary and not summary.lower().startswith(self.info["package"]))
        self.assertGreaterEqual(len(extended), 3)
        for line in extended:
            self.assertTrue(line.startswith(" ") and len(line) <= 80, repr(line))
        self.assertEqual(os.path.basename(self.deb),
                         f"{self.info['package']}_{identity_version()}_{arch}.deb")

    def test_holds_exactly_the_installed_files_owned_by_root(self):
        listing = run(["dpkg-deb", "--contents", self.deb]).stdout.splitlines()
        files, modes = set(), {}
        for line in listing:
            mode, owner, _, _, _, path = line.split(None, 5)
            with self.subTest(path):
                self.assertEqual(owner, "root/root")
                if mode.startswith("d"):
                    self.assertEqual(mode, "drwxr-xr-x")
                    continue
                files.add(path.lstrip("."))
                modes[path.lstrip(".")] = mode
        self.assertEqual(files, {f"/usr/{f}" for f in installed_files(self.info)})
        program = f"/usr/bin/{self.info['linux_exe']}"
        for path, mode in modes.items():
            with self.subTest(path):
                self.assertEqual(mode, "-rwxr-xr-x" if path == program else "-rw-r--r--")

    def test_depends_covers_every_library_the_program_loads_and_it_is_stripped(self):
        work = tempfile.mkdtemp(prefix="pelmora-deb.")
        try:
            run(["dpkg-deb", "--extract", self.deb, work])
            program = os.path.join(work, "usr", "bin", self.info["linux_exe"])
            dynamic = run(["readelf", "--dynamic", program]).stdout
            sections = run(["readelf", "--section-headers", program]).stdout
            resolved = dict(re.findall(r"^\s*(\S+) => (/\S+)", run(["ldd", program]).stdout,
                                       re.M))
        finally:
            shutil.rmtree(work, ignore_errors=True)
        self.assertNotIn(".symtab", sections)
        self.assertNotIn(".debug_info", sections)
        needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", dynamic)
        self.assertIn("libQt6Widgets.so.6", needed)
        depends = depends_names(self.fields["Depends"])
        self.assertRegex(self.fields["Depends"], r"libqt6widgets6 \(>= [\d.]+\)")
        for library in needed:
            with self.subTest(library):
                self.assertIn(library, resolved, "the loader does not find it")
                package = owning_package(resolved[library])
                self.assertIn(package, depends, f"{library} comes from {package}")

    def test_lintian_reports_no_error_and_no_unexplained_warning(self):
        result = run(["lintian", "--no-tag-display-limit", self.deb], check=False, timeout=300)
        tags = re.findall(r"^([EW]): \S+: (\S+)(.*)$", result.stdout, re.M)
        unexplained = [f"{level}: {tag}{rest}" for level, tag, rest in tags
                       if tag not in ACCEPTED_LINTIAN_TAGS]
        self.assertEqual(unexplained, [], result.stdout + result.stderr)
        self.assertNotIn("E:", result.stderr.replace("running with root", ""))


if __name__ == "__main__":
    unittest.main()
